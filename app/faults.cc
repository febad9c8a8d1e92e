#include "app/faults.h"

#include "app/messages.h"
#include "platform/platform.h"

namespace faults {

Fault Detect(uint16_t code) {
  return Fault{code, platform::ImageOffset(__builtin_return_address(0))};
}

ReportLine ReportText(const Fault& fault) {
  static_assert(sizeof messages::FatalTemplate == sizeof(ReportLine::text));
  ReportLine line{};
  char* const text = line.text;
  for (size_t i = 0; i < sizeof line.text; ++i) {
    text[i] = messages::FatalTemplate[i];
  }
  constexpr size_t kCodeLastDigit = 16;  // 0-based: the 17th character
  constexpr size_t kCodeFirstBlank = 14;
  size_t at = kCodeLastDigit;
  unsigned code = fault.code;
  do {
    text[at] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code != 0 && at-- > kCodeFirstBlank);
  const size_t locationStart = sizeof line.text - 1 - 8;
  for (size_t i = 0; i < 8; ++i) {
    text[locationStart + i] = "0123456789ABCDEF"[(fault.location >> (28 - 4 * i)) & 0xF];
  }
  return line;
}

int Report(const Fault& fault) {
  platform::ShowMessageBox(messages::FatalCaption, ReportText(fault).text,
                           platform::MessageStyleOk);
  return fault.code;
}

}  // namespace faults

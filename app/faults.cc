#include "app/faults.h"

#include "app/messages.h"
#include "platform/platform.h"

namespace faults {

Fault Detect(uint16_t code) {
  return Fault{code, platform::ImageOffset(__builtin_return_address(0))};
}

std::string ReportText(const Fault& fault) {
  std::string text(messages::FatalTemplate);
  constexpr size_t kCodeLastDigit = 16;  // 0-based: the 17th character
  constexpr size_t kCodeFirstBlank = 14;
  size_t at = kCodeLastDigit;
  unsigned code = fault.code;
  do {
    text[at] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code != 0 && at-- > kCodeFirstBlank);
  const size_t locationStart = text.size() - 8;
  for (size_t i = 0; i < 8; ++i) {
    text[locationStart + i] = "0123456789ABCDEF"[(fault.location >> (28 - 4 * i)) & 0xF];
  }
  return text;
}

int Report(const Fault& fault) {
  platform::ShowMessageBox(messages::FatalCaption, ReportText(fault), platform::MessageStyleOk);
  return fault.code;
}

}  // namespace faults

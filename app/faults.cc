#include "app/faults.h"

#include <cstdint>

#include "app/messages.h"
#include "platform/platform.h"

namespace faults {

Fault Detect(uint16_t code) {
  return Fault{code, platform::ImageOffset(__builtin_return_address(0))};
}

int Report(const Fault& fault) {
  platform::ShowMessageBox(messages::FatalCaption, ReportText(fault).text,
                           platform::MessageStyleOk);
  return fault.code;
}

}  // namespace faults

#include "cardbus/btvid_32.h"

#include <type_traits>

#include "gtest/gtest.h"
#include "platform/fpu.h"
#include "tests/in_process_card.h"
#include "tests/traffic.h"
#include "tests/x87_state.h"

namespace btvid_32 {
namespace {

// Some argument of each parameter's type: a read buffer for the pointer.
template <typename Parameter>
Parameter SomeArgument() {
  if constexpr (std::is_pointer_v<Parameter>) {
    static ReadBuffer buffer;
    return buffer.bytes;
  } else {
    return Parameter{1};
  }
}

template <typename Result, typename... Parameters>
void CallWithSomeArguments(Result (*operation)(Parameters...)) {
  (void)operation(SomeArgument<Parameters>()...);
}

// Each of the nine operations, once as the program calls it (through the
// gate) and once straight into the card library.
struct Operation {
  const char* name;
  void (*throughTheGate)();
  void (*straight)();
};
const Operation kOperations[] = {
#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) \
  {#Name, [] { CallWithSomeArguments(&btvid_32::Name); },       \
   [] { CallWithSomeArguments(&btvid_32::library::Name); }},
#include "cardbus/btvid_32_operations.h"
};

// A driver that returns from every call with all eight x87 registers in use
// and a control word of its own (24-bit precision) loaded: after each
// operation the program finds the unit empty and under its own word again.
// The same call made straight into the library shows that the driver really
// leaves the unit that way.
TEST(Btvid32Test, EveryCallLeavesTheX87AsTheProgramKeepsIt) {
  constexpr uint16_t kDriverWord = 0x007F;
  const std::vector<std::string> messyDriver = {traffic::setting::Driver("leaves-x87-full"),
                                                traffic::setting::ControlWord("007F")};
  for (const Operation& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    in_process::Reset(messyDriver);
    platform::ResetFpu();
    operation.straight();
    // Read at once and set right again: the test's own arithmetic needs the
    // unit as much as the program does.
    const uint16_t tagsLeft = x87::TagWord();
    const uint16_t wordLeft = x87::ControlWord();
    platform::ResetFpu();
    EXPECT_NE(tagsLeft, 0xFFFF) << "the driver left no register in use";
    EXPECT_EQ(wordLeft, kDriverWord & ~x87::ReservedBit6) << "the driver left its own word";

    in_process::Reset(messyDriver);
    operation.throughTheGate();
    const uint16_t tags = x87::TagWord();
    const uint16_t word = x87::ControlWord();
    platform::ResetFpu();
    EXPECT_EQ(tags, 0xFFFF) << "registers left in use";
    EXPECT_EQ(word, platform::FpuControlWord);
    EXPECT_EQ(in_process::Seen().calls.size(), 1u) << "the driver was not called";
  }
}

}  // namespace
}  // namespace btvid_32

// The one way into the card's driver library on 32-bit x86.
//
// A closed driver may have been built with either calling convention: stdcall
// (the library removes its arguments from the stack) or the C convention (the
// caller does). The gate keeps its own frame pointer, which both conventions
// leave alone, pushes four argument slots, calls the library, and then sets
// the stack pointer back from that frame, so that the stack is what it was
// however much of it the library removed. Four slots serve every operation:
// a callee reads only the arguments it has, and whatever it leaves is undone.
//
// Elsewhere (x86-64) there is one convention, and the operations are called
// directly.
//
// On both, the gate leaves the x87 as the program keeps it: a closed driver
// may return with registers in use or with a control word of its own, so
// after every call the unit is emptied and the program's word loaded again.
// Each floating-point step of the program may then come before or after any
// driver call.
#ifndef WAVRIX_CARDBUS_CALL_GATE_H_
#define WAVRIX_CARDBUS_CALL_GATE_H_

#include <cstdint>
#include <type_traits>

#include "platform/fpu.h"

namespace btvid_32 {

#if defined(__i386__)

/// The most arguments an operation of the card's library takes.
inline constexpr int CallGateSlots = 4;

/// Calls `function` with the four slots as its stack arguments and returns
/// what it left in EAX; the stack pointer afterwards is the caller's, whether
/// or not the function removed its arguments. Written in assembly
/// (call_gate.cc).
extern "C" uint32_t CallGate(uintptr_t function, uint32_t slot0, uint32_t slot1, uint32_t slot2,
                             uint32_t slot3) __asm__("wavrix_card_call_gate");

/// An argument as the 32-bit stack slot it travels in. Unsigned values (bus
/// bytes among them) are zero-extended by the conversion.
template <typename T>
uint32_t Slot(T value) {
  static_assert(sizeof(T) <= sizeof(uint32_t), "every argument fits one 32-bit slot");
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<uint32_t>(value);
  }
}

/// Calls the library's `function` with `arguments` through the gate; the
/// x87 is empty and under the program's control word when it returns.
template <auto function, typename... Args>
auto Call(Args... arguments) {
  using Result = decltype(function(arguments...));
  static_assert(sizeof...(Args) <= CallGateSlots, "the gate has four argument slots");
  static_assert(sizeof(Result) == sizeof(uint32_t), "results come back whole in EAX");
  const uint32_t slots[CallGateSlots] = {Slot(arguments)...};
  const auto result = static_cast<Result>(
      CallGate(reinterpret_cast<uintptr_t>(function), slots[0], slots[1], slots[2], slots[3]));
  platform::ResetFpu();
  return result;
}

#else

/// One calling convention: the library's `function` is called directly.
/// The x87 is empty and under the program's control word when it returns.
template <auto function, typename... Args>
auto Call(Args... arguments) {
  const auto result = function(arguments...);
  platform::ResetFpu();
  return result;
}

#endif

}  // namespace btvid_32

#endif  // WAVRIX_CARDBUS_CALL_GATE_H_

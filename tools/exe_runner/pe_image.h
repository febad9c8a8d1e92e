// Loading a 32-bit Windows program as the Windows loader does: headers and
// sections mapped at the image base (or elsewhere, with the base relocations
// applied), every import bound by DLL and name, each section given the
// access its header asks for.
#ifndef WAVRIX_TOOLS_EXE_RUNNER_PE_IMAGE_H_
#define WAVRIX_TOOLS_EXE_RUNNER_PE_IMAGE_H_

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding build
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

namespace pe_image {

/// A loaded program.
struct Image {
  uintptr_t base = 0;  ///< where it was mapped
  uint32_t size = 0;
  uintptr_t entry = 0;
  uint32_t stackReserve = 0;
};

/// The function that stands for `name` of `dll`, or null when the runner
/// does not give it.
using Resolver = void* (*)(const char* dll, const char* name);

enum class Outcome : uint8_t { kLoaded, kNotLoadable, kImportRefused };

/// Loads the program file at `path`, at its image base or, when
/// `elsewhere`, 256 MiB above it. On failure says why on standard error.
Outcome Load(const char* path, bool elsewhere, Resolver resolve, Image& image);

}  // namespace pe_image

#endif  // WAVRIX_TOOLS_EXE_RUNNER_PE_IMAGE_H_

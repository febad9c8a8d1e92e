#include "tools/exe_runner/pe_image.h"

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding build
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

#include "simcard/text.h"
#include "tools/exe_runner/linux_i386.h"
#include "tools/exe_runner/pe_file.h"
#include "tools/exe_runner/say.h"

namespace pe_image {
namespace {

using pe_file::Bytes;
using pe_file::Headers;
using pe_file::kRelocationDirectory;
using pe_file::Read;
using pe_file::Section;
using pe_file::Within;

constexpr uint32_t kPageBytes = 4096;
constexpr uint16_t kRelocationsStripped = 0x0001;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;
// Base relocation kinds: padding, and the one a 32-bit image uses.
constexpr uint32_t kRelocationPadding = 0;
constexpr uint32_t kRelocationHighLow = 3;
// Where a program goes when it is told to load elsewhere.
constexpr uint32_t kElsewhereBytes = 0x10000000;

uint32_t RoundUp(uint32_t value, uint32_t to) {
  return (value + to - 1) / to * to;
}

bool NotLoadable(const char* path, const char* why) {
  say::Say(path, ": ", why);
  return false;
}

// The headers, checked against the file and against what the loader can map.
bool ReadHeaders(const char* path, const Bytes& file, Headers& h) {
  if (const char* why = pe_file::ReadHeaders(file, h)) {
    return NotLoadable(path, why);
  }
  // Sections are mapped page by page, so each must start on a page.
  if (h.sectionAlignment == 0 || h.sectionAlignment % kPageBytes != 0) {
    return NotLoadable(path, "its section alignment is not a whole number of pages");
  }
  if (h.sectionCount == 0 || h.sectionCount > 96 ||
      !Within(file, h.sectionTable, 40 * h.sectionCount) ||
      h.sectionTable + 40 * h.sectionCount > h.headersSize || h.headersSize > h.imageSize ||
      !Within(file, 0, h.headersSize) || h.imageSize == 0 || h.imageSize > 0x40000000U ||
      h.imageBase % 0x10000 != 0) {
    return NotLoadable(path, "its headers do not describe an image that fits");
  }
  if (h.entry < h.headersSize || h.entry >= h.imageSize) {
    return NotLoadable(path, "its entry point lies outside its sections");
  }
  return true;
}

// Copies each section's data from the file to its place in the image.
bool CopySections(const char* path, const Bytes& file, const Headers& h, uint8_t* image) {
  for (uint32_t i = 0; i < h.sectionCount; ++i) {
    Section section{};
    if (!pe_file::SectionAt(file, h, i, section)) {
      return NotLoadable(path, "its headers do not describe an image that fits");
    }
    const uint32_t address = section.address;
    const uint32_t copied = section.copied;
    if (address % kPageBytes != 0 || address < h.headersSize ||
        !Within(Bytes{image, h.imageSize}, address, section.extent)) {
      return NotLoadable(path, "a section lies outside the image");
    }
    if (!Within(file, section.rawOffset, copied)) {
      return NotLoadable(path, "a section's data runs past the end of the file");
    }
    for (uint32_t b = 0; b < copied; ++b) {
      image[address + b] = file.data[section.rawOffset + b];
    }
  }
  return true;
}

// Adds `delta` to every address the base relocations name.
bool Relocate(const char* path, const Headers& h, uint8_t* image, uint32_t delta) {
  const uint32_t start = h.directory[kRelocationDirectory][0];
  const uint32_t size = h.directory[kRelocationDirectory][1];
  const Bytes bytes{image, h.imageSize};
  if ((h.characteristics & kRelocationsStripped) != 0 || size == 0) {
    return NotLoadable(path, "it must move but carries no base relocations");
  }
  if (!Within(bytes, start, size)) {
    return NotLoadable(path, "its base relocations lie outside the image");
  }
  for (uint32_t block = start; block < start + size;) {
    uint32_t page = 0;
    uint32_t blockSize = 0;
    if (!Read(bytes, block, 4, page) || !Read(bytes, block + 4, 4, blockSize) || blockSize < 8 ||
        blockSize % 2 != 0 || blockSize > start + size - block) {
      return NotLoadable(path, "a block of its base relocations is malformed");
    }
    for (uint32_t at = block + 8; at < block + blockSize; at += 2) {
      uint32_t entry = 0;
      (void)Read(bytes, at, 2, entry);
      const uint32_t kind = entry >> 12;
      const uint32_t target = page + (entry & 0xFFF);
      uint32_t value = 0;
      if (kind == kRelocationPadding) {
        continue;
      }
      if (kind != kRelocationHighLow || !Read(bytes, target, 4, value)) {
        return NotLoadable(path, "a base relocation is of a kind or at a place no image has");
      }
      value += delta;
      for (uint32_t b = 0; b < 4; ++b) {
        image[target + b] = static_cast<uint8_t>(value >> (8 * b));
      }
    }
    block += blockSize;
  }
  return true;
}

// What binding the imports needs, and how it went.
struct Binding {
  uint8_t* image;
  Resolver resolve;
  Outcome outcome;
};

// Writes the runner's own function for `import` into its slot; refuses, and
// ends the walk, an import the runner does not give or one by ordinal.
bool Bind(void* context, const pe_file::Import& import) {
  Binding& binding = *static_cast<Binding*>(context);
  if (import.name == nullptr) {
    say::Say("refused import by ordinal from ", import.dll,
             ": the runner binds imports by name only, as wavrix.exe must");
    binding.outcome = Outcome::kImportRefused;
    return false;
  }
  void* function = binding.resolve(import.dll, import.name);
  if (function == nullptr) {
    say::Line line = say::Start();
    simcard::Add(line, "refused import ");
    simcard::Add(line, import.dll);
    simcard::Add(line, "!");
    simcard::Add(line, import.name);
    simcard::Add(line, ": the runner gives only the thirteen functions wavrix.exe may import");
    say::Emit(line);
    binding.outcome = Outcome::kImportRefused;
    return false;
  }
  const auto address = reinterpret_cast<uintptr_t>(function);
  for (uint32_t b = 0; b < 4; ++b) {
    binding.image[import.slot + b] = static_cast<uint8_t>(address >> (8 * b));
  }
  return true;
}

// Binds every import to the runner's own function for it.
Outcome BindImports(const char* path, const Headers& h, uint8_t* image, Resolver resolve) {
  Binding binding{image, resolve, Outcome::kLoaded};
  if (const char* why = pe_file::WalkImports(Bytes{image, h.imageSize}, pe_file::Layout::kMapped, h,
                                             Bind, &binding)) {
    NotLoadable(path, why);
    return Outcome::kNotLoadable;
  }
  return binding.outcome;
}

// Gives the headers and each section the access the image asks for: code
// that may run, data that may be written, nothing more.
void ProtectSections(const Bytes& file, const Headers& h, uintptr_t base) {
  (void)linux_i386::Protect(base, RoundUp(h.headersSize, kPageBytes), linux_i386::ProtectRead);
  Section section{};
  for (uint32_t i = 0; pe_file::SectionAt(file, h, i, section); ++i) {
    const uint32_t flags = section.flags;
    const int access = ((flags & kSectionRead) != 0 ? linux_i386::ProtectRead : 0) |
                       ((flags & kSectionWrite) != 0 ? linux_i386::ProtectWrite : 0) |
                       ((flags & kSectionExecute) != 0 ? linux_i386::ProtectExecute : 0);
    (void)linux_i386::Protect(base + section.address, RoundUp(section.extent, kPageBytes), access);
  }
}

// The whole file, in memory of its own.
bool ReadFile(const char* path, Bytes& file) {
  const int fd = linux_i386::Open(path, linux_i386::OpenReadOnly, 0);
  if (linux_i386::Failed(fd)) {
    return NotLoadable(path, "cannot open it");
  }
  const intptr_t size = linux_i386::FileSize(fd);
  uint8_t* data = size > 0
                      ? linux_i386::MapMemory(0, static_cast<size_t>(size),
                                              linux_i386::ProtectRead | linux_i386::ProtectWrite)
                      : nullptr;
  if (data == nullptr) {
    linux_i386::Close(fd);
    return NotLoadable(path, "cannot read it");
  }
  intptr_t got = 0;
  for (intptr_t part = 1; got < size && part > 0; got += part) {
    part = linux_i386::Read(fd, data + got, static_cast<size_t>(size - got));
    if (linux_i386::Failed(part)) {
      got = -1;
      break;
    }
  }
  linux_i386::Close(fd);
  if (got != size) {
    return NotLoadable(path, "cannot read it");
  }
  file = Bytes{data, static_cast<uint32_t>(size)};
  return true;
}

}  // namespace

Outcome Load(const char* path, bool elsewhere, Resolver resolve, Image& image) {
  Bytes file{};
  Headers h{};
  if (!ReadFile(path, file) || !ReadHeaders(path, file, h)) {
    return Outcome::kNotLoadable;
  }
  const uint32_t wanted = h.imageBase + (elsewhere ? kElsewhereBytes : 0);
  uint8_t* base = linux_i386::MapMemory(wanted, h.imageSize,
                                        linux_i386::ProtectRead | linux_i386::ProtectWrite);
  if (base == nullptr) {
    NotLoadable(path, "no room for the image in memory");
    return Outcome::kNotLoadable;
  }
  const auto mapped = reinterpret_cast<uintptr_t>(base);
  for (uint32_t b = 0; b < h.headersSize; ++b) {
    base[b] = file.data[b];
  }
  if (!CopySections(path, file, h, base)) {
    return Outcome::kNotLoadable;
  }
  const uint32_t delta = static_cast<uint32_t>(mapped) - h.imageBase;
  if (delta != 0 && !Relocate(path, h, base, delta)) {
    return Outcome::kNotLoadable;
  }
  const Outcome bound = BindImports(path, h, base, resolve);
  if (bound != Outcome::kLoaded) {
    return bound;
  }
  ProtectSections(file, h, mapped);
  image.base = mapped;
  image.size = h.imageSize;
  image.entry = image.base + h.entry;
  image.stackReserve = h.stackReserve;
  return Outcome::kLoaded;
}

}  // namespace pe_image

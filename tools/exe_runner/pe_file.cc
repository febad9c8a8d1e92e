#include "tools/exe_runner/pe_file.h"

namespace pe_file {
namespace {

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint32_t kSectionHeaderBytes = 40;
// In a resource directory entry: the high bit of the id marks a name, that
// of the target a directory rather than a resource's data.
constexpr uint32_t kNamed = 0x80000000;
constexpr uint32_t kSubdirectory = 0x80000000;

// Entry `i` of the resource directory at `directory` of `tree`: its id and
// what it points to, relative to the tree. False past the directory's last
// entry or the tree's end.
bool EntryAt(const Bytes& tree, uint32_t directory, uint32_t i, uint32_t& id, uint32_t& target) {
  uint32_t named = 0;
  uint32_t numbered = 0;
  const uint32_t entry = directory + 16 + 8 * i;
  return Read(tree, directory + 12, 2, named) && Read(tree, directory + 14, 2, numbered) &&
         i < named + numbered && Read(tree, entry, 4, id) && Read(tree, entry + 4, 4, target);
}

// The subdirectory an entry points to, if it is a numbered one.
bool NumberedSubdirectory(uint32_t id, uint32_t target, uint32_t& directory) {
  directory = target & ~kSubdirectory;
  return (id & kNamed) == 0 && (target & kSubdirectory) != 0;
}

}  // namespace

bool Within(const Bytes& bytes, uint32_t offset, uint32_t length) {
  return offset <= bytes.size && length <= bytes.size - offset;
}

bool Read(const Bytes& bytes, uint32_t offset, uint32_t width, uint32_t& value) {
  if (!Within(bytes, offset, width)) {
    return false;
  }
  value = 0;
  for (uint32_t i = width; i-- > 0;) {
    value = value << 8 | bytes.data[offset + i];
  }
  return true;
}

const char* NameAt(const Bytes& bytes, uint32_t offset) {
  for (uint32_t i = offset; i < bytes.size; ++i) {
    if (bytes.data[i] == 0) {
      return reinterpret_cast<const char*>(bytes.data + offset);
    }
  }
  return nullptr;
}

const char* ReadHeaders(const Bytes& file, Headers& h) {
  uint32_t magic = 0;
  uint32_t pe = 0;
  if (!Read(file, 0, 2, magic) || magic != 0x5A4D || !Read(file, 0x3C, 4, pe)) {
    return "not a Windows program (no MZ header)";
  }
  uint32_t signature = 0;
  uint32_t machine = 0;
  uint32_t optionalSize = 0;
  uint32_t optionalMagic = 0;
  uint32_t characteristics = 0;
  const uint32_t optional = pe + 24;
  if (pe > file.size || !Read(file, pe, 4, signature) || signature != 0x4550 ||
      !Read(file, pe + 4, 2, machine) || !Read(file, pe + 6, 2, h.sectionCount) ||
      !Read(file, pe + 8, 4, h.timeStamp) || !Read(file, pe + 20, 2, optionalSize) ||
      !Read(file, pe + 22, 2, characteristics) || !Read(file, optional, 2, optionalMagic)) {
    return "not a PE image";
  }
  h.characteristics = static_cast<uint16_t>(characteristics);
  if (machine != kMachineI386 || optionalMagic != kOptionalMagicPe32) {
    return "not a 32-bit x86 image";
  }
  uint32_t directoryCount = 0;
  if (optionalSize < 96 || !Read(file, optional + 16, 4, h.entry) ||
      !Read(file, optional + 28, 4, h.imageBase) ||
      !Read(file, optional + 32, 4, h.sectionAlignment) ||
      !Read(file, optional + 56, 4, h.imageSize) || !Read(file, optional + 60, 4, h.headersSize) ||
      !Read(file, optional + 72, 4, h.stackReserve) ||
      !Read(file, optional + 92, 4, directoryCount)) {
    return "its optional header is cut short";
  }
  if (directoryCount > 16 || optionalSize < 96 + 8 * directoryCount) {
    return "its data directories do not fit its optional header";
  }
  for (uint32_t i = 0; i < 16; ++i) {
    h.directory[i][0] = 0;
    h.directory[i][1] = 0;
    if (i < directoryCount && (!Read(file, optional + 96 + 8 * i, 4, h.directory[i][0]) ||
                               !Read(file, optional + 100 + 8 * i, 4, h.directory[i][1]))) {
      return "its data directories are cut short";
    }
  }
  h.sectionTable = optional + optionalSize;
  return nullptr;
}

bool SectionAt(const Bytes& file, const Headers& h, uint32_t i, Section& section) {
  const uint32_t header = h.sectionTable + kSectionHeaderBytes * i;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  if (i >= h.sectionCount || !Within(file, header, kSectionHeaderBytes)) {
    return false;
  }
  (void)Read(file, header + 8, 4, virtualSize);
  (void)Read(file, header + 12, 4, section.address);
  (void)Read(file, header + 16, 4, rawSize);
  (void)Read(file, header + 20, 4, section.rawOffset);
  (void)Read(file, header + 36, 4, section.flags);
  // The loader copies the file's data up to the section's size in memory;
  // what is beyond the data stays zero.
  section.copied = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
  section.extent = virtualSize > rawSize ? virtualSize : rawSize;
  return true;
}

bool OffsetOf(const Bytes& file, const Headers& h, uint32_t rva, uint32_t length,
              uint32_t& offset) {
  Section section{};
  for (uint32_t i = 0; SectionAt(file, h, i, section); ++i) {
    if (rva < section.address || rva - section.address >= section.copied) {
      continue;
    }
    const uint32_t into = rva - section.address;
    if (length > section.copied - into || section.rawOffset > 0xFFFFFFFF - into ||
        !Within(file, section.rawOffset + into, length)) {
      return false;
    }
    offset = section.rawOffset + into;
    return true;
  }
  return false;
}

void WalkResources(const Bytes& file, const Headers& h, ResourceTaker take, void* context) {
  uint32_t root = 0;
  const uint32_t size = h.directory[kResourceDirectory][1];
  if (size == 0 || !OffsetOf(file, h, h.directory[kResourceDirectory][0], size, root)) {
    return;
  }
  // Offsets within the resources count from their start, and stay within them.
  const Bytes tree{file.data + root, size};
  uint32_t type = 0;
  uint32_t target = 0;
  for (uint32_t t = 0; EntryAt(tree, 0, t, type, target); ++t) {
    uint32_t names = 0;
    if (!NumberedSubdirectory(type, target, names)) {
      continue;
    }
    uint32_t name = 0;
    for (uint32_t n = 0; EntryAt(tree, names, n, name, target); ++n) {
      uint32_t languages = 0;
      uint32_t language = 0;
      uint32_t entry = 0;
      uint32_t rva = 0;
      uint32_t length = 0;
      uint32_t at = 0;
      if (NumberedSubdirectory(name, target, languages) &&
          EntryAt(tree, languages, 0, language, entry) && (entry & kSubdirectory) == 0 &&
          Read(tree, entry, 4, rva) && Read(tree, entry + 4, 4, length) &&
          OffsetOf(file, h, rva, length, at)) {
        take(context, Resource{type, name, Bytes{file.data + at, length}});
      }
    }
  }
}

}  // namespace pe_file

#include "tools/exe_runner/pe_file.h"

#include <stdint.h>  // NOLINT(modernize-deprecated-headers): freestanding build

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
  // Each of these 16-bit fields at its offset in the optional header.
  struct Half {
    uint32_t offset;
    uint16_t& field;
  };
  const Half halves[] = {{40, h.osVersion[0]},        {42, h.osVersion[1]},
                         {48, h.subsystemVersion[0]}, {50, h.subsystemVersion[1]},
                         {68, h.subsystem},           {70, h.dllCharacteristics}};
  if (optionalSize < 96 || !Read(file, optional + 16, 4, h.entry) ||
      !Read(file, optional + 28, 4, h.imageBase) ||
      !Read(file, optional + 32, 4, h.sectionAlignment) ||
      !Read(file, optional + 56, 4, h.imageSize) || !Read(file, optional + 60, 4, h.headersSize) ||
      !Read(file, optional + 72, 4, h.stackReserve) ||
      !Read(file, optional + 92, 4, directoryCount)) {
    return "its optional header is cut short";
  }
  for (const Half& half : halves) {
    uint32_t value = 0;
    (void)Read(file, optional + half.offset, 2, value);  // within the 96 bytes read above
    half.field = static_cast<uint16_t>(value);
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

namespace {

// The bytes from image address `rva` to the end of what holds it: in a file,
// the file data of its section, up to the end of the file; in a mapped image,
// the rest of the image. False when nothing holds it.
bool From(const Bytes& bytes, Layout layout, const Headers& h, uint32_t rva, Bytes& rest) {
  if (layout == Layout::kMapped) {
    if (rva > bytes.size) {
      return false;
    }
    rest = Bytes{bytes.data + rva, bytes.size - rva};
    return true;
  }
  Section section{};
  for (uint32_t i = 0; SectionAt(bytes, h, i, section); ++i) {
    if (rva < section.address || rva - section.address >= section.copied) {
      continue;
    }
    const uint32_t into = rva - section.address;
    if (section.rawOffset > bytes.size || into > bytes.size - section.rawOffset) {
      return false;
    }
    const uint32_t at = section.rawOffset + into;
    const uint32_t inSection = section.copied - into;
    rest = Bytes{bytes.data + at, inSection < bytes.size - at ? inSection : bytes.size - at};
    return true;
  }
  return false;
}

// The zero-terminated name at image address `rva`, or null when it does not
// end within what holds it.
const char* NameAtAddress(const Bytes& bytes, Layout layout, const Headers& h, uint32_t rva) {
  Bytes rest{};
  return From(bytes, layout, h, rva, rest) ? NameAt(rest, 0) : nullptr;
}

}  // namespace

bool OffsetOf(const Bytes& file, const Headers& h, uint32_t rva, uint32_t length,
              uint32_t& offset) {
  Bytes rest{};
  if (!From(file, Layout::kFile, h, rva, rest) || length > rest.size) {
    return false;
  }
  offset = static_cast<uint32_t>(rest.data - file.data);
  return true;
}

const char* WalkImports(const Bytes& bytes, Layout layout, const Headers& h, ImportTaker take,
                        void* context) {
  constexpr uint32_t kDescriptorBytes = 20;
  constexpr uint32_t kOrdinalFlag = 0x80000000;
  Bytes descriptors{};
  if (h.directory[kImportDirectory][1] == 0) {
    return nullptr;
  }
  if (!From(bytes, layout, h, h.directory[kImportDirectory][0], descriptors)) {
    return "its import table lies outside the image";
  }
  // The table ends with a descriptor that names no DLL and no slots.
  for (uint32_t d = 0;; d += kDescriptorBytes) {
    uint32_t lookup = 0;
    uint32_t nameAt = 0;
    uint32_t slots = 0;
    if (!Read(descriptors, d, 4, lookup) || !Read(descriptors, d + 12, 4, nameAt) ||
        !Read(descriptors, d + 16, 4, slots)) {
      return "its import table is cut short";
    }
    if (nameAt == 0 && slots == 0) {
      return nullptr;
    }
    const char* dll = NameAtAddress(bytes, layout, h, nameAt);
    if (dll == nullptr) {
      return "an imported DLL's name is cut short";
    }
    // Without a separate lookup table, the names sit in the slots themselves.
    Bytes list{};
    Bytes slot{};
    if (!From(bytes, layout, h, lookup != 0 ? lookup : slots, list)) {
      return "an import list is cut short";
    }
    for (uint32_t i = 0;; ++i) {
      uint32_t entry = 0;
      if (!Read(list, 4 * i, 4, entry) || slots > 0xFFFFFFFF - 4 * i ||
          !From(bytes, layout, h, slots + 4 * i, slot) || slot.size < 4) {
        return "an import list is cut short";
      }
      if (entry == 0) {
        break;
      }
      // By name: the entry is the address of a 2-byte hint and the name.
      const char* name = nullptr;
      if ((entry & kOrdinalFlag) == 0) {
        Bytes hinted{};
        name = From(bytes, layout, h, entry, hinted) ? NameAt(hinted, 2) : nullptr;
        if (name == nullptr) {
          return "an imported name is cut short";
        }
      }
      if (!take(context, Import{dll, name, slots + 4 * i})) {
        return nullptr;
      }
    }
  }
}

const char* WalkExportNames(const Bytes& bytes, Layout layout, const Headers& h, NameTaker take,
                            void* context) {
  Bytes table{};
  Bytes names{};
  uint32_t count = 0;
  uint32_t namesAt = 0;
  if (h.directory[kExportDirectory][1] == 0) {
    return nullptr;
  }
  if (!From(bytes, layout, h, h.directory[kExportDirectory][0], table) ||
      !Read(table, 24, 4, count) || !Read(table, 32, 4, namesAt)) {
    return "its export table is cut short";
  }
  if (count != 0 && (!From(bytes, layout, h, namesAt, names) || count > names.size / 4)) {
    return "its export names are cut short";
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t at = 0;
    (void)Read(names, 4 * i, 4, at);  // within, as counted above
    const char* name = NameAtAddress(bytes, layout, h, at);
    if (name == nullptr) {
      return "an exported name is cut short";
    }
    take(context, name);
  }
  return nullptr;
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

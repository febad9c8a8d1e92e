// Reading a 32-bit Windows program file: its headers, its section table, where
// an address of the image lies in the file, its imports, exports and
// resources. Every read is checked against the end of the bytes it is given,
// so that a malformed or cut-short file gives a reason or nothing, never a
// read past its end. No C library, no heap and no output: the exe runner and
// the tests both use it.
#ifndef WAVRIX_TOOLS_EXE_RUNNER_PE_FILE_H_
#define WAVRIX_TOOLS_EXE_RUNNER_PE_FILE_H_

#include <stddef.h>  // NOLINT(modernize-deprecated-headers): freestanding build
#include <stdint.h>  // NOLINT(modernize-deprecated-headers)

namespace pe_file {

constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kRelocationDirectory = 5;

/// Bytes of a file or of the mapped image.
struct Bytes {
  const uint8_t* data;
  uint32_t size;
};

/// The `size` bytes at `data`, or as many of them as 32-bit offsets reach.
inline Bytes View(const void* data, size_t size) {
  constexpr size_t kMost = 0xFFFFFFFF;
  return Bytes{static_cast<const uint8_t*>(data),
               static_cast<uint32_t>(size < kMost ? size : kMost)};
}

/// Whether the `length` bytes at `offset` lie within `bytes`.
bool Within(const Bytes& bytes, uint32_t offset, uint32_t length);

/// The little-endian `width`-byte value (at most 4) at `offset`; false, and
/// `value` untouched, when it lies past the end.
bool Read(const Bytes& bytes, uint32_t offset, uint32_t width, uint32_t& value);

/// The zero-terminated name at `offset`, or null when it runs past the end.
const char* NameAt(const Bytes& bytes, uint32_t offset);

/// What the headers say. Only what is needed to read them is checked; where
/// the sections may lie is for the reader of each to check.
struct Headers {
  uint32_t timeStamp;
  uint32_t imageBase;
  uint32_t imageSize;
  uint32_t headersSize;
  uint32_t sectionAlignment;
  uint32_t entry;
  uint32_t stackReserve;
  uint16_t characteristics;
  uint16_t osVersion[2];  ///< major, minor: the oldest Windows the image is for
  uint16_t subsystemVersion[2];
  uint16_t subsystem;  ///< 2: a GUI program, 3: a console one
  uint16_t dllCharacteristics;
  uint32_t sectionTable;  ///< file offset of the first section header
  uint32_t sectionCount;
  uint32_t directory[16][2];  ///< (RVA, size) of each data directory; zero when absent
};

/// Reads the headers of a 32-bit x86 image. Null when they are whole; else
/// why not, in a few words.
const char* ReadHeaders(const Bytes& file, Headers& headers);

/// One section header: where its data lies in the file and in memory.
struct Section {
  uint32_t address;
  uint32_t rawOffset;
  uint32_t copied;  ///< bytes of file data the loader copies
  uint32_t extent;  ///< bytes it takes in memory
  uint32_t flags;
};

/// Section `i`; false when its header lies past the end of the file.
bool SectionAt(const Bytes& file, const Headers& headers, uint32_t i, Section& section);

/// Where in the file the `length` bytes at image address `rva` lie; false
/// unless all of them are file data of one section.
bool OffsetOf(const Bytes& file, const Headers& headers, uint32_t rva, uint32_t length,
              uint32_t& offset);

/// How an image's addresses are read from its bytes: in a program file, the
/// section table places them; in an image mapped as the loader maps it, each
/// address is its own offset.
enum class Layout : uint8_t { kFile, kMapped };

/// One imported function, as the import table names it.
struct Import {
  const char* dll;
  const char* name;  ///< null when imported by ordinal
  uint32_t slot;     ///< image address of the pointer the loader fills in
};

/// Takes one import; false ends the walk there.
using ImportTaker = bool (*)(void* context, const Import& import);

/// Hands `take` each import of the image, DLL by DLL in the table's order.
/// Null when the table was read to its end or `take` ended the walk; else why
/// it cannot be read, in a few words, after the imports before the fault.
const char* WalkImports(const Bytes& bytes, Layout layout, const Headers& headers, ImportTaker take,
                        void* context);

using NameTaker = void (*)(void* context, const char* name);

/// Hands `take` each name of the image's export table, in the table's order.
/// Null when all were read; else why not, as WalkImports says it.
const char* WalkExportNames(const Bytes& bytes, Layout layout, const Headers& headers,
                            NameTaker take, void* context);

/// A resource with a numeric type and name, in its first language.
struct Resource {
  uint32_t type;
  uint32_t name;
  Bytes data;  ///< within the file
};

using ResourceTaker = void (*)(void* context, const Resource& resource);

/// Hands `take` each resource with a numeric type and name whose directory
/// entries and data lie within the file, in the order of the directory.
/// Named resources and anything that points past the end are left out.
void WalkResources(const Bytes& file, const Headers& headers, ResourceTaker take, void* context);

}  // namespace pe_file

#endif  // WAVRIX_TOOLS_EXE_RUNNER_PE_FILE_H_

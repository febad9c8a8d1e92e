// The committed icon files are what make_icon makes of the drawing, so the
// drawing stays the one source to edit. The icon holds uncompressed bitmaps and
// is compared byte for byte; the README's picture is compared as an image, since
// another zlib, or another release of it, compresses the same pixels into other
// bytes.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "tests/process.h"
#include "tests/scratch.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A decoded PNG: its chunks other than the image data, exactly as they are, and
// the image data inflated and unfiltered, rows top first.
struct Picture {
  std::vector<std::string> chunks;  // type and data
  uint32_t width = 0;
  uint32_t height = 0;
  Bytes pixels;
};

uint32_t BigEndian(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  }
  return value;
}

// The filters of PNG's filter method 0, undone in place on `rows` (each a
// filter byte and `stride` bytes) with `bpp` bytes per pixel.
bool Unfilter(Bytes& rows, size_t stride, size_t bpp, std::string& error) {
  const size_t height = rows.size() / (stride + 1);
  Bytes out(stride * height);
  for (size_t y = 0; y < height; ++y) {
    const uint8_t filter = rows[y * (stride + 1)];
    const uint8_t* in = &rows[y * (stride + 1) + 1];
    uint8_t* row = &out[y * stride];
    const uint8_t* above = y == 0 ? nullptr : row - stride;
    for (size_t x = 0; x < stride; ++x) {
      const int a = x >= bpp ? row[x - bpp] : 0;
      const int b = above != nullptr ? above[x] : 0;
      const int c = above != nullptr && x >= bpp ? above[x - bpp] : 0;
      int predicted = 0;
      switch (filter) {
        case 0:
          break;
        case 1:
          predicted = a;
          break;
        case 2:
          predicted = b;
          break;
        case 3:
          predicted = (a + b) / 2;
          break;
        case 4: {
          const int p = a + b - c;
          const int pa = std::abs(p - a);
          const int pb = std::abs(p - b);
          const int pc = std::abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
          break;
        }
        default:
          error = "row " + std::to_string(y) + " has filter type " + std::to_string(filter);
          return false;
      }
      row[x] = static_cast<uint8_t>(in[x] + predicted);
    }
  }
  rows = std::move(out);
  return true;
}

// Decodes an 8-bit RGBA PNG without interlacing, as make_icon writes it,
// checking every chunk's CRC and the zlib stream's own checksum.
std::optional<Picture> DecodePng(const std::string& bytes, std::string& error) {
  static const std::string kSignature = "\x89PNG\r\n\x1a\n";
  if (bytes.compare(0, kSignature.size(), kSignature) != 0) {
    error = "no PNG signature";
    return std::nullopt;
  }
  Picture picture;
  std::string compressed;
  bool ended = false;
  for (size_t at = kSignature.size(); !ended;) {
    if (bytes.size() - at < 12) {
      error = "the file ends inside a chunk, or before IEND";
      return std::nullopt;
    }
    const uint32_t length = BigEndian(bytes, at);
    if (length > bytes.size() - at - 12) {
      error = "a chunk runs past the end of the file";
      return std::nullopt;
    }
    const std::string chunk = bytes.substr(at + 4, 4 + length);  // type and data
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
    if (crc != BigEndian(bytes, at + 8 + length)) {
      error = "chunk " + chunk.substr(0, 4) + " has a wrong CRC";
      return std::nullopt;
    }
    at += 12 + length;
    const std::string type = chunk.substr(0, 4);
    if (type == "IDAT") {
      compressed += chunk.substr(4);
      continue;
    }
    picture.chunks.push_back(chunk);
    ended = type == "IEND";
    if (ended && at != bytes.size()) {
      error = "bytes after IEND";
      return std::nullopt;
    }
  }
  const std::string& header = picture.chunks.front();
  if (header.compare(0, 4, "IHDR") != 0 || header.size() != 4 + 13) {
    error = "the first chunk is no IHDR";
    return std::nullopt;
  }
  picture.width = BigEndian(header, 4);
  picture.height = BigEndian(header, 8);
  // Bit depth 8, RGBA, deflate, filter method 0, no interlacing.
  if (header.substr(12) != std::string("\x08\x06\x00\x00\x00", 5) || picture.width == 0 ||
      picture.height == 0 || picture.width > 4096 || picture.height > 4096) {
    error = "not an 8-bit RGBA picture without interlacing, at most 4096 pixels a side";
    return std::nullopt;
  }
  const size_t stride = size_t{picture.width} * 4;
  uLongf size = static_cast<uLongf>((stride + 1) * picture.height);
  picture.pixels.resize(size + 1);  // one more, to find data past the image
  uLongf inflated = size + 1;
  const int status =
      uncompress(picture.pixels.data(), &inflated,
                 reinterpret_cast<const Bytef*>(compressed.data()), compressed.size());
  if (status != Z_OK || inflated != size) {
    error = "the image data does not inflate to " + std::to_string(size) + " bytes (zlib " +
            std::to_string(status) + ", " + std::to_string(inflated) + " bytes)";
    return std::nullopt;
  }
  picture.pixels.resize(size);
  if (!Unfilter(picture.pixels, stride, 4, error)) {
    return std::nullopt;
  }
  return picture;
}

// Where two byte strings first differ, for the failure message.
std::string FirstDifference(const std::string& made, const std::string& committed) {
  size_t at = 0;
  while (at < made.size() && at < committed.size() && made[at] == committed[at]) {
    ++at;
  }
  return "made " + std::to_string(made.size()) + " bytes, committed " +
         std::to_string(committed.size()) + "; first difference at byte " + std::to_string(at);
}

TEST(HarnessIconFilesTest, AreMadeFromTheirDrawing) {
  const std::string source = WAVRIX_SOURCE_DIR;
  const std::string dir = scratch::Folder();
  const std::string out = dir + "/wavrix_icon";
  const testproc::Result made = testproc::Run(
      {WAVRIX_MAKE_ICON, source + "/assets/wavrix_icon.txt", out + ".ico", out + ".png"}, {}, dir);
  ASSERT_EQ(made.exitCode, 0) << made.err;

  const std::string ico = testproc::ReadFile(out + ".ico");
  const std::string committedIco = testproc::ReadFile(source + "/assets/wavrix.ico");
  ASSERT_FALSE(ico.empty());
  EXPECT_TRUE(ico == committedIco) << "assets/wavrix.ico: " << FirstDifference(ico, committedIco);

  std::string error;
  const std::optional<Picture> png = DecodePng(testproc::ReadFile(out + ".png"), error);
  ASSERT_TRUE(png) << "make_icon's picture: " << error;
  const std::optional<Picture> committed =
      DecodePng(testproc::ReadFile(source + "/assets/wavrix-icon.png"), error);
  ASSERT_TRUE(committed) << "assets/wavrix-icon.png: " << error;
  EXPECT_EQ(png->chunks, committed->chunks) << "assets/wavrix-icon.png: other chunks";
  ASSERT_EQ(png->pixels.size(), committed->pixels.size());
  size_t differing = 0;
  std::string first;
  for (size_t i = 0; i < png->pixels.size(); i += 4) {
    const auto pixel = png->pixels.begin() + static_cast<std::ptrdiff_t>(i);
    if (!std::equal(pixel, pixel + 4, committed->pixels.begin() + static_cast<std::ptrdiff_t>(i)) &&
        differing++ == 0) {
      first = " (the first at x " + std::to_string(i / 4 % png->width) + ", y " +
              std::to_string(i / 4 / png->width) + ")";
    }
  }
  EXPECT_EQ(differing, 0u) << "assets/wavrix-icon.png: pixels differ from make_icon's" << first;
}

}  // namespace

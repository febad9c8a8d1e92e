// Builds the program icon from its text drawing: a Windows .ico (16x16 and 32x32, each in 16
// and 256 colors) and a 128x128 PNG for the README, compressed with zlib. From the repository
// root:
//   make_icon assets/wavrix_icon.txt assets/wavrix.ico assets/wavrix-icon.png
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Image = std::vector<int>;  // palette indices, top row first

constexpr int kTransparent = -1;
constexpr int kUnknown = -2;

// The standard 16-color palette in Windows order. The drawing may use these colors only, so
// the 16-color images are exact and the 256-color ones show the same pixels. Black comes
// first, which is also the index left under transparent pixels.
constexpr std::array<std::uint32_t, 16> kPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

bool Fail(const std::string& where, const std::string& what) {
  std::cerr << where << ": " << what << "\n";
  return false;
}

// Palette position of an RRGGBB color, or kUnknown.
int ColorIndex(const std::string& text) {
  if (text.size() != 6 || text.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
    return kUnknown;
  }
  const auto* it = std::ranges::find(kPalette, std::stoul(text, nullptr, 16));
  return it == kPalette.end() ? kUnknown : static_cast<int>(it - kPalette.begin());
}

// Reads the legend and the two images; see the top of the drawing for its format.
bool ReadDrawing(const std::string& path, std::map<std::size_t, Image>& images) {
  std::ifstream in(path);
  if (!in) {
    return Fail(path, "cannot open");
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line.substr(0, line.find_last_not_of('\r') + 1));  // CR LF line ends too
  }
  const auto at = [&path](std::size_t i) { return path + ":" + std::to_string(i + 1); };
  std::map<char, int> legend;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::istringstream stream(lines[i]);
    std::vector<std::string> word;
    for (std::string w; stream >> w;) {
      word.push_back(w);
    }
    if (word.empty() || word[0][0] == '#') {
      continue;
    }
    if (word.size() == 2 && word[0] == "image") {
      const std::size_t size = word[1] == "16" ? 16 : word[1] == "32" ? 32 : 0;
      if (size == 0 || images.count(size) != 0) {
        return Fail(at(i), "expected one image 16 and one image 32");
      }
      std::size_t end = i + 1;  // the rows run up to a blank line or the end of the file
      while (end < lines.size() && !lines[end].empty()) {
        ++end;
      }
      const std::string expected = ", expected " + std::to_string(size);
      if (end - i - 1 != size) {
        return Fail(at(i), "image has " + std::to_string(end - i - 1) + " rows" + expected);
      }
      Image& image = images[size];
      for (std::size_t y = i + 1; y < end; ++y) {
        const std::string& row = lines[y];
        if (row.size() != size) {
          return Fail(at(y), "row has " + std::to_string(row.size()) + " pixels" + expected);
        }
        for (std::size_t x = 0; x < row.size(); ++x) {
          if (legend.count(row[x]) == 0) {
            return Fail(at(y), "unknown character '" + row.substr(x, 1) + "' in column " +
                                   std::to_string(x + 1));
          }
          image.push_back(legend[row[x]]);
        }
      }
      i = end;
      continue;
    }
    if (word.size() != 3 || word[0] != "color" || word[1].size() != 1) {
      return Fail(at(i), "expected 'image N', 'color C RRGGBB' or 'color C transparent'");
    }
    const char c = word[1][0];
    if (legend.count(c) != 0) {
      return Fail(at(i), "'" + word[1] + "' is defined twice");
    }
    legend[c] = word[2] == "transparent" ? kTransparent : ColorIndex(word[2]);
    if (legend[c] == kUnknown) {
      return Fail(at(i), "'" + word[2] + "' is not one of the 16 standard colors");
    }
  }
  if (images.size() != 2) {
    return Fail(path, "expected one image 16 and one image 32");
  }
  return true;
}

// Appends the low `bytes` bytes of v: little-endian for the icon, big-endian for the PNG.
enum Endian : std::uint8_t { kLittleEndian, kBigEndian };
void Put(Bytes& b, std::uint32_t v, int bytes, Endian endian = kLittleEndian) {
  for (int k = 0; k < bytes; ++k) {
    b.push_back(static_cast<std::uint8_t>(v >> 8 * (endian == kBigEndian ? bytes - 1 - k : k)));
  }
}

// One icon image in BMP form: header, palette, XOR bitmap, AND mask, rows bottom-up.
// biSizeImage counts both bitmaps.
Bytes IconImage(const Image& image, std::size_t size, std::size_t bits) {
  const std::size_t xor_stride = (size * bits + 31) / 32 * 4;
  const std::size_t and_stride = (size + 31) / 32 * 4;
  Bytes b;
  Put(b, 40, 4);
  Put(b, size, 4);
  Put(b, 2 * size, 4);  // the height covers both bitmaps
  Put(b, 1, 2);
  Put(b, bits, 2);
  Put(b, 0, 4);
  Put(b, (xor_stride + and_stride) * size, 4);
  b.insert(b.end(), 16, 0);  // resolution and color counts left at 0
  for (std::size_t i = 0; i < (std::size_t{1} << bits); ++i) {
    Put(b, i < 16 ? kPalette[i] : 0, 4);  // blue, green, red, 0
  }
  Bytes xor_bits(xor_stride * size);
  Bytes and_bits(and_stride * size);
  for (std::size_t y = 0; y < size; ++y) {
    const std::size_t row = size - 1 - y;
    for (std::size_t x = 0; x < size; ++x) {
      const int pixel = image[y * size + x];
      const int index = pixel == kTransparent ? 0 : pixel;
      // The leftmost pixel of a byte takes its high bits.
      xor_bits[row * xor_stride + x * bits / 8] |= index << (8 - bits - x * bits % 8);
      if (pixel == kTransparent) {
        and_bits[row * and_stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  b.insert(b.end(), xor_bits.begin(), xor_bits.end());
  b.insert(b.end(), and_bits.begin(), and_bits.end());
  return b;
}

// The directory, then the images: size and bits per pixel, 16 colors before 256.
Bytes Icon(const std::map<std::size_t, Image>& images) {
  constexpr std::size_t kImages[][2] = {{16, 4}, {32, 4}, {16, 8}, {32, 8}};
  Bytes head;
  Bytes body;
  Put(head, 0, 2);
  Put(head, 1, 2);  // an icon, not a cursor
  Put(head, std::size(kImages), 2);
  for (const auto& [size, bits] : kImages) {
    const Bytes image = IconImage(images.at(size), size, bits);
    Put(head, size * 0x101, 2);        // width, height
    Put(head, bits == 4 ? 16 : 0, 2);  // colors (0 stands for 256), reserved
    Put(head, 1, 2);                   // planes
    Put(head, bits, 2);
    Put(head, image.size(), 4);
    Put(head, 6 + 16 * std::size(kImages) + body.size(), 4);  // offset from the start of the file
    body.insert(body.end(), image.begin(), image.end());
  }
  head.insert(head.end(), body.begin(), body.end());
  return head;
}

void PutChunk(Bytes& png, const char* type, const Bytes& data) {
  Bytes chunk(type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  Put(png, data.size(), 4, kBigEndian);
  png.insert(png.end(), chunk.begin(), chunk.end());
  Put(png, crc32(0, chunk.data(), static_cast<uInt>(chunk.size())), 4, kBigEndian);
}

// The 32x32 image scaled up 4 times as 8-bit RGBA, compressed by zlib at its
// best level: the same drawing and the same zlib give the same bytes.
Bytes Png(const Image& image) {
  constexpr int kScale = 4;
  constexpr int kSize = 32 * kScale;
  Bytes raw;
  for (int y = 0; y < kSize; ++y) {
    raw.push_back(0);  // filter type: none
    for (int x = 0; x < kSize; ++x) {
      const int pixel = image[y / kScale * 32 + x / kScale];
      Put(raw, pixel == kTransparent ? 0 : kPalette[pixel] << 8 | 0xFF, 4, kBigEndian);
    }
  }
  uLongf size = compressBound(raw.size());
  Bytes z(size);
  if (compress2(z.data(), &size, raw.data(), raw.size(), Z_BEST_COMPRESSION) != Z_OK) {
    Fail("zlib", "cannot compress the picture");
    return {};
  }
  z.resize(size);
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  // Width, height, 8-bit RGBA, deflate, standard filters, no interlace.
  PutChunk(png, "IHDR", {0, 0, 0, kSize, 0, 0, 0, kSize, 8, 6, 0, 0, 0});
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});
  return png;
}

bool WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out.flush()) {
    return Fail(path, "cannot write");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: make_icon SOURCE.txt OUT.ico OUT.png\n";
    return 2;
  }
  std::map<std::size_t, Image> images;
  if (!ReadDrawing(argv[1], images)) {
    return 1;
  }
  const Bytes png = Png(images.at(32));
  const bool ok = !png.empty() && WriteFile(argv[2], Icon(images)) && WriteFile(argv[3], png);
  return ok ? 0 : 1;
}

// A small PNG reader for tests: enough to check what a picture holds.
//
// png_size reads the image header alone. read_png (built with zlib) reads
// non-interlaced 8-bit greyscale, RGB, grey-alpha, RGBA and palette images
// (what gnuplot's PNG terminals write), undoes the scanline filters and
// returns every pixel as 0xRRGGBB (alpha is dropped).
#pragma once

#ifdef VOK_HAVE_ZLIB
#include <zlib.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace vok::plot::testing {

struct PngImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;  // row by row, 0xRRGGBB
};

inline std::uint32_t big_endian(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

inline std::string read_png_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (bytes.size() < 8 + 8 + 13 ||
      !std::equal(kSignature, kSignature + 8, reinterpret_cast<const unsigned char*>(bytes.data())))
    throw std::runtime_error("no PNG signature");
  if (bytes.compare(12, 4, "IHDR") != 0) throw std::runtime_error("no image header first");
  return bytes;
}

// Width and height from the image header (pixels left empty).
inline PngImage png_size(const std::string& path) {
  const std::string bytes = read_png_bytes(path);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  PngImage image;
  image.width = big_endian(data + 16);
  image.height = big_endian(data + 20);
  return image;
}

#ifdef VOK_HAVE_ZLIB
// Throws std::runtime_error for a file that is not a PNG of these kinds.
inline PngImage read_png(const std::string& path) {
  const std::string bytes = read_png_bytes(path);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());

  PngImage image;
  int depth = 0, colour = -1, interlace = 0;
  std::vector<std::uint32_t> palette;
  std::string compressed;
  std::size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const std::uint32_t length = big_endian(data + at);
    const std::string type = bytes.substr(at + 4, 4);
    const unsigned char* body = data + at + 8;
    if (at + 12 + length > bytes.size()) throw std::runtime_error("chunk past the end");
    if (type == "IHDR") {
      image.width = big_endian(body);
      image.height = big_endian(body + 4);
      depth = body[8];
      colour = body[9];
      interlace = body[12];
    } else if (type == "PLTE") {
      for (std::uint32_t i = 0; i + 2 < length; i += 3)
        palette.push_back((std::uint32_t{body[i]} << 16) | (std::uint32_t{body[i + 1]} << 8) |
                          body[i + 2]);
    } else if (type == "IDAT") {
      compressed.append(reinterpret_cast<const char*>(body), length);
    } else if (type == "IEND") {
      break;
    }
    at += 12 + length;
  }
  int channels = 0;
  switch (colour) {
    case 0:
      channels = 1;
      break;
    case 2:
      channels = 3;
      break;
    case 3:
      channels = 1;
      break;
    case 4:
      channels = 2;
      break;
    case 6:
      channels = 4;
      break;
    default:
      throw std::runtime_error("unknown colour type");
  }
  if (depth != 8 || interlace != 0) throw std::runtime_error("only 8-bit non-interlaced images");
  if (image.width == 0 || image.height == 0) throw std::runtime_error("empty image");

  const std::size_t stride = std::size_t{image.width} * channels;
  std::vector<unsigned char> raw((stride + 1) * image.height);
  uLongf raw_size = raw.size();
  if (::uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(compressed.data()),
                   compressed.size()) != Z_OK ||
      raw_size != raw.size())
    throw std::runtime_error("image data does not inflate to its size");

  // Undo the filters: each scanline starts with its filter type.
  std::vector<unsigned char> previous(stride, 0), line(stride);
  image.pixels.reserve(std::size_t{image.width} * image.height);
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const unsigned char* row = raw.data() + y * (stride + 1);
    const int filter = row[0];
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<std::size_t>(channels) ? line[i - channels] : 0;
      const int b = previous[i];
      const int c = i >= static_cast<std::size_t>(channels) ? previous[i - channels] : 0;
      int predictor = 0;
      switch (filter) {
        case 0:
          predictor = 0;
          break;
        case 1:
          predictor = a;
          break;
        case 2:
          predictor = b;
          break;
        case 3:
          predictor = (a + b) / 2;
          break;
        case 4: {
          const int p = a + b - c;
          const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default:
          throw std::runtime_error("unknown scanline filter");
      }
      line[i] = static_cast<unsigned char>(row[1 + i] + predictor);
    }
    for (std::uint32_t x = 0; x < image.width; ++x) {
      const unsigned char* p = line.data() + std::size_t{x} * channels;
      std::uint32_t rgb = 0;
      if (colour == 3) {
        if (p[0] >= palette.size()) throw std::runtime_error("palette index out of range");
        rgb = palette[p[0]];
      } else if (channels <= 2) {
        rgb = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[0]} << 8) | p[0];
      } else {
        rgb = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
      }
      image.pixels.push_back(rgb);
    }
    previous.swap(line);
  }
  return image;
}
#endif

}  // namespace vok::plot::testing

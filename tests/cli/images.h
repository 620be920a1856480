// Reading the images folio render and mutool draw write, and comparing
// them as the team's render check does: PSNR of the 4 x 4-block averages.
#pragma once

#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace folio::test {

struct Image {
  int width = 0, height = 0, channels = 0;  // 1 gray, 3 RGB
  std::vector<uint8_t> pixels;
  bool Valid() const { return width > 0 && height > 0 && channels != 0; }
};

// A binary PPM (P6) or PGM (P5) with maximum 255.
inline Image ReadPnm(const std::string& path) {
  Image image;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return image;
  char magic[3] = {};
  int maximum = 0;
  if (std::fscanf(f, "%2s %d %d %d", magic, &image.width, &image.height, &maximum) == 4 && maximum == 255 &&
      std::fgetc(f) != EOF) {
    image.channels = magic[1] == '6' ? 3 : magic[1] == '5' ? 1 : 0;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height * image.channels);
    if (std::fread(image.pixels.data(), 1, image.pixels.size(), f) != image.pixels.size()) image.channels = 0;
  }
  std::fclose(f);
  return image;
}

// An 8-bit RGB PNG, through libpng.
inline Image ReadPng(const std::string& path) {
  Image image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
  png.format = PNG_FORMAT_RGB;
  image.pixels.resize(PNG_IMAGE_SIZE(png));
  if (png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.channels = 3;
  }
  png_image_free(&png);
  return image;
}

// PSNR (dB) of the averages of `block` x `block` pixel blocks over the
// common top-left area (sizes may differ by a rounding pixel or two); -1
// when the sizes differ more. 99 for identical blocks.
inline double BlockPsnr(const Image& a, const Image& b, int block = 4) {
  if (std::abs(a.width - b.width) > 2 || std::abs(a.height - b.height) > 2) return -1;
  const int w = std::min(a.width, b.width) / block, h = std::min(a.height, b.height) / block;
  auto average = [block](const Image& im, int bx, int by, int c) {
    int sum = 0;
    for (int dy = 0; dy < block; ++dy) {
      for (int dx = 0; dx < block; ++dx) {
        const size_t at = (static_cast<size_t>(by * block + dy) * im.width + bx * block + dx) * im.channels;
        sum += im.pixels[at + (im.channels == 3 ? c : 0)];
      }
    }
    return sum / (block * block);
  };
  double squares = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int d = average(a, x, y, c) - average(b, x, y, c);
        squares += static_cast<double>(d) * d;
      }
    }
  }
  if (squares == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (squares / (static_cast<double>(w) * h * 3)));
}

}  // namespace folio::test

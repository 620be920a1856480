// Image files written row by row: PNG (through libpng), binary PPM and PGM.
// Rows arrive as the engine draws them: 3 bytes per pixel in blue, green,
// red order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace folio::cli {

enum class ImageFormat { kPng, kPpm, kPgm };

// The format named by `name` ("png", "ppm", "pgm"); false for others.
bool ParseImageFormat(const std::string& name, ImageFormat& format);
// The format a file name's extension names; false when it names none.
bool FormatFromExtension(const std::string& path, ImageFormat& format);

class ImageWriter {
 public:
  virtual ~ImageWriter() = default;
  // Writes the next row (width pixels, B,G,R). False when writing failed.
  virtual bool WriteRow(const uint8_t* bgr) = 0;
  // Completes the file. False when writing failed.
  virtual bool Finish() = 0;

  // A writer of a width x height image into `out` (owned by the caller,
  // open for binary writing).
  static std::unique_ptr<ImageWriter> Make(ImageFormat format, FILE* out, int32_t width, int32_t height);
};

}  // namespace folio::cli

#include "cli/image_writer.h"

#include <png.h>

#include <csetjmp>
#include <vector>

namespace folio::cli {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

class PnmWriter final : public ImageWriter {
 public:
  PnmWriter(FILE* out, int32_t width, int32_t height, bool gray) : out_(out), gray_(gray), row_(width * (gray ? 1 : 3)) {
    ok_ = std::fprintf(out, "P%c\n%d %d\n255\n", gray ? '5' : '6', width, height) > 0;
  }
  bool WriteRow(const uint8_t* bgr) override {
    const size_t width = gray_ ? row_.size() : row_.size() / 3;
    for (size_t x = 0; x < width; ++x) {
      const uint8_t b = bgr[3 * x], g = bgr[3 * x + 1], r = bgr[3 * x + 2];
      if (gray_) {
        // Luma with the Rec. 601 weights, rounded.
        row_[x] = static_cast<uint8_t>((r * 19595u + g * 38470u + b * 7471u + 32768u) >> 16);
      } else {
        row_[3 * x] = r;
        row_[3 * x + 1] = g;
        row_[3 * x + 2] = b;
      }
    }
    ok_ = ok_ && std::fwrite(row_.data(), 1, row_.size(), out_) == row_.size();
    return ok_;
  }
  bool Finish() override { return ok_ && std::fflush(out_) == 0; }

 private:
  FILE* out_;
  bool gray_;
  std::vector<uint8_t> row_;
  bool ok_;
};

// libpng reports errors by calling back; the callback jumps back here.
class PngWriter final : public ImageWriter {
 public:
  PngWriter(FILE* out, int32_t width, int32_t height) : out_(out) {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, &PngWriter::OnError, &PngWriter::OnWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
    if (info_ == nullptr) return;
    if (setjmp(png_jmpbuf(png_)) != 0) return;
    png_init_io(png_, out);
    png_set_IHDR(png_, info_, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png_, info_);
    png_set_bgr(png_);  // the engine's rows are B,G,R
    ok_ = true;
  }
  ~PngWriter() override { png_destroy_write_struct(&png_, &info_); }

  bool WriteRow(const uint8_t* bgr) override {
    if (!ok_) return false;
    if (setjmp(png_jmpbuf(png_)) != 0) return ok_ = false;
    png_write_row(png_, const_cast<png_bytep>(bgr));
    return true;
  }
  bool Finish() override {
    if (!ok_) return false;
    if (setjmp(png_jmpbuf(png_)) != 0) return ok_ = false;
    png_write_end(png_, nullptr);
    return std::fflush(out_) == 0;
  }

 private:
  static void OnError(png_structp png, png_const_charp) { longjmp(png_jmpbuf(png), 1); }
  static void OnWarning(png_structp, png_const_charp) {}

  FILE* out_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  bool ok_ = false;
};

}  // namespace

bool ParseImageFormat(const std::string& name, ImageFormat& format) {
  const std::string n = Lower(name);
  if (n == "png") format = ImageFormat::kPng;
  else if (n == "ppm") format = ImageFormat::kPpm;
  else if (n == "pgm") format = ImageFormat::kPgm;
  else return false;
  return true;
}

bool FormatFromExtension(const std::string& path, ImageFormat& format) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return ParseImageFormat(path.substr(dot + 1), format);
}

std::unique_ptr<ImageWriter> ImageWriter::Make(ImageFormat format, FILE* out, int32_t width, int32_t height) {
  if (format == ImageFormat::kPng) return std::make_unique<PngWriter>(out, width, height);
  return std::make_unique<PnmWriter>(out, width, height, format == ImageFormat::kPgm);
}

}  // namespace folio::cli

// Test helpers for the DCT decoder: JPEG files written with libjpeg's own
// compressor, and libjpeg's own decode of a byte buffer as the reference.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace vn::test {

struct JpegImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t components = 0;
  std::vector<std::vector<uint8_t>> rows;
  bool failed = false;  // libjpeg raised a fatal error
  long warnings = 0;
};

namespace jpeg_test_detail {
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
inline void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
inline void Quiet(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}
}  // namespace jpeg_test_detail

// A width x height image with `components` 1 (gray), 3 (RGB) or 4 (CMYK),
// made of smooth gradients and a few sharp edges.
inline std::vector<uint8_t> SamplePixels(uint32_t width, uint32_t height, uint32_t components,
                                         uint32_t seed = 1) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * components);
  uint32_t state = seed * 2654435761u;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      for (uint32_t c = 0; c < components; ++c) {
        uint32_t v = (x * (3 + c) * 255 / (width + 1) + y * (5 + 2 * c) * 255 / (height + 1)) & 0xFF;
        if (((x / 5) + (y / 3)) % 7 == c) v ^= 0x80;
        v += (state >> (24 + c)) & 7;
        pixels[(static_cast<size_t>(y) * width + x) * components + c] = static_cast<uint8_t>(v);
      }
    }
  }
  return pixels;
}

inline std::vector<uint8_t> EncodeJpeg(uint32_t width, uint32_t height, uint32_t components,
                                       bool progressive = false, int quality = 85,
                                       uint32_t seed = 1, unsigned int restartRows = 0) {
  std::vector<uint8_t> pixels = SamplePixels(width, height, components, seed);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = static_cast<int>(components);
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  cinfo.restart_in_rows = static_cast<int>(restartRows);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < height) {
    JSAMPROW row = pixels.data() + static_cast<size_t>(cinfo.next_scanline) * width * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// libjpeg's decode of `bytes` at 1/`scale`, with its default output colour
// space. Warnings are ignored, as the engine's decoder ignores them.
inline JpegImage ReferenceDecode(const std::vector<uint8_t>& bytes, unsigned int scale = 1) {
  JpegImage image;
  jpeg_decompress_struct cinfo;
  jpeg_test_detail::ErrorManager error;
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = &jpeg_test_detail::ErrorExit;
  error.pub.emit_message = &jpeg_test_detail::Quiet;
  jpeg_create_decompress(&cinfo);
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    image.failed = true;
    return image;
  }
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    cinfo.scale_num = 1;
    cinfo.scale_denom = scale;
    jpeg_start_decompress(&cinfo);
    image.width = cinfo.output_width;
    image.height = cinfo.output_height;
    image.components = static_cast<uint32_t>(cinfo.output_components);
    while (cinfo.output_scanline < cinfo.output_height) {
      std::vector<uint8_t> row(static_cast<size_t>(image.width) * image.components);
      JSAMPROW pointer = row.data();
      if (jpeg_read_scanlines(&cinfo, &pointer, 1) != 1) break;
      image.rows.push_back(std::move(row));
    }
  }
  image.warnings = error.pub.num_warnings;
  jpeg_destroy_decompress(&cinfo);
  return image;
}

}  // namespace vn::test

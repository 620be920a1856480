// DCTDecode: a libjpeg decompressor fed from the source stream's blocks.
//
// Unlike the other decoders, each block it gives is exactly one scanline
// (output width x components bytes of interleaved 8-bit samples); after the
// last scanline the block is empty. The output colour space is the one
// libjpeg chooses for the file: gray stays gray, YCbCr becomes RGB, and
// CMYK / YCCK (Adobe APP14) come out as CMYK samples exactly as stored
// (Adobe files keep their inverted values); the image pipeline interprets
// them.
//
// Memory: libjpeg's memory manager is replaced, after the decompressor is
// created, by one that takes every pool and virtual-array allocation from
// the engine budget (refusals become libjpeg's out-of-memory error, code 0).
// Creating the decompressor always makes libjpeg's own manager and first
// pool with its own allocator (jpeg_create_decompress takes no manager), so
// those bytes (kLibraryBytes) are charged to the budget while the
// decompressor lives.
//
// Errors: the first fatal libjpeg error is recorded (code 0 for its
// out-of-memory message, 2 otherwise) and raised after the decompressor is
// destroyed; later fatal errors of the same decoder raise the same record.
// Truncated data ends quietly: a missing end of the data reads as an end
// marker, and libjpeg's warnings are counted, never printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t

#include <jpeglib.h>

#include "data_io/filtered_stream.h"
#include "data_io/partial_row.h"

namespace vn::data_io {

namespace data_io_detail {
struct JpegMemory;
}

class JPGDataBlockStream final : public FilteredDataBlockStream {
 public:
  // What libjpeg takes from its own allocator for one decompressor (about
  // 1.9 KB measured with glibc on x86-64, headers included), rounded up.
  static constexpr uint32_t kLibraryBytes = 2048;

  // Owns `source` (built with New) once built. `scaleDenominator` 1, 2,
  // 4 or 8 decodes at that fraction of the full size (for images drawn
  // small); any other value raises code 2.
  JPGDataBlockStream(AppContext& context, DataBlockStream* source, int32_t scaleDenominator = 1);
  ~JPGDataBlockStream() override { Reset(); }

  void GetNextBlock(DataBlockRef& out) override;
  // Copies scanline bytes for callers that read through Decode.
  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;
  uint32_t GetMemorySize() const override;

  // Geometry of the output, valid once the first block was asked for
  // (0 before, and when the header could not be read).
  uint32_t OutputWidth() const { return width_; }
  uint32_t OutputHeight() const { return height_; }
  uint32_t OutputComponents() const { return components_; }
  // libjpeg's count of corrupt-data warnings in this decode.
  long Warnings() const { return warnings_; }

  // Destroys the decompressor and unregisters (for unwinding; idempotent).
  void Reset();

 protected:
  void ResetDecoder() override;

 private:
  enum class State { kIdle, kDecoding, kDone, kFailed };

  void Start();
  void ReadRow(DataBlockRef& out);
  void Finish();
  void Destroy();
  [[noreturn]] void RaiseRecorded();

  // libjpeg call-backs; the object is the decompressor's client data.
  static void ErrorExit(j_common_ptr cinfo);
  static void EmitMessage(j_common_ptr cinfo, int level);
  static void OutputMessage(j_common_ptr cinfo);
  static void InitSource(j_decompress_ptr cinfo);
  static boolean FillInputBuffer(j_decompress_ptr cinfo);
  static void SkipInputData(j_decompress_ptr cinfo, long count);
  static void TermSource(j_decompress_ptr cinfo);

  jpeg_decompress_struct cinfo_;
  jpeg_error_mgr errorMgr_;
  jpeg_source_mgr sourceMgr_;
  data_io_detail::JpegMemory* memory_ = nullptr;
  bool created_ = false;
  bool charged_ = false;  // kLibraryBytes are counted in the budget
  State state_ = State::kIdle;
  int32_t scaleDenominator_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t components_ = 0;
  uint32_t rowBytes_ = 0;
  long warnings_ = 0;
  // The source ran out: an end marker was put in its place.
  bool sourceExhausted_ = false;
  // Rows given before the data ran out while scanlines were being decoded:
  // the band of rows where it ran out is the last.
  uint32_t cutRow_ = 0xFFFFFFFFu;
  // Set by the error exit just before it raises; the handler reads it.
  bool raisingOwn_ = false;
  bool quietEnd_ = false;

  // The first fatal libjpeg error of this decoder.
  bool hasError_ = false;
  Error error_{};

  // Decode's partly copied scanline.
  PartialRow pendingRow_;
};

}  // namespace vn::data_io

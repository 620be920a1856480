// ICC tags as step factories: each reads its tag data (bounds-checked) and
// appends its steps to a pipeline in the forward (data to connection
// space) or inverse (connection space to data) direction.
#pragma once

#include <cstdint>

#include "color/icc_pipeline.h"

namespace vn::color::color_detail {

// The profile's bytes with bounds-checked big-endian reads: every read
// past the end (or past a tag's end) raises kBadData.
class ProfileReader {
 public:
  ProfileReader(AppContext& context, const uint8_t* bytes, uint32_t size)
      : context_(context), bytes_(bytes), size_(size) {}
  AppContext& Context() const { return context_; }
  uint32_t Size() const { return size_; }
  // Raises unless [offset, offset + length) lies inside the profile.
  void Need(uint32_t offset, uint32_t length) const;
  uint8_t U8(uint32_t offset) const;
  uint16_t U16(uint32_t offset) const;
  uint32_t U32(uint32_t offset) const;
  Fixed16_16 S15Fixed16(uint32_t offset) const { return static_cast<Fixed16_16>(U32(offset)); }

 private:
  AppContext& context_;
  const uint8_t* bytes_;
  uint32_t size_;
};

// A tag's place in the profile.
struct TagSpan {
  uint32_t offset;
  uint32_t size;
};

enum class Direction { kForward, kInverse };

// "XYZ " tags: one XYZ value.
struct ICCTagXYZ {
  static void Read(const ProfileReader& reader, const TagSpan& tag, Fixed16_16* xyz);
};

// "curv" and "para" curves of one channel. Returns the bytes the curve
// takes (for curve sequences inside "mAB " and "mBA " tags).
struct ICCTagTRC {
  static uint32_t Append(const ProfileReader& reader, const TagSpan& tag, uint32_t channel, Direction direction,
                         ICCPipeline& pipeline);
};

// The lookup-table tags ("mft1", "mft2", "mAB ", "mBA "): the steps between
// the data space and the connection space, whichever the tag's direction.
// `inputSpace` and `outputSpace` are the signatures of the table's own
// input and output spaces; `pcs` tells how the connection side is encoded.
struct ICCTagLut {
  static void Append(const ProfileReader& reader, const TagSpan& tag, uint32_t inputSpace, uint32_t outputSpace,
                     bool pcsIsInput, uint32_t pcs, ICCPipeline& pipeline);
};

// Cells a lookup table may have (grid points x outputs): 4 MB of 16-bit
// entries. Larger tables are not supported.
inline constexpr uint32_t kMaxTableEntries = 1u << 21;

}  // namespace vn::color::color_detail

#include "color/icc_tags.h"

#include "color/icc_color_space.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::color::color_detail {

void ProfileReader::Need(uint32_t offset, uint32_t length) const {
  if (offset > size_ || length > size_ - offset) RaiseBadData(context_);
}
uint8_t ProfileReader::U8(uint32_t offset) const {
  Need(offset, 1);
  return bytes_[offset];
}
uint16_t ProfileReader::U16(uint32_t offset) const {
  Need(offset, 2);
  return static_cast<uint16_t>(bytes_[offset] << 8 | bytes_[offset + 1]);
}
uint32_t ProfileReader::U32(uint32_t offset) const {
  Need(offset, 4);
  const uint8_t* p = bytes_ + offset;
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

void ICCTagXYZ::Read(const ProfileReader& reader, const TagSpan& tag, Fixed16_16* xyz) {
  if (tag.size < 20 || reader.U32(tag.offset) != Signature("XYZ ")) RaiseBadData(reader.Context());
  for (int i = 0; i < 3; ++i) xyz[i] = reader.S15Fixed16(tag.offset + 8 + 4 * i);
}

namespace {

// Entries of a sampled inverse curve.
constexpr uint32_t kInverseEntries = 4096;
// Curve entries we read.
constexpr uint32_t kMaxCurveEntries = 65536;

// Forward samples walked when inverting a curve.
constexpr uint32_t kForwardSamples = 2 * kInverseEntries;

// Appends the numeric inverse of `forward` (a curve of `channel`) as a
// sampled table. The curve is walked once from 0 to 1 (it may rise or
// fall); each target value is found between two neighbouring samples and
// interpolated. Targets beyond the curve's range map to its ends.
void AppendSampledInverse(AppContext& context, const ICCEngineStep& forward, uint32_t channel,
                          ICCPipeline& pipeline) {
  auto* table = New<ICCStep1DTable>(context, context, channel, 1u, kInverseEntries);
  pipeline.Append(table);
  Fixed16_16 v[kMaxPipelineChannels] = {};
  auto sampleX = [](uint32_t k) { return static_cast<Fixed16_16>((uint64_t{k} << 16) / kForwardSamples); };
  auto at = [&](uint32_t k) {
    v[channel] = sampleX(k);
    forward.Apply(v);
    return static_cast<int64_t>(v[channel]);
  };
  const bool rising = at(kForwardSamples) >= at(0);
  // Targets in the order the walk meets them: rising ones upward.
  uint32_t k = 0;
  int64_t y0 = at(0), y1 = at(1);
  for (uint32_t n = 0; n < kInverseEntries; ++n) {
    const uint32_t j = rising ? n : kInverseEntries - 1 - n;
    const int64_t target = (int64_t{j} * kFixedOne + (kInverseEntries - 1) / 2) / (kInverseEntries - 1);
    // Step on while the next sample is still short of the target.
    while (k + 1 < kForwardSamples && (rising ? y1 < target : y1 > target)) {
      ++k;
      y0 = y1;
      y1 = at(k + 1);
      if ((k & 1023) == 1023) AddWork(context, 1024);
    }
    int64_t x;
    if (rising ? target <= y0 : target >= y0) {
      x = sampleX(k);
    } else if (rising ? target >= y1 : target <= y1) {
      x = sampleX(k + 1);
    } else {
      x = sampleX(k) + (target - y0) * (sampleX(k + 1) - sampleX(k)) / (y1 - y0);
    }
    table->Values()[j] = static_cast<uint16_t>((x * 65535 + 0x8000) >> 16);
  }
}

}  // namespace

uint32_t ICCTagTRC::Append(const ProfileReader& reader, const TagSpan& tag, uint32_t channel, Direction direction,
                           ICCPipeline& pipeline) {
  AppContext& context = reader.Context();
  if (tag.size < 12) RaiseBadData(context);
  const uint32_t type = reader.U32(tag.offset);
  Ref<ICCEngineStep> forward(context);
  uint32_t length;
  if (type == Signature("curv")) {
    const uint32_t count = reader.U32(tag.offset + 8);
    // A count the tag cannot hold is a lie, however large.
    if (12 + 2 * uint64_t{count} > tag.size) RaiseBadData(context);
    if (count > kMaxCurveEntries) RaiseUnsupported(context);
    length = 12 + 2 * count;
    reader.Need(tag.offset, length);
    if (count == 0) return length;  // the identity
    if (count == 1) {
      Fixed16_16 gamma = reader.U16(tag.offset + 12) * 256;  // u8.8
      if (direction == Direction::kInverse) {
        if (gamma <= 0) RaiseBadData(context);
        gamma = FixedDiv(kFixedOne, gamma);
      }
      pipeline.Append(New<ICCStepGamma>(context, channel, gamma));
      return length;
    }
    auto* table = New<ICCStep1DTable>(context, context, channel, 1u, count);
    forward.Set(table);
    for (uint32_t i = 0; i < count; ++i) table->Values()[i] = reader.U16(tag.offset + 12 + 2 * i);
  } else if (type == Signature("para")) {
    static constexpr uint32_t kParameters[5] = {1, 3, 4, 5, 7};
    uint32_t function = reader.U16(tag.offset + 8);
    if (function > 4) RaiseBadData(context);
    length = 12 + 4 * kParameters[function];
    if (length > tag.size) RaiseBadData(context);
    Fixed16_16 p[7] = {};
    for (uint32_t i = 0; i < kParameters[function]; ++i) p[i] = reader.S15Fixed16(tag.offset + 12 + 4 * i);
    if (function == 0) {
      Fixed16_16 gamma = p[0];
      if (direction == Direction::kInverse) {
        if (gamma <= 0) RaiseBadData(context);
        gamma = FixedDiv(kFixedOne, gamma);
      }
      pipeline.Append(New<ICCStepGamma>(context, channel, gamma));
      return length;
    }
    // Curves that rise with X (a > 0, g > 0) are inverted exactly; others
    // by sampling below.
    if (direction == Direction::kInverse && p[0] > 0 && p[1] > 0) {
      pipeline.Append(New<ICCStepInverseParametricCurve>(context, channel, function, p));
      return length;
    }
    switch (function) {
      case 1: forward.Set(New<ICCStepParametricCurve1>(context, channel, p)); break;
      case 2: forward.Set(New<ICCStepParametricCurve2>(context, channel, p)); break;
      case 3: forward.Set(New<ICCStepParametricCurve3>(context, channel, p)); break;
      default: forward.Set(New<ICCStepParametricCurve4>(context, channel, p)); break;
    }
  } else {
    RaiseBadData(context);
  }
  if (direction == Direction::kForward) {
    pipeline.Append(forward.get());
  } else {
    AppendSampledInverse(context, *forward, channel, pipeline);
  }
  return length;
}

namespace {

// Encodings of the connection space inside lut tags, relative to the
// engine's: 16-bit legacy Lab ("mft2") is L 0..0xFF00, and XYZ tables use
// 1.15 numbers, so 1.0 sits at 0x8000 of 0xFFFF.
constexpr Fixed16_16 kLegacyLabOut = 65792;  // 65535 / 65280
constexpr Fixed16_16 kLegacyLabIn = 65281;   // 65280 / 65535
constexpr Fixed16_16 kXYZOut = 131070;       // 65535 / 32768
constexpr Fixed16_16 kXYZIn = 32769;         // 32768 / 65535

void AppendScale(AppContext& context, Fixed16_16 factor, ICCPipeline& pipeline) {
  Fixed16_16 f[3] = {factor, factor, factor};
  pipeline.Append(New<ICCStepScale>(context, 3u, f));
}

// The connection-space conversion on the table's PCS side.
void AppendPCSEncoding(AppContext& context, uint32_t tagType, uint32_t pcs, bool pcsIsInput,
                       ICCPipeline& pipeline) {
  if (pcs == Signature("XYZ ")) {
    AppendScale(context, pcsIsInput ? kXYZIn : kXYZOut, pipeline);
  } else if (tagType == Signature("mft2")) {
    AppendScale(context, pcsIsInput ? kLegacyLabIn : kLegacyLabOut, pipeline);
  }
}

uint32_t CheckedEntries(AppContext& context, uint32_t inputs, const uint8_t* grid, uint32_t outputs) {
  uint64_t entries = outputs;
  for (uint32_t i = 0; i < inputs; ++i) {
    if (grid[i] < 2) RaiseBadData(context);  // one point gives no cell to interpolate in
    entries *= grid[i];
    if (entries > kMaxTableEntries) RaiseUnsupported(context);
  }
  return static_cast<uint32_t>(entries);
}

ICCStepMDTable* NewTable(AppContext& context, uint32_t inputs, uint32_t outputs, const uint8_t* grid,
                         uint32_t inputSpace, uint32_t outputSpace) {
  bool linear = inputs == 4 && outputs == 3 && inputSpace == Signature("CMYK") && outputSpace == Signature("RGB ");
  if (linear) return New<ICCStepMDTableLinear>(context, context, inputs, outputs, grid);
  return New<ICCStepMDTableHedral>(context, context, inputs, outputs, grid);
}

// A table must read and write as many channels as its two spaces have.
void CheckChannels(AppContext& context, uint32_t inputs, uint32_t outputs, uint32_t inputSpace,
                   uint32_t outputSpace) {
  if (inputs != ChannelsOfDataSpace(inputSpace) || outputs != ChannelsOfDataSpace(outputSpace) ||
      inputs >= kMaxPipelineChannels || outputs >= kMaxPipelineChannels) {
    RaiseBadData(context);
  }
}

// The profile offset of `length` bytes at `offset` inside `tag`; raises
// unless they lie inside it. (The tag itself lies inside the profile.)
uint32_t Inside(const ProfileReader& reader, const TagSpan& tag, uint32_t offset, uint32_t length) {
  if (uint64_t{offset} + length > tag.size) RaiseBadData(reader.Context());
  return tag.offset + offset;
}

// "mft1" and "mft2": matrix (XYZ input only), input curves, table, output curves.
void AppendLut8Or16(const ProfileReader& reader, const TagSpan& tag, uint32_t inputSpace, uint32_t outputSpace,
                    ICCPipeline& pipeline, bool wide) {
  AppContext& context = reader.Context();
  const uint32_t o = Inside(reader, tag, 0, wide ? 52 : 48);
  const uint32_t inputs = reader.U8(o + 8), outputs = reader.U8(o + 9), points = reader.U8(o + 10);
  CheckChannels(context, inputs, outputs, inputSpace, outputSpace);
  uint8_t grid[kMaxPipelineChannels];
  for (uint32_t i = 0; i < inputs; ++i) grid[i] = static_cast<uint8_t>(points);
  const uint32_t entries = CheckedEntries(context, inputs, grid, outputs);
  uint32_t inEntries = 256, outEntries = 256, at = o + 48;
  if (wide) {
    inEntries = reader.U16(o + 48);
    outEntries = reader.U16(o + 50);
    if (inEntries == 0 || outEntries == 0) RaiseBadData(context);
    if (inEntries > 4096 || outEntries > 4096) RaiseUnsupported(context);
    at = o + 52;
  }
  const uint32_t unit = wide ? 2 : 1;
  uint64_t needed = static_cast<uint64_t>(at - o) +
                    unit * (static_cast<uint64_t>(inputs) * inEntries + entries + uint64_t{outputs} * outEntries);
  if (needed > tag.size) RaiseBadData(context);
  reader.Need(o, static_cast<uint32_t>(needed));
  auto value = [&](uint32_t offset) -> uint16_t {
    return wide ? reader.U16(offset) : static_cast<uint16_t>(reader.U8(offset) * 257);
  };

  if (inputSpace == Signature("XYZ ") && inputs == 3) {
    Fixed16_16 m[9];
    for (int i = 0; i < 9; ++i) m[i] = reader.S15Fixed16(o + 12 + 4 * i);
    pipeline.Append(New<ICCStepMatrix3by4>(context, m, nullptr));
  }
  auto* in = New<ICCStep1DTable>(context, context, 0u, inputs, inEntries);
  pipeline.Append(in);
  for (uint32_t i = 0; i < inputs * inEntries; ++i) in->Values()[i] = value(at + unit * i);
  at += unit * inputs * inEntries;
  ICCStepMDTable* table = NewTable(context, inputs, outputs, grid, inputSpace, outputSpace);
  pipeline.Append(table);
  for (uint32_t i = 0; i < entries; ++i) {
    table->Values()[i] = value(at + unit * i);
    if ((i & 4095) == 4095) AddWork(context, 4096);
  }
  at += unit * entries;
  auto* out = New<ICCStep1DTable>(context, context, 0u, outputs, outEntries);
  pipeline.Append(out);
  for (uint32_t i = 0; i < outputs * outEntries; ++i) out->Values()[i] = value(at + unit * i);
}

// A curve sequence of an "mAB "/"mBA " tag: one curve per channel.
void AppendCurveSet(const ProfileReader& reader, const TagSpan& tag, uint32_t offset, uint32_t count,
                    ICCPipeline& pipeline) {
  for (uint32_t c = 0; c < count; ++c) {
    const uint32_t at = Inside(reader, tag, offset, 12);
    const uint32_t length = ICCTagTRC::Append(reader, TagSpan{at, tag.size - offset}, c, Direction::kForward, pipeline);
    offset += (length + 3) & ~3u;  // curves are at most 12 + 2 * 65536 bytes: no overflow
  }
}

void AppendMatrix(const ProfileReader& reader, const TagSpan& tag, uint32_t offset, ICCPipeline& pipeline) {
  Fixed16_16 m[12];
  const uint32_t at = Inside(reader, tag, offset, 48);
  for (int i = 0; i < 12; ++i) m[i] = reader.S15Fixed16(at + 4 * i);
  pipeline.Append(New<ICCStepMatrix3by4>(reader.Context(), m, m + 9));
}

void AppendCLUT(const ProfileReader& reader, const TagSpan& tag, uint32_t offset, uint32_t inputs,
                uint32_t outputs, uint32_t inputSpace, uint32_t outputSpace, ICCPipeline& pipeline) {
  AppContext& context = reader.Context();
  const uint32_t o = Inside(reader, tag, offset, 20);
  uint8_t grid[kMaxPipelineChannels];
  for (uint32_t i = 0; i < inputs; ++i) grid[i] = reader.U8(o + i);
  const uint32_t entries = CheckedEntries(context, inputs, grid, outputs);
  const uint32_t precision = reader.U8(o + 16);
  if (precision != 1 && precision != 2) RaiseBadData(context);
  Inside(reader, tag, offset + 20, entries * precision);  // entries * 2 <= 4 MB
  ICCStepMDTable* table = NewTable(context, inputs, outputs, grid, inputSpace, outputSpace);
  pipeline.Append(table);
  for (uint32_t i = 0; i < entries; ++i) {
    table->Values()[i] = precision == 2 ? reader.U16(o + 20 + 2 * i) : static_cast<uint16_t>(reader.U8(o + 20 + i) * 257);
    if ((i & 4095) == 4095) AddWork(context, 4096);
  }
}

// "mAB " (A curves, table, M curves, matrix, B curves) and "mBA " (the
// reverse order).
void AppendLutAB(const ProfileReader& reader, const TagSpan& tag, uint32_t inputSpace, uint32_t outputSpace,
                 ICCPipeline& pipeline, bool aToB) {
  AppContext& context = reader.Context();
  const uint32_t o = Inside(reader, tag, 0, 32);
  const uint32_t inputs = reader.U8(o + 8), outputs = reader.U8(o + 9);
  CheckChannels(context, inputs, outputs, inputSpace, outputSpace);
  const uint32_t b = reader.U32(o + 12), matrix = reader.U32(o + 16), m = reader.U32(o + 20),
                 clut = reader.U32(o + 24), a = reader.U32(o + 28);
  if (b == 0) RaiseBadData(context);
  if (clut == 0 && inputs != outputs) RaiseBadData(context);
  if ((matrix != 0 || m != 0) && (aToB ? outputs : inputs) != 3) RaiseBadData(context);
  if (aToB) {
    if (a != 0) AppendCurveSet(reader, tag, a, inputs, pipeline);
    if (clut != 0) AppendCLUT(reader, tag, clut, inputs, outputs, inputSpace, outputSpace, pipeline);
    if (m != 0) AppendCurveSet(reader, tag, m, outputs, pipeline);
    if (matrix != 0) AppendMatrix(reader, tag, matrix, pipeline);
    AppendCurveSet(reader, tag, b, outputs, pipeline);
  } else {
    AppendCurveSet(reader, tag, b, inputs, pipeline);
    if (matrix != 0) AppendMatrix(reader, tag, matrix, pipeline);
    if (m != 0) AppendCurveSet(reader, tag, m, inputs, pipeline);
    if (clut != 0) AppendCLUT(reader, tag, clut, inputs, outputs, inputSpace, outputSpace, pipeline);
    if (a != 0) AppendCurveSet(reader, tag, a, outputs, pipeline);
  }
}

}  // namespace

void ICCTagLut::Append(const ProfileReader& reader, const TagSpan& tag, uint32_t inputSpace, uint32_t outputSpace,
                       bool pcsIsInput, uint32_t pcs, ICCPipeline& pipeline) {
  AppContext& context = reader.Context();
  const uint32_t type = reader.U32(tag.offset);
  if (pcsIsInput) AppendPCSEncoding(context, type, pcs, true, pipeline);
  if (type == Signature("mft1") || type == Signature("mft2")) {
    AppendLut8Or16(reader, tag, inputSpace, outputSpace, pipeline, type == Signature("mft2"));
  } else if (type == Signature("mAB ") || type == Signature("mBA ")) {
    AppendLutAB(reader, tag, inputSpace, outputSpace, pipeline, type == Signature("mAB "));
  } else {
    RaiseBadData(context);
  }
  if (!pcsIsInput) AppendPCSEncoding(context, type, pcs, false, pipeline);
}

}  // namespace vn::color::color_detail

// The steps of an ICC conversion pipeline. Each works in place on a vector
// of 16.16 channels; device and table values are in 0..1, Lab is carried as
// L/100, (a + 128)/255, (b + 128)/255 and XYZ as PCS values (D50 white
// (0.9642, 1.0, 0.8249)). Steps are reference counted so that pipelines
// built from the same tag share them.
#pragma once

#include <cstdint>

#include "runtime/fixed16_16.h"
#include "runtime/ref_counted.h"

namespace vn::color::color_detail {

inline constexpr uint32_t kMaxPipelineChannels = 16;

// The D50 illuminant of the connection space.
inline constexpr Fixed16_16 kD50[3] = {63190, 65536, 54061};

class ICCEngineStep : public RefCounted {
 public:
  virtual bool IsIdentity() const { return false; }
  virtual void Apply(Fixed16_16* channels) const = 0;
  virtual bool IsMatrix() const { return false; }
  // A curve: each channel's result depends only on that channel's value,
  // read clamped to 0..1 (so the step can be sampled per channel).
  virtual bool IsUnitCurve() const { return false; }
  bool IsShared() const { return IsUnique(); }
  virtual uint32_t MemorySize() const { return 32; }
};

class ICCStepNull final : public ICCEngineStep {
 public:
  bool IsIdentity() const override { return true; }
  void Apply(Fixed16_16*) const override {}
};

class ICCStepClamp final : public ICCEngineStep {
 public:
  ICCStepClamp(uint32_t count, Fixed16_16 low, Fixed16_16 high) : count_(count), low_(low), high_(high) {}
  void Apply(Fixed16_16* channels) const override;
  bool IsUnitCurve() const override { return low_ == 0 && high_ == kFixedOne; }

 private:
  uint32_t count_;
  Fixed16_16 low_, high_;
};

// Multiplies channels by constants (PCS encodings of lut tags).
class ICCStepScale final : public ICCEngineStep {
 public:
  ICCStepScale(uint32_t count, const Fixed16_16* factors);
  void Apply(Fixed16_16* channels) const override;

 private:
  uint32_t count_;
  Fixed16_16 factors_[3];
};

// Curves act on one channel each; a set of curves is one step per channel.
class ICCStepGamma final : public ICCEngineStep {
 public:
  ICCStepGamma(uint32_t channel, Fixed16_16 gamma) : channel_(channel), gamma_(gamma) {}
  bool IsIdentity() const override { return gamma_ == kFixedOne; }
  void Apply(Fixed16_16* channels) const override;
  bool IsUnitCurve() const override { return true; }

 private:
  uint32_t channel_;
  Fixed16_16 gamma_;
};

// ICC parametric curves 1 to 4 (function types 1..4 of "para"); the
// parameters g, a, b, c, d, e, f (unused ones 0). Results are clamped to 0..1.
class ICCStepParametricCurve : public ICCEngineStep {
 public:
  ICCStepParametricCurve(uint32_t channel, uint32_t function, const Fixed16_16* parameters);
  void Apply(Fixed16_16* channels) const override { channels[channel_] = Evaluate(channels[channel_]); }
  bool IsUnitCurve() const override { return true; }
  Fixed16_16 Evaluate(Fixed16_16 x) const;

 private:
  uint32_t channel_;
  uint32_t function_;
  Fixed16_16 g_, a_, b_, c_, d_, e_, f_;
};
class ICCStepParametricCurve1 final : public ICCStepParametricCurve {
 public:
  ICCStepParametricCurve1(uint32_t channel, const Fixed16_16* p) : ICCStepParametricCurve(channel, 1, p) {}
};
class ICCStepParametricCurve2 final : public ICCStepParametricCurve {
 public:
  ICCStepParametricCurve2(uint32_t channel, const Fixed16_16* p) : ICCStepParametricCurve(channel, 2, p) {}
};
class ICCStepParametricCurve3 final : public ICCStepParametricCurve {
 public:
  ICCStepParametricCurve3(uint32_t channel, const Fixed16_16* p) : ICCStepParametricCurve(channel, 3, p) {}
};
class ICCStepParametricCurve4 final : public ICCStepParametricCurve {
 public:
  ICCStepParametricCurve4(uint32_t channel, const Fixed16_16* p) : ICCStepParametricCurve(channel, 4, p) {}
};

// The inverse of a parametric curve of function 1 to 4 (for destination
// profiles), solved for X; a must not be 0 nor g at most 0. Results are
// clamped to 0..1.
class ICCStepInverseParametricCurve final : public ICCEngineStep {
 public:
  ICCStepInverseParametricCurve(uint32_t channel, uint32_t function, const Fixed16_16* parameters);
  void Apply(Fixed16_16* channels) const override { channels[channel_] = Evaluate(channels[channel_]); }
  bool IsUnitCurve() const override { return true; }
  Fixed16_16 Evaluate(Fixed16_16 y) const;

 private:
  // X for Y = (aX + b)^g + offset.
  Fixed16_16 PowerPart(Fixed16_16 y, Fixed16_16 offset) const;

  uint32_t channel_;
  uint32_t function_;
  Fixed16_16 inverseGamma_, a_, b_, c_, e_, f_;
  Fixed16_16 threshold_;  // Y where the power segment starts (functions 3, 4)
};

// Sampled curves, one table per channel from `firstChannel` on, linearly
// interpolated; entries are 0..65535 for 0..1. The step owns its tables.
class ICCStep1DTable final : public ICCEngineStep {
 public:
  // Allocates `entries` values per channel for `count` channels; the
  // maker fills them through Values().
  ICCStep1DTable(AppContext& context, uint32_t firstChannel, uint32_t count, uint32_t entries);
  ~ICCStep1DTable() override;
  void Apply(Fixed16_16* channels) const override;
  bool IsUnitCurve() const override { return true; }
  uint16_t* Values() { return values_; }
  uint32_t MemorySize() const override { return 48 + count_ * entries_ * 2; }

 private:
  AppContext& context_;
  uint32_t first_, count_, entries_;
  uint16_t* values_;
};

// y = M x + offset on channels 0..2 (the nine entries row by row); negative
// results become 0.
class ICCStepMatrix3by4 final : public ICCEngineStep {
 public:
  ICCStepMatrix3by4(const Fixed16_16* matrix, const Fixed16_16* offset);
  void Apply(Fixed16_16* channels) const override;
  bool IsMatrix() const override { return true; }
  const Fixed16_16* Matrix() const { return m_; }
  const Fixed16_16* Offset() const { return offset_; }

 private:
  Fixed16_16 m_[9];
  Fixed16_16 offset_[3];
};

// A multidimensional table: inputs x grid points -> outputs, entries
// 0..65535 for 0..1, first input slowest (ICC order).
class ICCStepMDTable : public ICCEngineStep {
 public:
  // Allocates the table (the caller has bounded its size); the maker
  // fills it through Values().
  ICCStepMDTable(AppContext& context, uint32_t inputs, uint32_t outputs, const uint8_t* gridPoints);
  ~ICCStepMDTable() override;
  uint32_t MemorySize() const override;
  uint16_t* Values() { return values_; }
  uint32_t EntryCount() const { return strides_[0] * grid_[0]; }

 protected:
  // Cell index and fraction of channel i's value.
  void Locate(uint32_t i, Fixed16_16 x, uint32_t* index, Fixed16_16* fraction) const;
  // The entry offset of the cell holding `channels`, and the fractions.
  uint32_t LocateCell(const Fixed16_16* channels, Fixed16_16* fraction) const;

  AppContext& context_;
  uint32_t inputs_, outputs_;
  uint32_t grid_[kMaxPipelineChannels];
  uint32_t strides_[kMaxPipelineChannels];  // in entries
  uint16_t* values_;
};

// Multilinear interpolation, one input after the other (tables of at most
// 8 inputs and 8 outputs; larger ones use the simplex form).
class ICCStepMDTableLinear final : public ICCStepMDTable {
 public:
  using ICCStepMDTable::ICCStepMDTable;
  void Apply(Fixed16_16* channels) const override;
};

// Simplex interpolation: the fractions sorted, corners added in that order.
class ICCStepMDTableHedral final : public ICCStepMDTable {
 public:
  using ICCStepMDTable::ICCStepMDTable;
  void Apply(Fixed16_16* channels) const override;
};

class ICCStepLabToXYZ final : public ICCEngineStep {
 public:
  explicit ICCStepLabToXYZ(const Fixed16_16* white);
  void Apply(Fixed16_16* channels) const override;

 private:
  Fixed16_16 white_[3];
};

class ICCStepXYZToLab final : public ICCEngineStep {
 public:
  explicit ICCStepXYZToLab(const Fixed16_16* white);
  void Apply(Fixed16_16* channels) const override;

 private:
  Fixed16_16 white_[3];
};

// Inverts a 3x3 matrix of 16.16 entries; false when it is singular.
bool InvertMatrix3(const Fixed16_16* m, Fixed16_16* inverse);

}  // namespace vn::color::color_detail

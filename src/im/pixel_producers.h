// Pixel producers: the per-run workers behind the compositing painters.
// A producer reports where its inputs' runs change (RunAt) and produces the
// pixels of one run (Produce). The no-op producers produce nothing and only
// combine their inputs' runs; the working producers of
// raster_compositing.h derive from them.
#pragma once

#include <cstdint>

#include "im/raster_painter.h"

namespace vn::im {

class PixelProducer {
 public:
  // Produces the pixels of [x, x + n), a stretch within one run of RunAt.
  virtual void Produce(int32_t x, int32_t n) = 0;
  // The run at x: empty where any input is empty, full where all are full,
  // partial elsewhere; it ends at the nearest end of an input's run.
  virtual PixelRun RunAt(int32_t x) = 0;

 protected:
  ~PixelProducer() = default;
};

inline PixelRun CombineRuns(PixelRun a, PixelRun b) {
  const int32_t end = a.end < b.end ? a.end : b.end;
  if (a.kind == kRunEmpty || b.kind == kRunEmpty) return PixelRun{kRunEmpty, end};
  return PixelRun{a.kind == kRunFull && b.kind == kRunFull ? kRunFull : kRunPartial, end};
}

template <class A>
class NoOpUnaryPixelProducer : public PixelProducer {
 public:
  explicit NoOpUnaryPixelProducer(A& a) : a_(a) {}
  void Produce(int32_t, int32_t) override {}
  PixelRun RunAt(int32_t x) override { return a_.RunAt(x); }

 protected:
  ~NoOpUnaryPixelProducer() = default;
  A& a_;
};

template <class A, class B>
class NoOpBinaryPixelProducer : public PixelProducer {
 public:
  NoOpBinaryPixelProducer(A& a, B& b) : a_(a), b_(b) {}
  void Produce(int32_t, int32_t) override {}
  PixelRun RunAt(int32_t x) override { return CombineRuns(a_.RunAt(x), b_.RunAt(x)); }

 protected:
  ~NoOpBinaryPixelProducer() = default;
  A& a_;
  B& b_;
};

template <class A, class B, class C>
class NoOpTrinaryPixelProducer : public PixelProducer {
 public:
  NoOpTrinaryPixelProducer(A& a, B& b, C& c) : a_(a), b_(b), c_(c) {}
  void Produce(int32_t, int32_t) override {}
  PixelRun RunAt(int32_t x) override { return CombineRuns(CombineRuns(a_.RunAt(x), b_.RunAt(x)), c_.RunAt(x)); }

 protected:
  ~NoOpTrinaryPixelProducer() = default;
  A& a_;
  B& b_;
  C& c_;
};

}  // namespace vn::im

#include "fonts/parsers/type2_charstring.h"

#include "runtime/engine_new.h"
#include "runtime/yield_points.h"

namespace vn::fonts::parsers {

int32_t Type2SubrBias(uint32_t count) { return count < 1240 ? 107 : (count < 33900 ? 1131 : 32768); }

namespace {

constexpr uint32_t kMaxStack = 48;
constexpr uint32_t kTransientSize = 32;

// One interpreter run. The charstring and each subroutine being executed
// hold their bytes in a FontBytes of their own.
class Type2Machine {
 public:
  Type2Machine(FontData& data, const Type2Subrs& subrs, OutlineWriter* writer)
      : context_(data.Context()), data_(data), subrs_(subrs), writer_(writer),
        frames_{FontBytes(context_), FontBytes(context_), FontBytes(context_), FontBytes(context_),
                FontBytes(context_), FontBytes(context_), FontBytes(context_), FontBytes(context_),
                FontBytes(context_), FontBytes(context_), FontBytes(context_)} {}

  Type2Result Run(uint32_t offset, uint32_t length) {
    const uint8_t* bytes = data_.Fetch(offset, length, frames_[0]);
    Execute(bytes, length, 0);
    if (!widthKnown_) SetWidth(false);
    if (writer_ != nullptr) writer_->Close();
    return result_;
  }

 private:
  [[noreturn]] void Bad() { RaiseBadData(context_); }

  void Push(Fixed16_16 v) {
    if (count_ == kMaxStack) Bad();
    stack_[count_++] = v;
  }
  Fixed16_16 Pop() {
    if (count_ == 0) Bad();
    return stack_[--count_];
  }
  void Need(uint32_t n) {
    if (count_ < n) Bad();
  }

  // The first stack-clearing operator may carry the width before its
  // arguments; `extra` says whether it does.
  void SetWidth(bool extra) {
    if (widthKnown_) return;
    widthKnown_ = true;
    result_.width = extra ? FixedAddSat(subrs_.nominalWidth, stack_[0]) : subrs_.defaultWidth;
    if (extra) {
      for (uint32_t i = 1; i < count_; ++i) stack_[i - 1] = stack_[i];
      --count_;
    }
    if (writer_ == nullptr) done_ = true;
  }

  void MoveBy(Fixed16_16 dx, Fixed16_16 dy) {
    x_ = FixedAddSat(x_, dx);
    y_ = FixedAddSat(y_, dy);
    if (writer_ != nullptr) writer_->MoveTo(x_, y_);
  }
  void LineBy(Fixed16_16 dx, Fixed16_16 dy) {
    x_ = FixedAddSat(x_, dx);
    y_ = FixedAddSat(y_, dy);
    if (writer_ != nullptr) writer_->LineTo(x_, y_);
  }
  void CurveBy(Fixed16_16 dxa, Fixed16_16 dya, Fixed16_16 dxb, Fixed16_16 dyb, Fixed16_16 dxc,
               Fixed16_16 dyc) {
    Fixed16_16 x1 = FixedAddSat(x_, dxa), y1 = FixedAddSat(y_, dya);
    Fixed16_16 x2 = FixedAddSat(x1, dxb), y2 = FixedAddSat(y1, dyb);
    x_ = FixedAddSat(x2, dxc);
    y_ = FixedAddSat(y2, dyc);
    if (writer_ != nullptr) writer_->CurveTo(x1, y1, x2, y2, x_, y_);
  }

  void Stems() {
    SetWidth(count_ % 2 == 1);
    stems_ += count_ / 2;
    count_ = 0;
  }

  void Execute(const uint8_t* p, uint32_t length, uint32_t depth);
  bool Operator(uint32_t op, const uint8_t*& p, const uint8_t* end, uint32_t depth);
  bool Escape(uint32_t op);
  void CallSubr(const CffIndex* index, uint32_t depth);

  AppContext& context_;
  FontData& data_;
  const Type2Subrs& subrs_;
  OutlineWriter* writer_;
  FontBytes frames_[kType2MaxCallDepth + 1];
  Fixed16_16 stack_[kMaxStack];
  uint32_t count_ = 0;
  Fixed16_16 transient_[kTransientSize] = {};
  Fixed16_16 x_ = 0, y_ = 0;
  uint32_t stems_ = 0;
  uint32_t operators_ = 0;
  uint32_t seed_ = 0x1234567;
  bool widthKnown_ = false;
  bool done_ = false;  // endchar seen, or the width found when only it was wanted
  Type2Result result_;
};

void Type2Machine::CallSubr(const CffIndex* index, uint32_t depth) {
  if (index == nullptr || depth >= kType2MaxCallDepth) Bad();
  int32_t number = FixedTrunc(Pop()) + Type2SubrBias(index->Count());
  if (number < 0 || static_cast<uint32_t>(number) >= index->Count()) Bad();
  uint32_t start, length;
  index->Entry(data_, static_cast<uint32_t>(number), start, length);
  const uint8_t* bytes = data_.Fetch(start, length, frames_[depth + 1]);
  Execute(bytes, length, depth + 1);
}

void Type2Machine::Execute(const uint8_t* p, uint32_t length, uint32_t depth) {
  const uint8_t* end = p + length;
  while (p < end && !done_) {
    uint8_t b0 = *p++;
    if (b0 >= 32) {
      if (b0 <= 246) {
        Push(IntToFixed(b0 - 139));
      } else if (b0 <= 254) {
        if (p >= end) Bad();
        int32_t b1 = *p++;
        Push(IntToFixed(b0 <= 250 ? (b0 - 247) * 256 + b1 + 108 : -(b0 - 251) * 256 - b1 - 108));
      } else {
        if (end - p < 4) Bad();
        Push(static_cast<Fixed16_16>((static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]));
        p += 4;
      }
      continue;
    }
    if (b0 == 28) {
      if (end - p < 2) Bad();
      Push(IntToFixed(static_cast<int16_t>((p[0] << 8) | p[1])));
      p += 2;
      continue;
    }
    if (++operators_ > kType2MaxOperators) Bad();
    if ((operators_ & 1023) == 0) AddWork(context_, 1024);
    if (!Operator(b0, p, end, depth)) return;  // return from a subroutine
  }
}

// Runs one operator; false for "return".
bool Type2Machine::Operator(uint32_t op, const uint8_t*& p, const uint8_t* end, uint32_t depth) {
  switch (op) {
    case 1:   // hstem
    case 3:   // vstem
    case 18:  // hstemhm
    case 23:  // vstemhm
      Stems();
      return true;
    case 19:  // hintmask
    case 20:  // cntrmask
    {
      // Operands left on the stack are an implied vstem.
      Stems();
      uint32_t bytes = (stems_ + 7) / 8;
      if (static_cast<uint32_t>(end - p) < bytes) Bad();
      p += bytes;
      return true;
    }
    case 21:  // rmoveto
      SetWidth(count_ > 2);
      Need(2);
      MoveBy(stack_[0], stack_[1]);
      count_ = 0;
      return true;
    case 22:  // hmoveto
      SetWidth(count_ > 1);
      Need(1);
      MoveBy(stack_[0], 0);
      count_ = 0;
      return true;
    case 4:  // vmoveto
      SetWidth(count_ > 1);
      Need(1);
      MoveBy(0, stack_[0]);
      count_ = 0;
      return true;
    case 5:  // rlineto
      for (uint32_t i = 0; i + 1 < count_; i += 2) LineBy(stack_[i], stack_[i + 1]);
      count_ = 0;
      return true;
    case 6:  // hlineto
    case 7:  // vlineto
      for (uint32_t i = 0; i < count_; ++i) {
        bool horizontal = (i % 2 == 0) == (op == 6);
        if (horizontal) {
          LineBy(stack_[i], 0);
        } else {
          LineBy(0, stack_[i]);
        }
      }
      count_ = 0;
      return true;
    case 8:  // rrcurveto
      for (uint32_t i = 0; i + 5 < count_; i += 6) {
        CurveBy(stack_[i], stack_[i + 1], stack_[i + 2], stack_[i + 3], stack_[i + 4], stack_[i + 5]);
      }
      count_ = 0;
      return true;
    case 24: {  // rcurveline
      uint32_t i = 0;
      for (; i + 7 < count_; i += 6) {
        CurveBy(stack_[i], stack_[i + 1], stack_[i + 2], stack_[i + 3], stack_[i + 4], stack_[i + 5]);
      }
      if (i + 1 < count_) LineBy(stack_[i], stack_[i + 1]);
      count_ = 0;
      return true;
    }
    case 25: {  // rlinecurve
      uint32_t i = 0;
      for (; i + 7 < count_; i += 2) LineBy(stack_[i], stack_[i + 1]);
      if (i + 5 < count_) {
        CurveBy(stack_[i], stack_[i + 1], stack_[i + 2], stack_[i + 3], stack_[i + 4], stack_[i + 5]);
      }
      count_ = 0;
      return true;
    }
    case 26: {  // vvcurveto: dx1? {dya dxb dyb dyc}+
      uint32_t i = 0;
      Fixed16_16 dx1 = 0;
      if (count_ % 4 == 1) dx1 = stack_[i++];
      for (; i + 3 < count_; i += 4) {
        CurveBy(dx1, stack_[i], stack_[i + 1], stack_[i + 2], 0, stack_[i + 3]);
        dx1 = 0;
      }
      count_ = 0;
      return true;
    }
    case 27: {  // hhcurveto: dy1? {dxa dxb dyb dxc}+
      uint32_t i = 0;
      Fixed16_16 dy1 = 0;
      if (count_ % 4 == 1) dy1 = stack_[i++];
      for (; i + 3 < count_; i += 4) {
        CurveBy(stack_[i], dy1, stack_[i + 1], stack_[i + 2], stack_[i + 3], 0);
        dy1 = 0;
      }
      count_ = 0;
      return true;
    }
    case 30:    // vhcurveto
    case 31: {  // hvcurveto
      // Curves alternate between starting horizontally and vertically; the
      // last may carry a final delta for the other axis.
      bool horizontal = op == 31;
      uint32_t i = 0;
      while (i + 3 < count_) {
        Fixed16_16 last = (count_ - i == 5) ? stack_[i + 4] : 0;
        if (horizontal) {
          CurveBy(stack_[i], 0, stack_[i + 1], stack_[i + 2], last, stack_[i + 3]);
        } else {
          CurveBy(0, stack_[i], stack_[i + 1], stack_[i + 2], stack_[i + 3], last);
        }
        i += 4;
        horizontal = !horizontal;
      }
      count_ = 0;
      return true;
    }
    case 10:  // callsubr
      CallSubr(subrs_.local, depth);
      return true;
    case 29:  // callgsubr
      CallSubr(subrs_.global, depth);
      return true;
    case 11:  // return
      return depth == 0;
    case 14:  // endchar
      SetWidth(count_ == 1 || count_ == 5);
      if (count_ >= 4) {
        result_.seac = true;
        result_.accentX = stack_[0];
        result_.accentY = stack_[1];
        result_.baseCode = static_cast<uint8_t>(FixedTrunc(stack_[2]) & 0xFF);
        result_.accentCode = static_cast<uint8_t>(FixedTrunc(stack_[3]) & 0xFF);
      }
      count_ = 0;
      done_ = true;
      return true;
    case 12: {
      if (p >= end) Bad();
      return Escape(*p++);
    }
    default:
      Bad();  // reserved operators
  }
}

// The two-byte operators: arithmetic, storage and flex.
bool Type2Machine::Escape(uint32_t op) {
  switch (op) {
    case 0:  // dotsection (deprecated): ignored
      count_ = 0;
      return true;
    case 3: {  // and
      Fixed16_16 b = Pop(), a = Pop();
      Push(a != 0 && b != 0 ? kFixedOne : 0);
      return true;
    }
    case 4: {  // or
      Fixed16_16 b = Pop(), a = Pop();
      Push(a != 0 || b != 0 ? kFixedOne : 0);
      return true;
    }
    case 5:  // not
      Push(Pop() == 0 ? kFixedOne : 0);
      return true;
    case 9: {  // abs
      Fixed16_16 a = Pop();
      Push(static_cast<Fixed16_16>(FixedMagnitude(a)));
      return true;
    }
    case 10: {  // add
      Fixed16_16 b = Pop(), a = Pop();
      Push(FixedAddSat(a, b));
      return true;
    }
    case 11: {  // sub
      Fixed16_16 b = Pop(), a = Pop();
      Push(FixedSubSat(a, b));
      return true;
    }
    case 12: {  // div
      Fixed16_16 b = Pop(), a = Pop();
      Push(FixedDiv(a, b));
      return true;
    }
    case 14:  // neg
      Push(FixedSubSat(0, Pop()));
      return true;
    case 15: {  // eq
      Fixed16_16 b = Pop(), a = Pop();
      Push(a == b ? kFixedOne : 0);
      return true;
    }
    case 18:  // drop
      Pop();
      return true;
    case 20: {  // put
      int32_t i = FixedTrunc(Pop());
      Fixed16_16 v = Pop();
      if (i < 0 || i >= static_cast<int32_t>(kTransientSize)) Bad();
      transient_[i] = v;
      return true;
    }
    case 21: {  // get
      int32_t i = FixedTrunc(Pop());
      if (i < 0 || i >= static_cast<int32_t>(kTransientSize)) Bad();
      Push(transient_[i]);
      return true;
    }
    case 22: {  // ifelse
      Fixed16_16 v2 = Pop(), v1 = Pop(), s2 = Pop(), s1 = Pop();
      Push(v1 <= v2 ? s1 : s2);
      return true;
    }
    case 23:  // random: a deterministic value in (0, 1]
      seed_ = seed_ * 1103515245u + 12345u;
      Push(static_cast<Fixed16_16>((seed_ >> 16) & 0xFFFF) + 1);
      return true;
    case 24: {  // mul
      Fixed16_16 b = Pop(), a = Pop();
      Push(FixedMul(a, b));
      return true;
    }
    case 26:  // sqrt
      Push(FixedSqrt(Pop()));
      return true;
    case 27: {  // dup
      Fixed16_16 a = Pop();
      Push(a);
      Push(a);
      return true;
    }
    case 28: {  // exch
      Fixed16_16 b = Pop(), a = Pop();
      Push(b);
      Push(a);
      return true;
    }
    case 29: {  // index
      int32_t i = FixedTrunc(Pop());
      if (count_ == 0) Bad();
      if (i < 0) i = 0;
      if (static_cast<uint32_t>(i) >= count_) Bad();
      Push(stack_[count_ - 1 - static_cast<uint32_t>(i)]);
      return true;
    }
    case 30: {  // roll
      int32_t j = FixedTrunc(Pop());
      int32_t n = FixedTrunc(Pop());
      if (n < 0 || static_cast<uint32_t>(n) > count_) Bad();
      if (n > 0) {
        Fixed16_16* base = stack_ + count_ - n;
        int32_t shift = ((j % n) + n) % n;
        Fixed16_16 rolled[kMaxStack];
        for (int32_t i = 0; i < n; ++i) rolled[(i + shift) % n] = base[i];
        for (int32_t i = 0; i < n; ++i) base[i] = rolled[i];
      }
      return true;
    }
    case 34:  // hflex: dx1 dx2 dy2 dx3 dx4 dx5 dx6
      Need(7);
      {
        Fixed16_16* s = stack_;
        Fixed16_16 y0 = y_;
        CurveBy(s[0], 0, s[1], s[2], s[3], 0);
        CurveBy(s[4], 0, s[5], FixedSubSat(y0, y_), s[6], 0);
      }
      count_ = 0;
      return true;
    case 35:  // flex: dx1 dy1 ... dx6 dy6 fd
      Need(13);
      CurveBy(stack_[0], stack_[1], stack_[2], stack_[3], stack_[4], stack_[5]);
      CurveBy(stack_[6], stack_[7], stack_[8], stack_[9], stack_[10], stack_[11]);
      count_ = 0;
      return true;
    case 36:  // hflex1: dx1 dy1 dx2 dy2 dx3 dx4 dx5 dy5 dx6
      Need(9);
      {
        Fixed16_16* s = stack_;
        Fixed16_16 y0 = y_;
        CurveBy(s[0], s[1], s[2], s[3], s[4], 0);
        Fixed16_16 back = FixedSubSat(y0, FixedAddSat(y_, s[7]));
        CurveBy(s[5], 0, s[6], s[7], s[8], back);
      }
      count_ = 0;
      return true;
    case 37:  // flex1: five deltas, then d6 along the dominant axis
      Need(11);
      {
        Fixed16_16* s = stack_;
        int64_t dx = 0, dy = 0;
        for (int i = 0; i < 10; i += 2) {
          dx += s[i];
          dy += s[i + 1];
        }
        Fixed16_16 x0 = x_, y0 = y_;
        CurveBy(s[0], s[1], s[2], s[3], s[4], s[5]);
        Fixed16_16 x1 = FixedAddSat(x_, s[6]), y1 = FixedAddSat(y_, s[7]);
        Fixed16_16 x2 = FixedAddSat(x1, s[8]), y2 = FixedAddSat(y1, s[9]);
        bool horizontal = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy);
        Fixed16_16 x3 = horizontal ? FixedAddSat(x2, s[10]) : x0;
        Fixed16_16 y3 = horizontal ? y0 : FixedAddSat(y2, s[10]);
        CurveBy(s[6], s[7], s[8], s[9], FixedSubSat(x3, x2), FixedSubSat(y3, y2));
      }
      count_ = 0;
      return true;
    default:
      Bad();
  }
}

}  // namespace

Type2Result RunType2Charstring(FontData& data, uint32_t offset, uint32_t length, const Type2Subrs& subrs,
                               OutlineWriter* writer) {
  Scoped<Type2Machine> machine(data.Context(), data, subrs, writer);
  return machine->Run(offset, length);
}

}  // namespace vn::fonts::parsers

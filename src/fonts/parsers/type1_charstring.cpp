#include "fonts/parsers/type1_charstring.h"

#include "runtime/engine_new.h"
#include "runtime/yield_points.h"

namespace vn::fonts::parsers {

void Type1Decrypt(const uint8_t* in, uint8_t* out, uint32_t length, uint16_t r) {
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t cipher = in[i];
    out[i] = static_cast<uint8_t>(cipher ^ (r >> 8));
    r = static_cast<uint16_t>((cipher + r) * 52845u + 22719u);
  }
}

namespace {

// Generous: the format allows 24, some fonts push a few more.
constexpr uint32_t kMaxStack = 64;
constexpr uint32_t kFlexPoints = 7;

class Type1Machine {
 public:
  Type1Machine(AppContext& context, const Type1Program& program, OutlineWriter* writer)
      : context_(context), program_(program), writer_(writer), plain_(context) {}

  Type1Result Run(Type1Span charstring) {
    Execute(charstring, 0);
    if (writer_ != nullptr) writer_->Close();
    return result_;
  }

 private:
  [[noreturn]] void Bad() { RaiseBadData(context_); }

  // Stack values are 16.16 in 64 bits: charstrings push 32-bit integers
  // that only "div" brings back into range.
  void Push(int64_t v) {
    if (count_ == kMaxStack) Bad();
    stack_[count_++] = v;
  }
  int64_t Pop() {
    if (count_ == 0) Bad();
    return stack_[--count_];
  }
  Fixed16_16 Arg(uint32_t i) const { return FixedSaturate(stack_[i]); }
  void Need(uint32_t n) {
    if (count_ < n) Bad();
  }

  void MoveTo(Fixed16_16 x, Fixed16_16 y) {
    x_ = x;
    y_ = y;
    if (flexing_) return;  // flex collects its points through othersubr 2
    if (writer_ != nullptr) writer_->MoveTo(x_, y_);
  }
  void LineBy(Fixed16_16 dx, Fixed16_16 dy) {
    x_ = FixedAddSat(x_, dx);
    y_ = FixedAddSat(y_, dy);
    if (writer_ != nullptr) writer_->LineTo(x_, y_);
  }
  void CurveBy(Fixed16_16 dx1, Fixed16_16 dy1, Fixed16_16 dx2, Fixed16_16 dy2, Fixed16_16 dx3, Fixed16_16 dy3) {
    Fixed16_16 x1 = FixedAddSat(x_, dx1), y1 = FixedAddSat(y_, dy1);
    Fixed16_16 x2 = FixedAddSat(x1, dx2), y2 = FixedAddSat(y1, dy2);
    x_ = FixedAddSat(x2, dx3);
    y_ = FixedAddSat(y2, dy3);
    if (writer_ != nullptr) writer_->CurveTo(x1, y1, x2, y2, x_, y_);
  }

  void Execute(Type1Span span, uint32_t depth);
  bool Operator(uint32_t op, uint32_t& position, uint32_t end, uint32_t depth);
  void Escape(uint32_t op);
  void CallOtherSubr();

  AppContext& context_;
  const Type1Program& program_;
  OutlineWriter* writer_;
  EngineArray<uint8_t> plain_;  // decrypted charstrings, one after another per call level
  int64_t stack_[kMaxStack];
  uint32_t count_ = 0;
  // Values callothersubr leaves for the pops that follow.
  int64_t results_[kMaxStack];
  uint32_t resultCount_ = 0;
  Fixed16_16 x_ = 0, y_ = 0;
  bool flexing_ = false;
  FixedPoint flex_[kFlexPoints];
  uint32_t flexCount_ = 0;
  uint32_t operators_ = 0;
  bool done_ = false;
  Type1Result result_;
};

void Type1Machine::Execute(Type1Span span, uint32_t depth) {
  if (depth > kType1MaxCallDepth) Bad();
  if (span.offset > program_.privateLength || span.length > program_.privateLength - span.offset) Bad();
  uint32_t skip = program_.lenIV < 0 ? 0 : static_cast<uint32_t>(program_.lenIV);
  if (span.length < skip) Bad();
  // Decrypt into this level's part of the buffer; deeper levels append
  // after it and cut it back when they return.
  const uint32_t base = plain_.Size();
  plain_.Resize(base + span.length);
  const uint8_t* source = program_.privateData + span.offset;
  if (program_.lenIV < 0) {
    for (uint32_t i = 0; i < span.length; ++i) plain_[base + i] = source[i];
  } else {
    Type1Decrypt(source, plain_.Data() + base, span.length, 4330);
  }
  uint32_t position = base + skip;
  const uint32_t end = base + span.length;
  while (position < end && !done_) {
    uint8_t v = plain_[position++];
    if (v >= 32) {
      if (v <= 246) {
        Push(IntToFixed(v - 139));
      } else if (v <= 254) {
        if (position >= end) Bad();
        int32_t w = plain_[position++];
        Push(IntToFixed(v <= 250 ? (v - 247) * 256 + w + 108 : -(v - 251) * 256 - w - 108));
      } else {
        if (end - position < 4) Bad();
        const uint8_t* q = plain_.Data() + position;
        int32_t n = static_cast<int32_t>((static_cast<uint32_t>(q[0]) << 24) | (q[1] << 16) | (q[2] << 8) | q[3]);
        Push(static_cast<int64_t>(n) * 65536);
        position += 4;
      }
      continue;
    }
    if (++operators_ > kType1MaxOperators) Bad();
    if ((operators_ & 1023) == 0) AddWork(context_, 1024);
    // Positions, not pointers: a subroutine call may move the buffer.
    if (!Operator(v, position, end, depth)) break;
  }
  plain_.Truncate(base);
}

bool Type1Machine::Operator(uint32_t op, uint32_t& position, uint32_t end, uint32_t depth) {
  switch (op) {
    case 1:  // hstem
    case 3:  // vstem
      count_ = 0;
      return true;
    case 13:  // hsbw: sbx wx
      Need(2);
      result_.sideBearing = Arg(0);
      result_.width = Arg(1);
      x_ = Arg(0);
      y_ = 0;
      count_ = 0;
      if (writer_ == nullptr) done_ = true;
      return true;
    case 9:  // closepath
      if (writer_ != nullptr) writer_->Close();
      count_ = 0;
      return true;
    case 21:  // rmoveto
      Need(2);
      MoveTo(FixedAddSat(x_, Arg(0)), FixedAddSat(y_, Arg(1)));
      count_ = 0;
      return true;
    case 22:  // hmoveto
      Need(1);
      MoveTo(FixedAddSat(x_, Arg(0)), y_);
      count_ = 0;
      return true;
    case 4:  // vmoveto
      Need(1);
      MoveTo(x_, FixedAddSat(y_, Arg(0)));
      count_ = 0;
      return true;
    case 5:  // rlineto
      Need(2);
      LineBy(Arg(0), Arg(1));
      count_ = 0;
      return true;
    case 6:  // hlineto
      Need(1);
      LineBy(Arg(0), 0);
      count_ = 0;
      return true;
    case 7:  // vlineto
      Need(1);
      LineBy(0, Arg(0));
      count_ = 0;
      return true;
    case 8:  // rrcurveto
      Need(6);
      CurveBy(Arg(0), Arg(1), Arg(2), Arg(3), Arg(4), Arg(5));
      count_ = 0;
      return true;
    case 30:  // vhcurveto: dy1 dx2 dy2 dx3
      Need(4);
      CurveBy(0, Arg(0), Arg(1), Arg(2), Arg(3), 0);
      count_ = 0;
      return true;
    case 31:  // hvcurveto: dx1 dx2 dy2 dy3
      Need(4);
      CurveBy(Arg(0), 0, Arg(1), Arg(2), 0, Arg(3));
      count_ = 0;
      return true;
    case 10: {  // callsubr
      int32_t number = FixedTrunc(FixedSaturate(Pop()));
      if (number < 0 || static_cast<uint32_t>(number) >= program_.subrCount) Bad();
      Execute(program_.subrs[number], depth + 1);
      return true;
    }
    case 11:  // return
      return false;
    case 14:  // endchar
      count_ = 0;
      done_ = true;
      return true;
    case 12:
      if (position >= end) Bad();
      Escape(plain_[position++]);
      return true;
    default:
      Bad();
  }
}

void Type1Machine::Escape(uint32_t op) {
  switch (op) {
    case 0:  // dotsection
    case 1:  // vstem3
    case 2:  // hstem3
      count_ = 0;
      return;
    case 6:  // seac: asb adx ady bchar achar
      Need(5);
      result_.seac = true;
      // The accent's origin sits at (adx - asb) from the glyph's own side
      // bearing point.
      result_.accentX = FixedAddSat(FixedSubSat(Arg(1), Arg(0)), result_.sideBearing);
      result_.accentY = Arg(2);
      result_.baseCode = static_cast<uint8_t>(FixedTrunc(Arg(3)) & 0xFF);
      result_.accentCode = static_cast<uint8_t>(FixedTrunc(Arg(4)) & 0xFF);
      count_ = 0;
      done_ = true;
      return;
    case 7:  // sbw: sbx sby wx wy
      Need(4);
      result_.sideBearing = Arg(0);
      result_.width = Arg(2);
      x_ = Arg(0);
      y_ = Arg(1);
      count_ = 0;
      if (writer_ == nullptr) done_ = true;
      return;
    case 12: {  // div
      int64_t b = Pop(), a = Pop();
      if (b == 0) Bad();
      // Both are 16.16; the quotient keeps 16 fraction bits.
      int64_t limit = int64_t{1} << 46;
      int64_t q = (a < limit && a > -limit) ? (a * 65536) / b : (a / b) * 65536;
      Push(q);
      return;
    }
    case 16:  // callothersubr
      CallOtherSubr();
      return;
    case 17:  // pop: a value left by callothersubr
      if (resultCount_ == 0) Bad();
      Push(results_[--resultCount_]);
      return;
    case 33:  // setcurrentpoint
      Need(2);
      x_ = Arg(0);
      y_ = Arg(1);
      count_ = 0;
      return;
    default:
      Bad();
  }
}

void Type1Machine::CallOtherSubr() {
  int32_t number = FixedTrunc(FixedSaturate(Pop()));
  int32_t arguments = FixedTrunc(FixedSaturate(Pop()));
  if (arguments < 0 || static_cast<uint32_t>(arguments) > count_) Bad();
  const uint32_t first = count_ - static_cast<uint32_t>(arguments);
  resultCount_ = 0;
  switch (number) {
    case 1:  // flex begins: the next seven moves are its points
      flexing_ = true;
      flexCount_ = 0;
      break;
    case 2:  // a flex point
      if (!flexing_ || flexCount_ == kFlexPoints) Bad();
      flex_[flexCount_++] = FixedPoint{x_, y_};
      break;
    case 0:  // flex ends: two curves through points 1-6 (point 0 is the reference)
      if (!flexing_ || flexCount_ != kFlexPoints || arguments != 3) Bad();
      flexing_ = false;
      if (writer_ != nullptr) {
        writer_->CurveTo(flex_[1].x, flex_[1].y, flex_[2].x, flex_[2].y, flex_[3].x, flex_[3].y);
        writer_->CurveTo(flex_[4].x, flex_[4].y, flex_[5].x, flex_[5].y, flex_[6].x, flex_[6].y);
      }
      x_ = flex_[6].x;
      y_ = flex_[6].y;
      // The two pops that follow give the end point to setcurrentpoint.
      results_[0] = static_cast<int64_t>(y_);
      results_[1] = static_cast<int64_t>(x_);
      resultCount_ = 2;
      count_ = first;
      return;
    default:
      break;
  }
  // Everything else (3: hint replacement; counters; unknown) hands its
  // arguments back in order.
  for (uint32_t i = count_; i > first; --i) results_[resultCount_++] = stack_[i - 1];
  count_ = first;
}

}  // namespace

Type1Result RunType1Charstring(AppContext& context, const Type1Program& program, Type1Span charstring,
                               OutlineWriter* writer) {
  Scoped<Type1Machine> machine(context, context, program, writer);
  return machine->Run(charstring);
}

}  // namespace vn::fonts::parsers

// Compiling calculator text into a flat program: procedures become
// conditional jumps around their bodies, so running needs no call stack.
#include <cstring>

#include "pdf/content/type4_program.h"
#include "pdf/store/char_classes.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"

namespace vn::pdf::content {

using namespace type4_func_detail;

namespace {

struct Keyword {
  const char* name;
  uint8_t op;
};

// Every operator the calculator knows, with true and false as pushes.
constexpr Keyword kKeywords[] = {
    {"abs", kOpAbs},         {"add", kOpAdd},     {"and", kOpAnd},     {"atan", kOpAtan},
    {"bitshift", kOpBitshift}, {"ceiling", kOpCeiling}, {"copy", kOpCopy}, {"cos", kOpCos},
    {"cvi", kOpCvi},         {"cvr", kOpCvr},     {"div", kOpDiv},     {"dup", kOpDup},
    {"eq", kOpEq},           {"exch", kOpExch},   {"exp", kOpExp},     {"floor", kOpFloor},
    {"ge", kOpGe},           {"gt", kOpGt},       {"idiv", kOpIdiv},   {"index", kOpIndex},
    {"le", kOpLe},           {"ln", kOpLn},       {"log", kOpLog},     {"lt", kOpLt},
    {"mod", kOpMod},         {"mul", kOpMul},     {"ne", kOpNe},       {"neg", kOpNeg},
    {"not", kOpNot},         {"or", kOpOr},       {"pop", kOpPop},     {"roll", kOpRoll},
    {"round", kOpRound},     {"sin", kOpSin},     {"sqrt", kOpSqrt},   {"sub", kOpSub},
    {"truncate", kOpTruncate}, {"xor", kOpXor},
};

bool IsDelimiterOrSpace(uint8_t c) {
  return (store::kCharClasses[c] & store::kTokenEnd) != 0;
}

// A procedure compiled but not yet consumed by `if` or `ifelse`: its
// opening and closing placeholders and the nesting level it lives at.
struct PendingProcedure {
  uint32_t start;
  uint32_t end;
  uint32_t level;
};

class Compiler {
 public:
  explicit Compiler(AppContext& context) : context_(context), code_(context), pending_(context) {}

  void Run(const uint8_t* text, uint32_t length);
  EngineArray<Instruction>& Code() { return code_; }

 private:
  void Emit(uint8_t op, int32_t operand) {
    if (code_.Size() >= kMaxInstructions) RaiseCode(context_, kLimitExceeded);
    code_.Push(Instruction{op, operand});
  }
  // Anything but a procedure or if/ifelse may not follow a pending procedure.
  void RequireNoPending() {
    if (!pending_.Empty() && pending_.Back().level == level_) RaiseBadData(context_);
  }
  void Number(const uint8_t* token, uint32_t length);
  void Word(const uint8_t* token, uint32_t length);
  void If();
  void IfElse();

  AppContext& context_;
  EngineArray<Instruction> code_;
  EngineArray<PendingProcedure> pending_;
  uint32_t openStarts_[kMaxProcedureNesting] = {};
  uint32_t level_ = 0;  // 0 outside the program, 1 in its body
  bool done_ = false;
};

void Compiler::Run(const uint8_t* text, uint32_t length) {
  uint32_t i = 0;
  while (i < length && !done_) {
    uint8_t c = text[i];
    if (c == '%') {
      while (i < length && text[i] != '\n' && text[i] != '\r') ++i;
      continue;
    }
    if (c == '{') {
      ++i;
      if (level_ == 0) {
        level_ = 1;
        continue;
      }
      if (level_ >= kMaxProcedureNesting) RaiseCode(context_, kLimitExceeded);
      // At most one procedure may wait here: the first operand of ifelse.
      if (pending_.Size() >= 2 && pending_[pending_.Size() - 2].level == level_) RaiseBadData(context_);
      openStarts_[level_] = code_.Size();
      Emit(kOpNop, 0);
      ++level_;
      continue;
    }
    if (c == '}') {
      ++i;
      if (level_ == 0) RaiseBadData(context_);
      RequireNoPending();
      if (level_ == 1) {
        done_ = true;
        break;
      }
      --level_;
      pending_.Push(PendingProcedure{openStarts_[level_], code_.Size(), level_});
      Emit(kOpNop, 0);
      continue;
    }
    if (IsDelimiterOrSpace(c)) {
      if ((store::kCharClasses[c] & store::kWhiteSpace) == 0) RaiseBadData(context_);
      ++i;
      continue;
    }
    uint32_t start = i;
    while (i < length && !IsDelimiterOrSpace(text[i])) ++i;
    if (level_ == 0) RaiseBadData(context_);
    const uint8_t* token = text + start;
    uint32_t n = i - start;
    if ((token[0] >= '0' && token[0] <= '9') || token[0] == '-' || token[0] == '+' || token[0] == '.') {
      Number(token, n);
    } else {
      Word(token, n);
    }
  }
  if (!done_) RaiseBadData(context_);
}

void Compiler::Number(const uint8_t* token, uint32_t length) {
  RequireNoPending();
  uint32_t i = 0;
  bool negative = false;
  if (token[0] == '-' || token[0] == '+') {
    negative = token[0] == '-';
    ++i;
  }
  uint64_t whole = 0;
  bool sawDigit = false;
  bool real = false;
  while (i < length && token[i] >= '0' && token[i] <= '9') {
    if (whole < (uint64_t{1} << 40)) whole = whole * 10 + (token[i] - '0');
    sawDigit = true;
    ++i;
  }
  // Fraction digits as a rational: fraction / scale.
  uint64_t fraction = 0, scale = 1;
  if (i < length && token[i] == '.') {
    real = true;
    ++i;
    while (i < length && token[i] >= '0' && token[i] <= '9') {
      if (scale < 1000000000000ull) {
        fraction = fraction * 10 + (token[i] - '0');
        scale *= 10;
      }
      sawDigit = true;
      ++i;
    }
  }
  int32_t exponent = 0;
  if (i < length && (token[i] == 'e' || token[i] == 'E')) {
    real = true;
    ++i;
    bool negativeExponent = false;
    if (i < length && (token[i] == '-' || token[i] == '+')) negativeExponent = token[i++] == '-';
    if (i == length) RaiseBadData(context_);
    while (i < length && token[i] >= '0' && token[i] <= '9') {
      if (exponent < 100) exponent = exponent * 10 + (token[i] - '0');
      ++i;
    }
    if (negativeExponent) exponent = -exponent;
  }
  if (!sawDigit || i != length) RaiseBadData(context_);
  if (!real && whole <= 0x7FFFFFFFu) {
    Emit(kOpPushInteger, negative ? -static_cast<int32_t>(whole) : static_cast<int32_t>(whole));
    return;
  }
  // value = (whole + fraction / scale) * 10^exponent in 16.16, rounded.
  uint64_t numerator = whole * scale + fraction;  // < 2^40 * 10^12: may overflow; bounded below
  if (whole >= (uint64_t{1} << 24)) numerator = ~uint64_t{0};
  uint64_t value;
  if (numerator == ~uint64_t{0}) {
    value = exponent < 0 ? 0x7FFFFFFFu : ~uint64_t{0};
  } else {
    // Scale by the exponent while keeping the quotient exact enough.
    while (exponent > 0 && numerator < (uint64_t{1} << 56)) {
      numerator *= 10;
      --exponent;
    }
    while (exponent < 0) {
      if (scale < (uint64_t{1} << 56) / 10) {
        scale *= 10;
      } else {
        numerator /= 10;
      }
      ++exponent;
    }
    if (exponent > 0 || numerator >= (uint64_t{1} << 47)) {
      value = ~uint64_t{0};
    } else {
      value = ((numerator << 16) + scale / 2) / scale;
    }
  }
  int32_t fixed = value > 0x7FFFFFFFu ? kFixedMax : static_cast<int32_t>(value);
  Emit(kOpPushReal, negative ? -fixed : fixed);
}

void Compiler::Word(const uint8_t* token, uint32_t length) {
  auto is = [&](const char* word) { return std::strlen(word) == length && std::memcmp(word, token, length) == 0; };
  if (is("if")) return If();
  if (is("ifelse")) return IfElse();
  RequireNoPending();
  if (is("true") || is("false")) return Emit(kOpPushBoolean, is("true") ? 1 : 0);
  for (const Keyword& keyword : kKeywords) {
    if (is(keyword.name)) return Emit(keyword.op, 0);
  }
  RaiseBadData(context_);
}

void Compiler::If() {
  uint32_t here = code_.Size();
  if (pending_.Empty()) RaiseBadData(context_);
  PendingProcedure body = pending_.Back();
  if (body.level != level_ || body.end + 1 != here) RaiseBadData(context_);
  pending_.Pop();
  RequireNoPending();  // `{a} {b} if` leaves a procedure unused
  code_[body.start] = Instruction{kOpJumpIfFalse, static_cast<int32_t>(body.end + 1)};
}

void Compiler::IfElse() {
  uint32_t here = code_.Size();
  if (pending_.Size() < 2) RaiseBadData(context_);
  PendingProcedure second = pending_.Back();
  PendingProcedure first = pending_[pending_.Size() - 2];
  if (second.level != level_ || first.level != level_ || second.end + 1 != here ||
      first.end + 1 != second.start) {
    RaiseBadData(context_);
  }
  pending_.Truncate(pending_.Size() - 2);
  RequireNoPending();
  code_[first.start] = Instruction{kOpJumpIfFalse, static_cast<int32_t>(second.start + 1)};
  code_[first.end] = Instruction{kOpJump, static_cast<int32_t>(second.end + 1)};
}

}  // namespace

void Type4FunctionParser::Parse(const uint8_t* text, uint32_t length, Program& out) {
  if (length > kMaxProgramBytes) RaiseCode(context_, kLimitExceeded);
  Scoped<Compiler> compiler(context_, context_);
  compiler->Run(text, length);
  EngineArray<Instruction>& code = compiler->Code();
  out.length = code.Size();
  out.code = pool_.AllocateArray<Instruction>(out.length == 0 ? 1 : out.length);
  if (out.length != 0) std::memcpy(out.code, code.Data(), out.length * sizeof(Instruction));
  out.stack = pool_.AllocateArray<StackValue>(kMaxStackDepth);
}

}  // namespace vn::pdf::content

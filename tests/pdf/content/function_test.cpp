// PDF functions against double-precision evaluations written here, over
// random inputs and random valid function dictionaries; and the edge cases
// and hostile functions that must fail cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "pdf/content/function.h"
#include "runtime/app_context.h"
#include "support/memory_document.h"
#include "support/test_context.h"

namespace vn::pdf::content {
namespace {

using document::ResolvedValue;

std::string Stream(const std::string& dict, const std::string& data) {
  return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

double ToDouble(Fixed16_16 v) { return v / 65536.0; }

// The value the engine reads for Num(v): the nearest 16.16 value of the text.
double Lexed(double v) { return std::round(std::stod(Num(v)) * 65536.0) / 65536.0; }

// Builds a document whose object 3 is `body` (objects 4... are `more`) and
// creates the function of object 3. Returns the engine error code or -1.
class FunctionFixture {
 public:
  explicit FunctionFixture(AppContext& context) : context_(context), document_(context), function_(context) {}

  int32_t Make(const std::string& body, const std::vector<std::string>& more = {}) {
    document_.Builder().Add(3, body);
    for (size_t i = 0; i < more.size(); ++i) document_.Builder().Add(static_cast<int>(4 + i), more[i]);
    int32_t code = document_.Open();
    if (code != -1) return code;
    return test::RaisedCode(context_, [&] {
      ResolvedValue value(context_);
      document_.Get(3, value);
      function_.Set(CreateFunction(document_.Resolver(), value));
    });
  }
  const Function& Get() const { return *function_; }
  std::vector<Fixed16_16> Eval(const std::vector<Fixed16_16>& in) const {
    std::vector<Fixed16_16> out(function_->Outputs());
    FunctionDispatcher(*function_).Evaluate(in.data(), out.data());
    return out;
  }

 private:
  AppContext& context_;
  test::MemoryDocument document_;
  Ref<Function> function_;
};

Fixed16_16 Fx(double v) { return static_cast<Fixed16_16>(std::lround(v * 65536.0)); }

int32_t UnitsOff(Fixed16_16 got, double expected) {
  return static_cast<int32_t>(std::llabs(static_cast<long long>(got) - std::llround(expected * 65536.0)));
}

// --- Type 0 ---------------------------------------------------------------

struct Sampled {
  std::vector<int> size;
  int bits;
  std::vector<double> domain, range, encode, decode;
  std::vector<uint64_t> samples;  // n per grid point, first input fastest
  int n;

  double Eval(const std::vector<double>& in, int k) const {
    const int m = static_cast<int>(size.size());
    std::vector<int> index(m);
    std::vector<double> fraction(m);
    for (int i = 0; i < m; ++i) {
      double x = std::min(std::max(in[i], domain[2 * i]), domain[2 * i + 1]);
      double e = encode[2 * i] + (x - domain[2 * i]) * (encode[2 * i + 1] - encode[2 * i]) /
                                     (domain[2 * i + 1] - domain[2 * i]);
      e = std::min(std::max(e, 0.0), size[i] - 1.0);
      index[i] = std::min(static_cast<int>(std::floor(e)), size[i] - 1);
      fraction[i] = index[i] == size[i] - 1 ? 0 : e - index[i];
    }
    double total = 0;
    for (int c = 0; c < (1 << m); ++c) {
      double weight = 1;
      long offset = 0, stride = n;
      for (int i = 0; i < m; ++i) {
        bool upper = c & (1 << i);
        weight *= upper ? fraction[i] : 1 - fraction[i];
        offset += (index[i] + (upper && index[i] + 1 < size[i] ? 1 : 0)) * stride;
        stride *= size[i];
      }
      if (weight == 0) continue;
      total += weight * samples[offset * 1 + k] / static_cast<double>((uint64_t{1} << bits) - 1);
    }
    double v = decode[2 * k] + total * (decode[2 * k + 1] - decode[2 * k]);
    return std::min(std::max(v, range[2 * k]), range[2 * k + 1]);
  }
};

std::string PackSamples(const std::vector<uint64_t>& samples, int bits) {
  std::string out;
  uint64_t buffer = 0;
  int held = 0;
  for (uint64_t s : samples) {
    buffer = (buffer << bits) | s;
    held += bits;
    while (held >= 8) {
      held -= 8;
      out.push_back(static_cast<char>((buffer >> held) & 0xFF));
    }
  }
  if (held > 0) out.push_back(static_cast<char>((buffer << (8 - held)) & 0xFF));
  return out;
}

std::string Array(const std::vector<double>& v) {
  std::string s = "[";
  for (double x : v) s += Num(x) + " ";
  return s + "]";
}

TEST(FunctionTest, SampledMatchesMultilinearReference) {
  std::mt19937 random(7);
  const int kBits[] = {1, 2, 4, 8, 12, 16, 24, 32};
  int32_t worst = 0;
  for (int trial = 0; trial < 60; ++trial) {
    AppContext context;
    Sampled f;
    const int m = 1 + random() % 3;
    f.n = 1 + random() % 4;
    f.bits = kBits[random() % 8];
    bool withDecode = random() % 2;
    for (int i = 0; i < m; ++i) {
      f.size.push_back(1 + random() % 5);
      double lo = (random() % 5) * 0.25 - 0.5;
      f.domain.insert(f.domain.end(), {lo, lo + 0.25 + (random() % 4) * 0.5});
      f.encode.insert(f.encode.end(), {0, f.size.back() - 1.0});
    }
    for (int k = 0; k < f.n; ++k) {
      // Ranges that leave 0..1 (tint transforms into Lab) stay as they are.
      double lo = (random() % 3 == 0) ? -100 : 0;
      double hi = lo + ((random() % 2) ? 1 : 200);
      f.range.insert(f.range.end(), {lo, hi});
      if (withDecode) {
        f.decode.insert(f.decode.end(), {lo + 0.5, hi - 0.5});
      } else {
        f.decode.insert(f.decode.end(), {lo, hi});
      }
    }
    long points = 1;
    for (int s : f.size) points *= s;
    for (long i = 0; i < points * f.n; ++i) {
      uint64_t sample = (static_cast<uint64_t>(random()) << 32 | random()) & ((uint64_t{1} << f.bits) - 1);
      f.samples.push_back(sample);
    }
    std::vector<double> sizes(f.size.begin(), f.size.end());
    std::string dict = "/FunctionType 0 /Domain " + Array(f.domain) + " /Range " + Array(f.range) + " /Size " +
                       Array(sizes) + " /BitsPerSample " + std::to_string(f.bits) +
                       (withDecode ? " /Decode " + Array(f.decode) : "");
    // The reference reads the numbers as the engine's lexer does.
    for (auto* values : {&f.domain, &f.range, &f.decode}) {
      for (double& v : *values) v = Lexed(v);
    }
    FunctionFixture fixture(context);
    ASSERT_EQ(fixture.Make(Stream(dict, PackSamples(f.samples, f.bits))), -1) << dict;
    ASSERT_EQ(fixture.Get().Outputs(), static_cast<uint32_t>(f.n));
    for (int probe = 0; probe < 40; ++probe) {
      std::vector<Fixed16_16> in;
      std::vector<double> inD;
      for (int i = 0; i < m; ++i) {
        // Random points, the domain ends, and a little beyond them.
        double lo = f.domain[2 * i] - 0.1, hi = f.domain[2 * i + 1] + 0.1;
        double x = probe < 4 ? (probe % 2 ? hi : lo) : lo + (hi - lo) * (random() % 10001) / 10000.0;
        in.push_back(Fx(x));
        inD.push_back(ToDouble(Fx(x)));
      }
      std::vector<Fixed16_16> out = fixture.Eval(in);
      for (int k = 0; k < f.n; ++k) {
        double span = f.decode[2 * k + 1] - f.decode[2 * k];
        int32_t off = UnitsOff(out[k], f.Eval(inD, k));
        // The interpolation fraction has 16 bits: its rounding is scaled by the decode span.
        EXPECT_LE(off, 2 + static_cast<int32_t>(std::fabs(span) * 2.5)) << dict;
        if (std::fabs(span) <= 1) worst = std::max(worst, off);
      }
    }
  }
  std::printf("sampled: largest error with spans <= 1: %d units of 1/65536\n", worst);
  EXPECT_LE(worst, 3);
}

TEST(FunctionTest, SampledEdgeCases) {
  AppContext context;
  {
    // Without Decode the samples map onto Range as it stands, even where
    // it leaves 0..1 (tint transforms into Lab need that). Samples scale
    // exactly, so 8-bit 255 is 1.0 and reaches the top of the range: read
    // as 65535/65536 it would stop short of every decode maximum (99.998
    // here). The upper interpolation corner at the domain maximum, and
    // for a size of 1, stays inside the table.
    FunctionFixture f(context);
    ASSERT_EQ(f.Make(Stream("/FunctionType 0 /Domain [0 1 0 1] /Range [0 100] /Size [2 1] /BitsPerSample 8",
                            std::string("\x00\xFF", 2))),
              -1);
    EXPECT_EQ(f.Eval({kFixedOne, kFixedOne})[0], IntToFixed(100));
    EXPECT_EQ(f.Eval({0, kFixedHalf})[0], 0);
    EXPECT_NEAR(f.Eval({kFixedHalf, 0})[0], IntToFixed(50), 2);
  }
  struct Bad {
    const char* dict;
    std::string data;
    int32_t code;
  } bad[] = {
      {"/FunctionType 0 /Domain [0 1] /Size [2] /BitsPerSample 8", "ab", 2},              // no Range
      {"/FunctionType 0 /Domain [0 1] /Range [0 1] /Size [0] /BitsPerSample 8", "", 2},   // size 0
      {"/FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2] /BitsPerSample 7", "ab", 2}, // bits
      {"/FunctionType 0 /Domain [0 1] /Range [0 1] /Size [4] /BitsPerSample 8", "ab", 2}, // short
      {"/FunctionType 0 /Domain [0 1 0 1 0 1] /Range [0 1] /Size [1024 1024 1024] /BitsPerSample 8", "", 6},
      {"/FunctionType 0 /Domain [0 1] /Range [0 1 0 1 0 1 0 1] /Size [2147483647] /BitsPerSample 32", "", 6},
      {"/FunctionType 0 /Domain [1 0] /Range [0 1] /Size [2] /BitsPerSample 8", "ab", 2},  // reversed
      {"/FunctionType 0 /Domain [0 1] /Range [0 1] /Size [2.5] /BitsPerSample 8", "ab", 2},
  };
  for (const Bad& b : bad) {
    AppContext c;
    FunctionFixture f(c);
    EXPECT_EQ(f.Make(Stream(b.dict, b.data)), b.code) << b.dict;
  }
}

// --- Type 2 and 3 --------------------------------------------------------

TEST(FunctionTest, ExponentialMatchesPow) {
  std::mt19937 random(11);
  int32_t worstInteger = 0, worstFractional = 0;
  for (int trial = 0; trial < 80; ++trial) {
    AppContext context;
    bool integer = trial % 2 == 0;
    double n = integer ? static_cast<double>(random() % 4) : 0.25 + (random() % 12) * 0.25;
    double c0 = (random() % 9) * 0.125 - 0.5, c1 = (random() % 9) * 0.125;
    FunctionFixture f(context);
    ASSERT_EQ(f.Make("<< /FunctionType 2 /Domain [0 1] /C0 [" + Num(c0) + "] /C1 [" + Num(c1) + "] /N " + Num(n) +
                     " >>"),
              -1);
    for (int probe = 0; probe <= 64; ++probe) {
      Fixed16_16 x = Fx(probe / 64.0);
      double expected = Lexed(c0) + std::pow(ToDouble(x), Lexed(n)) * (Lexed(c1) - Lexed(c0));
      int32_t off = UnitsOff(f.Eval({x})[0], expected);
      (integer ? worstInteger : worstFractional) = std::max(integer ? worstInteger : worstFractional, off);
    }
  }
  std::printf("exponential: largest error %d units (integer N), %d units (fractional N, polynomial x^y)\n",
              worstInteger, worstFractional);
  EXPECT_LE(worstInteger, 2);
  EXPECT_LE(worstFractional, 24);  // the fixed-point x^y keeps about 4 decimal digits
  AppContext context;
  FunctionFixture f(context);
  ASSERT_EQ(f.Make("<< /FunctionType 2 /Domain [0 1] /N 0.5 >>"), -1);
  EXPECT_NEAR(f.Eval({Fx(0.25)})[0], kFixedHalf, 8);
}

TEST(FunctionTest, StitchingSelectsAndEncodes) {
  AppContext context;
  FunctionFixture f(context);
  ASSERT_EQ(f.Make("<< /FunctionType 3 /Domain [0 1] /Functions [4 0 R 5 0 R] /Bounds [0.5] /Encode [0 1 1 0] >>",
                   {"<< /FunctionType 2 /Domain [0 1] /C0 [0 0] /C1 [1 0] /N 1 >>",
                    "<< /FunctionType 2 /Domain [0 1] /C0 [0 1] /C1 [0 0] /N 1 >>"}),
            -1);
  // At exactly 0.5 the second function runs (on encoded 1.0 -> its C1).
  std::vector<Fixed16_16> at = f.Eval({kFixedHalf});
  EXPECT_EQ(at[0], 0);
  EXPECT_NEAR(at[1], 0, 2);
  at = f.Eval({Fx(0.25)});
  EXPECT_NEAR(at[0], kFixedHalf, 1);
  at = f.Eval({Fx(0.75)});
  EXPECT_NEAR(at[1], kFixedHalf, 1);
  uint8_t in = 64, out[2];
  FunctionDispatcher(f.Get()).EvaluateBytes(&in, 1, out, 1);
  EXPECT_NEAR(out[0], 128, 1);
}

TEST(FunctionTest, StitchingNestingIsBounded) {
  AppContext context;
  auto nest = [&](int levels) {
    std::vector<std::string> more;
    for (int i = 0; i < levels; ++i) {
      more.push_back("<< /FunctionType 3 /Domain [0 1] /Functions [" + std::to_string(5 + i) +
                     " 0 R] /Bounds [] /Encode [0 1] >>");
    }
    more.push_back("<< /FunctionType 2 /Domain [0 1] /N 1 >>");
    AppContext c;
    FunctionFixture f(c);
    return f.Make("<< /FunctionType 3 /Domain [0 1] /Functions [4 0 R] /Bounds [] /Encode [0 1] >>", more);
  };
  EXPECT_EQ(nest(9), -1);   // depths 0..10
  EXPECT_EQ(nest(10), 2);   // a function at depth 11
  // A stitching function that contains itself.
  FunctionFixture f(context);
  EXPECT_EQ(f.Make("<< /FunctionType 3 /Domain [0 1] /Functions [3 0 R] /Bounds [] /Encode [0 1] >>"), 2);
}

// --- Type 4 ---------------------------------------------------------------

// A double-precision calculator to compare with.
struct Ps {
  std::vector<double> stack;
  bool ok = true;
  double Pop() {
    if (stack.empty()) {
      ok = false;
      return 0;
    }
    double v = stack.back();
    stack.pop_back();
    return v;
  }
  void Op(const std::string& op) {
    if (op == "add") { double b = Pop(), a = Pop(); stack.push_back(a + b); }
    else if (op == "sub") { double b = Pop(), a = Pop(); stack.push_back(a - b); }
    else if (op == "mul") { double b = Pop(), a = Pop(); stack.push_back(a * b); }
    else if (op == "div") { double b = Pop(), a = Pop(); stack.push_back(b == 0 ? 0 : a / b); }
    else if (op == "neg") stack.push_back(-Pop());
    else if (op == "abs") stack.push_back(std::fabs(Pop()));
    else if (op == "sqrt") { double a = Pop(); stack.push_back(a <= 0 ? 0 : std::sqrt(a)); }
    else if (op == "sin") stack.push_back(std::sin(Pop() * M_PI / 180));
    else if (op == "cos") stack.push_back(std::cos(Pop() * M_PI / 180));
    else if (op == "atan") {
      double den = Pop(), num = Pop();
      double a = std::atan2(num, den) * 180 / M_PI;
      stack.push_back(a < 0 ? a + 360 : a);
    } else if (op == "exp") { double b = Pop(), a = Pop(); stack.push_back(std::pow(a, b)); }
    else if (op == "ln") stack.push_back(std::log(Pop()));
    else if (op == "log") stack.push_back(std::log10(Pop()));
    else if (op == "floor") stack.push_back(std::floor(Pop()));
    else if (op == "ceiling") stack.push_back(std::ceil(Pop()));
    else if (op == "truncate") stack.push_back(std::trunc(Pop()));
    else if (op == "dup") { double a = Pop(); stack.insert(stack.end(), {a, a}); }
    else if (op == "exch") { double b = Pop(), a = Pop(); stack.insert(stack.end(), {b, a}); }
    else if (op == "pop") Pop();
    else stack.push_back(std::stod(op));
  }
};

TEST(FunctionTest, CalculatorMatchesDoubleReference) {
  // Random straight-line programs over the numeric operators, with inputs
  // and operands kept where each operator is defined and well conditioned.
  std::mt19937 random(5);
  const char* binary[] = {"add", "sub", "mul", "div"};
  const char* unary[] = {"neg", "abs", "sqrt", "sin", "cos", "ln", "log", "floor", "ceiling", "truncate"};
  int32_t worst = 0;
  std::string worstProgram;
  for (int trial = 0; trial < 300; ++trial) {
    std::string program = "{ ";
    int depth = 2;  // two inputs
    for (int step = 0; step < 6; ++step) {
      int choice = random() % 6;
      if (choice == 0 || depth < 2) {
        program += Num(0.5 + (random() % 8) * 0.25) + " ";
        ++depth;
      } else if (choice == 1) {
        const char* op = unary[random() % 10];
        std::string name = op;
        if (name == "sqrt" || name == "ln" || name == "log") program += "abs 0.5 add ";
        if (name == "sin" || name == "cos") program += "90 mul ";
        program += name + " ";
      } else if (choice == 2) {
        program += "exch ";
      } else if (choice == 3) {
        program += "dup ";
        ++depth;
      } else {
        std::string op = binary[random() % 4];
        if (op == "div") program += "abs 0.5 add ";
        program += op + " ";
        --depth;
      }
    }
    program += "2 0.5 exp mul 1 0.5 atan 100 div add }";
    AppContext context;
    FunctionFixture f(context);
    ASSERT_EQ(f.Make(Stream("/FunctionType 4 /Domain [0 1 0 1] /Range [-1000 1000]", program)), -1) << program;
    for (int probe = 0; probe < 8; ++probe) {
      double a = (random() % 1001) / 1000.0, b = (random() % 1001) / 1000.0;
      Ps ps;
      ps.stack = {ToDouble(Fx(a)), ToDouble(Fx(b))};
      std::string body = program.substr(1, program.size() - 2);
      size_t at = 0;
      while (at < body.size()) {
        size_t next = body.find(' ', at);
        if (next == std::string::npos) next = body.size();
        if (next > at) ps.Op(body.substr(at, next - at));
        at = next + 1;
      }
      double expected = std::min(std::max(ps.stack.back(), -1000.0), 1000.0);
      // floor/ceiling/truncate turn tiny differences into whole units: skip
      // values that sit on an integer boundary.
      Fixed16_16 got = f.Eval({Fx(a), Fx(b)})[0];
      int32_t off = UnitsOff(got, expected);
      if (off > 0x8000 && std::fabs(expected - std::round(expected)) < 0.01) continue;
      if (std::fabs(expected) < 64 && off > worst) {
        worst = off;
        worstProgram = program;
      }
    }
  }
  std::printf("calculator: largest error %d units on results below 64 (%s)\n", worst, worstProgram.c_str());
  EXPECT_LE(worst, 64);
}

TEST(FunctionTest, CalculatorOperatorsAndConditionals) {
  struct Case {
    const char* program;
    double in;
    double out;
  } cases[] = {
      {"{ 2 mul }", 0.25, 0.5},
      {"{ dup 0.5 gt { pop 1 } { pop 0 } ifelse }", 0.75, 1},
      {"{ dup 0.5 gt { pop 1 } { pop 0 } ifelse }", 0.25, 0},
      {"{ dup 0.5 lt { 0.5 add } if }", 0.25, 0.75},
      {"{ 0 div }", 0.5, 0},                    // division by zero is 0
      {"{ pop 0 ln 1000 max }", 0.5, 0},        // unknown operator -> creation fails (checked below)
      {"{ pop 7 2 idiv 7 2 mod add }", 0, 4},   // 3 + 1
      {"{ pop 1 2 3 3 1 roll pop pop }", 0, 3}, // roll: 3 1 2 -> pop pop leaves 3
      {"{ pop 1 2 3 2 index add add add }", 0, 7},
      {"{ pop 1 2 2 copy add add add }", 0, 6},
      {"{ pop 5 3 bitshift 8 div }", 0, 5},     // 40 / 8
      {"{ pop true false xor { 0.25 } { 0.75 } ifelse }", 0, 0.25},
      {"{ pop 3.7 cvi cvr 2.5 round add }", 0, 6},
      {"{ pop 2 sqrt dup mul }", 0, 2},
      {"{ 1 exch sub }", 0.25, 0.75},
  };
  for (const Case& c : cases) {
    AppContext context;
    FunctionFixture f(context);
    int32_t code = f.Make(Stream("/FunctionType 4 /Domain [0 1] /Range [-100 100]", c.program));
    if (std::string(c.program).find("max") != std::string::npos) {
      EXPECT_EQ(code, 2);
      continue;
    }
    ASSERT_EQ(code, -1) << c.program;
    EXPECT_NEAR(ToDouble(f.Eval({Fx(c.in)})[0]), c.out, 0.001) << c.program;
  }
}

TEST(FunctionTest, HostileCalculatorPrograms) {
  AppContext context;
  auto make = [&](const std::string& program, FunctionFixture& f) {
    return f.Make(Stream("/FunctionType 4 /Domain [0 1] /Range [0 1]", program));
  };
  {
    // Overflowing the stack fails at run time: the output is the range's bottom.
    FunctionFixture f(context);
    std::string program = "{ ";
    for (int i = 0; i < 150; ++i) program += "dup ";
    program += "}";
    ASSERT_EQ(make(program, f), -1);
    EXPECT_EQ(f.Eval({kFixedHalf})[0], 0);
  }
  {
    AppContext c;
    FunctionFixture f(c);
    ASSERT_EQ(make("{ pop pop pop }", f), -1);  // underflow
    EXPECT_EQ(f.Eval({kFixedHalf})[0], 0);
  }
  {
    AppContext c;
    FunctionFixture f(c);
    // ln 0, division by zero and sqrt of a negative have defined results
    // (the most negative value, 0, 0) and the program runs on.
    ASSERT_EQ(make("{ 0 ln 0 div -5 sqrt add add }", f), -1);
    EXPECT_EQ(f.Eval({kFixedHalf})[0], kFixedHalf);
  }
  {
    AppContext c;
    FunctionFixture f(c);
    ASSERT_EQ(make("{ 1000 copy 99 index -3 roll }", f), -1);  // bad counts fail at run time
    EXPECT_EQ(f.Eval({kFixedHalf})[0], 0);
  }
  std::string deep = "{ ";
  for (int i = 0; i < 100; ++i) deep += "true { ";
  for (int i = 0; i < 100; ++i) deep += "} if ";
  deep += "}";
  const char* bad[] = {"{ 1 add", "{ { 1 } }", "{ 1 { 2 } 3 if }", "{ foo }", "1 add }", "{ {1} {2} {3} ifelse }"};
  {
    AppContext c;
    FunctionFixture f(c);
    EXPECT_EQ(make(deep, f), 6);
  }
  for (const char* program : bad) {
    AppContext c;
    FunctionFixture f(c);
    EXPECT_EQ(make(program, f), 2) << program;
  }
}

TEST(FunctionTest, StructuralFaults) {
  const char* bad[] = {
      "<< /FunctionType 1 /Domain [0 1] >>",
      "<< /FunctionType 2 /N 1 >>",                               // no Domain
      "<< /FunctionType 2 /Domain [0 1 0] /N 1 >>",               // odd Domain
      "<< /FunctionType 2 /Domain [0 1 0 1] /N 1 >>",             // two inputs
      "<< /FunctionType 2 /Domain [0 1] /C0 [0 0] /C1 [1] /N 1 >>",
      "<< /FunctionType 2 /Domain [0 1] /Range [1 0] /N 1 >>",
      "<< /FunctionType 3 /Domain [0 1] /Functions [] /Bounds [] /Encode [] >>",
      "[ 1 2 ]",
  };
  for (const char* body : bad) {
    AppContext context;
    FunctionFixture f(context);
    EXPECT_EQ(f.Make(body), 2) << body;
  }
}

}  // namespace
}  // namespace vn::pdf::content

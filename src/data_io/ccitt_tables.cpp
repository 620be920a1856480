#include "data_io/ccitt_tables.h"

#include <array>

namespace vn::data_io::data_io_detail {

// ITU-T T.4 Table 2 (white terminating codes), Table 3 (white make-up
// codes) and the extended make-up codes 1792 to 2560.
constexpr CcittCode kCcittWhiteCodes[] = {
    {0, "00110101"},    {1, "000111"},      {2, "0111"},        {3, "1000"},
    {4, "1011"},        {5, "1100"},        {6, "1110"},        {7, "1111"},
    {8, "10011"},       {9, "10100"},       {10, "00111"},      {11, "01000"},
    {12, "001000"},     {13, "000011"},     {14, "110100"},     {15, "110101"},
    {16, "101010"},     {17, "101011"},     {18, "0100111"},    {19, "0001100"},
    {20, "0001000"},    {21, "0010111"},    {22, "0000011"},    {23, "0000100"},
    {24, "0101000"},    {25, "0101011"},    {26, "0010011"},    {27, "0100100"},
    {28, "0011000"},    {29, "00000010"},   {30, "00000011"},   {31, "00011010"},
    {32, "00011011"},   {33, "00010010"},   {34, "00010011"},   {35, "00010100"},
    {36, "00010101"},   {37, "00010110"},   {38, "00010111"},   {39, "00101000"},
    {40, "00101001"},   {41, "00101010"},   {42, "00101011"},   {43, "00101100"},
    {44, "00101101"},   {45, "00000100"},   {46, "00000101"},   {47, "00001010"},
    {48, "00001011"},   {49, "01010010"},   {50, "01010011"},   {51, "01010100"},
    {52, "01010101"},   {53, "00100100"},   {54, "00100101"},   {55, "01011000"},
    {56, "01011001"},   {57, "01011010"},   {58, "01011011"},   {59, "01001010"},
    {60, "01001011"},   {61, "00110010"},   {62, "00110011"},   {63, "00110100"},
    {64, "11011"},      {128, "10010"},     {192, "010111"},    {256, "0110111"},
    {320, "00110110"},  {384, "00110111"},  {448, "01100100"},  {512, "01100101"},
    {576, "01101000"},  {640, "01100111"},  {704, "011001100"}, {768, "011001101"},
    {832, "011010010"}, {896, "011010011"}, {960, "011010100"}, {1024, "011010101"},
    {1088, "011010110"}, {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"},
    {1344, "011011010"}, {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"},
    {1600, "010011010"}, {1664, "011000"},   {1728, "010011011"},
    {1792, "00000001000"}, {1856, "00000001100"}, {1920, "00000001101"},
    {1984, "000000010010"}, {2048, "000000010011"}, {2112, "000000010100"},
    {2176, "000000010101"}, {2240, "000000010110"}, {2304, "000000010111"},
    {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"},
};

// T.4 Table 2 (black terminating codes), Table 3 (black make-up codes) and
// the extended make-up codes.
constexpr CcittCode kCcittBlackCodes[] = {
    {0, "0000110111"},    {1, "010"},           {2, "11"},            {3, "10"},
    {4, "011"},           {5, "0011"},          {6, "0010"},          {7, "00011"},
    {8, "000101"},        {9, "000100"},        {10, "0000100"},      {11, "0000101"},
    {12, "0000111"},      {13, "00000100"},     {14, "00000111"},     {15, "000011000"},
    {16, "0000010111"},   {17, "0000011000"},   {18, "0000001000"},   {19, "00001100111"},
    {20, "00001101000"},  {21, "00001101100"},  {22, "00000110111"},  {23, "00000101000"},
    {24, "00000010111"},  {25, "00000011000"},  {26, "000011001010"}, {27, "000011001011"},
    {28, "000011001100"}, {29, "000011001101"}, {30, "000001101000"}, {31, "000001101001"},
    {32, "000001101010"}, {33, "000001101011"}, {34, "000011010010"}, {35, "000011010011"},
    {36, "000011010100"}, {37, "000011010101"}, {38, "000011010110"}, {39, "000011010111"},
    {40, "000001101100"}, {41, "000001101101"}, {42, "000011011010"}, {43, "000011011011"},
    {44, "000001010100"}, {45, "000001010101"}, {46, "000001010110"}, {47, "000001010111"},
    {48, "000001100100"}, {49, "000001100101"}, {50, "000001010010"}, {51, "000001010011"},
    {52, "000000100100"}, {53, "000000110111"}, {54, "000000111000"}, {55, "000000100111"},
    {56, "000000101000"}, {57, "000001011000"}, {58, "000001011001"}, {59, "000000101011"},
    {60, "000000101100"}, {61, "000001011010"}, {62, "000001100110"}, {63, "000001100111"},
    {64, "0000001111"},     {128, "000011001000"},  {192, "000011001001"},
    {256, "000001011011"},  {320, "000000110011"},  {384, "000000110100"},
    {448, "000000110101"},  {512, "0000001101100"}, {576, "0000001101101"},
    {640, "0000001001010"}, {704, "0000001001011"}, {768, "0000001001100"},
    {832, "0000001001101"}, {896, "0000001110010"}, {960, "0000001110011"},
    {1024, "0000001110100"}, {1088, "0000001110101"}, {1152, "0000001110110"},
    {1216, "0000001110111"}, {1280, "0000001010010"}, {1344, "0000001010011"},
    {1408, "0000001010100"}, {1472, "0000001010101"}, {1536, "0000001011010"},
    {1600, "0000001011011"}, {1664, "0000001100100"}, {1728, "0000001100101"},
    {1792, "00000001000"}, {1856, "00000001100"}, {1920, "00000001101"},
    {1984, "000000010010"}, {2048, "000000010011"}, {2112, "000000010100"},
    {2176, "000000010101"}, {2240, "000000010110"}, {2304, "000000010111"},
    {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"},
};

// T.4 Table 4 / T.6 Table 1: two-dimensional mode codes.
constexpr CcittCode kCcittModeCodes[] = {
    {kCcittPass, "0001"},     {kCcittHorizontal, "001"}, {kCcittV0, "1"},
    {kCcittVR1, "011"},       {kCcittVR2, "000011"},     {kCcittVR3, "0000011"},
    {kCcittVL1, "010"},       {kCcittVL2, "000010"},     {kCcittVL3, "0000010"},
    {kCcittExtension, "0000001"},
};

const uint32_t kCcittWhiteCodeCount = sizeof(kCcittWhiteCodes) / sizeof(kCcittWhiteCodes[0]);
const uint32_t kCcittBlackCodeCount = sizeof(kCcittBlackCodes) / sizeof(kCcittBlackCodes[0]);
const uint32_t kCcittModeCodeCount = sizeof(kCcittModeCodes) / sizeof(kCcittModeCodes[0]);

namespace {

constexpr uint32_t Length(const char* bits) {
  uint32_t n = 0;
  while (bits[n] != 0) ++n;
  return n;
}

constexpr uint32_t Value(const char* bits) {
  uint32_t v = 0;
  for (uint32_t i = 0; bits[i] != 0; ++i) v = (v << 1) | static_cast<uint32_t>(bits[i] - '0');
  return v;
}

// Fills every index whose first bits are the code; `ok` is false when a
// slot is claimed twice or a code is too long for the table, that is when
// the list is not a prefix code.
template <uint32_t Bits, class Entry>
struct Built {
  std::array<Entry, (1u << Bits)> table{};
  bool ok = true;
};

template <uint32_t Bits, class Entry, uint32_t N, class Make>
constexpr Built<Bits, Entry> BuildTable(const CcittCode (&codes)[N], Make make) {
  Built<Bits, Entry> built;
  for (uint32_t c = 0; c < N; ++c) {
    uint32_t length = Length(codes[c].bits);
    if (length == 0 || length > Bits) {
      built.ok = false;
      continue;
    }
    uint32_t shift = Bits - length;
    uint32_t first = Value(codes[c].bits) << shift;
    for (uint32_t i = 0; i < (1u << shift); ++i) {
      if (built.table[first + i] != 0) built.ok = false;
      built.table[first + i] = make(length, codes[c].value);
    }
  }
  return built;
}

constexpr uint16_t MakeRun(uint32_t length, uint16_t run) {
  return static_cast<uint16_t>((length << 12) | run);
}
constexpr uint8_t MakeMode(uint32_t length, uint16_t mode) {
  return static_cast<uint8_t>((length << 4) | mode);
}

constexpr auto kWhiteBuilt = BuildTable<kCcittWhiteBits, uint16_t>(kCcittWhiteCodes, MakeRun);
constexpr auto kBlackBuilt = BuildTable<kCcittBlackBits, uint16_t>(kCcittBlackCodes, MakeRun);
constexpr auto kModeBuilt = BuildTable<kCcittModeBits, uint8_t>(kCcittModeCodes, MakeMode);
static_assert(kWhiteBuilt.ok && kBlackBuilt.ok && kModeBuilt.ok, "code lists must be prefix codes");

// Every run 0..63 has a terminating code and every multiple of 64 up to
// 2560 a make-up code, in each colour.
constexpr bool Complete(const CcittCode* codes, uint32_t n) {
  for (uint32_t run = 0; run <= 2560; run = run < 63 ? run + 1 : (run == 63 ? 64 : run + 64)) {
    bool found = false;
    for (uint32_t i = 0; i < n; ++i) found = found || codes[i].value == run;
    if (!found) return false;
  }
  return n == 64 + 40;
}
static_assert(Complete(kCcittWhiteCodes, sizeof(kCcittWhiteCodes) / sizeof(kCcittWhiteCodes[0])));
static_assert(Complete(kCcittBlackCodes, sizeof(kCcittBlackCodes) / sizeof(kCcittBlackCodes[0])));

}  // namespace

constexpr std::array<uint16_t, (1u << kCcittWhiteBits)> kCcittWhiteTable = kWhiteBuilt.table;
constexpr std::array<uint16_t, (1u << kCcittBlackBits)> kCcittBlackTable = kBlackBuilt.table;
constexpr std::array<uint8_t, (1u << kCcittModeBits)> kCcittModeTable = kModeBuilt.table;

}  // namespace vn::data_io::data_io_detail

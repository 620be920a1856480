#include "pdf/security/saslprep.h"

#include <algorithm>

#include "pdf/security/saslprep_tables.h"

namespace vn::pdf::security {

using namespace saslprep_detail;

namespace {

// Hangul syllables compose and decompose by rule.
constexpr uint32_t kSyllableBase = 0xAC00, kLeadBase = 0x1100, kVowelBase = 0x1161, kTrailBase = 0x11A7;
constexpr uint32_t kVowelCount = 21, kTrailCount = 28, kSyllableCount = 11172;

bool InRanges(const CodeRange* ranges, uint32_t count, uint32_t c) {
  const CodeRange* end = ranges + count;
  const CodeRange* at = std::upper_bound(ranges, end, c, [](uint32_t v, const CodeRange& r) { return v < r.first; });
  return at != ranges && c <= (at - 1)->last;
}

uint8_t CombiningClass(uint32_t c) {
  const ClassRange* end = kCombiningClasses + kCombiningClassesCount;
  const ClassRange* at =
      std::upper_bound(kCombiningClasses, end, c, [](uint32_t v, const ClassRange& r) { return v < r.first; });
  return at != kCombiningClasses && c <= (at - 1)->last ? (at - 1)->combiningClass : 0;
}

// The decoded code points of UTF-8 `text`; false for malformed text.
bool DecodeUtf8(const uint8_t* text, uint32_t length, EngineArray<uint32_t>& out) {
  for (uint32_t i = 0; i < length;) {
    uint8_t b = text[i];
    uint32_t extra = b < 0x80 ? 0 : b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 4;
    if (extra == 4 || i + extra >= length) return false;
    uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (uint32_t k = 1; k <= extra; ++k) {
      if ((text[i + k] & 0xC0) != 0x80) return false;
      c = (c << 6) | (text[i + k] & 0x3F);
    }
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out.Push(c);
    i += extra + 1;
  }
  return true;
}

void EncodeUtf8(uint32_t c, EngineArray<uint8_t>& out) {
  if (c < 0x80) {
    out.Push(static_cast<uint8_t>(c));
    return;
  }
  uint32_t extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static const uint8_t kLead[4] = {0, 0xC0, 0xE0, 0xF0};
  out.Push(static_cast<uint8_t>(kLead[extra] | (c >> (6 * extra))));
  for (uint32_t k = extra; k-- > 0;) out.Push(static_cast<uint8_t>(0x80 | ((c >> (6 * k)) & 0x3F)));
}

void Decompose(uint32_t c, EngineArray<uint32_t>& out) {
  if (c >= kSyllableBase && c < kSyllableBase + kSyllableCount) {
    uint32_t index = c - kSyllableBase;
    out.Push(kLeadBase + index / (kVowelCount * kTrailCount));
    out.Push(kVowelBase + index % (kVowelCount * kTrailCount) / kTrailCount);
    if (index % kTrailCount != 0) out.Push(kTrailBase + index % kTrailCount);
    return;
  }
  const uint32_t* end = kDecompositionKeys + kDecompositionCount;
  const uint32_t* at = std::lower_bound(kDecompositionKeys, end, c);
  if (at == end || *at != c) {
    out.Push(c);
    return;
  }
  uint32_t i = static_cast<uint32_t>(at - kDecompositionKeys);
  for (uint32_t u = kDecompositionStarts[i]; u < kDecompositionStarts[i + 1]; ++u) {
    uint32_t unit = kDecompositionUnits[u];
    if (unit >= 0xD800 && unit < 0xDC00) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (kDecompositionUnits[++u] - 0xDC00);
    }
    out.Push(unit);
  }
}

// The composite of a starter and a following character, or 0.
uint32_t Compose(uint32_t first, uint32_t second) {
  if (first >= kLeadBase && first < kLeadBase + 19 && second >= kVowelBase && second < kVowelBase + kVowelCount) {
    return kSyllableBase + ((first - kLeadBase) * kVowelCount + (second - kVowelBase)) * kTrailCount;
  }
  if (first >= kSyllableBase && first < kSyllableBase + kSyllableCount && (first - kSyllableBase) % kTrailCount == 0 &&
      second > kTrailBase && second < kTrailBase + kTrailCount) {
    return first + (second - kTrailBase);
  }
  if (first > 0xFFFF || second > 0xFFFF) return 0;
  const Composition* end = kCompositions + kCompositionsCount;
  Composition key{static_cast<uint16_t>(first), static_cast<uint16_t>(second), 0};
  const Composition* at = std::lower_bound(kCompositions, end, key, [](const Composition& a, const Composition& b) {
    return a.first != b.first ? a.first < b.first : a.second < b.second;
  });
  return at != end && at->first == first && at->second == second ? at->composite : 0;
}

// NFKC of `text` in place: full decomposition, canonical order, canonical
// composition.
void NormalizeKc(EngineArray<uint32_t>& text, EngineArray<uint32_t>& scratch) {
  scratch.Clear();
  for (uint32_t c : text) Decompose(c, scratch);
  // Canonical order: a stable sort of each run of non-starters by class.
  for (uint32_t i = 1; i < scratch.Size(); ++i) {
    uint32_t c = scratch[i];
    uint8_t cc = CombiningClass(c);
    if (cc == 0) continue;
    uint32_t j = i;
    while (j > 0 && CombiningClass(scratch[j - 1]) > cc) {
      scratch[j] = scratch[j - 1];
      --j;
    }
    scratch[j] = c;
  }
  text.Clear();
  int32_t starter = -1;   // index in `text` of the last starter
  uint8_t lastClass = 0;  // of the last character appended after it
  for (uint32_t c : scratch) {
    uint8_t cc = CombiningClass(c);
    bool blocked = starter >= 0 && text.Size() > static_cast<uint32_t>(starter) + 1 && (lastClass == 0 || lastClass >= cc);
    uint32_t composite = starter >= 0 && !blocked ? Compose(text[static_cast<uint32_t>(starter)], c) : 0;
    if (composite != 0) {
      text[static_cast<uint32_t>(starter)] = composite;
      continue;
    }
    if (cc == 0) starter = static_cast<int32_t>(text.Size());
    lastClass = cc;
    text.Push(c);
  }
}

bool CheckDirections(const EngineArray<uint32_t>& text) {
  bool rtl = false;
  bool ltr = false;
  for (uint32_t c : text) {
    rtl = rtl || InRanges(kRandAL, kRandALCount, c);
    ltr = ltr || InRanges(kLeftToRight, kLeftToRightCount, c);
  }
  if (!rtl) return true;
  return !ltr && InRanges(kRandAL, kRandALCount, text[0]) && InRanges(kRandAL, kRandALCount, text.Back());
}

}  // namespace

bool SaslPrep(const uint8_t* text, uint32_t length, EngineArray<uint8_t>& out) {
  AppContext& context = out.Context();
  EngineArray<uint32_t> decoded(context);
  if (!DecodeUtf8(text, length, decoded)) return false;
  EngineArray<uint32_t> mapped(context);
  for (uint32_t c : decoded) {
    if (InRanges(kMappedToNothing, kMappedToNothingCount, c)) continue;
    mapped.Push(InRanges(kNonAsciiSpaces, kNonAsciiSpacesCount, c) ? 0x20 : c);
  }
  NormalizeKc(mapped, decoded);
  for (uint32_t c : mapped) {
    if (InRanges(kProhibited, kProhibitedCount, c)) return false;
  }
  if (!mapped.Empty() && !CheckDirections(mapped)) return false;
  out.Clear();
  for (uint32_t c : mapped) EncodeUtf8(c, out);
  return true;
}

}  // namespace vn::pdf::security

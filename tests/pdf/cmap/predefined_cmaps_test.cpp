// Every built-in CMap, regenerated from its compact form and parsed, maps
// every code as a plain reading of the published CMap file does. The
// reading here is written for the test alone: whitespace-split tokens,
// sections applied in file order, usecmap read from its own file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/cmap_parser.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace vn::pdf::cmap {
namespace {

std::string ResourceDir() { return FOLIO_CMAP_RESOURCES; }

std::string FileOf(const std::string& name) {
  for (const char* folder : {"Adobe-Japan1", "Adobe-GB1", "Adobe-CNS1", "Adobe-Korea1"}) {
    std::string path = ResourceDir() + "/" + folder + "/" + name;
    if (std::ifstream(path).good()) return path;
  }
  return "";
}

// What a code maps to: a CID, or UTF-16 units.
struct Target {
  uint32_t cid = 0;
  std::vector<uint16_t> units;
  bool operator==(const Target& o) const { return cid == o.cid && units == o.units; }
};

// A code: its length in bytes and its value.
uint64_t Key(uint32_t length, uint32_t code) { return (static_cast<uint64_t>(length) << 32) | code; }

struct ReferenceCMap {
  std::unordered_map<uint64_t, Target> mapped;
  std::unordered_map<uint64_t, uint32_t> notdef;
  std::vector<std::pair<std::string, std::string>> codeSpace;  // low and high bytes
  bool vertical = false;
};

std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '%') {
      while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
    } else if (c == '<' || c == '[' || c == '(') {
      const char close = c == '<' ? '>' : c == '[' ? ']' : ')';
      size_t j = text.find(close, i);
      std::string token;
      for (size_t k = i; k <= j; ++k) {
        if (!std::isspace(static_cast<unsigned char>(text[k]))) token += text[k];
      }
      tokens.push_back(token);
      i = j + 1;
    } else {
      size_t j = i + 1;
      while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])) &&
             std::string("<[(%/").find(text[j]) == std::string::npos) {
        ++j;
      }
      tokens.push_back(text.substr(i, j - i));
      i = j;
    }
  }
  return tokens;
}

std::string HexBytes(const std::string& token) {
  const std::string digits = token.substr(1, token.size() - 2);
  std::string bytes;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return bytes;
}

uint32_t Number(const std::string& bytes) {
  uint32_t v = 0;
  for (unsigned char b : bytes) v = (v << 8) | b;
  return v;
}

std::vector<uint16_t> Utf16(const std::string& bytes) {
  std::vector<uint16_t> units;
  size_t i = 0;
  if (bytes.size() % 2 != 0) units.push_back(static_cast<unsigned char>(bytes[i++]));
  for (; i < bytes.size(); i += 2) {
    units.push_back(static_cast<uint16_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                          static_cast<unsigned char>(bytes[i + 1])));
  }
  return units;
}

void Read(const std::string& path, ReferenceCMap& cmap, bool ownWritingMode) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::vector<std::string> tokens = Tokens(buffer.str());
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    if (t == "usecmap") {
      Read(FileOf(tokens[i - 1].substr(1)), cmap, false);
    } else if (t == "def" && ownWritingMode && i >= 2 && tokens[i - 2] == "/WMode") {
      cmap.vertical = tokens[i - 1] == "1";
    } else if (t == "begincodespacerange") {
      for (i += 1; tokens[i] != "endcodespacerange"; i += 2) {
        cmap.codeSpace.emplace_back(HexBytes(tokens[i]), HexBytes(tokens[i + 1]));
      }
    } else if (t == "begincidrange" || t == "beginnotdefrange") {
      const bool notdef = t == "beginnotdefrange";
      for (i += 1; tokens[i] != "endcidrange" && tokens[i] != "endnotdefrange"; i += 3) {
        const std::string low = HexBytes(tokens[i]);
        const uint32_t first = Number(low);
        const uint32_t last = Number(HexBytes(tokens[i + 1]));
        const uint32_t cid = static_cast<uint32_t>(std::stoul(tokens[i + 2]));
        for (uint64_t c = first; c <= last; ++c) {
          const uint64_t key = Key(static_cast<uint32_t>(low.size()), static_cast<uint32_t>(c));
          if (notdef) {
            cmap.notdef[key] = cid;
          } else {
            cmap.mapped[key] = Target{cid + static_cast<uint32_t>(c - first), {}};
          }
        }
      }
    } else if (t == "begincidchar") {
      for (i += 1; tokens[i] != "endcidchar"; i += 2) {
        const std::string code = HexBytes(tokens[i]);
        cmap.mapped[Key(static_cast<uint32_t>(code.size()), Number(code))] =
            Target{static_cast<uint32_t>(std::stoul(tokens[i + 1])), {}};
      }
    } else if (t == "beginbfchar") {
      for (i += 1; tokens[i] != "endbfchar"; i += 2) {
        const std::string code = HexBytes(tokens[i]);
        cmap.mapped[Key(static_cast<uint32_t>(code.size()), Number(code))] = Target{0, Utf16(HexBytes(tokens[i + 1]))};
      }
    } else if (t == "beginbfrange") {
      for (i += 1; tokens[i] != "endbfrange"; i += 3) {
        const std::string low = HexBytes(tokens[i]);
        const uint32_t first = Number(low);
        const uint32_t last = Number(HexBytes(tokens[i + 1]));
        const std::vector<uint16_t> units = Utf16(HexBytes(tokens[i + 2]));
        for (uint64_t c = first; c <= last; ++c) {
          Target target{0, units};
          target.units.back() = static_cast<uint16_t>(target.units.back() + (c - first));
          cmap.mapped[Key(static_cast<uint32_t>(low.size()), static_cast<uint32_t>(c))] = target;
        }
      }
    }
  }
}

// Codes of one length that share all but their last byte.
struct Neighbourhood {
  uint32_t length;
  uint32_t prefix;  // the code without its last byte
  bool operator<(const Neighbourhood& o) const { return length != o.length ? length < o.length : prefix < o.prefix; }
};

// The shortest code-space length that takes `code` (0 when none does).
uint32_t CodeSpaceLength(const ReferenceCMap& cmap, uint32_t length, uint32_t code) {
  uint32_t best = 0;
  for (const auto& [low, high] : cmap.codeSpace) {
    if (low.size() > length) continue;
    bool inside = true;
    for (size_t k = 0; k < low.size() && inside; ++k) {
      const auto b = static_cast<unsigned char>(code >> (8 * (length - 1 - k)));
      inside = b >= static_cast<unsigned char>(low[k]) && b <= static_cast<unsigned char>(high[k]);
    }
    if (inside && (best == 0 || low.size() < best)) best = static_cast<uint32_t>(low.size());
  }
  return best;
}

TEST(PredefinedCMapsTest, EveryCMapMapsEveryCodeAsItsSourceFile) {
  if (!std::ifstream(FileOf("90ms-RKSJ-H")).good()) GTEST_SKIP() << "poppler-data is not installed";
  AppContext context;
  uint32_t count = PredefinedCMapCount();
  ASSERT_EQ(count, 224u);
  uint64_t checked = 0;
  for (uint32_t index = 0; index < count; ++index) {
    CharacterCollection collection;
    const PredefinedCMap cmap = PredefinedCMapAt(index, &collection);
    SCOPED_TRACE(cmap.name);
    ReferenceCMap reference;
    Read(FileOf(cmap.name), reference, true);

    Owned<CMapCharCodeMap> map(context, New<CMapCharCodeMap>(context, context));
    ParsePredefinedCMap(context, cmap, *map);
    EXPECT_EQ(map->IsVertical(), reference.vertical);

    // Every code that shares all but its last byte with a mapped or notdef
    // code: the mapped ones give their target, the others the notdef CID
    // or 0, each consuming its whole length.
    std::set<Neighbourhood> neighbourhoods;
    for (const auto& entry : reference.mapped) neighbourhoods.insert({uint32_t(entry.first >> 32), uint32_t(entry.first) >> 8});
    for (const auto& entry : reference.notdef) neighbourhoods.insert({uint32_t(entry.first >> 32), uint32_t(entry.first) >> 8});
    uint32_t failures = 0;
    for (const Neighbourhood& n : neighbourhoods) {
      for (uint32_t last = 0; last < 256 && failures < 5; ++last) {
        const uint32_t code = (n.prefix << 8) | last;
        uint8_t bytes[4];
        for (uint32_t k = 0; k < n.length; ++k) bytes[k] = static_cast<uint8_t>(code >> (8 * (n.length - 1 - k)));
        const text::CharCode got = map->NextCode(bytes, bytes + n.length);
        ++checked;
        const auto found = reference.mapped.find(Key(n.length, code));
        if (found == reference.mapped.end()) {
          // An unmapped code: the code space says how long it is.
          const uint32_t length = CodeSpaceLength(reference, n.length, code);
          if (length != n.length && length != 0) continue;
          const auto notdef = reference.notdef.find(Key(n.length, code));
          const uint32_t expected = notdef != reference.notdef.end() ? notdef->second : 0;
          if (got.length != n.length || got.value != expected || got.unitCount != 0) {
            ADD_FAILURE() << "unmapped code " << std::hex << code << ": length " << got.length << " value "
                          << got.value << ", expected " << expected;
            ++failures;
          }
          continue;
        }
        const Target& want = found->second;
        bool same = got.length == n.length;
        if (want.units.empty()) {
          same = same && got.unitCount == 0 && got.value == want.cid;
        } else if (want.units.size() == 1) {
          same = same && got.unitCount == 0 && got.value == want.units[0];
        } else {
          same = same && std::vector<uint16_t>(got.units, got.units + got.unitCount) == want.units;
        }
        if (!same) {
          ADD_FAILURE() << "code " << std::hex << code << " (" << std::dec << n.length << " bytes): got length "
                        << got.length << " value " << got.value << " units " << got.unitCount;
          ++failures;
        }
      }
    }
  }
  EXPECT_GT(checked, 8000000u);  // every code near every mapping, about 8.9 million
  RecordProperty("lookups", std::to_string(checked));
}

TEST(PredefinedCMapsTest, FindsByCollection) {
  auto find = [](const char* name, CharacterCollection collection) {
    PredefinedCMap cmap;
    return FindPredefinedCMap(reinterpret_cast<const uint8_t*>(name), static_cast<uint32_t>(std::strlen(name)),
                              collection, &cmap) &&
           std::strcmp(cmap.name, name) == 0;
  };
  EXPECT_TRUE(find("90ms-RKSJ-H", kJapan1));
  EXPECT_TRUE(find("90ms-RKSJ-H", kUnknownCollection));
  EXPECT_FALSE(find("90ms-RKSJ-H", kGB1));
  EXPECT_TRUE(find("GBK-EUC-H", kGB1));
  EXPECT_TRUE(find("UniCNS-UTF16-V", kCNS1));
  // Korean: the published Korea1 CMaps are built in.
  EXPECT_TRUE(find("KSCms-UHC-H", kKorea1));
  EXPECT_TRUE(find("UniKS-UTF16-H", kUnknownCollection));
  EXPECT_TRUE(find("UniJIS-UTF32-V", kJapan1));
  // The identity CMaps are the fonts' business.
  EXPECT_FALSE(find("Identity-H", kUnknownCollection));
  EXPECT_FALSE(find("Identity-V", kJapan1));
  // Byte for byte: no prefixes, no case folding.
  EXPECT_FALSE(find("90ms-RKSJ", kJapan1));
  EXPECT_FALSE(find("90MS-RKSJ-H", kJapan1));
  EXPECT_FALSE(find("", kUnknownCollection));

  PredefinedCMap ucs2;
  ASSERT_TRUE(FindCollectionUnicodeCMap(kKorea1, &ucs2));
  EXPECT_STREQ(ucs2.name, "Adobe-Korea1-UCS2");
  EXPECT_FALSE(FindCollectionUnicodeCMap(kUnknownCollection, &ucs2));
}

TEST(PredefinedCMapsTest, CollectionsFromSystemInfo) {
  auto collection = [](const char* registry, const char* ordering) {
    return CollectionFromSystemInfo(reinterpret_cast<const uint8_t*>(registry),
                                    static_cast<uint32_t>(std::strlen(registry)),
                                    reinterpret_cast<const uint8_t*>(ordering),
                                    static_cast<uint32_t>(std::strlen(ordering)));
  };
  EXPECT_EQ(collection("Adobe", "Japan1"), kJapan1);
  EXPECT_EQ(collection("Adobe", "GB1"), kGB1);
  EXPECT_EQ(collection("Adobe", "CNS1"), kCNS1);
  EXPECT_EQ(collection("Adobe", "Korea1"), kKorea1);
  EXPECT_EQ(collection("Trevant", "Japan1"), kJapan1);
  EXPECT_EQ(collection("Adobe", "Identity"), kUnknownCollection);
  EXPECT_EQ(collection("Adobe", "Japan2"), kUnknownCollection);
  EXPECT_EQ(collection("Adobe", "Japan1x"), kUnknownCollection);
  EXPECT_EQ(collection("Other", "Japan1"), kUnknownCollection);
}

}  // namespace
}  // namespace vn::pdf::cmap

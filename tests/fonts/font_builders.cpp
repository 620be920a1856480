#include "font_builders.h"

#include "fonts/font_tables.h"

#include <cmath>
#include <algorithm>
#include <cstring>

namespace vn::test {

void PutU16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<unsigned char>(v >> 8));
  b.push_back(static_cast<unsigned char>(v));
}
void PutU32(Bytes& b, uint32_t v) {
  PutU16(b, v >> 16);
  PutU16(b, v & 0xFFFF);
}

Bytes BuildSfnt(uint32_t version, const std::map<std::string, Bytes>& tables) {
  Bytes b;
  PutU32(b, version);
  PutU16(b, static_cast<uint32_t>(tables.size()));
  PutU16(b, 0);
  PutU16(b, 0);
  PutU16(b, 0);
  uint32_t offset = 12 + 16 * static_cast<uint32_t>(tables.size());
  Bytes data;
  for (const auto& [tag, table] : tables) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(i < static_cast<int>(tag.size()) ? tag[i] : ' '));
    PutU32(b, 0);
    PutU32(b, offset + static_cast<uint32_t>(data.size()));
    PutU32(b, static_cast<uint32_t>(table.size()));
    data.insert(data.end(), table.begin(), table.end());
    while (data.size() % 4) data.push_back(0);
  }
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes BuildTrueType(const std::vector<Bytes>& glyphs, uint16_t unitsPerEm, std::map<std::string, Bytes> extra,
                    int maxpGlyphs, uint16_t advance) {
  Bytes head(54, 0);
  head[18] = static_cast<unsigned char>(unitsPerEm >> 8);
  head[19] = static_cast<unsigned char>(unitsPerEm);
  head[51] = 1;  // long loca offsets
  Bytes glyf, loca;
  for (const Bytes& g : glyphs) {
    PutU32(loca, static_cast<uint32_t>(glyf.size()));
    glyf.insert(glyf.end(), g.begin(), g.end());
    while (glyf.size() % 4) glyf.push_back(0);
  }
  PutU32(loca, static_cast<uint32_t>(glyf.size()));
  Bytes maxp;
  PutU32(maxp, 0x00010000);
  PutU16(maxp, maxpGlyphs >= 0 ? static_cast<uint32_t>(maxpGlyphs) : static_cast<uint32_t>(glyphs.size()));
  maxp.resize(32, 0);
  Bytes hhea(36, 0);
  hhea[34] = static_cast<unsigned char>(glyphs.size() >> 8);
  hhea[35] = static_cast<unsigned char>(glyphs.size());
  Bytes hmtx;
  for (const Bytes& g : glyphs) {
    PutU16(hmtx, advance);
    // The side bearing equals the glyph's xMin.
    PutU16(hmtx, g.size() >= 4 ? static_cast<uint32_t>((g[2] << 8) | g[3]) : 0);
  }
  extra["head"] = head;
  extra["maxp"] = maxp;
  extra["hhea"] = hhea;
  extra["hmtx"] = hmtx;
  extra["loca"] = loca;
  extra["glyf"] = glyf;
  return BuildSfnt(0x00010000, extra);
}

Bytes SimpleGlyph(const std::vector<std::vector<TtPoint>>& contours) {
  Bytes b;
  int xMin = 0x7FFF, yMin = 0x7FFF, xMax = -0x7FFF, yMax = -0x7FFF;
  std::vector<TtPoint> all;
  for (const auto& c : contours) all.insert(all.end(), c.begin(), c.end());
  for (const TtPoint& p : all) {
    xMin = std::min(xMin, p.x);
    yMin = std::min(yMin, p.y);
    xMax = std::max(xMax, p.x);
    yMax = std::max(yMax, p.y);
  }
  PutU16(b, static_cast<uint32_t>(contours.size()));
  for (int v : {xMin, yMin, xMax, yMax}) PutU16(b, static_cast<uint16_t>(v));
  uint32_t end = 0;
  for (const auto& c : contours) {
    end += static_cast<uint32_t>(c.size());
    PutU16(b, end - 1);
  }
  PutU16(b, 0);  // no instructions
  for (const TtPoint& p : all) b.push_back(p.on ? 1 : 0);  // 16-bit deltas everywhere
  int x = 0, y = 0;
  for (const TtPoint& p : all) {
    PutU16(b, static_cast<uint16_t>(p.x - x));
    x = p.x;
  }
  for (const TtPoint& p : all) {
    PutU16(b, static_cast<uint16_t>(p.y - y));
    y = p.y;
  }
  return b;
}

Bytes CompositeGlyph(const std::vector<TtComponent>& components) {
  Bytes b;
  PutU16(b, 0xFFFF);  // -1 contours
  for (int i = 0; i < 4; ++i) PutU16(b, 0);
  for (size_t i = 0; i < components.size(); ++i) {
    const TtComponent& c = components[i];
    uint16_t flags = 0x0001;  // word arguments
    if (!c.pointMatching) flags |= 0x0002;
    if (c.scale != 1.0) flags |= 0x0008;
    if (i + 1 < components.size()) flags |= 0x0020;
    PutU16(b, flags);
    PutU16(b, c.glyph);
    PutU16(b, static_cast<uint16_t>(c.arg1));
    PutU16(b, static_cast<uint16_t>(c.arg2));
    if (c.scale != 1.0) PutU16(b, static_cast<uint16_t>(static_cast<int>(std::lround(c.scale * 16384))));
  }
  return b;
}

Bytes Cmap4(uint16_t platform, uint16_t encoding, const std::map<uint16_t, uint16_t>& map) {
  // One segment per code, then the final 0xFFFF segment.
  Bytes sub;
  uint32_t segments = static_cast<uint32_t>(map.size()) + 1;
  PutU16(sub, 4);
  PutU16(sub, 16 + segments * 8);
  PutU16(sub, 0);
  PutU16(sub, segments * 2);
  PutU16(sub, 0);
  PutU16(sub, 0);
  PutU16(sub, 0);
  for (const auto& [code, glyph] : map) PutU16(sub, code);
  PutU16(sub, 0xFFFF);
  PutU16(sub, 0);
  for (const auto& [code, glyph] : map) PutU16(sub, code);
  PutU16(sub, 0xFFFF);
  for (const auto& [code, glyph] : map) PutU16(sub, static_cast<uint16_t>(glyph - code));
  PutU16(sub, 1);
  for (uint32_t i = 0; i < segments; ++i) PutU16(sub, 0);
  Bytes b;
  PutU16(b, 0);
  PutU16(b, 1);
  PutU16(b, platform);
  PutU16(b, encoding);
  PutU32(b, 12);
  b.insert(b.end(), sub.begin(), sub.end());
  return b;
}

void T2Int(Bytes& b, int v) {
  if (v >= -107 && v <= 107) {
    b.push_back(static_cast<unsigned char>(v + 139));
  } else {
    b.push_back(28);
    PutU16(b, static_cast<uint16_t>(v));
  }
}

Bytes T2(std::initializer_list<int> items) {
  Bytes b;
  for (int v : items) {
    if (v >= 1200) {
      b.push_back(12);
      b.push_back(static_cast<unsigned char>(v - 1200));
    } else if (v >= 1000) {
      b.push_back(static_cast<unsigned char>(v - 1000));
    } else {
      T2Int(b, v);
    }
  }
  return b;
}

namespace {

Bytes Index(const std::vector<Bytes>& items) {
  Bytes b;
  PutU16(b, static_cast<uint32_t>(items.size()));
  if (items.empty()) return b;
  b.push_back(4);
  uint32_t offset = 1;
  PutU32(b, offset);
  for (const Bytes& i : items) {
    offset += static_cast<uint32_t>(i.size());
    PutU32(b, offset);
  }
  for (const Bytes& i : items) b.insert(b.end(), i.begin(), i.end());
  return b;
}

void DictInt(Bytes& b, int v) {
  b.push_back(29);
  PutU32(b, static_cast<uint32_t>(v));
}

}  // namespace

Bytes BuildCff(const std::vector<std::string>& names, const std::vector<Bytes>& charStrings,
               const std::vector<Bytes>& localSubrs, const std::vector<Bytes>& globalSubrs) {
  // Custom strings for every glyph name after .notdef; charset format 0.
  std::vector<Bytes> strings;
  Bytes charset{0};
  for (size_t g = 1; g < names.size(); ++g) {
    // Standard names by their standard string ids, others as strings.
    uint32_t sid = 0;
    for (uint32_t i = 1; i < fonts::kCffStandardStringCount && sid == 0; ++i) {
      if (names[g] == fonts::kCffStandardStrings[i]) sid = i;
    }
    if (sid == 0) {
      sid = 391 + static_cast<uint32_t>(strings.size());
      strings.push_back(Bytes(names[g].begin(), names[g].end()));
    }
    PutU16(charset, sid);
  }
  Bytes header{1, 0, 4, 4};
  Bytes nameIndex = Index({Bytes{'T', 'e', 's', 't'}});
  Bytes stringIndex = Index(strings);
  Bytes globalIndex = Index(globalSubrs);
  Bytes charStringsIndex = Index(charStrings);
  Bytes privateDict;
  DictInt(privateDict, 0);  // defaultWidthX
  privateDict.push_back(20);
  DictInt(privateDict, 0);  // nominalWidthX
  privateDict.push_back(21);
  Bytes subrIndex = Index(localSubrs);
  if (!localSubrs.empty()) {
    DictInt(privateDict, static_cast<int>(privateDict.size() + 6));  // Subrs right after the dict
    privateDict.push_back(19);
  }
  // The top DICT's operands are all 5 bytes long, so its size does not
  // depend on the offsets it holds.
  auto makeTop = [&](uint32_t charsetAt, uint32_t charStringsAt, uint32_t privateAt) {
    Bytes top;
    DictInt(top, static_cast<int>(charsetAt));
    top.push_back(15);
    DictInt(top, static_cast<int>(charStringsAt));
    top.push_back(17);
    DictInt(top, 0);
    top.push_back(16);  // StandardEncoding
    DictInt(top, static_cast<int>(privateDict.size()));
    DictInt(top, static_cast<int>(privateAt));
    top.push_back(18);
    return top;
  };
  uint32_t topIndexSize = static_cast<uint32_t>(Index({makeTop(0, 0, 0)}).size());
  uint32_t charsetAt = static_cast<uint32_t>(header.size() + nameIndex.size()) + topIndexSize +
                       static_cast<uint32_t>(stringIndex.size() + globalIndex.size());
  uint32_t charStringsAt = charsetAt + static_cast<uint32_t>(charset.size());
  uint32_t privateAt = charStringsAt + static_cast<uint32_t>(charStringsIndex.size());
  Bytes top = makeTop(charsetAt, charStringsAt, privateAt);
  Bytes topIndex = Index({top});
  Bytes out;
  for (const Bytes* part : {&header, &nameIndex, &topIndex, &stringIndex, &globalIndex, &charset, &charStringsIndex,
                            &privateDict, &subrIndex}) {
    out.insert(out.end(), part->begin(), part->end());
  }
  return out;
}

Bytes T1(std::initializer_list<int> items) {
  Bytes b;
  for (int v : items) {
    if (v >= 1200) {
      b.push_back(12);
      b.push_back(static_cast<unsigned char>(v - 1200));
    } else if (v >= 1000) {
      b.push_back(static_cast<unsigned char>(v - 1000));
    } else if (v >= -107 && v <= 107) {
      b.push_back(static_cast<unsigned char>(v + 139));
    } else {
      b.push_back(255);
      PutU32(b, static_cast<uint32_t>(v));
    }
  }
  return b;
}

namespace {

Bytes Encrypt(const Bytes& plain, uint16_t r) {
  Bytes out;
  for (unsigned char p : plain) {
    unsigned char c = static_cast<unsigned char>(p ^ (r >> 8));
    out.push_back(c);
    r = static_cast<uint16_t>((c + r) * 52845u + 22719u);
  }
  return out;
}

void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

Bytes Charstring(const Bytes& plain) {
  Bytes withIv{0, 0, 0, 0};
  withIv.insert(withIv.end(), plain.begin(), plain.end());
  return Encrypt(withIv, 4330);
}

}  // namespace

Bytes BuildType1(const std::vector<std::pair<std::string, Bytes>>& glyphs, const std::vector<Bytes>& subrs,
                 bool hexEexec, const std::string& encoding) {
  Bytes out;
  Append(out, "%!PS-AdobeFont-1.0: Test 001\n/FontName /Test def\n/FontMatrix [0.001 0 0 0.001 0 0] readonly def\n"
              "/FontBBox {0 -200 1000 900} readonly def\n/Encoding " + encoding + " def\ncurrentdict end\n"
              "currentfile eexec\n");
  Bytes priv;
  Append(priv, "dup /Private 8 dict dup begin\n/RD{string currentfile exch readstring pop}executeonly def\n"
               "/ND{noaccess def}executeonly def\n/NP{noaccess put}executeonly def\n/lenIV 4 def\n");
  Append(priv, "/Subrs " + std::to_string(subrs.size()) + " array\n");
  for (size_t i = 0; i < subrs.size(); ++i) {
    Bytes enc = Charstring(subrs[i]);
    Append(priv, "dup " + std::to_string(i) + " " + std::to_string(enc.size()) + " RD ");
    priv.insert(priv.end(), enc.begin(), enc.end());
    Append(priv, " NP\n");
  }
  Append(priv, "ND\n2 index /CharStrings " + std::to_string(glyphs.size()) + " dict dup begin\n");
  for (const auto& [name, plain] : glyphs) {
    Bytes enc = Charstring(plain);
    Append(priv, "/" + name + " " + std::to_string(enc.size()) + " RD ");
    priv.insert(priv.end(), enc.begin(), enc.end());
    Append(priv, " ND\n");
  }
  Append(priv, "end\nend\nreadonly put\nnoaccess put\ndup /FontName get exch definefont pop\nmark currentfile closefile\n");
  Bytes withIv{'a', 'b', 'c', 'd'};
  withIv.insert(withIv.end(), priv.begin(), priv.end());
  Bytes cipher = Encrypt(withIv, 55665);
  if (hexEexec) {
    static const char* digits = "0123456789ABCDEF";
    for (size_t i = 0; i < cipher.size(); ++i) {
      out.push_back(static_cast<unsigned char>(digits[cipher[i] >> 4]));
      out.push_back(static_cast<unsigned char>(digits[cipher[i] & 15]));
      if (i % 32 == 31) out.push_back('\n');
    }
  } else {
    out.insert(out.end(), cipher.begin(), cipher.end());
  }
  Append(out, "\n0000000000000000000000000000000000000000000000000000000000000000\ncleartomark\n");
  return out;
}

Bytes ToPfb(const Bytes& pfa) {
  const char* marker = "eexec\n";
  auto it = std::search(pfa.begin(), pfa.end(), marker, marker + 6);
  size_t split = static_cast<size_t>(it - pfa.begin()) + 6;
  Bytes out;
  auto segment = [&](int type, size_t from, size_t to) {
    out.push_back(0x80);
    out.push_back(static_cast<unsigned char>(type));
    uint32_t n = static_cast<uint32_t>(to - from);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(n >> (8 * i)));
    out.insert(out.end(), pfa.begin() + static_cast<long>(from), pfa.begin() + static_cast<long>(to));
  };
  segment(1, 0, split);
  segment(2, split, pfa.size());
  out.push_back(0x80);
  out.push_back(3);
  return out;
}

}  // namespace vn::test

#include "cli/pdf_syntax.h"

#include <cstdio>

#include "cli/json_writer.h"

namespace folio::cli {

using vn::pdf::store::Value;

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string StringSyntax(const Value& v) {
  uint32_t unprintable = 0;
  for (uint32_t i = 0; i < v.Length(); ++i) {
    uint8_t b = v.Bytes()[i];
    if (b < 0x20 || b > 0x7E) ++unprintable;
  }
  char hex[4];
  std::string out;
  if (unprintable * 4 > v.Length()) {
    out = "<";
    for (uint32_t i = 0; i < v.Length(); ++i) {
      std::snprintf(hex, sizeof hex, "%02x", v.Bytes()[i]);
      out += hex;
    }
    return out + ">";
  }
  out = "(";
  for (uint32_t i = 0; i < v.Length(); ++i) {
    uint8_t b = v.Bytes()[i];
    if (b == '(' || b == ')' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b == '\n') {
      out += "\\n";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b < 0x20 || b > 0x7E) {
      char octal[6];
      std::snprintf(octal, sizeof octal, "\\%03o", b);
      out += octal;
    } else {
      out += static_cast<char>(b);
    }
  }
  return out + ")";
}

std::string NameSyntax(const Value& v) {
  std::string out = "/";
  for (uint32_t i = 0; i < v.Length(); ++i) {
    uint8_t b = v.Bytes()[i];
    if (b <= 0x20 || b >= 0x7F || b == '#' || b == '/' || b == '(' || b == ')' || b == '<' || b == '>' ||
        b == '[' || b == ']' || b == '{' || b == '}' || b == '%') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "#%02x", b);
      out += hex;
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

}  // namespace

std::string ToPdfSyntax(const Value& v) {
  switch (v.type) {
    case vn::pdf::store::kNull: return "null";
    case vn::pdf::store::kBoolean: return v.AsBool() ? "true" : "false";
    case vn::pdf::store::kInteger: return std::to_string(v.i);
    case vn::pdf::store::kReal: return FormatFixed(v.i);
    case vn::pdf::store::kIntegerOutOfRange: return *v.outOfRange > 0 ? "2147483648" : "-2147483649";
    case vn::pdf::store::kName: return NameSyntax(v);
    case vn::pdf::store::kString: return StringSyntax(v);
    case vn::pdf::store::kReference: return std::to_string(v.ref->number) + " " + std::to_string(v.ref->generation) + " R";
    case vn::pdf::store::kArray: {
      std::string out = "[";
      for (vn::pdf::store::CellCursor c(v.container); !c.Done(); c.Next()) {
        if (out.size() > 1) out += ' ';
        out += ToPdfSyntax(c.Get());
      }
      return out + "]";
    }
    case vn::pdf::store::kDictionary: {
      std::string out = "<<";
      bool key = true;
      for (vn::pdf::store::CellCursor c(v.container); !c.Done(); c.Next()) {
        out += ' ';
        out += ToPdfSyntax(c.Get());
        key = !key;
      }
      return out + " >>";
    }
    default: return "null";
  }
}

void WriteJsonValue(JsonWriter& out, const Value& v) {
  switch (v.type) {
    case vn::pdf::store::kNull: out.Null(); return;
    case vn::pdf::store::kBoolean: out.Bool(v.AsBool()); return;
    case vn::pdf::store::kInteger: out.Number(v.i); return;
    case vn::pdf::store::kReal: out.Fixed(v.i); return;
    case vn::pdf::store::kIntegerOutOfRange: out.Number(*v.outOfRange > 0 ? 2147483648LL : -2147483649LL); return;
    case vn::pdf::store::kName: out.String(NameSyntax(v)); return;
    case vn::pdf::store::kReference: out.String(ToPdfSyntax(v)); return;
    case vn::pdf::store::kString: {
      std::string hex = "b:";
      char digits[4];
      for (uint32_t i = 0; i < v.Length(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", v.Bytes()[i]);
        hex += digits;
      }
      out.String(hex);
      return;
    }
    case vn::pdf::store::kArray:
      out.BeginArray();
      for (vn::pdf::store::CellCursor c(v.container); !c.Done(); c.Next()) WriteJsonValue(out, c.Get());
      out.EndArray();
      return;
    case vn::pdf::store::kDictionary: {
      out.BeginObject();
      for (vn::pdf::store::CellCursor c(v.container); !c.Done(); c.Next()) {
        out.Key(NameSyntax(c.Get()));
        c.Next();
        if (c.Done()) {
          out.Null();
          break;
        }
        WriteJsonValue(out, c.Get());
      }
      out.EndObject();
      return;
    }
    default: out.Null();
  }
}

std::string TextStringToUtf8(const Value& v) {
  std::string out;
  if (!v.IsString()) return out;
  const uint8_t* b = v.Bytes();
  uint32_t n = v.Length();
  if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    for (uint32_t i = 2; i + 1 < n; i += 2) {
      uint32_t c = (b[i] << 8) | b[i + 1];
      if (c >= 0xD800 && c < 0xDC00 && i + 3 < n) {
        uint32_t low = (b[i + 2] << 8) | b[i + 3];
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      AppendUtf8(out, c);
    }
    return out;
  }
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return std::string(reinterpret_cast<const char*>(b + 3), n - 3);
  for (uint32_t i = 0; i < n; ++i) AppendUtf8(out, b[i]);  // PDFDocEncoding agrees with Latin-1 for text
  return out;
}

}  // namespace folio::cli

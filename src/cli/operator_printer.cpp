#include "cli/operator_printer.h"

#include <cstdio>
#include <cstring>

#include "pdf/content/dl_player.h"
#include "pdf/store/parser.h"

namespace folio::cli {

using vn::Fixed16_16;
using vn::pdf::content::DLName;

namespace {

std::string Name(const DLName& name) { return FormatName(name.bytes, name.length); }

}  // namespace

std::string FormatContentNumber(Fixed16_16 value) {
  bool negative = value < 0;
  uint32_t magnitude = negative ? static_cast<uint32_t>(-static_cast<int64_t>(value)) : static_cast<uint32_t>(value);
  uint32_t integer = magnitude >> 16;
  std::string sign = negative ? "-" : "";
  // The saturated extremes: any integer beyond 32767 reads as them.
  if (magnitude >= 0x7FFFFFFF) return sign + "32768";
  if ((magnitude & 0xFFFF) == 0) return sign + std::to_string(integer);
  // The shortest decimal the lexer reads back as the same value; five
  // digits always do, since 10^5 > 2^16.
  uint32_t pow10 = 1;
  for (uint32_t digits = 1;; ++digits) {
    pow10 *= 10;
    const uint32_t f = static_cast<uint32_t>(((static_cast<uint64_t>(magnitude & 0xFFFF) * pow10) + 0x8000) >> 16);
    if (f < pow10 && static_cast<uint32_t>(vn::pdf::store::FixedFromDecimal(integer, f, digits)) == magnitude) {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "%0*u", static_cast<int>(digits), static_cast<unsigned>(f));
      return sign + std::to_string(integer) + "." + buffer;
    }
  }
}

std::string FormatName(const uint8_t* bytes, uint32_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "/";
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t b = bytes[i];
    bool plain = b > 0x20 && b < 0x7F && std::strchr("#()<>[]{}/%", b) == nullptr;
    if (plain) {
      out += static_cast<char>(b);
    } else {
      out += '#';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string FormatString(const uint8_t* bytes, uint32_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  bool printable = true;
  for (uint32_t i = 0; i < length; ++i) {
    if (bytes[i] < 0x20 || bytes[i] > 0x7E) printable = false;
  }
  std::string out;
  if (printable) {
    out = "(";
    for (uint32_t i = 0; i < length; ++i) {
      char c = static_cast<char>(bytes[i]);
      if (c == '(' || c == ')' || c == '\\') out += '\\';
      out += c;
    }
    return out + ")";
  }
  out = "<";
  for (uint32_t i = 0; i < length; ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  return out + ">";
}

void OperatorPrinter::Line(const std::string& line) {
  text_ += line;
  text_ += '\n';
  ++lines_;
}

void OperatorPrinter::Matrix(const vn::FixedMatrix& m, const char* op) {
  Line(FormatContentNumber(m.a) + " " + FormatContentNumber(m.b) + " " + FormatContentNumber(m.c) + " " + FormatContentNumber(m.d) + " " +
       FormatContentNumber(m.tx) + " " + FormatContentNumber(m.ty) + " " + op);
}

void OperatorPrinter::SetFromExtGState(const vn::pdf::content::ExtGStateRecord& record) {
  Line(Name(record.name) + " gs");
}

void OperatorPrinter::SaveAndPlayNested(vn::pdf::content::DLPlayer& nested) {
  Line("q");
  nested.Play();
  if (nested.EndedByMarker()) Line("Q");
}

void OperatorPrinter::BeginText(vn::pdf::content::DLPlayer& textObject) {
  Line("BT");
  textObject.Play();
  if (textObject.EndedByMarker()) Line("ET");
}

void OperatorPrinter::SetRenderingIntent(uint8_t intent) {
  static const char* const kNames[] = {"/Perceptual", "/RelativeColorimetric", "/Saturation",
                                       "/AbsoluteColorimetric"};
  Line(std::string(kNames[intent & 3]) + " ri");
}

void OperatorPrinter::SetColorSpace(bool stroking, const DLName& name) {
  Line(Name(name) + (stroking ? " CS" : " cs"));
}

void OperatorPrinter::SetColorComponents(bool stroking, const Fixed16_16* components, uint32_t count,
                                         const DLName* pattern, int32_t family) {
  std::string line;
  for (uint32_t i = 0; i < count; ++i) line += FormatContentNumber(components[i]) + " ";
  if (pattern != nullptr) line += Name(*pattern) + " ";
  static const char* const kDevice[3][2] = {{"g", "G"}, {"rg", "RG"}, {"k", "K"}};
  if (family >= 0 && family < 3) line += kDevice[family][stroking ? 1 : 0];
  else if (pattern != nullptr) line += stroking ? "SCN" : "scn";
  else line += stroking ? "SC" : "sc";
  Line(line);
}

void OperatorPrinter::SetDash(const Fixed16_16* lengths, uint32_t count, Fixed16_16 phase) {
  std::string line = "[";
  for (uint32_t i = 0; i < count; ++i) line.append(i == 0 ? "" : " ").append(FormatContentNumber(lengths[i]));
  Line(line.append("] ").append(FormatContentNumber(phase)).append(" d"));
}

void OperatorPrinter::PaintPath(const vn::pdf::content::DLPath& path, bool, bool stroke, int32_t clipRule,
                                int32_t fill) {
  using vn::pdf::content::PointKind;
  using vn::pdf::content::PointX;
  using vn::pdf::content::PointY;
  std::string curve;
  uint32_t curvePoints = 0;
  for (uint32_t i = 0; i < path.count; ++i) {
    const auto& p = path.points[i];
    std::string xy = FormatContentNumber(PointX(p)) + " " + FormatContentNumber(PointY(p));
    switch (PointKind(p)) {
      case vn::pdf::content::kMoveTo: Line(xy + " m"); break;
      case vn::pdf::content::kLineTo: Line(xy + " l"); break;
      case vn::pdf::content::kCurvePoint:
        curve += xy + " ";
        if (++curvePoints == 3) {
          Line(curve + "c");
          curve.clear();
          curvePoints = 0;
        }
        break;
      default: Line("h"); break;
    }
  }
  if (clipRule == 0) Line("W");
  if (clipRule == 1) Line("W*");
  static const char* const kOps[2][3] = {{"f", "f*", "n"}, {"B", "B*", "S"}};
  Line(kOps[stroke ? 1 : 0][fill < 0 || fill > 2 ? 2 : fill]);
}

void OperatorPrinter::DrawFormXObject(const DLName& name, const vn::FixedMatrix&, const vn::FixedRect&) {
  Line(Name(name) + " Do");
}

void OperatorPrinter::DrawImageXObject(const DLName& name) { Line(Name(name) + " Do"); }

void OperatorPrinter::DrawInlineImage(const vn::pdf::content::InlineImageData& image) {
  Line("BI /W " + std::to_string(image.width) + " /H " + std::to_string(image.height) + " /BPC " +
       std::to_string(image.bitsPerComponent) + " ID % " + std::to_string(image.rowBytes * image.height) +
       " bytes of " + std::to_string(image.components) + "-component samples EI");
}

void OperatorPrinter::PaintShading(const DLName& name, const vn::pdf::document::ResolvedValue&) {
  Line(Name(name) + " sh");
}

void OperatorPrinter::SetHorizontalScaling(Fixed16_16 fraction) {
  // Back to a percentage: the fraction times 100, exact in 16.16.
  int64_t percent = static_cast<int64_t>(fraction) * 100;
  if (percent > 0x7FFFFFFF) percent = 0x7FFFFFFF;
  if (percent < -0x7FFFFFFF) percent = -0x7FFFFFFF;
  Number(static_cast<Fixed16_16>(percent), "Tz");
}

void OperatorPrinter::MoveTextPosition(Fixed16_16 tx, Fixed16_16 ty, bool setLeading) {
  Line(FormatContentNumber(tx) + " " + FormatContentNumber(ty) + (setLeading ? " TD" : " Td"));
}

void OperatorPrinter::SetFont(Fixed16_16 size, const DLName& name) { Line(Name(name) + " " + FormatContentNumber(size) + " Tf"); }

void OperatorPrinter::ShowString(const uint8_t* bytes, uint32_t length, vn::FixedRect&) {
  Line(FormatString(bytes, length) + " Tj");
}

void OperatorPrinter::ShowArray(const vn::pdf::content::TextArrayElement* elements, uint32_t count) {
  std::string line = "[";
  for (uint32_t i = 0; i < count; ++i) {
    if (i != 0) line += ' ';
    line += elements[i].bytes != nullptr ? FormatString(elements[i].bytes, elements[i].length)
                                         : FormatContentNumber(elements[i].number);
  }
  Line(line + "] TJ");
}

}  // namespace folio::cli

// What the content parser hands each operator to. Every operation returns
// whether parsing goes on: false marks an entry boundary and the parser
// stops there. Values passed in live only until the operation returns.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/store/value.h"
#include "runtime/fixed_matrix.h"

namespace vn::pdf::content {

using store::Value;

// The operands of a colour operator, in PDF order.
class OperandList {
 public:
  explicit OperandList(const store::Container* operands) : operands_(operands) {}
  uint32_t Count() const { return operands_->Size(); }
  const Value& At(uint32_t index) const { return operands_->At(index); }

 private:
  const store::Container* operands_;
};

enum ColorFamily : int32_t { kGrayFamily = 0, kRgbFamily = 1, kCmykFamily = 2 };
enum FillKind : int32_t { kNonZeroFill = 0, kEvenOddFill = 1, kNoFill = 2 };
enum ClipRule : int32_t { kNonZeroClip = 0, kEvenOddClip = 1 };

// The default of every operation ignores the operator and goes on, so a
// client that needs only a few (such as a path collector) overrides those.
class ContentParserClient {
 public:
  virtual ~ContentParserClient() = default;

  virtual bool Save() { return true; }                                      // q
  virtual bool Restore() { return true; }                                   // Q
  virtual bool Concat(const FixedMatrix&) { return true; }                  // cm
  virtual bool LineWidth(Fixed16_16) { return true; }                       // w
  virtual bool LineCap(int32_t) { return true; }                            // J
  virtual bool LineJoin(int32_t) { return true; }                           // j
  virtual bool MiterLimit(Fixed16_16) { return true; }                      // M
  virtual bool Dash(const Value& /*array*/, Fixed16_16 /*phase*/) { return true; }  // d
  virtual bool Intent(const Value& /*name*/) { return true; }              // ri
  virtual bool Flatness(Fixed16_16) { return true; }                        // i
  virtual bool ExtGState(const Value& /*name*/) { return true; }           // gs
  virtual bool MoveTo(Fixed16_16, Fixed16_16) { return true; }              // m
  virtual bool LineTo(Fixed16_16, Fixed16_16) { return true; }              // l
  virtual bool CurveTo(Fixed16_16, Fixed16_16, Fixed16_16, Fixed16_16, Fixed16_16, Fixed16_16) {
    return true;
  }                                                                                          // c
  virtual bool CurveToV(Fixed16_16, Fixed16_16, Fixed16_16, Fixed16_16) { return true; }  // v
  virtual bool CurveToY(Fixed16_16, Fixed16_16, Fixed16_16, Fixed16_16) { return true; }  // y
  virtual bool ClosePath() { return true; }                                                // h
  virtual bool Rectangle(Fixed16_16, Fixed16_16, Fixed16_16, Fixed16_16) { return true; }  // re
  virtual bool XObject(const Value& /*name*/) { return true; }                            // Do
  // BI ... ID: `source` stands at the first data byte. The client consumes
  // the data exactly; the parser then requires EI.
  virtual bool InlineImage(const Value& /*dictionary*/, data_io::BufferedStream& /*source*/) { return true; }
  virtual bool Shading(const Value& /*name*/) { return true; }               // sh
  virtual bool Clip(ClipRule) { return true; }                               // W, W*
  virtual bool PaintPath(bool /*stroke*/, FillKind) { return true; }         // S s f F f* B B* b b* n
  virtual bool SetColorSpace(bool /*stroking*/, const Value& /*name*/) { return true; }     // CS, cs
  virtual bool SetDeviceColor(const OperandList&, ColorFamily, bool /*stroking*/) { return true; }  // G g RG rg K k
  virtual bool SetColor(const OperandList&, bool /*stroking*/, bool /*nForm*/) { return true; }     // SC SCN sc scn
  virtual bool BeginText() { return true; }                                   // BT
  virtual bool EndText() { return true; }                                     // ET
  virtual bool CharSpacing(Fixed16_16) { return true; }                       // Tc
  virtual bool WordSpacing(Fixed16_16) { return true; }                       // Tw
  virtual bool HorizontalScaling(Fixed16_16 /*fraction*/) { return true; }   // Tz
  virtual bool Leading(Fixed16_16) { return true; }                           // TL
  virtual bool Font(Fixed16_16 /*size*/, const Value& /*name*/) { return true; }  // Tf
  virtual bool RenderMode(int32_t) { return true; }                           // Tr
  virtual bool Rise(Fixed16_16) { return true; }                              // Ts
  virtual bool MoveText(Fixed16_16, Fixed16_16) { return true; }              // Td
  virtual bool MoveTextSetLeading(Fixed16_16, Fixed16_16) { return true; }    // TD
  virtual bool TextMatrix(const FixedMatrix&) { return true; }                // Tm
  virtual bool NextLine() { return true; }                                    // T*
  virtual bool ShowText(const Value& /*string*/) { return true; }             // Tj
  virtual bool ShowTextArray(const Value& /*array*/) { return true; }         // TJ
  virtual bool NextLineShowText(const Value& /*string*/) { return true; }     // '
  virtual bool NextLineShowTextSpaced(const Value& /*string*/, Fixed16_16 /*ac*/, Fixed16_16 /*aw*/) {
    return true;
  }                                                      // "
  virtual bool BeginMarkedContent() { return true; }     // BMC, BDC, first half of MP and DP
  // "/OC /name BDC": a sequence whose visibility the optional-content
  // membership `name` of the Properties resources decides.
  virtual bool BeginOptionalContent(const Value& /*name*/) { return BeginMarkedContent(); }
  virtual bool EndMarkedContent() { return true; }       // EMC, second half of MP and DP
};

}  // namespace vn::pdf::content

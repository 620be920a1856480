// What a display list is replayed into: the consumer interface, and the
// small views the player hands it (names, paths, parsed ExtGStates, text
// arrays and inline images).
#pragma once

#include <cstdint>

#include "im/path.h"
#include "pdf/document/object_resolver.h"
#include "runtime/fixed_matrix.h"

namespace vn::pdf::document {
class DisplayList;
}

namespace vn::pdf::content {

class ContentRecord;
class DLPlayer;

// A resource name as stored in the list (cut to 255 bytes).
struct DLName {
  const uint8_t* bytes;
  uint32_t length;
};

// Paths use the engine's tagged point format (im/path.h).
using DLPoint = im::PathPoint;
using DLPath = im::Path;
using im::PackPoint;
using im::PathPointKind;
using im::PointKind;
using im::PointX;
using im::PointY;
using enum im::PathPointKind;

// An empty box: minimum at the largest value, maximum at the smallest.
constexpr FixedRect EmptyBox() { return FixedRect{kFixedMax, kFixedMax, kFixedMin, kFixedMin}; }
inline void WidenBox(FixedRect& box, Fixed16_16 x, Fixed16_16 y) {
  if (x < box.x0) box.x0 = x;
  if (y < box.y0) box.y0 = y;
  if (x > box.x1) box.x1 = x;
  if (y > box.y1) box.y1 = y;
}
inline void WidenBox(FixedRect& box, const FixedRect& other) {
  if (other.x0 < box.x0) box.x0 = other.x0;
  if (other.y0 < box.y0) box.y0 = other.y0;
  if (other.x1 > box.x1) box.x1 = other.x1;
  if (other.y1 > box.y1) box.y1 = other.y1;
}

enum BlendMode : uint8_t { kBlendNormal = 0, kBlendMultiply = 1, kBlendScreen = 2 };

// An ExtGState dictionary as parsed once per name and list. Only the keys
// whose present bit is set change the graphics state.
struct ExtGStateRecord {
  enum Key : uint32_t {
    kLineWidth = 1u << 0,
    kLineCap = 1u << 1,
    kLineJoin = 1u << 2,
    kMiterLimit = 1u << 3,
    kDash = 1u << 4,
    kIntent = 1u << 5,
    kFillOverprint = 1u << 6,
    kStrokeOverprint = 1u << 7,
    kBlendMode = 1u << 8,
    kAlphaIsShape = 1u << 9,
    kFillAlpha = 1u << 10,
    kStrokeAlpha = 1u << 11,
    kFont = 1u << 12,
    kSoftMask = 1u << 13,
    kTextKnockout = 1u << 14,
  };
  DLName name = {nullptr, 0};  // the resource name it was made from
  uint32_t present = 0;
  Fixed16_16 lineWidth = 0;
  int32_t lineCap = 0;
  int32_t lineJoin = 0;
  Fixed16_16 miterLimit = 0;
  const Fixed16_16* dash = nullptr;  // in the list's pool
  uint32_t dashCount = 0;
  Fixed16_16 dashPhase = 0;
  uint8_t intent = 0;
  bool fillOverprint = false;
  bool strokeOverprint = false;
  uint8_t blendMode = kBlendNormal;
  bool alphaIsShape = false;
  Fixed16_16 fillAlpha = kFixedOne;
  Fixed16_16 strokeAlpha = kFixedOne;
  document::ObjectId font = {-1, 0};  // the font's reference (number -1: direct)
  Fixed16_16 fontSize = 0;
  bool clearsSoftMask = false;        // "SMask" present and not a dictionary
  document::ObjectId softMask = {-1, 0};
  bool textKnockout = false;
};

// One element of a TJ array: a number, or a string when `bytes` is set.
struct TextArrayElement {
  const uint8_t* bytes;  // null: a number
  uint32_t length;
  Fixed16_16 number;
};

// An inline image as decoded when the content was parsed.
struct InlineImageData {
  const store::Value* dictionary;  // its keys may be abbreviated
  const uint8_t* rows;             // rowBytes * height bytes
  uint32_t rowBytes;
  uint32_t width;
  uint32_t height;
  uint32_t bitsPerComponent;
  uint32_t components;
  bool imageMask;
  // The data uses an encoding that cannot be decoded: `rows` holds nothing
  // to draw, and the consumer can only say so.
  bool undecodable = false;
};

// The replay target. Operation comments give the opcodes that reach them.
// Every default ignores the operation, so a consumer overrides what it uses.
class DLConsumer {
 public:
  virtual ~DLConsumer() = default;

  // 0: the content record whose resources names resolve in.
  virtual ContentRecord* Resources() { return nullptr; }
  // 1: a parsed ExtGState (the default calls the hook of slot 40).
  virtual void SetFromExtGState(const ExtGStateRecord& record);
  // 2 [1]: saves the state, plays `nested` up to the matching restore, then
  // restores the state. The default only plays.
  virtual void SaveAndPlayNested(DLPlayer& nested);
  virtual void BeginMarkedContent() {}                                  // 3 [3]
  virtual void EndMarkedContent() {}                                    // 4 [4]
  // [37]: a marked-content sequence in the optional-content layer of the
  // Properties resource `name`.
  virtual void BeginOptionalContent(const DLName& /*name*/) { BeginMarkedContent(); }
  virtual void SetRenderingIntent(uint8_t /*intent*/) {}               // 5 [18]
  virtual void SetColorSpace(bool /*stroking*/, const DLName& /*name*/) {}  // 6 [19]
  // 7 [20-23]: components, and the pattern name of SCN/scn (null: none).
  // `family` tells the device operators (0 G/g, 1 RG/rg, 2 K/k) from
  // SC/SCN/sc/scn (-1).
  virtual void SetColorComponents(bool /*stroking*/, const Fixed16_16* /*components*/, uint32_t /*count*/,
                                  const DLName* /*pattern*/, int32_t /*family*/) {}
  virtual void ConcatMatrix(const FixedMatrix&) {}                      // 8 [5]
  virtual void SetLineWidth(Fixed16_16) {}                              // 9 [6]
  virtual void SetLineCap(int32_t) {}                                   // 10 [7]
  virtual void SetLineJoin(int32_t) {}                                  // 11 [8]
  virtual void SetMiterLimit(Fixed16_16) {}                             // 12 [9]
  virtual void SetDash(const Fixed16_16* /*lengths*/, uint32_t /*count*/, Fixed16_16 /*phase*/) {}  // 13 [10]
  virtual void SetFlatness(Fixed16_16) {}                               // 14 [11]
  // 15 [13]: whether a path with this user-space box can be visible.
  virtual bool TestBoundingBox(const FixedRect& /*box*/, bool /*stroke*/) { return true; }
  // 16 [13]: clipRule 0 nonzero, 1 even-odd, 2 none; fill 0 nonzero, 1 even-odd, 2 none.
  virtual void PaintPath(const DLPath& /*path*/, bool /*visible*/, bool /*stroke*/, int32_t /*clipRule*/,
                         int32_t /*fill*/) {}
  virtual void DrawFormXObject(const DLName& /*name*/, const FixedMatrix& /*matrix*/, const FixedRect& /*bbox*/) {
  }  // 17 [14]
  virtual void DrawImageXObject(const DLName& /*name*/) {}             // 18 [15]
  virtual void DrawInlineImage(const InlineImageData& /*image*/) {}    // 19
  // 20 [17]: the shading dictionary (null when the name does not resolve).
  virtual void PaintShading(const DLName& /*name*/, const document::ResolvedValue& /*shading*/) {}
  virtual void SetCharSpacing(Fixed16_16) {}                            // 21 [26]
  virtual void SetWordSpacing(Fixed16_16) {}                            // 22 [27]
  virtual void SetHorizontalScaling(Fixed16_16 /*fraction*/) {}         // 23 [28]
  virtual void SetLeading(Fixed16_16) {}                                // 24 [29]
  virtual void SetRenderMode(int32_t) {}                                // 25 [31]
  virtual void SetRise(Fixed16_16) {}                                   // 26 [32]
  virtual void MoveTextPosition(Fixed16_16 /*tx*/, Fixed16_16 /*ty*/, bool /*setLeading*/) {}  // 27 [33, 34]
  virtual void SetTextMatrix(const FixedMatrix&) {}                     // 28 [35]
  virtual void NextLine() {}                                            // 29 [36]
  virtual void SetFont(Fixed16_16 /*size*/, const DLName& /*name*/) {}  // 30 [30]
  // 31: `box` is the entry's cached text box, which the consumer may fill.
  virtual void ShowString(const uint8_t* /*bytes*/, uint32_t /*length*/, FixedRect& /*box*/) {}
  virtual void ShowArray(const TextArrayElement* /*elements*/, uint32_t /*count*/) {}  // 32
  // 33 [24]: plays the text object up to ET between the two text hooks.
  virtual void BeginText(DLPlayer& textObject);
  // 34: plays another list (pattern cells, glyph procedures) into this consumer.
  virtual void PlaySubList(document::DisplayList& list);
  // 35-37: the consumer's context, for entry objects and sub-lists.
  virtual AppContext* EngineContext() { return nullptr; }
  virtual document::ObjectResolver* Resolver() { return nullptr; }
  virtual void* ClientState() { return nullptr; }
  virtual void BeginTextHook() {}                 // 38
  virtual void EndTextHook() {}                   // 39
  virtual void ExtGStateDoneHook() {}             // 40
  virtual void AreaPainted(const FixedRect&) {}   // 41: device rectangle
};

}  // namespace vn::pdf::content

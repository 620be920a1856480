// The display-list populator: paths, XObjects, images, shadings, colour and
// text.
#include "pdf/content/dl_populator.h"

#include <cstring>

#include "pdf/content/dl_entries.h"
#include "pdf/content/dl_inline_image.h"
#include "pdf/content/dl_populator_detail.h"
#include "pdf/document/display_list.h"

namespace vn::pdf::content {

using document::ResolvedValue;
using store::Value;
using namespace populator_detail;

// ---- paths

void DLPopulator::BeginPathIfNeeded() {
  if (object_.pathActive) return;
  object_.pathActive = true;
  object_.pathLarge = list_.Points().Size() > kStoredPointBudget;
  object_.pathOffset = parser_->OperandsOffset();
  object_.pathPoints = 0;
  object_.path.Begin();
  if (object_.pathLarge) {
    overflow_.Clear();
    overflowOffset_ = object_.pathOffset;
    overflowValid_ = true;
  }
}

void DLPopulator::AddPoints(const DLPoint* points, uint32_t count) {
  if (object_.pathLarge) {
    for (uint32_t i = 0; i < count; ++i) overflow_.Push(points[i]);
  } else {
    document::DisplayList& l = list_;
    for (uint32_t i = 0; i < count; ++i) l.Points().Push(l.Pool(), points[i]);
  }
  object_.pathPoints += count;
}

void DLPopulator::DropPath() {
  if (!object_.pathActive) return;
  if (!object_.pathLarge) list_.Points().Truncate(list_.Points().Size() - object_.pathPoints);
  else overflowValid_ = false;
  object_.pathActive = false;
  object_.pathPoints = 0;
}

bool DLPopulator::MoveTo(Fixed16_16 x, Fixed16_16 y) {
  Check(kPageLevel | kInPath | kClipPending);
  BeginPathIfNeeded();
  DLPoint p[1];
  AddPoints(p, object_.path.MoveTo(x, y, p));
  object_.state = kInPath;
  return true;
}

bool DLPopulator::LineTo(Fixed16_16 x, Fixed16_16 y) {
  Check(kPageLevel | kInPath);
  BeginPathIfNeeded();
  DLPoint p[1];
  AddPoints(p, object_.path.LineTo(x, y, p));
  return true;
}

bool DLPopulator::CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3,
                          Fixed16_16 y3) {
  Check(kInPath);
  DLPoint p[3];
  AddPoints(p, object_.path.CurveTo(x1, y1, x2, y2, x3, y3, p));
  return true;
}

bool DLPopulator::CurveToV(Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3) {
  Check(kInPath);
  DLPoint p[3];
  AddPoints(p, object_.path.CurveToV(x2, y2, x3, y3, p));
  return true;
}

bool DLPopulator::CurveToY(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x3, Fixed16_16 y3) {
  Check(kInPath);
  DLPoint p[3];
  AddPoints(p, object_.path.CurveToY(x1, y1, x3, y3, p));
  return true;
}

bool DLPopulator::ClosePath() {
  Check(kPageLevel | kInPath | kClipPending);
  if (!object_.pathActive) return true;
  DLPoint p[1];
  AddPoints(p, object_.path.ClosePath(p));
  return true;
}

bool DLPopulator::Rectangle(Fixed16_16 x, Fixed16_16 y, Fixed16_16 w, Fixed16_16 h) {
  Check(kPageLevel | kInPath | kClipPending);
  BeginPathIfNeeded();
  DLPoint p[5];
  AddPoints(p, object_.path.Rectangle(x, y, w, h, p));
  object_.state = kInPath;
  return true;
}

bool DLPopulator::Clip(ClipRule rule) {
  Check(kPageLevel | kInPath);
  object_.state = kClipPending;
  object_.clipRule = rule;
  return true;
}

bool DLPopulator::PaintPath(bool stroke, FillKind fill) {
  Check(kPageLevel | kInPath | kClipPending);
  document::DisplayList& l = list_;
  ObjectState& o = object_;
  uint32_t flags = static_cast<uint32_t>(fill) | (static_cast<uint32_t>(o.clipRule) << 2) |
                   (stroke ? kPaintStroke : 0);
  FixedRect box = o.pathActive ? o.path.box : EmptyBox();
  uint32_t count = o.pathActive ? o.pathPoints : 0;
  auto putBox = [&](const FixedRect& b) {
    o.lastBoxWord = l.Words().Size();
    PutWord(static_cast<uint32_t>(b.x0));
    PutWord(static_cast<uint32_t>(b.y0));
    PutWord(static_cast<uint32_t>(b.x1));
    PutWord(static_cast<uint32_t>(b.y1));
    o.hasBox = true;
    lastBox_ = b;
  };
  Op(kDLPaint);
  if (!(o.pathActive && o.pathLarge)) {
    if (count >= (1u << 24)) RaiseUnsupported(context_);
    PutWord(count | ((flags | kPaintNewBox) << 24));
    putBox(box);
  } else {
    flags |= kPaintNotStored;
    bool newBox = o.paintCount % kPaintBoxInterval == 0 || !o.hasBox;
    bool longOffset = o.pathOffset > kPaintOffsetMax;
    if (newBox) flags |= kPaintNewBox;
    if (longOffset) flags |= kPaintLongOffset;
    PutWord((longOffset ? 0 : static_cast<uint32_t>(o.pathOffset)) | (flags << 24));
    if (newBox) {
      putBox(box);
    } else {
      WidenBox(lastBox_, box);
      l.Words().At(o.lastBoxWord) = static_cast<uint32_t>(lastBox_.x0);
      l.Words().At(o.lastBoxWord + 1) = static_cast<uint32_t>(lastBox_.y0);
      l.Words().At(o.lastBoxWord + 2) = static_cast<uint32_t>(lastBox_.x1);
      l.Words().At(o.lastBoxWord + 3) = static_cast<uint32_t>(lastBox_.y1);
    }
    if (longOffset) {
      PutWord(static_cast<uint32_t>(o.pathOffset >> 32));
      PutWord(static_cast<uint32_t>(o.pathOffset));
    }
  }
  ++o.paintCount;
  o.pathActive = false;
  o.pathPoints = 0;
  o.state = kPageLevel;
  o.clipRule = kNoClip;
  return false;
}

// ---- XObjects, images, shadings

bool DLPopulator::XObject(const Value& name) {
  Check(kPageLevel | kInPath);
  AppContext& context = context_;
  ResolvedValue object(context);
  document::LookupResource(resolver_, list_.Record()->Resources(), "XObject", name.Bytes(), name.Length(), object,
                           nullptr);
  ResolvedValue subtype(context);
  if (object.Get().IsDictionary()) document::GetResolved(resolver_, object, "Subtype", subtype);
  if (subtype.Get().NameIs("Image")) {
    DropPath();
    object_.state = kPageLevel;
    Op(kDLImage);
    PutName(name);
    Coalesce();
    return false;
  }
  if (!subtype.Get().NameIs("Form")) return true;
  FixedMatrix m = IdentityMatrix();
  ResolvedValue matrix(context);
  document::GetResolved(resolver_, object, "Matrix", matrix);
  if (!matrix.Get().IsNull()) {
    if (!matrix.Get().IsArray() || matrix.Get().container->Size() < 6) RaiseBadData(context);
    Fixed16_16 v[6];
    ResolvedValue element(context);
    for (uint32_t i = 0; i < 6; ++i) {
      element = matrix;
      element.SetChild(matrix.Get().container->At(i));
      document::ResolveInPlace(resolver_, element);
      v[i] = NumberOf(context, element.Get());
    }
    m = FixedMatrix{v[0], v[1], v[2], v[3], v[4], v[5]};
  }
  ResolvedValue bboxArray(context);
  document::GetResolved(resolver_, object, "BBox", bboxArray);
  FixedRect bbox = document::RectFromArray(resolver_, bboxArray);
  DropPath();
  object_.state = kPageLevel;
  Op(kDLForm);
  PutName(name);
  const Fixed16_16 w[10] = {m.a, m.b, m.c, m.d, m.tx, m.ty, bbox.x0, bbox.y0, bbox.x1, bbox.y1};
  for (Fixed16_16 v : w) PutWord(static_cast<uint32_t>(v));
  return false;
}

namespace {

// Runs the decoder; false when it met an unsupported encoding.
[[gnu::noinline]] bool DecodeUnlessUnsupported(AppContext& context, const Value& dictionary, const uint8_t* data,
                                               uint32_t length, uint8_t* rows, uint32_t total) {
  TryFrame frame;
  volatile bool usable = true;
  if (VN_TRY(context, frame)) {
    DecodeInlineImage(context, dictionary, data, length, rows, total);
  } else {
    Catch(frame);
    if (!IsEngineError(frame, kUnsupported)) Rethrow(context);
    usable = false;
  }
  EndTry(frame);
  return usable;
}

}  // namespace

bool DLPopulator::InlineImage(const Value& dictionary, data_io::BufferedStream& source) {
  Check(kAnyState);
  document::DisplayList& l = list_;
  const ResolvedValue& resources = l.Record()->Resources();
  InlineImageLayout layout = GetInlineImageLayout(context_, resolver_, resources, dictionary);
  ReadInlineImageData(context_, layout, source, scratch_);
  auto* entry = PoolNew<InlineImageDLEntry>(l.Pool());
  entry->dictionary = store::CopyValue(l.Pool(), dictionary);
  auto* rows = static_cast<uint8_t*>(l.Pool().Allocate(layout.totalBytes));
  if (layout.filtered) {
    entry->unusable = !DecodeUnlessUnsupported(context_, entry->dictionary, scratch_.Data(), scratch_.Size(), rows,
                                               layout.totalBytes);
  } else {
    std::memcpy(rows, scratch_.Data(), layout.totalBytes);
  }
  entry->image = InlineImageData{&entry->dictionary, rows, layout.rowBytes, layout.width, layout.height,
                                 layout.bitsPerComponent, layout.components, layout.imageMask, entry->unusable};
  Op(kDLEntryObject);
  PutWord(AddEntry(entry));
  return false;
}

bool DLPopulator::Shading(const Value& name) {
  Check(kAnyState);
  Op(kDLShading);
  PutName(name);
  Coalesce();
  return false;
}

// ---- colour

bool DLPopulator::SetColorSpace(bool stroking, const Value& name) {
  Check(kPageLevel | kInText);
  Op(kDLColorSpace);
  PutByte(stroking ? 1 : 0);
  PutName(name);
  Coalesce();
  return true;
}

bool DLPopulator::SetDeviceColor(const OperandList& operands, ColorFamily family, bool stroking) {
  Check(kPageLevel | kInPath | kInText);
  uint32_t need = family == kGrayFamily ? 1 : family == kRgbFamily ? 3 : 4;
  Op(static_cast<uint8_t>(static_cast<int32_t>(kDLGray) + static_cast<int32_t>(family)));
  PutByte(stroking ? 1 : 0);
  for (uint32_t i = operands.Count() - need; i < operands.Count(); ++i) {
    PutWord(static_cast<uint32_t>(NumberOf(context_, operands.At(i))));
  }
  Coalesce();
  return true;
}

bool DLPopulator::SetColor(const OperandList& operands, bool stroking, bool nForm) {
  Check(kAnyState);
  uint32_t count = operands.Count();
  const Value* pattern = nullptr;
  if (count != 0 && operands.At(count - 1).IsName()) {
    if (!nForm) RaiseBadData(context_);
    pattern = &operands.At(count - 1);
    --count;
  }
  if (count > 32) RaiseBadData(context_);
  Op(kDLColor);
  PutByte(static_cast<uint8_t>((stroking ? 1 : 0) | (pattern != nullptr ? 2 : 0)));
  if (pattern != nullptr) PutName(*pattern);
  PutByte(static_cast<uint8_t>(count));
  for (uint32_t i = 0; i < count; ++i) PutWord(static_cast<uint32_t>(NumberOf(context_, operands.At(i))));
  Coalesce();
  return true;
}

// ---- text

bool DLPopulator::BeginText() {
  Check(kPageLevel | kInPath);
  DropPath();
  object_.state = kInText;
  Op(kDLBeginText);
  return false;
}

bool DLPopulator::EndText() {
  Check(kInText);
  object_.state = kPageLevel;
  Op(kDLEndText);
  return false;
}

bool DLPopulator::CharSpacing(Fixed16_16 v) { return Simple(kPageLevel | kInText, kDLCharSpacing, 1, &v, true, true); }
bool DLPopulator::WordSpacing(Fixed16_16 v) { return Simple(kPageLevel | kInText, kDLWordSpacing, 1, &v, true, true); }
bool DLPopulator::HorizontalScaling(Fixed16_16 v) {
  return Simple(kPageLevel | kInText, kDLHorizontalScaling, 1, &v, true, true);
}
bool DLPopulator::Leading(Fixed16_16 v) { return Simple(kPageLevel | kInText, kDLLeading, 1, &v, true, true); }
bool DLPopulator::Rise(Fixed16_16 v) { return Simple(kPageLevel | kInText, kDLRise, 1, &v, true, true); }

bool DLPopulator::Font(Fixed16_16 size, const Value& name) {
  Check(kPageLevel | kInText);
  Op(kDLFont);
  PutName(name);
  PutWord(static_cast<uint32_t>(size));
  Coalesce();
  return true;
}

bool DLPopulator::RenderMode(int32_t v) {
  Check(kPageLevel | kInText);
  if (v < 0 || v > 255) RaiseBadData(context_);
  Op(kDLRenderMode);
  PutByte(static_cast<uint8_t>(v));
  Coalesce();
  return true;
}

bool DLPopulator::MoveText(Fixed16_16 tx, Fixed16_16 ty) {
  const Fixed16_16 w[2] = {tx, ty};
  return Simple(kInText, kDLMoveText, 2, w, true, true);
}
bool DLPopulator::MoveTextSetLeading(Fixed16_16 tx, Fixed16_16 ty) {
  const Fixed16_16 w[2] = {tx, ty};
  return Simple(kInText, kDLMoveTextSetLeading, 2, w, true, true);
}
bool DLPopulator::TextMatrix(const FixedMatrix& m) {
  const Fixed16_16 w[6] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
  return Simple(kInText, kDLTextMatrix, 6, w, false, true);
}
bool DLPopulator::NextLine() { return Simple(kInText, kDLNextLine, 0, nullptr, false, true); }

bool DLPopulator::ShowText(const Value& string) {
  Check(kInText);
  auto* entry = PoolNew<TextShowDLEntry>(list_.Pool(), CopyBytes(string.Bytes(), string.Length()), string.Length(),
                                         false);
  Op(kDLEntryObject);
  PutWord(AddEntry(entry));
  return true;
}

bool DLPopulator::NextLineShowText(const Value& string) {
  Check(kInText);
  auto* entry =
      PoolNew<TextShowDLEntry>(list_.Pool(), CopyBytes(string.Bytes(), string.Length()), string.Length(), true);
  Op(kDLEntryObject);
  PutWord(AddEntry(entry));
  return true;
}

bool DLPopulator::NextLineShowTextSpaced(const Value& string, Fixed16_16 ac, Fixed16_16 aw) {
  Check(kInText);
  auto* entry = PoolNew<TextNextLineAndShowWithSpacingDLEntry>(
      list_.Pool(), aw, ac, CopyBytes(string.Bytes(), string.Length()), string.Length());
  Op(kDLEntryObject);
  PutWord(AddEntry(entry));
  return true;
}

bool DLPopulator::ShowTextArray(const Value& array) {
  Check(kInText);
  Arena& pool = list_.Pool();
  uint32_t count = array.container->Size();
  auto* elements = pool.AllocateArray<TextArrayElement>(count == 0 ? 1 : count);
  uint32_t i = 0;
  for (store::CellCursor c(array.container); !c.Done(); c.Next(), ++i) {
    const Value& v = c.Get();
    if (v.IsString()) {
      elements[i] = TextArrayElement{CopyBytes(v.Bytes(), v.Length()), v.Length(), 0};
    } else if (v.IsNumber() || v.type == store::kIntegerOutOfRange) {
      elements[i] = TextArrayElement{nullptr, 0, document::NumberToFixed(v)};
    } else {
      RaiseBadData(context_);
    }
  }
  auto* entry = PoolNew<TextArrayShowDLEntry>(pool, elements, count);
  Op(kDLEntryObject);
  PutWord(AddEntry(entry));
  return true;
}

// ---- marked content

bool DLPopulator::BeginMarkedContent() { return Simple(kAnyState, kDLBeginMarked, 0, nullptr, false, false); }
bool DLPopulator::BeginOptionalContent(const Value& name) {
  Check(kAnyState);
  Op(kDLBeginOptional);
  PutName(name);
  return true;
}
bool DLPopulator::EndMarkedContent() { return Simple(kAnyState, kDLEndMarked, 0, nullptr, false, false); }

}  // namespace vn::pdf::content

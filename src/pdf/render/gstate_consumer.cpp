#include "pdf/render/gstate_consumer.h"

#include "runtime/error.h"

namespace vn::pdf::render {

using content::DLName;

GStateConsumer::GStateConsumer(pdfcolor::DocumentColorSpaces& colors)
    : context_(colors.Context()), colors_(colors),
      deviceSpaces_{pdfcolor::ColorSpaceRef(colors.Context()), pdfcolor::ColorSpaceRef(colors.Context()),
                    pdfcolor::ColorSpaceRef(colors.Context())} {}

bool GStateConsumer::GuardCall(void (*body)(void*), void* argument) {
  TryFrame frame;
  volatile int32_t skipped = -1;
  if (VN_TRY(context_, frame)) {
    body(argument);
  } else {
    const Error& error = Catch(frame);
    const bool objectFault = error.domain == kRuntimeDomain &&
                             (error.code == kBadData || error.code == kUnsupported || error.code == kLimitExceeded);
    if (!objectFault) Rethrow(context_);
    skipped = error.code;
  }
  EndTry(frame);
  if (skipped < 0) return true;
  SendEvent(kEventObjectSkipped, skipped);
  return false;
}

const document::ResolvedValue& GStateConsumer::ResourceDictionary() const {
  if (record_ == nullptr) RaiseBadData(context_);
  return record_->Resources();
}

void GStateConsumer::SetFromExtGState(const content::ExtGStateRecord& r) {
  using R = content::ExtGStateRecord;
  GraphicsState& s = *state_;
  if (r.present & R::kLineWidth) s.lineWidth = r.lineWidth;
  if (r.present & R::kLineCap) s.lineCap = r.lineCap;
  if (r.present & R::kLineJoin) s.lineJoin = r.lineJoin;
  if (r.present & R::kMiterLimit) s.miterLimit = r.miterLimit;
  if (r.present & R::kDash) SetDash(r.dash, r.dashCount, r.dashPhase);
  if (r.present & R::kIntent) SetRenderingIntent(r.intent);
  if (r.present & R::kFillOverprint) s.fillOverprint = r.fillOverprint;
  if (r.present & R::kStrokeOverprint) s.strokeOverprint = r.strokeOverprint;
  if (r.present & R::kBlendMode) s.blendMode = r.blendMode;
  if (r.present & R::kAlphaIsShape) s.alphaIsShape = r.alphaIsShape;
  if (r.present & R::kFillAlpha) s.fillAlpha = r.fillAlpha;
  if (r.present & R::kStrokeAlpha) s.strokeAlpha = r.strokeAlpha;
  if (r.present & R::kTextKnockout) s.textKnockout = r.textKnockout;
  // A soft mask is not applied yet: say so. A reset ("None") changes nothing.
  if ((r.present & R::kSoftMask) && !r.clearsSoftMask) SendEvent(kEventTransparency, kSoftMaskNotApplied);
  if (r.present & R::kFont) {
    s.fontName.Set(nullptr);
    s.fontReference = r.font;
    s.fontSize = r.fontSize;
  }
  ExtGStateDoneHook();
}

void GStateConsumer::SetRenderingIntent(uint8_t intent) {
  state_->intent = intent;
  state_->fill.rgbValid = false;
  state_->stroke.rgbValid = false;
}

void GStateConsumer::SetColorSpace(bool stroking, const DLName& name) {
  if (colorsLocked_) return;
  Guard([&] {
    pdfcolor::ColorSpaceRef space(context_);
    colors_.ResolveName(space, name.bytes, name.length, ResourceDictionary());
    PaintColor& side = stroking ? state_->stroke : state_->fill;
    side.space = space;
    for (uint32_t i = 0; i < pdfcolor::kMaxComponents; ++i) side.components[i] = space.initial[i];
    side.pattern.Set(nullptr);
    side.componentsGiven = true;
    side.rgbValid = false;
  });
}

void GStateConsumer::SetColorComponents(bool stroking, const Fixed16_16* components, uint32_t count,
                                        const DLName* pattern, int32_t family) {
  if (colorsLocked_) return;
  Guard([&] { SetComponents(stroking ? state_->stroke : state_->fill, components, count, pattern, family); });
}

void GStateConsumer::SetComponents(PaintColor& side, const Fixed16_16* components, uint32_t count,
                                   const DLName* pattern, int32_t family) {
  if (family >= 0) {
    // G/g, RG/rg, K/k select their device space first.
    side.space = DeviceSpace(family == 0 ? 1 : family == 1 ? 3 : 4);
    side.pattern.Set(nullptr);
  }
  const bool patternSpace = side.space.kind == pdfcolor::kPatternSpace;
  if (patternSpace != (pattern != nullptr)) RaiseBadData(context_);
  const uint32_t needed = side.space.components;
  if (count < needed) RaiseBadData(context_);
  // Surplus operands: the last ones count, as the operand order of a
  // pattern colour (components, then the name) suggests.
  for (uint32_t i = 0; i < needed; ++i) side.components[i] = components[count - needed + i];
  if (pattern != nullptr) side.pattern.Set(SharedBytes::Make(context_, pattern->bytes, pattern->length));
  side.componentsGiven = count != 0;
  side.rgbValid = false;
}

const pdfcolor::ColorSpaceRef& GStateConsumer::DeviceSpace(uint32_t components) {
  const uint32_t slot = components == 1 ? 0 : components == 3 ? 1 : 2;
  if ((deviceSpacesKnown_ & (1u << slot)) == 0) {
    colors_.DeviceSpace(deviceSpaces_[slot], components, ResourceDictionary());
    deviceSpacesKnown_ |= static_cast<uint8_t>(1u << slot);
  }
  return deviceSpaces_[slot];
}

void GStateConsumer::ConcatMatrix(const FixedMatrix& m) { state_->SetCTM(context_, Concat(m, state_->ctm)); }

void GStateConsumer::SetDash(const Fixed16_16* lengths, uint32_t count, Fixed16_16 phase) {
  state_->dash.Set(count == 0 ? nullptr : SharedNumbers::Make(context_, lengths, count));
  state_->dashPhase = phase;
}

void GStateConsumer::MoveTextPosition(Fixed16_16 tx, Fixed16_16 ty, bool setLeading) {
  if (setLeading) state_->leading = FixedSubSat(0, ty);
  lineMatrix_ = Concat(FixedMatrix{kFixedOne, 0, 0, kFixedOne, tx, ty}, lineMatrix_);
  textMatrix_ = lineMatrix_;
}

void GStateConsumer::AdvanceTextMatrix(Fixed16_16 tx, Fixed16_16 ty) {
  textMatrix_.tx = FixedAddSat(textMatrix_.tx, FixedAddSat(FixedMul(tx, textMatrix_.a), FixedMul(ty, textMatrix_.c)));
  textMatrix_.ty = FixedAddSat(textMatrix_.ty, FixedAddSat(FixedMul(tx, textMatrix_.b), FixedMul(ty, textMatrix_.d)));
}

void GStateConsumer::SetTextMatrix(const FixedMatrix& m) {
  textMatrix_ = m;
  lineMatrix_ = m;
}

void GStateConsumer::SetFont(Fixed16_16 size, const DLName& name) {
  // The font subsystem resolves the name when text is drawn; until then the
  // state keeps the name and the size.
  state_->fontName.Set(SharedBytes::Make(context_, name.bytes, name.length));
  state_->fontReference = document::ObjectId{-1, 0};
  state_->fontSize = size;
}

const uint8_t* GStateConsumer::DisplayColor(PaintColor& side) {
  if (!side.rgbValid) {
    colors_.ToRGB(side.space, side.components, state_->intent, side.rgb);
    side.rgbValid = true;
  }
  return side.rgb;
}

}  // namespace vn::pdf::render

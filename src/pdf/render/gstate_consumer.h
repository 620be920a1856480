// The display-list consumer's graphics-state half: every operation that only
// changes the graphics state (ExtGState keys, colours in every colour space,
// line parameters, the CTM, the text state and the text object's matrices).
// The render consumer (render_consumer.h) adds painting and nesting.
//
// One bad state operation must not blank the rest of the page: an engine
// error 2, 5 or 6 raised by one (a short "sc", an unknown colour space) is
// absorbed, reported as a display event, and the state stays as it was.
#pragma once

#include <cstdint>

#include "pdf/content/content_record.h"
#include "pdf/content/dl_consumer.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/display_events.h"
#include "pdf/render/graphics_state.h"

namespace vn::pdf::render {

class GStateConsumer : public content::DLConsumer {
 public:
  // The current graphics state and content record are set (SetState,
  // SetRecord) before anything is played.
  explicit GStateConsumer(pdfcolor::DocumentColorSpaces& colors);

  GraphicsState& State() { return *state_; }
  // The text object's matrices.
  const FixedMatrix& TextMatrix() const { return textMatrix_; }
  const FixedMatrix& LineMatrix() const { return lineMatrix_; }

  content::ContentRecord* Resources() override { return record_; }
  AppContext* EngineContext() override { return &context_; }
  document::ObjectResolver* Resolver() override { return &colors_.Resolver(); }

  void SetFromExtGState(const content::ExtGStateRecord& record) override;
  void SetRenderingIntent(uint8_t intent) override;
  void SetColorSpace(bool stroking, const content::DLName& name) override;
  void SetColorComponents(bool stroking, const Fixed16_16* components, uint32_t count,
                          const content::DLName* pattern, int32_t family) override;
  void ConcatMatrix(const FixedMatrix& m) override;
  void SetLineWidth(Fixed16_16 v) override { state_->lineWidth = v; }
  void SetLineCap(int32_t v) override { state_->lineCap = v; }
  void SetLineJoin(int32_t v) override { state_->lineJoin = v; }
  void SetMiterLimit(Fixed16_16 v) override { state_->miterLimit = v; }
  void SetDash(const Fixed16_16* lengths, uint32_t count, Fixed16_16 phase) override;
  void SetCharSpacing(Fixed16_16 v) override { state_->charSpacing = v; }
  void SetWordSpacing(Fixed16_16 v) override { state_->wordSpacing = v; }
  void SetHorizontalScaling(Fixed16_16 fraction) override { state_->horizontalScaling = fraction; }
  void SetLeading(Fixed16_16 v) override { state_->leading = FixedSubSat(0, v); }
  void SetRenderMode(int32_t v) override { state_->renderMode = v; }
  void SetRise(Fixed16_16 v) override { state_->rise = v; }
  void MoveTextPosition(Fixed16_16 tx, Fixed16_16 ty, bool setLeading) override;
  void SetTextMatrix(const FixedMatrix& m) override;
  void NextLine() override { MoveTextPosition(0, state_->leading, false); }
  void SetFont(Fixed16_16 size, const content::DLName& name) override;

 protected:
  ~GStateConsumer() = default;

  // Moves the text matrix by (tx, ty) text-space units (the advance after a
  // glyph or a TJ offset: ty only in vertical writing); the line matrix
  // stays.
  void AdvanceTextMatrix(Fixed16_16 tx, Fixed16_16 ty = 0);
  // Puts both text matrices back (after content nested inside a text
  // object, such as a Type 3 glyph, has used its own).
  void RestoreTextMatrices(const FixedMatrix& text, const FixedMatrix& line) {
    textMatrix_ = text;
    lineMatrix_ = line;
  }
  // While set, colour operators change nothing: a Type 3 glyph that only
  // gives its shape (d1) paints in the colour of the text.
  bool colorsLocked_ = false;

  // Reports content drawn approximately or not at all (display_events.h).
  virtual void SendEvent(int32_t category, int32_t detail) = 0;

  // Runs `body()`; an engine error 2, 5 or 6 raised inside is absorbed and
  // reported as a skipped object (false then); any other is passed on.
  template <class Body>
  bool Guard(Body&& body) {
    return GuardCall(+[](void* b) { (*static_cast<Body*>(b))(); }, &body);
  }
  bool GuardCall(void (*body)(void*), void* argument);

  // The display colour of one side, converted when first needed.
  const uint8_t* DisplayColor(PaintColor& side);
  void SetState(GraphicsState& state) { state_ = &state; }
  void SetRecord(content::ContentRecord* record) {
    record_ = record;
    deviceSpacesKnown_ = 0;
  }
  content::ContentRecord* Record() const { return record_; }
  pdfcolor::DocumentColorSpaces& Colors() { return colors_; }
  // The space of G/g (1), RG/rg (3) or K/k (4) for the current resources.
  const pdfcolor::ColorSpaceRef& DeviceSpace(uint32_t components);

  AppContext& context_;

 private:
  void SetComponents(PaintColor& side, const Fixed16_16* components, uint32_t count, const content::DLName* pattern,
                     int32_t family);
  const document::ResolvedValue& ResourceDictionary() const;

  pdfcolor::DocumentColorSpaces& colors_;
  GraphicsState* state_ = nullptr;
  content::ContentRecord* record_ = nullptr;
  FixedMatrix textMatrix_ = IdentityMatrix();
  FixedMatrix lineMatrix_ = IdentityMatrix();
  // Device spaces resolved for the current record (Default* resources
  // apply), so that colour operators do not look them up every time.
  pdfcolor::ColorSpaceRef deviceSpaces_[3];
  uint8_t deviceSpacesKnown_ = 0;
};

}  // namespace vn::pdf::render

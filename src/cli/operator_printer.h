// A display-list consumer that prints what it receives, one operator per
// line in content-stream syntax: numbers as the shortest decimal that reads
// back as the same 16.16 value, strings as literal or hex strings, names
// with "/" and "#" escapes.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/content/dl_consumer.h"

namespace folio::cli {

// The shortest decimal text that the content lexer reads as `value`.
std::string FormatContentNumber(vn::Fixed16_16 value);
// "/Name" with "#xx" escapes for delimiters, white space, "#" and bytes
// outside the printable range.
std::string FormatName(const uint8_t* bytes, uint32_t length);
// "(...)" when every byte is printable, "<hex>" otherwise.
std::string FormatString(const uint8_t* bytes, uint32_t length);

class OperatorPrinter final : public vn::pdf::content::DLConsumer {
 public:
  const std::string& Text() const { return text_; }
  uint32_t Lines() const { return lines_; }

  void SetFromExtGState(const vn::pdf::content::ExtGStateRecord& record) override;
  void SaveAndPlayNested(vn::pdf::content::DLPlayer& nested) override;
  void BeginMarkedContent() override { Line("BMC"); }
  void EndMarkedContent() override { Line("EMC"); }
  void SetRenderingIntent(uint8_t intent) override;
  void SetColorSpace(bool stroking, const vn::pdf::content::DLName& name) override;
  void SetColorComponents(bool stroking, const vn::Fixed16_16* components, uint32_t count,
                          const vn::pdf::content::DLName* pattern, int32_t family) override;
  void ConcatMatrix(const vn::FixedMatrix& m) override { Matrix(m, "cm"); }
  void SetLineWidth(vn::Fixed16_16 v) override { Number(v, "w"); }
  void SetLineCap(int32_t v) override { Line(std::to_string(v) + " J"); }
  void SetLineJoin(int32_t v) override { Line(std::to_string(v) + " j"); }
  void SetMiterLimit(vn::Fixed16_16 v) override { Number(v, "M"); }
  void SetDash(const vn::Fixed16_16* lengths, uint32_t count, vn::Fixed16_16 phase) override;
  void SetFlatness(vn::Fixed16_16 v) override { Number(v, "i"); }
  void PaintPath(const vn::pdf::content::DLPath& path, bool visible, bool stroke, int32_t clipRule,
                 int32_t fill) override;
  void DrawFormXObject(const vn::pdf::content::DLName& name, const vn::FixedMatrix&, const vn::FixedRect&) override;
  void DrawImageXObject(const vn::pdf::content::DLName& name) override;
  void DrawInlineImage(const vn::pdf::content::InlineImageData& image) override;
  void PaintShading(const vn::pdf::content::DLName& name, const vn::pdf::document::ResolvedValue&) override;
  void SetCharSpacing(vn::Fixed16_16 v) override { Number(v, "Tc"); }
  void SetWordSpacing(vn::Fixed16_16 v) override { Number(v, "Tw"); }
  void SetHorizontalScaling(vn::Fixed16_16 fraction) override;
  void SetLeading(vn::Fixed16_16 v) override { Number(v, "TL"); }
  void SetRenderMode(int32_t v) override { Line(std::to_string(v) + " Tr"); }
  void SetRise(vn::Fixed16_16 v) override { Number(v, "Ts"); }
  void MoveTextPosition(vn::Fixed16_16 tx, vn::Fixed16_16 ty, bool setLeading) override;
  void SetTextMatrix(const vn::FixedMatrix& m) override { Matrix(m, "Tm"); }
  void NextLine() override { Line("T*"); }
  void SetFont(vn::Fixed16_16 size, const vn::pdf::content::DLName& name) override;
  void ShowString(const uint8_t* bytes, uint32_t length, vn::FixedRect&) override;
  void ShowArray(const vn::pdf::content::TextArrayElement* elements, uint32_t count) override;
  void BeginText(vn::pdf::content::DLPlayer& textObject) override;

 private:
  void Line(const std::string& line);
  void Number(vn::Fixed16_16 v, const char* op) { Line(FormatContentNumber(v) + " " + op); }
  void Matrix(const vn::FixedMatrix& m, const char* op);

  std::string text_;
  uint32_t lines_ = 0;
};

}  // namespace folio::cli

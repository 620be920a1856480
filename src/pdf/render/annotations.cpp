// Annotations drawn with the page: the normal appearance stream of every
// annotation that has one and is not hidden ("Hidden" or "NoView" flag),
// mapped from its BBox and Matrix onto its Rect: the box, transformed by the
// matrix, is fitted onto the rectangle by a scale and a translation. With
// the "NoRotate" flag the appearance stays upright on a rotated page,
// turned about the rectangle's upper-left corner.
#include "im/path.h"
#include "pdf/document/page_tree.h"
#include "pdf/render/render_consumer.h"

namespace vn::pdf::render {

namespace {

using document::ResolvedValue;

constexpr int32_t kHiddenFlag = 1 << 1;
constexpr int32_t kNoRotateFlag = 1 << 4;
constexpr int32_t kNoViewFlag = 1 << 5;

struct Appearance {
  document::ObjectId form;
  FixedMatrix matrix;  // the form's Matrix followed by the fit onto Rect
  FixedRect bbox;
};

// The appearance to draw for annotation `index` of `annotations`, if any.
bool FindAppearance(document::ObjectResolver& resolver, document::OptionalContent& optional,
                    const ResolvedValue& annotations, uint32_t index, const content::ContentRecord& page,
                    int32_t pageRotation, Appearance& out) {
  AppContext& context = resolver.Context();
  ResolvedValue annotation(annotations);
  annotation.SetChild(document::ArrayElement(annotations.Get(), index));
  ResolveInPlace(resolver, annotation);
  if (!document::IsDictionary(annotation.Get())) return false;
  ResolvedValue value(context);
  GetResolved(resolver, annotation, "F", value);
  const int32_t flags = document::IsInteger(value.Get()) ? document::IntegerOf(value.Get()) : 0;
  if ((flags & (kHiddenFlag | kNoViewFlag)) != 0 || !optional.Shows(annotation)) return false;
  ResolvedValue appearances(context);
  GetResolved(resolver, annotation, "AP", appearances);
  if (!document::IsDictionary(appearances.Get())) return false;
  // The normal appearance: a stream, or one per state chosen by "AS".
  ResolvedValue normal(appearances);
  normal.SetChild(document::DictionaryGet(context, appearances.Get(), "N"));
  document::Value reference = normal.Get();
  ResolveInPlace(resolver, normal);
  if (!document::IsStream(normal.Get())) {
    if (!document::IsDictionary(normal.Get())) return false;
    GetResolved(resolver, annotation, "AS", value);
    if (!document::IsName(value.Get())) return false;
    reference = document::DictionaryGet(context, normal.Get(), reinterpret_cast<const char*>(value.Get().Bytes()),
                                        value.Get().Length());
  }
  // A stream is an indirect object; the form cache knows forms by reference.
  if (!document::IsReference(reference)) return false;
  out.form = document::ReferenceOf(reference);
  ResolvedValue stream(context);
  resolver.GetIndirectObject(out.form, stream);
  if (!document::IsStream(stream.Get())) return false;
  Scoped<content::FormXObjectContentRecord> form(context, resolver, stream, page);
  out.bbox = form->BBox();
  const FixedMatrix matrix = form->Matrix();
  GetResolved(resolver, annotation, "Rect", value);
  const FixedRect rect = document::RectFromArray(resolver, value);
  const FixedRect shown = TransformRect(matrix, out.bbox);
  const int64_t shownWidth = static_cast<int64_t>(shown.x1) - shown.x0;
  const int64_t shownHeight = static_cast<int64_t>(shown.y1) - shown.y0;
  if (shownWidth <= 0 || shownHeight <= 0 || shownWidth > kFixedMax || shownHeight > kFixedMax) return false;
  const Fixed16_16 sx = FixedDiv(FixedSubSat(rect.x1, rect.x0), static_cast<Fixed16_16>(shownWidth));
  const Fixed16_16 sy = FixedDiv(FixedSubSat(rect.y1, rect.y0), static_cast<Fixed16_16>(shownHeight));
  const FixedMatrix fit{sx, 0, 0, sy, FixedSubSat(rect.x0, FixedMul(sx, shown.x0)),
                        FixedSubSat(rect.y0, FixedMul(sy, shown.y0))};
  out.matrix = Concat(matrix, fit);
  if ((flags & kNoRotateFlag) != 0 && pageRotation != 0) {
    // The page is shown turned clockwise: turn the appearance back about
    // the corner that stays in place.
    FixedMatrix turn = document::RotationMatrix(pageRotation);
    const FixedPoint corner{rect.x0, rect.y1};
    const FixedPoint moved = TransformPoint(turn, corner);
    turn.tx = FixedSubSat(corner.x, moved.x);
    turn.ty = FixedSubSat(corner.y, moved.y);
    out.matrix = Concat(out.matrix, turn);
  }
  return true;
}

}  // namespace

void RenderConsumer::DrawAnnotations(int32_t pageIndex, content::ContentRecord& pageRecord) {
  document::ObjectResolver& resolver = *Resolver();
  ResolvedValue page(context_);
  resolver.GetIndirectObject(document::GetPageReference(resolver, pageIndex), page);
  ResolvedValue annotations(context_);
  GetResolved(resolver, page, "Annots", annotations);
  if (!document::IsArray(annotations.Get())) return;
  const int32_t rotation = document::GetPageGeometry(resolver, page).rotation;
  const uint32_t count = document::ArrayLength(annotations.Get());
  // Marked content the page left open does not reach its annotations.
  markDepth_ = hiddenFrom_ = 0;
  // Objects of different annotations are told apart even where they share
  // an appearance stream.
  const uint64_t pageKey = formKey_;
  for (uint32_t i = 0; i < count; ++i) {
    formKey_ = pageKey + 0x9E3779B97F4A7C15ull * (i + 1);
    Appearance appearance{};
    bool found = false;
    if (!Guard([&] { found = FindAppearance(resolver, document_.Optional(), annotations, i, pageRecord, rotation, appearance); }) || !found) continue;
    DrawAppearance(appearance.form, appearance.matrix, appearance.bbox, pageRecord);
  }
  formKey_ = pageKey;
}

}  // namespace vn::pdf::render

#include "pdf/text/pdf_font.h"
#include "pdf/text/type0_font.h"
#include "pdf/text/type3_font.h"
#include "runtime/error.h"

namespace vn::pdf::text {

PDFFont* MakeFont(document::ObjectResolver& resolver, const document::ResolvedValue& font) {
  AppContext& context = resolver.Context();
  if (!document::IsDictionary(font.Get())) RaiseBadData(context);
  const document::Value subtype = document::DictionaryGet(context, font.Get(), "Subtype");
  if (document::NameIs(subtype, "Type1")) return New<TrueTypeOrType1PDFFont>(context, resolver, font, FontType::kType1);
  if (document::NameIs(subtype, "MMType1")) {
    return New<TrueTypeOrType1PDFFont>(context, resolver, font, FontType::kMMType1);
  }
  if (document::NameIs(subtype, "TrueType")) {
    return New<TrueTypeOrType1PDFFont>(context, resolver, font, FontType::kTrueType);
  }
  if (document::NameIs(subtype, "Type3")) return New<Type3PDFFont>(context, resolver, font);
  if (document::NameIs(subtype, "Type0")) return New<Type0PDFFont>(context, resolver, font);
  RaiseCode(context, kUnsupported);
}

}  // namespace vn::pdf::text

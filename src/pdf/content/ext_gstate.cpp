// ExtGState dictionaries read into records.
#include "pdf/content/ext_gstate.h"

#include "pdf/content/dl_populator_detail.h"

namespace vn::pdf::content {

using document::ResolvedValue;
using store::Value;
using populator_detail::IntentCode;
using populator_detail::NumberOf;

// Non-negative numbers whose sum is not zero (unless there are none).
void ReadDashLengths(document::ObjectResolver& resolver, const ResolvedValue& array, EngineArray<Fixed16_16>& out) {
  AppContext& context = resolver.Context();
  out.Clear();
  if (!array.Get().IsArray()) RaiseBadData(context);
  int64_t sum = 0;
  ResolvedValue element(context);
  for (store::CellCursor c(array.Get().container); !c.Done(); c.Next()) {
    element = array;
    element.SetChild(c.Get());
    document::ResolveInPlace(resolver, element);
    Fixed16_16 v = NumberOf(context, element.Get());
    if (v < 0) RaiseBadData(context);
    sum += v;
    out.Push(v);
  }
  if (out.Size() != 0 && sum == 0) RaiseBadData(context);
}

void ReadExtGState(document::ObjectResolver& resolver, const ResolvedValue& dict, ExtGStateRecord& r,
                   EngineArray<Fixed16_16>& dashLengths) {
  AppContext& context = resolver.Context();
  if (!dict.Get().IsDictionary()) RaiseBadData(context);
  ResolvedValue v(context);
  auto get = [&](const char* key) -> const Value& {
    document::GetResolved(resolver, dict, key, v);
    return v.Get();
  };
  if (get("LW").IsNumber()) {
    r.present |= ExtGStateRecord::kLineWidth;
    r.lineWidth = document::NumberToFixed(v.Get());
  }
  if (get("LC").IsInteger()) {
    r.present |= ExtGStateRecord::kLineCap;
    r.lineCap = v.Get().i;
  }
  if (get("LJ").IsInteger()) {
    r.present |= ExtGStateRecord::kLineJoin;
    r.lineJoin = v.Get().i;
  }
  if (get("ML").IsNumber()) {
    r.present |= ExtGStateRecord::kMiterLimit;
    r.miterLimit = document::NumberToFixed(v.Get());
  }
  if (!get("D").IsNull()) {
    if (!v.Get().IsArray() || v.Get().container->Size() < 2) RaiseBadData(context);
    ResolvedValue lengths(v);
    lengths.SetChild(v.Get().container->At(0));
    document::ResolveInPlace(resolver, lengths);
    ReadDashLengths(resolver, lengths, dashLengths);
    ResolvedValue phase(v);
    phase.SetChild(v.Get().container->At(1));
    document::ResolveInPlace(resolver, phase);
    r.dashPhase = NumberOf(context, phase.Get());
    r.present |= ExtGStateRecord::kDash;
  }
  if (get("RI").IsName()) {
    r.present |= ExtGStateRecord::kIntent;
    r.intent = IntentCode(v.Get());
  }
  bool hasFillOverprint = false;
  if (get("op").type == store::kBoolean) {
    r.present |= ExtGStateRecord::kFillOverprint;
    r.fillOverprint = v.Get().AsBool();
    hasFillOverprint = true;
  }
  if (get("OP").type == store::kBoolean) {
    r.present |= ExtGStateRecord::kStrokeOverprint;
    r.strokeOverprint = v.Get().AsBool();
    if (!hasFillOverprint) {
      r.present |= ExtGStateRecord::kFillOverprint;
      r.fillOverprint = r.strokeOverprint;
    }
  }
  if (!get("BM").IsNull()) {
    r.present |= ExtGStateRecord::kBlendMode;
    r.blendMode = kBlendNormal;
    auto mode = [](const Value& n) -> int {
      if (n.NameIs("Normal")) return kBlendNormal;
      if (n.NameIs("Multiply")) return kBlendMultiply;
      if (n.NameIs("Screen")) return kBlendScreen;
      return -1;
    };
    if (v.Get().IsName()) {
      int m = mode(v.Get());
      if (m >= 0) r.blendMode = static_cast<uint8_t>(m);
    } else if (v.Get().IsArray()) {
      for (store::CellCursor c(v.Get().container); !c.Done(); c.Next()) {
        int m = c.Get().IsName() ? mode(c.Get()) : -1;
        if (m >= 0) {
          r.blendMode = static_cast<uint8_t>(m);
          break;
        }
      }
    } else {
      RaiseBadData(context);
    }
  }
  if (get("AIS").type == store::kBoolean) {
    r.present |= ExtGStateRecord::kAlphaIsShape;
    r.alphaIsShape = v.Get().AsBool();
  }
  if (get("ca").IsNumber()) {
    r.present |= ExtGStateRecord::kFillAlpha;
    r.fillAlpha = document::NumberToFixed(v.Get());
  }
  if (get("CA").IsNumber()) {
    r.present |= ExtGStateRecord::kStrokeAlpha;
    r.strokeAlpha = document::NumberToFixed(v.Get());
  }
  if (get("Font").IsArray() && v.Get().container->Size() >= 2) {
    const Value& font = v.Get().container->At(0);
    r.present |= ExtGStateRecord::kFont;
    r.font = font.IsReference() ? document::ReferenceOf(font) : document::ObjectId{-1, 0};
    ResolvedValue size(v);
    size.SetChild(v.Get().container->At(1));
    document::ResolveInPlace(resolver, size);
    r.fontSize = document::NumberToFixed(size.Get());
  }
  Value mask = document::DictionaryGet(context, dict.Get(), "SMask");
  if (!mask.IsNull()) {
    r.present |= ExtGStateRecord::kSoftMask;
    if (!get("SMask").IsDictionary()) {
      r.clearsSoftMask = true;
    } else if (mask.IsReference()) {
      r.softMask = document::ReferenceOf(mask);
    }
  }
  if (get("TK").type == store::kBoolean) {
    r.present |= ExtGStateRecord::kTextKnockout;
    r.textKnockout = v.Get().AsBool();
  }
}

}  // namespace vn::pdf::content

// The display-list populator: graphics-state operators and ExtGState
// dictionaries.
#include "pdf/content/dl_populator.h"

#include "pdf/content/dl_entries.h"
#include "pdf/content/dl_populator_detail.h"
#include "pdf/document/display_list.h"

namespace vn::pdf::content {

using document::ResolvedValue;
using store::Value;
using namespace populator_detail;

// ---- graphics state

bool DLPopulator::Save() { return Simple(kPageLevel | kInPath | kClipPending, kDLSave, 0, nullptr, false, false); }
bool DLPopulator::Restore() { return Simple(kPageLevel | kInPath, kDLRestore, 0, nullptr, false, false); }

bool DLPopulator::Concat(const FixedMatrix& m) {
  const Fixed16_16 w[6] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
  return Simple(kPageLevel | kInPath | kInText, kDLConcat, 6, w, false, true);
}
bool DLPopulator::LineWidth(Fixed16_16 v) { return Simple(kPageLevel | kInPath | kInText, kDLLineWidth, 1, &v, true, true); }
bool DLPopulator::LineCap(int32_t v) { return Simple(kPageLevel | kInPath | kInText, kDLLineCap, 1, &v, true, true); }
bool DLPopulator::LineJoin(int32_t v) { return Simple(kPageLevel | kInPath | kInText, kDLLineJoin, 1, &v, true, true); }
bool DLPopulator::MiterLimit(Fixed16_16 v) {
  return Simple(kPageLevel | kInPath | kInText, kDLMiterLimit, 1, &v, true, true);
}
bool DLPopulator::Flatness(Fixed16_16 v) { return Simple(kPageLevel | kInText, kDLFlatness, 1, &v, true, true); }

// Non-negative numbers whose sum is not zero (unless there are none).
static void ReadDash(AppContext& context, document::ObjectResolver& resolver, const ResolvedValue& array,
                     EngineArray<Fixed16_16>& out) {
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

bool DLPopulator::Dash(const Value& array, Fixed16_16 phase) {
  Check(kPageLevel | kInText);
  ResolvedValue held(context_);
  held.Set(array, nullptr);
  ReadDash(context_, resolver_, held, numbers_);
  Op(kDLDash);
  PutWord(static_cast<uint32_t>(phase));
  PutWord(numbers_.Size());
  for (Fixed16_16 v : numbers_) PutWord(static_cast<uint32_t>(v));
  Coalesce();
  return true;
}

bool DLPopulator::Intent(const Value& name) {
  Check(kPageLevel | kInText);
  Op(kDLIntent);
  PutByte(IntentCode(name));
  Coalesce();
  return true;
}

void DLPopulator::ParseExtGState(const Value& name, ExtGStateRecord& r) {
  AppContext& context = context_;
  ResolvedValue dict(context);
  document::LookupResource(resolver_, list_.Record()->Resources(), "ExtGState", name.Bytes(), name.Length(), dict,
                           nullptr);
  if (!dict.Get().IsDictionary()) RaiseBadData(context);
  ResolvedValue v(context);
  auto get = [&](const char* key) -> const Value& {
    document::GetResolved(resolver_, dict, key, v);
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
    document::ResolveInPlace(resolver_, lengths);
    ReadDash(context, resolver_, lengths, numbers_);
    ResolvedValue phase(v);
    phase.SetChild(v.Get().container->At(1));
    document::ResolveInPlace(resolver_, phase);
    r.dashPhase = NumberOf(context, phase.Get());
    auto* copy = static_cast<Fixed16_16*>(list_.Pool().Allocate(4 * (numbers_.Size() + 1)));
    for (uint32_t i = 0; i < numbers_.Size(); ++i) copy[i] = numbers_[i];
    r.dash = copy;
    r.dashCount = numbers_.Size();
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
    document::ResolveInPlace(resolver_, size);
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

bool DLPopulator::ExtGState(const Value& name) {
  Check(kAnyState);
  document::DisplayList& l = list_;
  uint32_t length = name.Length();
  uint32_t index = ~0u;
  for (const auto& known : l.ExtGStates()) {
    if (known.length == length && std::memcmp(known.bytes, name.Bytes(), length) == 0) {
      index = known.entry;
      break;
    }
  }
  if (index == ~0u) {
    auto* entry = PoolNew<SetFromExtGStateDLEntry>(l.Pool());
    ParseExtGState(name, entry->record);
    index = AddEntry(entry);
    uint8_t* copy = CopyBytes(name.Bytes(), length);
    entry->record.name = DLName{copy, length > 255 ? 255 : length};
    l.ExtGStates().Push(document::DisplayList::ExtGStateName{copy, length, index});
  }
  Op(kDLExtGState);
  PutWord(index);
  Coalesce();
  return true;
}

}  // namespace vn::pdf::content

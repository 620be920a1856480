// The display-list populator: graphics-state operators and ExtGState
// dictionaries.
#include "pdf/content/dl_populator.h"

#include "pdf/content/dl_entries.h"
#include "pdf/content/dl_populator_detail.h"
#include "pdf/content/ext_gstate.h"
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

bool DLPopulator::Dash(const Value& array, Fixed16_16 phase) {
  Check(kPageLevel | kInText);
  ResolvedValue held(context_);
  held.Set(array, nullptr);
  ReadDashLengths(resolver_, held, numbers_);
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
  ResolvedValue dict(context_);
  document::LookupResource(resolver_, list_.Record()->Resources(), "ExtGState", name.Bytes(), name.Length(), dict,
                           nullptr);
  ReadExtGState(resolver_, dict, r, numbers_);
  if (r.present & ExtGStateRecord::kDash) {
    auto* copy = static_cast<Fixed16_16*>(list_.Pool().Allocate(4 * (numbers_.Size() + 1)));
    for (uint32_t i = 0; i < numbers_.Size(); ++i) copy[i] = numbers_[i];
    r.dash = copy;
    r.dashCount = numbers_.Size();
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

#include "pdf/content/dl_populator.h"

#include <cstring>
#include <new>

#include "pdf/content/dl_entries.h"
#include "pdf/content/dl_inline_image.h"
#include "pdf/document/display_list.h"
#include "pdf/document/page_tree.h"
#include "runtime/error.h"

namespace vn::pdf::content {

using document::ResolvedValue;
using store::Value;

namespace {

constexpr uint32_t kAnyState = kPageLevel | kInPath | kClipPending | kInText;
constexpr int32_t kNoClip = 2;

template <class T, class... Args>
T* PoolNew(Arena& pool, Args&&... args) {
  return ::new (pool.Allocate(static_cast<uint32_t>(sizeof(T)))) T(static_cast<Args&&>(args)...);
}

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

Fixed16_16 NumberOf(AppContext& context, const Value& v) {
  if (!v.IsNumber() && v.type != store::kIntegerOutOfRange) RaiseBadData(context);
  return document::NumberToFixed(v);
}

uint8_t IntentCode(const Value& name) {
  if (name.NameIs("Perceptual")) return 0;
  if (name.NameIs("Saturation")) return 2;
  if (name.NameIs("AbsoluteColorimetric")) return 3;
  return 1;
}

}  // namespace

// ---- recency links

void CoalesceLinks::Init() {
  for (uint32_t i = 0; i <= kCoalesceSlots; ++i) {
    prev[i] = static_cast<uint8_t>(i == 0 ? kCoalesceSlots : i - 1);
    next[i] = static_cast<uint8_t>(i == kCoalesceSlots ? 0 : i + 1);
  }
}

void CoalesceLinks::MakeNewest(uint32_t slot) {
  // Unlink, then insert before the sentinel (its prev is the newest).
  next[prev[slot]] = next[slot];
  prev[next[slot]] = prev[slot];
  uint32_t newest = prev[kCoalesceSlots];
  next[newest] = static_cast<uint8_t>(slot);
  prev[slot] = static_cast<uint8_t>(newest);
  next[slot] = static_cast<uint8_t>(kCoalesceSlots);
  prev[kCoalesceSlots] = static_cast<uint8_t>(slot);
}

// ---- path building

uint32_t PathBuilder::MoveTo(Fixed16_16 x, Fixed16_16 y, DLPoint* out) {
  out[0] = Add(x, y, kMoveTo);
  currentX = startX = x;
  currentY = startY = y;
  hasCurrent = true;
  return 1;
}

uint32_t PathBuilder::LineTo(Fixed16_16 x, Fixed16_16 y, DLPoint* out) {
  out[0] = Add(x, y, kLineTo);
  AdvanceTo(x, y);
  return 1;
}

uint32_t PathBuilder::CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3,
                              Fixed16_16 y3, DLPoint* out) {
  out[0] = Add(x1, y1, kCurvePoint);
  out[1] = Add(x2, y2, kCurvePoint);
  out[2] = Add(x3, y3, kCurvePoint);
  AdvanceTo(x3, y3);
  return 3;
}

uint32_t PathBuilder::CurveToV(Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3, DLPoint* out) {
  return CurveTo(currentX, currentY, x2, y2, x3, y3, out);
}

uint32_t PathBuilder::CurveToY(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x3, Fixed16_16 y3, DLPoint* out) {
  return CurveTo(x1, y1, x3, y3, x3, y3, out);
}

uint32_t PathBuilder::ClosePath(DLPoint* out) {
  if (!hasCurrent) return 0;
  out[0] = Add(startX, startY, kClosePath);
  currentX = startX;
  currentY = startY;
  return 1;
}

uint32_t PathBuilder::Rectangle(Fixed16_16 x, Fixed16_16 y, Fixed16_16 w, Fixed16_16 h, DLPoint* out) {
  Fixed16_16 x2 = FixedAddSat(x, w);
  Fixed16_16 y2 = FixedAddSat(y, h);
  MoveTo(x, y, out);
  out[1] = Add(x2, y, kLineTo);
  out[2] = Add(x2, y2, kLineTo);
  out[3] = Add(x, y2, kLineTo);
  out[4] = Add(x, y, kClosePath);
  return 5;
}

// ---- the populator

DLPopulator::DLPopulator(AppContext& context, document::DisplayList& list)
    : context_(context), list_(list), resolver_(list.Resolver()), overflow_(context), scratch_(context),
      numbers_(context), undo_(context) {
  links_.Init();
  object_.state = kPageLevel;
  object_.clipRule = kNoClip;
  boundary_.offset = 0;
  boundary_.pool = list_.Pool().GetMark();
  boundary_.lastBox = EmptyBox();
  boundary_.object = object_;
}

DLPopulator::~DLPopulator() { CloseParser(); }

void DLPopulator::OpenParser() {
  stream_ = list_.Record()->OpenContentStream();
  buffered_ = New<data_io::BufferedDataBlockStream>(context_, context_, stream_);
  if (boundary_.offset != 0) buffered_->Seek(boundary_.offset);
  operands_ = New<Arena>(context_, context_, 1024, 256);
  parser_ = New<ContentParser>(context_, context_, *buffered_, *operands_, *this);
  object_ = boundary_.object;
  parser_->SetCompatibilityDepth(object_.compatibilityDepth);
  resumePending_ = false;
}

void DLPopulator::CloseParser() {
  Delete(context_, parser_);
  parser_ = nullptr;
  Delete(context_, operands_);
  operands_ = nullptr;
  Delete(context_, buffered_);
  buffered_ = nullptr;
  Delete(context_, stream_);
  stream_ = nullptr;
}

bool DLPopulator::RunParser() {
  if (parser_ == nullptr) OpenParser();
  bool stopped = parser_->Run();
  SaveBoundary();
  if (!stopped) CloseParser();
  return stopped;
}

bool DLPopulator::PopulateMore(int32_t* errorCode, uint64_t* errorOffset) {
  *errorCode = -1;
  TryFrame frame;
  volatile bool more = false;
  if (VN_TRY(context_, frame)) {
    more = RunParser();
  } else {
    int32_t code = Catch(frame).code;
    uint64_t at = parser_ != nullptr ? parser_->OperatorOffset() : boundary_.offset;
    if (code == kCancelled || code == kOutOfMemory || code == kStackExhausted) {
      // Interrupted, or short of memory or stack for now: none of these says
      // anything about the content, so the list stays as it was at the last
      // boundary and the next request resumes there.
      RollBack();
      CloseParser();
      resumePending_ = true;
      Rethrow(context_);
    }
    // The list ends here: it keeps every complete entry before the fault.
    DropHalfWrittenEntry();
    CloseParser();
    *errorCode = code;
    *errorOffset = at;
    more = false;
  }
  EndTry(frame);
  return more;
}

void DLPopulator::SaveBoundary() {
  document::DisplayList& l = list_;
  Boundary& b = boundary_;
  b.offset = buffered_->Position();
  b.opcodes = l.Opcodes().Size();
  b.small = l.Small().Size();
  b.words = l.Words().Size();
  b.points = l.Points().Size();
  b.opcodeChunks = l.Opcodes().ChunkCount();
  b.smallChunks = l.Small().ChunkCount();
  b.wordChunks = l.Words().ChunkCount();
  b.pointChunks = l.Points().ChunkCount();
  b.entries = l.Entries().Size();
  b.extGStates = l.ExtGStates().Size();
  b.overflow = overflow_.Size();
  b.pool = l.Pool().GetMark();
  b.lastBox = lastBox_;
  object_.compatibilityDepth = parser_->CompatibilityDepth();
  b.object = object_;
  undo_.Clear();
}

void DLPopulator::RollBack() {
  document::DisplayList& l = list_;
  const Boundary& b = boundary_;
  l.Opcodes().RollBack(b.opcodes, b.opcodeChunks);
  l.Small().RollBack(b.small, b.smallChunks);
  l.Words().RollBack(b.words, b.wordChunks);
  l.Points().RollBack(b.points, b.pointChunks);
  l.Entries().Truncate(b.entries);
  l.ExtGStates().Truncate(b.extGStates);
  l.Pool().ReleaseTo(b.pool);
  overflow_.Truncate(b.overflow);
  overflowValid_ = false;
  for (uint32_t i = undo_.Size(); i-- > 0;) {
    const CacheUndo& u = undo_[i];
    links_.prev[u.node] = u.prev;
    links_.next[u.node] = u.next;
    if (u.node < kCoalesceSlots) slots_[u.node] = u.slot;
  }
  undo_.Clear();
  object_ = b.object;
  lastBox_ = b.lastBox;
  if (object_.hasBox) {
    l.Words().At(object_.lastBoxWord) = static_cast<uint32_t>(lastBox_.x0);
    l.Words().At(object_.lastBoxWord + 1) = static_cast<uint32_t>(lastBox_.y0);
    l.Words().At(object_.lastBoxWord + 2) = static_cast<uint32_t>(lastBox_.x1);
    l.Words().At(object_.lastBoxWord + 3) = static_cast<uint32_t>(lastBox_.y1);
  }
}

void DLPopulator::DropHalfWrittenEntry() {
  if (parser_ == nullptr || !parser_->Dispatching() || parser_->DispatchCount() != entryMark_.dispatchCount) {
    return;  // raised between operators, or before the operator was checked
  }
  document::DisplayList& l = list_;
  l.Opcodes().Truncate(entryMark_.opcodes);
  l.Small().Truncate(entryMark_.small);
  l.Words().Truncate(entryMark_.words);
  l.Entries().Truncate(entryMark_.entries);
  l.ExtGStates().Truncate(entryMark_.extGStates);
}

bool DLPopulator::OverflowPath(uint64_t offset, DLPath* path) const {
  if (!overflowValid_ || overflowOffset_ != offset || object_.pathActive) return false;
  path->points = overflow_.Data();
  path->count = overflow_.Size();
  return true;
}

// ---- writing entries

void DLPopulator::Check(uint32_t allowed) {
  document::DisplayList& l = list_;
  entryMark_ = EntryMark{l.Opcodes().Size(), l.Small().Size(), l.Words().Size(), l.Entries().Size(),
                         l.ExtGStates().Size(), parser_->DispatchCount()};
  if ((object_.state & allowed) == 0) RaiseBadData(context_);
}

void DLPopulator::Op(uint8_t opcode) {
  document::DisplayList& l = list_;
  entryOpcodePos_ = l.Opcodes().Size();
  entrySmallPos_ = l.Small().Size();
  entryWordPos_ = l.Words().Size();
  l.Opcodes().Push(l.Pool(), opcode);
}

void DLPopulator::PutByte(uint8_t b) { list_.Small().Push(list_.Pool(), b); }
void DLPopulator::PutWord(uint32_t w) { list_.Words().Push(list_.Pool(), w); }

void DLPopulator::PutNameBytes(const uint8_t* bytes, uint32_t length) {
  if (length > 255) length = 255;
  PutByte(static_cast<uint8_t>(length));
  for (uint32_t i = 0; i < length; ++i) PutByte(bytes[i]);
}

void DLPopulator::PutName(const Value& name) { PutNameBytes(name.Bytes(), name.Length()); }

uint32_t DLPopulator::AddEntry(DLEntry* entry) {
  list_.Entries().Push(entry);
  return list_.Entries().Size() - 1;
}

uint8_t* DLPopulator::CopyBytes(const uint8_t* bytes, uint32_t length) {
  auto* copy = static_cast<uint8_t*>(list_.Pool().Allocate(length == 0 ? 1 : length));
  if (length != 0) std::memcpy(copy, bytes, length);
  return copy;
}

void DLPopulator::NoteCacheNode(uint32_t node) {
  CacheUndo u;
  u.node = node;
  u.prev = links_.prev[node];
  u.next = links_.next[node];
  u.slot = node < kCoalesceSlots ? slots_[node] : CacheSlot{};
  undo_.Push(u);
}

void DLPopulator::Coalesce() {
  document::DisplayList& l = list_;
  const uint8_t opcode = l.Opcodes().At(entryOpcodePos_);
  const uint32_t smallLength = l.Small().Size() - entrySmallPos_;
  const uint32_t wordLength = l.Words().Size() - entryWordPos_;
  uint32_t hash = Mix(2166136261u, opcode);
  for (uint32_t i = 0; i < smallLength; ++i) hash = Mix(hash, l.Small().At(entrySmallPos_ + i));
  for (uint32_t i = 0; i < wordLength; ++i) hash = Mix(hash, l.Words().At(entryWordPos_ + i));

  for (uint32_t k = 0; k < kCoalesceSlots; ++k) {
    const CacheSlot& s = slots_[k];
    if (s.hash != hash || s.opcode != opcode || s.smallLength != smallLength || s.wordLength != wordLength) {
      continue;
    }
    bool same = true;
    for (uint32_t i = 0; same && i < smallLength; ++i) {
      same = l.Small().At(s.smallPos + i) == l.Small().At(entrySmallPos_ + i);
    }
    for (uint32_t i = 0; same && i < wordLength; ++i) {
      same = l.Words().At(s.wordPos + i) == l.Words().At(entryWordPos_ + i);
    }
    if (!same) continue;
    NoteCacheNode(k);
    NoteCacheNode(links_.prev[k]);
    NoteCacheNode(links_.next[k]);
    NoteCacheNode(kCoalesceSlots);
    NoteCacheNode(links_.prev[kCoalesceSlots]);
    links_.MakeNewest(k);
    l.Small().Truncate(entrySmallPos_);
    l.Words().Truncate(entryWordPos_);
    l.Opcodes().At(entryOpcodePos_) = static_cast<uint8_t>(kDLFirstRepeat + k);
    return;
  }
  uint32_t victim = links_.Oldest();
  NoteCacheNode(victim);
  NoteCacheNode(links_.prev[victim]);
  NoteCacheNode(links_.next[victim]);
  NoteCacheNode(kCoalesceSlots);
  NoteCacheNode(links_.prev[kCoalesceSlots]);
  // Operand runs of a cached entry are short (names of 255 bytes at most).
  slots_[victim] = CacheSlot{entrySmallPos_, entryWordPos_, static_cast<uint16_t>(smallLength),
                             static_cast<uint16_t>(wordLength), hash, opcode};
  links_.MakeNewest(victim);
}

bool DLPopulator::Simple(uint32_t allowed, uint8_t opcode, uint32_t count, const Fixed16_16* words,
                         bool coalesce, bool more) {
  Check(allowed);
  Op(opcode);
  for (uint32_t i = 0; i < count; ++i) PutWord(static_cast<uint32_t>(words[i]));
  if (coalesce) Coalesce();
  return more;
}

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
bool DLPopulator::EndMarkedContent() { return Simple(kAnyState, kDLEndMarked, 0, nullptr, false, false); }

}  // namespace vn::pdf::content

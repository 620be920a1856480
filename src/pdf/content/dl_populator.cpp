// The display-list populator's core: running the content parser in steps,
// boundaries and roll-back, writing entries and coalescing repeated states.
// The operators live in dl_populator_graphics_state.cpp and
// dl_populator_marks.cpp.
#include "pdf/content/dl_populator.h"

#include <cstring>

#include "pdf/content/dl_entries.h"
#include "pdf/content/dl_populator_detail.h"
#include "pdf/document/display_list.h"

namespace vn::pdf::content {

using document::ResolvedValue;
using store::Value;
using namespace populator_detail;

namespace {

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

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

}  // namespace vn::pdf::content

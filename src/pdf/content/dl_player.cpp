#include "pdf/content/dl_player.h"

#include <cstring>

#include "pdf/content/content_parser.h"
#include "pdf/content/dl_entries.h"
#include "pdf/content/path_populator.h"
#include "pdf/document/display_list.h"
#include "pdf/document/page_tree.h"
#include "runtime/checked_math.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::pdf::content {

using document::DisplayList;

namespace {

bool IsCoalescable(uint8_t opcode) {
  return (opcode >= kDLLineWidth && opcode <= kDLExtGState) || opcode == kDLImage ||
         (opcode >= kDLShading && opcode <= kDLColor) || (opcode >= kDLCharSpacing && opcode <= kDLMoveTextSetLeading);
}

// The shading named `name`, or null when it does not resolve.
[[gnu::noinline]] void ResolveShading(DisplayList& list, const DLName& name, document::ResolvedValue& out) {
  AppContext& context = list.Context();
  TryFrame frame;
  if (VN_TRY(context, frame)) {
    document::LookupResource(list.Resolver(), list.Record()->Resources(), "Shading", name.bytes, name.length, out,
                             nullptr);
  } else {
    AbsorbAllButCancel(context, frame);
    out.Clear();
  }
  EndTry(frame);
}

}  // namespace

// ---- consumer defaults

void DLConsumer::SetFromExtGState(const ExtGStateRecord&) { ExtGStateDoneHook(); }
void DLConsumer::SaveAndPlayNested(DLPlayer& nested) { nested.Play(); }
void DLConsumer::BeginText(DLPlayer& textObject) {
  BeginTextHook();
  textObject.Play();
  EndTextHook();
}
void DLConsumer::PlaySubList(document::DisplayList& list) {
  DLPlayer player(list, *this);
  player.Play();
}

// ---- entry objects

void TextShowDLEntry::Execute(DLConsumer& consumer) {
  if (nextLineFirst_) consumer.NextLine();
  consumer.ShowString(bytes_, length_, box_);
}

void TextArrayShowDLEntry::Execute(DLConsumer& consumer) { consumer.ShowArray(elements_, count_); }

void TextNextLineAndShowWithSpacingDLEntry::Execute(DLConsumer& consumer) {
  consumer.SetWordSpacing(aw_);
  consumer.SetCharSpacing(ac_);
  consumer.NextLine();
  consumer.ShowString(bytes_, length_, box_);
}

// ---- the player

PlayState::PlayState(DisplayList& l, DLConsumer& c) : list(l), consumer(c), context(l.Context()) {
  links.Init();
  std::memset(slots, 0, sizeof slots);
}

DLPlayer::DLPlayer(DisplayList& list, DLConsumer& consumer) : state_(nullptr), mode_(kTopLevel), owns_(true) {
  AppContext& context = list.Context();
  state_ = New<PlayState>(context, list, consumer);
  RegisterUnwindable(context, this, &UnwindByReset<DLPlayer>);
}

void DLPlayer::CloseReread() {
  PlayState& s = *state_;
  Delete(s.context, s.rereadParser);
  s.rereadParser = nullptr;
  Delete(s.context, s.rereadPaths);
  s.rereadPaths = nullptr;
  Delete(s.context, s.rereadArena);
  s.rereadArena = nullptr;
  Delete(s.context, s.rereadSource);
  s.rereadSource = nullptr;
  Delete(s.context, s.rereadStream);
  s.rereadStream = nullptr;
}

void DLPlayer::Reset() {
  UnregisterUnwindable(this);
  if (!owns_ || state_ == nullptr) return;
  AppContext& context = state_->context;
  CloseReread();
  Free(context, state_->points);
  Free(context, state_->numbers);
  Delete(context, state_);
  state_ = nullptr;
}

void DLPlayer::Play() {
  if (owns_) Rewind();
  Run();
}

void DLPlayer::PlayRange(uint32_t first, uint32_t end) {
  if (owns_) Rewind();
  state_->dispatchFrom = first;
  state_->end = end;
  Run();
}

void DLPlayer::Rewind() {
  {
    PlayState& s = *state_;
    s.op = s.small = s.word = s.point = 0;
    s.dispatchFrom = 0;
    s.end = ~0u;
    s.depth = 0;
    s.box = EmptyBox();
    s.links.Init();
    std::memset(s.slots, 0, sizeof s.slots);
  }
  finished_ = false;
  endedByMarker_ = false;
}

// The next opcode, populating the list as far as it needs; false at the end
// of the range or of a finished list.
bool DLPlayer::NextOpcode(uint8_t& opcode) {
  PlayState& s = *state_;
  DisplayList& list = s.list;
  while (s.op < s.end) {
    if (s.op < list.Opcodes().Size()) {
      opcode = list.Opcodes().At(s.op++);
      return true;
    }
    if (list.IsComplete()) return false;
    list.PopulateMore();
  }
  return false;
}

void DLPlayer::Run() {
  PlayState& s = *state_;
  uint8_t opcode;
  while (NextOpcode(opcode)) {
    const uint32_t index = s.op - 1;
    bool dispatch = index >= s.dispatchFrom;
    if (opcode == kDLRestore) {
      if (!dispatch) continue;
      if (mode_ == kSaved) {
        finished_ = true;
        endedByMarker_ = true;
        return;
      }
      // A Q with no open save restores nothing. Real files have them, and
      // ending the replay there would lose the rest of the content.
      continue;
    }
    if (opcode == kDLEndText) {
      if (dispatch && mode_ == kTextObject) {
        finished_ = true;
        endedByMarker_ = true;
        return;
      }
      continue;
    }
    ExecuteEntry(opcode, dispatch);
    if (dispatch) YieldPoint(s.context);
  }
  finished_ = true;
}

// A repeat opcode re-executes the cached entry it names; a coalescable entry
// takes the oldest slot of the cache, as it did when the list was built.
void DLPlayer::ExecuteEntry(uint8_t opcode, bool dispatch) {
  PlayState& s = *state_;
  if (opcode >= kDLFirstRepeat) {
    uint32_t k = opcode - kDLFirstRepeat;
    if (k >= kCoalesceSlots || s.slots[k].opcode == 0) RaiseBadData(s.context);
    s.links.MakeNewest(k);
    uint32_t small = s.slots[k].smallPos;
    uint32_t word = s.slots[k].wordPos;
    Execute(s.slots[k].opcode, small, word, dispatch);
    return;
  }
  if (IsCoalescable(opcode)) {
    uint32_t victim = s.links.Oldest();
    s.slots[victim] = PlayState::Slot{s.small, s.word, opcode};
    s.links.MakeNewest(victim);
  }
  Execute(opcode, s.small, s.word, dispatch);
}

// Decodes the rest of a nested play the consumer did not play.
void DLPlayer::SkipRest() {
  PlayState& s = *state_;
  uint32_t saved = s.dispatchFrom;
  s.dispatchFrom = ~0u;
  uint32_t depth = 0;
  uint8_t opcode;
  while (NextOpcode(opcode)) {
    if (mode_ == kSaved && opcode == kDLSave) ++depth;
    if (mode_ == kSaved && opcode == kDLRestore) {
      if (depth == 0) break;
      --depth;
    }
    if (mode_ == kTextObject && opcode == kDLEndText) break;
    ExecuteEntry(opcode, false);
  }
  s.dispatchFrom = saved;
  finished_ = true;
}

Fixed16_16 DLPlayer::ReadWord(uint32_t& word) {
  DisplayList& list = state_->list;
  if (word >= list.Words().Size()) RaiseBadData(state_->context);
  return static_cast<Fixed16_16>(list.Words().At(word++));
}

Fixed16_16* DLPlayer::ReadWords(uint32_t& word, uint32_t count) {
  PlayState& s = *state_;
  if (count > s.numberCapacity) {
    uint32_t capacity = count < 16 ? 16 : count;
    auto* fresh = static_cast<Fixed16_16*>(Allocate(s.context, capacity * 4));
    Free(s.context, s.numbers);
    s.numbers = fresh;
    s.numberCapacity = capacity;
  }
  for (uint32_t i = 0; i < count; ++i) s.numbers[i] = ReadWord(word);
  return s.numbers;
}

DLName DLPlayer::ReadName(uint32_t& small) {
  DisplayList& list = state_->list;
  if (small >= list.Small().Size()) RaiseBadData(state_->context);
  uint32_t length = list.Small().At(small++);
  if (small + length > list.Small().Size()) RaiseBadData(state_->context);
  uint32_t available = 0;
  const uint8_t* run = length != 0 ? list.Small().Run(small, &available) : state_->nameBuffer;
  if (available < length) {
    for (uint32_t i = 0; i < length; ++i) state_->nameBuffer[i] = list.Small().At(small + i);
    run = state_->nameBuffer;
  }
  small += length;
  return DLName{run, length};
}

DLPath DLPlayer::StoredPath(uint32_t count) {
  PlayState& s = *state_;
  DisplayList& list = s.list;
  if (s.point + count > list.Points().Size()) RaiseBadData(s.context);
  uint32_t available = 0;
  const DLPoint* run = count != 0 ? list.Points().Run(s.point, &available) : nullptr;
  if (count <= available) {
    s.point += count;
    return DLPath{run, count};
  }
  if (count > s.pointCapacity) {
    auto* fresh = static_cast<DLPoint*>(Allocate(s.context, CheckedMultiply(s.context, count, static_cast<uint32_t>(sizeof(DLPoint)))));
    Free(s.context, s.points);
    s.points = fresh;
    s.pointCapacity = count;
  }
  for (uint32_t i = 0; i < count; ++i) s.points[i] = list.Points().At(s.point + i);
  s.point += count;
  return DLPath{s.points, count};
}

DLPath DLPlayer::RereadPath(uint64_t offset) {
  PlayState& s = *state_;
  DisplayList& list = s.list;
  DLPath path;
  if (list.Populator() != nullptr && list.Populator()->OverflowPath(offset, &path)) return path;
  AppContext& context = s.context;
  if (s.rereadParser == nullptr) {
    s.rereadStream = list.Record()->OpenContentStream();
    s.rereadSource = New<data_io::BufferedDataBlockStream>(context, context, s.rereadStream);
    s.rereadArena = New<Arena>(context, context, 1024, 256);
    s.rereadPaths = New<PathPopulator>(context, context, list.Resolver(), list.Record()->Resources());
    s.rereadParser = New<ContentParser>(context, context, *s.rereadSource, *s.rereadArena, *s.rereadPaths);
  }
  s.rereadSource->Seek(offset);
  // The populator checked this stretch already: unknown operators in it
  // stood in compatibility sections.
  s.rereadParser->SetCompatibilityDepth(1u << 30);
  s.rereadPaths->Begin();
  s.rereadParser->Run();
  return s.rereadPaths->Path();
}

void DLPlayer::ExecutePaint(uint32_t& word, bool dispatch) {
  PlayState& s = *state_;
  uint32_t packed = static_cast<uint32_t>(ReadWord(word));
  uint32_t flags = packed >> 24;
  uint32_t low = packed & 0xFFFFFF;
  if ((flags & kPaintNewBox) != 0) {
    s.box.x0 = ReadWord(word);
    s.box.y0 = ReadWord(word);
    s.box.x1 = ReadWord(word);
    s.box.y1 = ReadWord(word);
  }
  uint64_t offset = low;
  if ((flags & kPaintLongOffset) != 0) {
    uint64_t high = static_cast<uint32_t>(ReadWord(word));
    offset = (high << 32) | static_cast<uint32_t>(ReadWord(word));
  }
  bool stored = (flags & kPaintNotStored) == 0;
  if (!dispatch) {
    if (stored) StoredPath(low);
    return;
  }
  bool stroke = (flags & kPaintStroke) != 0;
  int32_t fill = static_cast<int32_t>(flags & 3);
  int32_t clip = static_cast<int32_t>((flags >> 2) & 3);
  if (stored) {
    DLPath path = StoredPath(low);
    bool visible = s.consumer.TestBoundingBox(s.box, stroke);
    s.consumer.PaintPath(path, visible, stroke, clip, fill);
    return;
  }
  bool visible = s.consumer.TestBoundingBox(s.box, stroke);
  DLPath path{nullptr, 0};
  // An invisible path that does not clip is not worth re-reading.
  if (visible || clip != 2) path = RereadPath(offset);
  s.consumer.PaintPath(path, visible, stroke, clip, fill);
}

void DLPlayer::Execute(uint8_t opcode, uint32_t& small, uint32_t& word, bool dispatch) {
  PlayState& s = *state_;
  DisplayList& list = s.list;
  DLConsumer& c = s.consumer;
  AppContext& context = s.context;
  switch (opcode) {
    case kDLEntryObject: {
      uint32_t index = static_cast<uint32_t>(ReadWord(word));
      if (index >= list.Entries().Size()) RaiseBadData(context);
      if (dispatch) list.Entries()[index]->Execute(c);
      return;
    }
    case kDLExtGState: {
      uint32_t index = static_cast<uint32_t>(ReadWord(word));
      if (index >= list.Entries().Size()) RaiseBadData(context);
      if (dispatch) list.Entries()[index]->Execute(c);
      return;
    }
    case kDLSave: {
      if (!dispatch) return;
      if (s.depth >= kMaxNestedPlays) RaiseCode(context, kStackExhausted);
      StackCheck(context);
      DLPlayer nested(&s, kSaved);
      ++s.depth;
      c.SaveAndPlayNested(nested);
      if (!nested.Finished()) nested.SkipRest();
      --s.depth;
      return;
    }
    case kDLBeginText: {
      if (!dispatch) return;
      DLPlayer text(&s, kTextObject);
      c.BeginText(text);
      if (!text.Finished()) text.SkipRest();
      return;
    }
    case kDLBeginMarked:
      if (dispatch) c.BeginMarkedContent();
      return;
    case kDLBeginOptional: {
      DLName name = ReadName(small);
      if (dispatch) c.BeginOptionalContent(name);
      return;
    }
    case kDLEndMarked:
      if (dispatch) c.EndMarkedContent();
      return;
    case kDLConcat:
    case kDLTextMatrix: {
      Fixed16_16* v = ReadWords(word, 6);
      FixedMatrix m{v[0], v[1], v[2], v[3], v[4], v[5]};
      if (!dispatch) return;
      if (opcode == kDLConcat) c.ConcatMatrix(m);
      else c.SetTextMatrix(m);
      return;
    }
    case kDLLineWidth:
    case kDLLineCap:
    case kDLLineJoin:
    case kDLMiterLimit:
    case kDLFlatness:
    case kDLCharSpacing:
    case kDLWordSpacing:
    case kDLHorizontalScaling:
    case kDLLeading:
    case kDLRise: {
      Fixed16_16 v = ReadWord(word);
      if (!dispatch) return;
      switch (opcode) {
        case kDLLineWidth: c.SetLineWidth(v); break;
        case kDLLineCap: c.SetLineCap(v); break;
        case kDLLineJoin: c.SetLineJoin(v); break;
        case kDLMiterLimit: c.SetMiterLimit(v); break;
        case kDLFlatness: c.SetFlatness(v); break;
        case kDLCharSpacing: c.SetCharSpacing(v); break;
        case kDLWordSpacing: c.SetWordSpacing(v); break;
        case kDLHorizontalScaling: c.SetHorizontalScaling(v); break;
        case kDLLeading: c.SetLeading(v); break;
        default: c.SetRise(v); break;
      }
      return;
    }
    case kDLDash: {
      Fixed16_16 phase = ReadWord(word);
      uint32_t count = static_cast<uint32_t>(ReadWord(word));
      if (count > list.Words().Size()) RaiseBadData(context);
      Fixed16_16* lengths = ReadWords(word, count);
      if (dispatch) c.SetDash(lengths, count, phase);
      return;
    }
    case kDLPaint:
      ExecutePaint(word, dispatch);
      return;
    case kDLForm: {
      DLName name = ReadName(small);
      Fixed16_16* v = ReadWords(word, 10);
      if (dispatch) {
        c.DrawFormXObject(name, FixedMatrix{v[0], v[1], v[2], v[3], v[4], v[5]}, FixedRect{v[6], v[7], v[8], v[9]});
      }
      return;
    }
    case kDLImage: {
      DLName name = ReadName(small);
      if (dispatch) c.DrawImageXObject(name);
      return;
    }
    case kDLShading: {
      DLName name = ReadName(small);
      if (!dispatch) return;
      document::ResolvedValue shading(context);
      ResolveShading(list, name, shading);
      c.PaintShading(name, shading);
      return;
    }
    case kDLIntent: {
      if (small >= list.Small().Size()) RaiseBadData(context);
      uint8_t intent = list.Small().At(small++);
      if (dispatch) c.SetRenderingIntent(intent);
      return;
    }
    case kDLColorSpace: {
      if (small >= list.Small().Size()) RaiseBadData(context);
      bool stroking = list.Small().At(small++) != 0;
      DLName name = ReadName(small);
      if (dispatch) c.SetColorSpace(stroking, name);
      return;
    }
    case kDLGray:
    case kDLRgb:
    case kDLCmyk: {
      if (small >= list.Small().Size()) RaiseBadData(context);
      bool stroking = list.Small().At(small++) != 0;
      uint32_t count = opcode == kDLGray ? 1 : opcode == kDLRgb ? 3 : 4;
      Fixed16_16* v = ReadWords(word, count);
      if (dispatch) c.SetColorComponents(stroking, v, count, nullptr, static_cast<int32_t>(opcode - kDLGray));
      return;
    }
    case kDLColor: {
      if (small >= list.Small().Size()) RaiseBadData(context);
      uint8_t flags = list.Small().At(small++);
      DLName pattern{nullptr, 0};
      if ((flags & 2) != 0) pattern = ReadName(small);
      if (small >= list.Small().Size()) RaiseBadData(context);
      uint32_t count = list.Small().At(small++);
      Fixed16_16* v = ReadWords(word, count);
      if (dispatch) c.SetColorComponents((flags & 1) != 0, v, count, (flags & 2) != 0 ? &pattern : nullptr, -1);
      return;
    }
    case kDLFont: {
      DLName name = ReadName(small);
      Fixed16_16 size = ReadWord(word);
      if (dispatch) c.SetFont(size, name);
      return;
    }
    case kDLRenderMode: {
      if (small >= list.Small().Size()) RaiseBadData(context);
      uint8_t mode = list.Small().At(small++);
      if (dispatch) c.SetRenderMode(mode);
      return;
    }
    case kDLMoveText:
    case kDLMoveTextSetLeading: {
      Fixed16_16 tx = ReadWord(word);
      Fixed16_16 ty = ReadWord(word);
      if (dispatch) c.MoveTextPosition(tx, ty, opcode == kDLMoveTextSetLeading);
      return;
    }
    case kDLNextLine:
      if (dispatch) c.NextLine();
      return;
    default:
      return;  // 16 and 37 to 39: reserved
  }
}

}  // namespace vn::pdf::content

// The display-list populator: the content-parser client that appends
// entries to a list, with the graphics-object state machine, entry
// coalescing, the stored-path budget, boundaries and resumption.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/content/content_parser.h"
#include "pdf/content/content_parser_client.h"
#include "pdf/content/dl_consumer.h"
#include "pdf/content/dl_entries.h"
#include "runtime/arena.h"
#include "runtime/engine_array.h"

namespace vn::pdf::document {
class DisplayList;
}

namespace vn::pdf::content {

// Opcodes of the list.
enum DLOpcode : uint8_t {
  kDLEntryObject = 0, kDLSave = 1, kDLRestore = 2, kDLBeginMarked = 3, kDLEndMarked = 4, kDLConcat = 5,
  kDLLineWidth = 6, kDLLineCap = 7, kDLLineJoin = 8, kDLMiterLimit = 9, kDLDash = 10, kDLFlatness = 11,
  kDLExtGState = 12, kDLPaint = 13, kDLForm = 14, kDLImage = 15, kDLReserved16 = 16, kDLShading = 17,
  kDLIntent = 18, kDLColorSpace = 19, kDLGray = 20, kDLRgb = 21, kDLCmyk = 22, kDLColor = 23,
  kDLBeginText = 24, kDLEndText = 25, kDLCharSpacing = 26, kDLWordSpacing = 27, kDLHorizontalScaling = 28,
  kDLLeading = 29, kDLFont = 30, kDLRenderMode = 31, kDLRise = 32, kDLMoveText = 33, kDLMoveTextSetLeading = 34,
  kDLTextMatrix = 35, kDLNextLine = 36, kDLBeginOptional = 37, kDLFirstRepeat = 40,
};

// Graphics-object states (bits) and the limits of the list.
enum GraphicsObject : uint32_t { kPageLevel = 1, kInPath = 2, kClipPending = 4, kInText = 8 };
inline constexpr uint32_t kCoalesceSlots = 216;
inline constexpr uint32_t kStoredPointBudget = 24999;  // more than this: later paths are not stored
inline constexpr uint32_t kPaintBoxInterval = 10;

// Paint word flags (top byte).
inline constexpr uint32_t kPaintStroke = 1u << 4;
inline constexpr uint32_t kPaintNotStored = 1u << 5;
inline constexpr uint32_t kPaintLongOffset = 1u << 6;
inline constexpr uint32_t kPaintNewBox = 1u << 7;
inline constexpr uint32_t kPaintOffsetMax = 0xFFFFFE;

// The recency list of the coalescing cache: slots 0..215 and a sentinel
// whose `next` is the least recently used slot. The player keeps the same
// list while it replays, so repeat opcodes resolve to the same entries.
struct CoalesceLinks {
  uint8_t prev[kCoalesceSlots + 1];
  uint8_t next[kCoalesceSlots + 1];
  void Init();
  uint32_t Oldest() const { return next[kCoalesceSlots]; }
  void MakeNewest(uint32_t slot);
};

// Builds a path: packed points and the path's box. Shared with the path
// populator so re-read paths come out exactly as stored ones.
class PathBuilder {
 public:
  void Begin() {
    box = EmptyBox();
    hasCurrent = false;
  }
  // Each returns the points to add (at most 5) in `out`.
  uint32_t MoveTo(Fixed16_16 x, Fixed16_16 y, DLPoint* out);
  uint32_t LineTo(Fixed16_16 x, Fixed16_16 y, DLPoint* out);
  uint32_t CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3,
                   DLPoint* out);
  uint32_t CurveToV(Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3, DLPoint* out);
  uint32_t CurveToY(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x3, Fixed16_16 y3, DLPoint* out);
  uint32_t ClosePath(DLPoint* out);
  uint32_t Rectangle(Fixed16_16 x, Fixed16_16 y, Fixed16_16 w, Fixed16_16 h, DLPoint* out);

  FixedRect box = EmptyBox();
  Fixed16_16 currentX = 0, currentY = 0;
  Fixed16_16 startX = 0, startY = 0;
  bool hasCurrent = false;

 private:
  // A segment drawn without a current point starts the subpath at its end.
  void AdvanceTo(Fixed16_16 x, Fixed16_16 y) {
    if (!hasCurrent) {
      startX = x;
      startY = y;
    }
    currentX = x;
    currentY = y;
    hasCurrent = true;
  }
  DLPoint Add(Fixed16_16 x, Fixed16_16 y, uint32_t kind) {
    WidenBox(box, x, y);
    return PackPoint(x, y, kind);
  }
};

class DLPopulator final : public ContentParserClient {
 public:
  DLPopulator(AppContext& context, document::DisplayList& list);
  ~DLPopulator() override;
  DLPopulator(const DLPopulator&) = delete;
  DLPopulator& operator=(const DLPopulator&) = delete;

  // One step of population: true at an entry boundary, false at the end of
  // the content or on an error (its code in `errorCode`, -1 for none, and
  // the offset where it happened); the caller then releases the populator.
  // An interruption, running out of memory or out of stack rolls back to the
  // last boundary and is raised again: the list resumes from there.
  bool PopulateMore(int32_t* errorCode, uint64_t* errorOffset);
  bool ResumePending() const { return resumePending_; }

  // The path most recently put in the overflow buffer and the offset where
  // it began (the player takes it from here instead of re-reading it).
  bool OverflowPath(uint64_t offset, DLPath* path) const;

  // The content parser's client operations.
  bool Save() override;
  bool Restore() override;
  bool Concat(const FixedMatrix& m) override;
  bool LineWidth(Fixed16_16 v) override;
  bool LineCap(int32_t v) override;
  bool LineJoin(int32_t v) override;
  bool MiterLimit(Fixed16_16 v) override;
  bool Dash(const Value& array, Fixed16_16 phase) override;
  bool Intent(const Value& name) override;
  bool Flatness(Fixed16_16 v) override;
  bool ExtGState(const Value& name) override;
  bool MoveTo(Fixed16_16 x, Fixed16_16 y) override;
  bool LineTo(Fixed16_16 x, Fixed16_16 y) override;
  bool CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3) override;
  bool CurveToV(Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3) override;
  bool CurveToY(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x3, Fixed16_16 y3) override;
  bool ClosePath() override;
  bool Rectangle(Fixed16_16 x, Fixed16_16 y, Fixed16_16 w, Fixed16_16 h) override;
  bool XObject(const Value& name) override;
  bool InlineImage(const Value& dictionary, data_io::BufferedStream& source) override;
  bool Shading(const Value& name) override;
  bool Clip(ClipRule rule) override;
  bool PaintPath(bool stroke, FillKind fill) override;
  bool SetColorSpace(bool stroking, const Value& name) override;
  bool SetDeviceColor(const OperandList& operands, ColorFamily family, bool stroking) override;
  bool SetColor(const OperandList& operands, bool stroking, bool nForm) override;
  bool BeginText() override;
  bool EndText() override;
  bool CharSpacing(Fixed16_16 v) override;
  bool WordSpacing(Fixed16_16 v) override;
  bool HorizontalScaling(Fixed16_16 v) override;
  bool Leading(Fixed16_16 v) override;
  bool Font(Fixed16_16 size, const Value& name) override;
  bool RenderMode(int32_t v) override;
  bool Rise(Fixed16_16 v) override;
  bool MoveText(Fixed16_16 tx, Fixed16_16 ty) override;
  bool MoveTextSetLeading(Fixed16_16 tx, Fixed16_16 ty) override;
  bool TextMatrix(const FixedMatrix& m) override;
  bool NextLine() override;
  bool ShowText(const Value& string) override;
  bool ShowTextArray(const Value& array) override;
  bool NextLineShowText(const Value& string) override;
  bool NextLineShowTextSpaced(const Value& string, Fixed16_16 ac, Fixed16_16 aw) override;
  bool BeginMarkedContent() override;
  bool BeginOptionalContent(const Value& name) override;
  bool EndMarkedContent() override;

 private:
  // What a boundary saves besides the stream lengths.
  struct ObjectState {
    uint32_t state;
    int32_t clipRule;  // 2: none pending
    bool pathActive;
    bool pathLarge;
    uint64_t pathOffset;
    uint32_t pathPoints;  // points of the path so far
    PathBuilder path;
    uint32_t compatibilityDepth;
    uint32_t paintCount;
    bool hasBox;
    uint32_t lastBoxWord;  // word index of the newest box record
  };
  struct Boundary {
    uint64_t offset;
    uint32_t opcodes, small, words, points;
    uint32_t opcodeChunks, smallChunks, wordChunks, pointChunks;
    uint32_t entries, extGStates, overflow;
    Arena::Mark pool;
    FixedRect lastBox;
    ObjectState object;
  };
  // The list's sizes when the operator now being handled began.
  struct EntryMark {
    uint32_t opcodes, small, words, entries, extGStates, dispatchCount;
  };
  struct CacheSlot {
    uint32_t smallPos, wordPos;
    uint16_t smallLength, wordLength;
    uint32_t hash;
    uint8_t opcode;  // 0: empty
  };
  struct CacheUndo {
    uint32_t node;
    uint8_t prev, next;
    CacheSlot slot;
  };

  bool RunParser();
  void OpenParser();
  void CloseParser();
  void SaveBoundary();
  void RollBack();
  void DropHalfWrittenEntry();

  void Check(uint32_t allowed);
  void Op(uint8_t opcode);
  void PutByte(uint8_t b);
  void PutWord(uint32_t w);
  void PutName(const Value& name);
  void PutNameBytes(const uint8_t* bytes, uint32_t length);
  bool Simple(uint32_t allowed, uint8_t opcode, uint32_t count, const Fixed16_16* words, bool coalesce,
              bool more);
  void Coalesce();
  void NoteCacheNode(uint32_t node);
  uint32_t AddEntry(DLEntry* entry);
  uint8_t* CopyBytes(const uint8_t* bytes, uint32_t length);

  void BeginPathIfNeeded();
  void AddPoints(const DLPoint* points, uint32_t count);
  void DropPath();
  void ParseExtGState(const Value& name, ExtGStateRecord& record);

  AppContext& context_;
  document::DisplayList& list_;
  document::ObjectResolver& resolver_;

  // The parser and its stream, while population runs.
  data_io::DataBlockStream* stream_ = nullptr;
  data_io::BufferedDataBlockStream* buffered_ = nullptr;
  Arena* operands_ = nullptr;
  ContentParser* parser_ = nullptr;
  bool resumePending_ = false;

  ObjectState object_{};
  EntryMark entryMark_{};
  Boundary boundary_{};
  // The entry being written.
  uint32_t entryOpcodePos_ = 0, entrySmallPos_ = 0, entryWordPos_ = 0;

  EngineArray<DLPoint> overflow_;
  uint64_t overflowOffset_ = ~0ull;
  bool overflowValid_ = false;
  EngineArray<uint8_t> scratch_;
  EngineArray<Fixed16_16> numbers_;

  CacheSlot slots_[kCoalesceSlots]{};
  CoalesceLinks links_{};
  EngineArray<CacheUndo> undo_;
  FixedRect lastBox_ = EmptyBox();
};

}  // namespace vn::pdf::content

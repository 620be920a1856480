#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cli/operator_printer.h"
#include "data_io/data_store_stream.h"
#include "data_io/raw_data_store.h"
#include "pdf/content/dl_player.h"
#include "pdf/content/dl_populator.h"
#include "pdf/document/display_list.h"
#include "pdf/store/parse_object.h"
#include "support/test_context.h"

namespace vn::pdf::content {
namespace {

using document::DisplayList;
using document::ObjectId;
using document::ResolvedValue;

// Objects given as PDF syntax, parsed on first use.
class FakeResolver : public document::ObjectResolver {
 public:
  explicit FakeResolver(AppContext& context) : context_(context), arena_(context, 1024, 256) {}
  void Add(int number, const std::string& text) { texts_[number] = text; }
  AppContext& Context() override { return context_; }
  void GetIndirectObject(const ObjectId& id, ResolvedValue& out) override {
    auto it = texts_.find(id.number);
    if (it == texts_.end()) return out.Clear();
    out.Set(Parse(it->second), nullptr);
  }
  void GetCatalog(ResolvedValue& out) override { out.Clear(); }
  void GetLinearizationDictionary(ResolvedValue& out) override { out.Clear(); }
  data_io::DataBlockStream* OpenStreamData(const ResolvedValue&) override { RaiseBadData(context_); }
  Value Parse(const std::string& text) {
    keep_.push_back(std::make_unique<std::string>(text));
    const std::string& t = *keep_.back();
    stores_.push_back(std::make_unique<data_io::RawDataStore>(context_, reinterpret_cast<const uint8_t*>(t.data()),
                                                              t.size()));
    data_io::BufferedDataStore in(context_, stores_.back().get(), 0);
    return store::ParseObject(in, arena_, nullptr);
  }

 private:
  AppContext& context_;
  Arena arena_;
  std::map<int, std::string> texts_;
  std::vector<std::unique_ptr<std::string>> keep_;
  std::vector<std::unique_ptr<data_io::RawDataStore>> stores_;
};

// Hands out its bytes in small blocks and raises `code` (kCancelled unless
// told otherwise) once when a block at or past the byte `*cancelAt` is
// asked for (-1: never).
class ChoppyStream final : public data_io::DataBlockStream {
 public:
  ChoppyStream(AppContext& context, const std::string& bytes, uint32_t blockSize, int* cancelAt, int32_t code)
      : context_(context), bytes_(bytes), blockSize_(blockSize), cancelAt_(cancelAt), code_(code) {}
  void GetNextBlock(data_io::DataBlockRef& out) override {
    if (cancelAt_ != nullptr && *cancelAt_ >= 0 && position_ >= static_cast<size_t>(*cancelAt_)) {
      *cancelAt_ = -1;
      RaiseCode(context_, code_);
    }
    if (position_ >= bytes_.size()) return out.Clear();
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(blockSize_, bytes_.size() - position_));
    blocks_.push_back(
        std::make_unique<data_io::simple_block>(reinterpret_cast<const uint8_t*>(bytes_.data()) + position_, n));
    out.Set(blocks_.back().get());
    position_ += n;
  }
  void Rewind() override { position_ = 0; }
  bool IsAtEnd() override { return position_ >= bytes_.size(); }
  uint32_t GetMemorySize() const override { return sizeof(*this); }

 private:
  AppContext& context_;
  const std::string& bytes_;
  uint32_t blockSize_;
  int* cancelAt_;
  int32_t code_;
  size_t position_ = 0;
  std::vector<std::unique_ptr<data_io::simple_block>> blocks_;
};

class TestRecord final : public ContentRecord {
 public:
  TestRecord(AppContext& context, std::string content, const Value& resources)
      : context_(context), content_(std::move(content)), resources_(context) {
    resources_.Set(resources, nullptr);
  }
  data_io::DataBlockStream* OpenContentStream() override {
    ++opened;
    return New<ChoppyStream>(context_, context_, content_, blockSize, &cancelAt, raiseCode);
  }
  const ResolvedValue& Resources() const override { return resources_; }
  const ResolvedValue& FallbackResources() const override { return resources_; }
  uint32_t RecordSize() const override { return sizeof(*this); }

  uint32_t blockSize = 4096;
  int cancelAt = -1;
  int32_t raiseCode = kCancelled;
  int opened = 0;

 private:
  AppContext& context_;
  std::string content_;
  ResolvedValue resources_;
};

class DisplayListTest : public ::testing::Test {
 protected:
  DisplayListTest() : resolver_(context_) {}

  // A list over `content` with `resources` (PDF syntax); the caller holds it.
  DisplayList* MakeList(const std::string& content, const std::string& resources = "<< >>") {
    record_ = New<TestRecord>(context_, context_, content, resolver_.Parse(resources));
    Ref<ContentRecord> held(context_, record_);
    auto* list = New<DisplayList>(context_, context_, resolver_, record_);
    list->AddRef();
    lists_.push_back(list);
    return list;
  }
  ~DisplayListTest() override {
    for (DisplayList* list : lists_) list->Release(context_);
  }
  std::vector<uint8_t> Opcodes(DisplayList& list) {
    std::vector<uint8_t> out;
    for (uint32_t i = 0; i < list.Opcodes().Size(); ++i) out.push_back(list.Opcodes().At(i));
    return out;
  }
  // Replays into the printer; the engine code raised, or -1.
  int32_t Print(DisplayList& list, std::string* text) {
    folio::cli::OperatorPrinter printer;
    int32_t code = test::RaisedCode(context_, [&] {
      DLPlayer player(list, printer);
      player.Play();
    });
    *text = printer.Text();
    return code;
  }
  int32_t FirstError(DisplayList& list) { return list.Errors().Size() == 0 ? -1 : list.Errors()[0].code; }

  AppContext context_;
  FakeResolver resolver_;
  TestRecord* record_ = nullptr;
  std::vector<DisplayList*> lists_;
};

TEST_F(DisplayListTest, SavePathAndRestoreGiveFourEntriesAndATwoPointPath) {
  DisplayList& list = *MakeList("q 1 0 0 rg 10 20 m 30 40 l S Q");
  EXPECT_EQ(list.EntryCount(), 0u);  // nothing is parsed before replay asks
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  EXPECT_EQ(Opcodes(list), (std::vector<uint8_t>{1, 21, 13, 2}));
  EXPECT_EQ(list.Points().Size(), 2u);
  EXPECT_EQ(PointKind(list.Points().At(0)), kMoveTo);
  EXPECT_EQ(PointKind(list.Points().At(1)), kLineTo);
  EXPECT_EQ(PointX(list.Points().At(1)), 30 << 16);
  EXPECT_EQ(text, "q\n1 0 0 rg\n10 20 m\n30 40 l\nS\nQ\n");
  EXPECT_TRUE(list.IsComplete());
  EXPECT_EQ(FirstError(list), -1);
}

TEST_F(DisplayListTest, RepeatedStateEntriesBecomeOneByteAndReplayTheSame) {
  DisplayList& list = *MakeList("1 0 0 rg 2 w 0 0 1 rg 1 0 0 rg 2 w 3 w 2 w");
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  // Slots fill from the least recently used: rg in 0, w in 1, the blue rg in 2.
  EXPECT_EQ(Opcodes(list), (std::vector<uint8_t>{21, 6, 21, 40, 41, 6, 41}));
  EXPECT_EQ(list.Words().Size(), 3u + 1 + 3 + 1);
  EXPECT_EQ(text, "1 0 0 rg\n2 w\n0 0 1 rg\n1 0 0 rg\n2 w\n3 w\n2 w\n");
}

TEST_F(DisplayListTest, CoalescingCacheForgetsTheLeastRecentlyUsed) {
  std::string content;
  for (int i = 0; i < 217; ++i) content += std::to_string(i) + " w ";
  content += "0 w 216 w 2 w";
  DisplayList& list = *MakeList(content);
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  auto ops = Opcodes(list);
  ASSERT_EQ(ops.size(), 220u);
  EXPECT_EQ(ops[217], 6);       // "0 w" was evicted by the 217th width
  EXPECT_EQ(ops[218], 40 + 0);  // 216 w took slot 0
  EXPECT_EQ(ops[219], 40 + 2);  // "1 w" went for "0 w"; "2 w" is still there
  EXPECT_NE(text.find("\n0 w\n216 w\n2 w\n"), std::string::npos);
}

TEST_F(DisplayListTest, UnknownOperatorsFailOnlyOutsideCompatibilitySections) {
  DisplayList& ok = *MakeList("BX 1 2 foo EX 3 w");
  std::string text;
  EXPECT_EQ(Print(ok, &text), -1);
  EXPECT_EQ(text, "3 w\n");
  EXPECT_EQ(FirstError(ok), -1);

  DisplayList& bad = *MakeList("q 2 w 0 0 10 10 re f foo 3 w Q");
  EXPECT_EQ(Print(bad, &text), -1);
  EXPECT_EQ(FirstError(bad), kBadData);
  EXPECT_EQ(text, "q\n2 w\n0 0 m\n10 0 l\n10 10 l\n0 10 l\nh\nf\n");  // what came before stays
}

TEST_F(DisplayListTest, OperatorsOutsideTheirStateFail) {
  DisplayList& text = *MakeList("0 0 m 1 1 l (x) Tj");
  text.PopulateAll();
  EXPECT_EQ(FirstError(text), kBadData);
  DisplayList& curve = *MakeList("1 2 3 4 5 6 c");
  curve.PopulateAll();
  EXPECT_EQ(FirstError(curve), kBadData);
  DisplayList& td = *MakeList("1 2 Td");
  td.PopulateAll();
  EXPECT_EQ(FirstError(td), kBadData);
  DisplayList& dashInPath = *MakeList("0 0 m [1] 0 d");
  dashInPath.PopulateAll();
  EXPECT_EQ(FirstError(dashInPath), kBadData);
  DisplayList& fine = *MakeList("BT /F1 12 Tf 1 0 0 rg 2 w (a) Tj ET 0 0 m 1 1 l 0 g 3 w S gs_is_not_here");
  fine.PopulateAll();
  EXPECT_EQ(FirstError(fine), kBadData);  // only the last unknown word
  EXPECT_EQ(Opcodes(fine), (std::vector<uint8_t>{24, 30, 21, 6, 0, 25, 20, 6, 13}));
}

TEST_F(DisplayListTest, ClipAndPaintAreRecordedInThePaintWord) {
  DisplayList& list = *MakeList("0 0 10 10 re W* n 5 5 m 6 6 l h B*");
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  uint32_t first = list.Words().At(0);
  EXPECT_EQ(first & 0xFFFFFF, 5u);
  EXPECT_EQ(first >> 24, static_cast<uint32_t>(kNoFill | (kEvenOddClip << 2) | kPaintNewBox));
  EXPECT_EQ(static_cast<Fixed16_16>(list.Words().At(3)), 10 << 16);  // box x1
  EXPECT_EQ(text, "0 0 m\n10 0 l\n10 10 l\n0 10 l\nh\nW*\nn\n5 5 m\n6 6 l\nh\nB*\n");
}

TEST_F(DisplayListTest, CurvesKeepTheirControlPoints) {
  DisplayList& list = *MakeList("0 0 m 1 2 3 4 v 5 6 7 8 y 1 1 2 2 3 3 c s");
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  EXPECT_EQ(text, "0 0 m\n0 0 1 2 3 4 c\n5 6 7 8 7 8 c\n1 1 2 2 3 3 c\nh\nS\n");
}

TEST_F(DisplayListTest, TextEntriesKeepStringsFontsAndSpacing) {
  DisplayList& list = *MakeList(
      "BT /F1 12 Tf 100 Tz 50 Tz 1 2 Td 3 4 TD 1 0 0 1 5 6 Tm T* (a\\)b) Tj [(x) -120 <00ff>] TJ (q) ' 1 2 (d) \" "
      "2 Tr 0.5 Ts 7 TL 1 Tc 2 Tw ET");
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  EXPECT_EQ(text,
            "BT\n/F1 12 Tf\n100 Tz\n" + folio::cli::FormatContentNumber(FixedMul((50 << 16) >> 5, 20971) * 100) +
                " Tz\n1 2 Td\n3 4 TD\n1 0 0 1 5 6 Tm\nT*\n(a\\)b) Tj\n[(x) -120 <00FF>] TJ\nT*\n(q) Tj\n1 Tw\n2 Tc\n"
                "T*\n(d) Tj\n2 Tr\n0.5 Ts\n7 TL\n1 Tc\n2 Tw\nET\n");
}

TEST_F(DisplayListTest, DashesAreValidated) {
  std::string text;
  DisplayList& ok = *MakeList("[3 1] 2 d [] 0 d");
  EXPECT_EQ(Print(ok, &text), -1);
  EXPECT_EQ(text, "[3 1] 2 d\n[] 0 d\n");
  for (const char* bad : {"[0 0] 0 d", "[1 -1] 0 d", "[/a] 0 d"}) {
    DisplayList& list = *MakeList(bad);
    list.PopulateAll();
    EXPECT_EQ(FirstError(list), kBadData) << bad;
  }
}

TEST_F(DisplayListTest, ExtGStatesAreParsedOncePerName) {
  DisplayList& list = *MakeList(
      "/G1 gs /G2 gs /G1 gs",
      "<< /ExtGState << /G1 << /LW 3 /OP true /BM [/Foo /Multiply] /D [[2 1] 0] /SMask /None /ca 0.5 >> "
      "/G2 << /op false /OP true /BM /Screen /RI /Saturation >> >> >>");
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  EXPECT_EQ(text, "/G1 gs\n/G2 gs\n/G1 gs\n");
  ASSERT_EQ(list.Entries().Size(), 2u);
  const ExtGStateRecord& g1 = static_cast<SetFromExtGStateDLEntry*>(list.Entries()[0])->record;
  EXPECT_EQ(g1.lineWidth, 3 << 16);
  EXPECT_TRUE(g1.fillOverprint && g1.strokeOverprint);  // OP without op sets both
  EXPECT_EQ(g1.blendMode, kBlendMultiply);
  EXPECT_EQ(g1.dashCount, 2u);
  EXPECT_TRUE(g1.clearsSoftMask);
  EXPECT_EQ(g1.present & ExtGStateRecord::kLineJoin, 0u);
  EXPECT_NE(g1.present & ExtGStateRecord::kFillAlpha, 0u);
  const ExtGStateRecord& g2 = static_cast<SetFromExtGStateDLEntry*>(list.Entries()[1])->record;
  EXPECT_FALSE(g2.fillOverprint);
  EXPECT_TRUE(g2.strokeOverprint);
  EXPECT_EQ(g2.blendMode, kBlendScreen);
  EXPECT_EQ(g2.intent, 2);

  DisplayList& badBlend = *MakeList("/G gs", "<< /ExtGState << /G << /BM 3 >> >> >>");
  badBlend.PopulateAll();
  EXPECT_EQ(FirstError(badBlend), kBadData);
  DisplayList& missing = *MakeList("/G gs", "<< >>");
  missing.PopulateAll();
  EXPECT_EQ(FirstError(missing), kBadData);
}

TEST_F(DisplayListTest, XObjectsByTheirSubtype) {
  resolver_.Add(5, "<< /Subtype /Form /BBox [0 0 10 20] /Matrix [2 0 0 2 1 1] >>");
  resolver_.Add(6, "<< /Subtype /Image /Width 1 /Height 1 >>");
  resolver_.Add(7, "<< /Subtype /PS >>");
  resolver_.Add(8, "<< /Subtype /Form >>");
  DisplayList& list = *MakeList("/Fm Do /Im Do /P Do /Im Do", "<< /XObject << /Fm 5 0 R /Im 6 0 R /P 7 0 R >> >>");
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  EXPECT_EQ(Opcodes(list), (std::vector<uint8_t>{14, 15, 40 + 0}));
  EXPECT_EQ(text, "/Fm Do\n/Im Do\n/Im Do\n");
  EXPECT_EQ(static_cast<Fixed16_16>(list.Words().At(0)), 2 << 16);
  EXPECT_EQ(static_cast<Fixed16_16>(list.Words().At(9)), 20 << 16);
  DisplayList& noBox = *MakeList("/F Do", "<< /XObject << /F 8 0 R >> >>");
  noBox.PopulateAll();
  EXPECT_EQ(FirstError(noBox), kBadData);
}

TEST_F(DisplayListTest, InlineImagesAreDecodedWhenParsed) {
  DisplayList& gray = *MakeList("BI /W 1 /H 1 /BPC 8 /CS /G ID \x7f EI 2 w");
  std::string text;
  EXPECT_EQ(Print(gray, &text), -1);
  EXPECT_EQ(Opcodes(gray), (std::vector<uint8_t>{0, 6}));
  ASSERT_EQ(gray.Entries().Size(), 1u);
  auto* image = static_cast<InlineImageDLEntry*>(gray.Entries()[0]);
  EXPECT_FALSE(image->unusable);
  EXPECT_EQ(image->image.rows[0], 0x7f);
  EXPECT_EQ(image->image.components, 1u);

  DisplayList& hex = *MakeList("BI /W 2 /H 1 /BPC 8 /CS /RGB /F /AHx ID 0102030405 06> EI");
  EXPECT_EQ(Print(hex, &text), -1);
  auto* rgb = static_cast<InlineImageDLEntry*>(hex.Entries()[0]);
  EXPECT_EQ(rgb->image.rowBytes, 6u);
  EXPECT_EQ(rgb->image.rows[5], 6);

  // An encoding that is not supported marks the image unusable (consumers
  // hear of it, and can say it is not drawn); the page goes on.
  DisplayList& jpx = *MakeList("BI /W 1 /H 1 /BPC 8 /CS /G /F /JPXDecode ID \xff\x4f EI 2 w");
  EXPECT_EQ(Print(jpx, &text), -1);
  EXPECT_TRUE(static_cast<InlineImageDLEntry*>(jpx.Entries()[0])->unusable);
  EXPECT_EQ(text, "BI /W 1 /H 1 /BPC 8 ID % data in an encoding that cannot be decoded EI\n2 w\n");
  EXPECT_EQ(FirstError(jpx), -1);
}

TEST_F(DisplayListTest, PathsPastTheBudgetAreReReadAndReplayTheSame) {
  // 5,000 rectangles of 5 points fill the budget; the rest are not stored.
  std::string content;
  for (int i = 0; i < 5300; ++i) {
    content += std::to_string(i % 97) + " " + std::to_string(i % 89) + " 3 4 re f\n";
    if (i % 7 == 0) content += "0 0 m 1 1 2 2 3 3 c S\n";
  }
  DisplayList& list = *MakeList(content);
  std::string text;
  EXPECT_EQ(Print(list, &text), -1);
  EXPECT_GT(list.Points().Size(), 24999u);
  EXPECT_LT(list.Points().Size(), 25005u);
  int notStored = 0, boxes = 0;
  uint32_t w = 0;
  for (uint32_t i = 0; i < list.Opcodes().Size(); ++i) {
    ASSERT_EQ(list.Opcodes().At(i), kDLPaint);
    uint32_t flags = list.Words().At(w) >> 24;
    if (flags & kPaintNotStored) ++notStored;
    if (flags & kPaintNewBox) ++boxes;
    w += 1 + ((flags & kPaintNewBox) ? 4 : 0) + ((flags & kPaintLongOffset) ? 2 : 0);
  }
  EXPECT_GT(notStored, 300);
  EXPECT_LT(boxes, static_cast<int>(list.Opcodes().Size()));  // large paths share boxes
  // The same content with every path stored replays identically.
  std::string expected;
  for (int i = 0; i < 5300; ++i) {
    std::string x = std::to_string(i % 97), y = std::to_string(i % 89);
    std::string x2 = std::to_string(i % 97 + 3), y2 = std::to_string(i % 89 + 4);
    expected += x + " " + y + " m\n" + x2 + " " + y + " l\n" + x2 + " " + y2 + " l\n" + x + " " + y2 + " l\nh\nf\n";
    if (i % 7 == 0) expected += "0 0 m\n1 1 2 2 3 3 c\nS\n";
  }
  EXPECT_TRUE(text == expected);
  // A second replay of the finished list re-reads from the content.
  int opened = record_->opened;
  EXPECT_EQ(Print(list, &text), -1);
  EXPECT_TRUE(text == expected);
  EXPECT_EQ(record_->opened, opened + 1);
}

TEST_F(DisplayListTest, InterruptionsResumeWithoutDuplicatingEntries) {
  std::string content;
  for (int i = 0; i < 300; ++i) {
    content += "q " + std::to_string(i % 5) + " w 1 0 0 rg BT /F" + std::to_string(i % 3) + " 9 Tf (t" +
               std::to_string(i) + ") Tj ET " + std::to_string(i) + " 0 m " + std::to_string(i) + " 9 l S Q\n";
    if (i % 50 == 0) content += "BI /W 1 /H 1 /BPC 8 /CS /G ID x EI\n";
  }
  DisplayList& reference = *MakeList(content);
  std::string expected;
  ASSERT_EQ(Print(reference, &expected), -1);
  std::vector<uint8_t> expectedOps = Opcodes(reference);

  std::mt19937 random(7);
  for (int round = 0; round < 6; ++round) {
    DisplayList& list = *MakeList(content);
    record_->blockSize = 13;
    int interruptions = 0;
    int at = 0;
    std::string text;
    for (;;) {
      at += 1 + static_cast<int>(random() % 700);
      record_->cancelAt = at;
      int32_t code = Print(list, &text);
      if (code == -1) break;
      ASSERT_EQ(code, kCancelled);
      ++interruptions;
    }
    EXPECT_GT(interruptions, 0);
    EXPECT_TRUE(text == expected) << "round " << round;
    EXPECT_EQ(Opcodes(list), expectedOps);
    EXPECT_EQ(FirstError(list), -1);
  }
}

// Running out of memory or of stack says nothing about the content: the
// list keeps what it had at its last boundary and goes on from there when
// replayed again, as after an interruption; it never ends short.
TEST_F(DisplayListTest, OutOfMemoryAndStackExhaustionResumeLikeInterruptions) {
  std::string content;
  for (int i = 0; i < 200; ++i) {
    content += "q " + std::to_string(i % 4) + " w BT /F1 9 Tf (s" + std::to_string(i) + ") Tj ET " +
               std::to_string(i) + " 0 m " + std::to_string(i) + " 9 l S Q\n";
    if (i % 40 == 0) content += "BI /W 2 /H 1 /BPC 8 /CS /G ID xy EI\n";
  }
  DisplayList& reference = *MakeList(content);
  std::string expected;
  ASSERT_EQ(Print(reference, &expected), -1);

  DisplayList& exhausted = *MakeList(content);
  record_->raiseCode = kStackExhausted;
  record_->blockSize = 64;
  record_->cancelAt = static_cast<int>(content.size() / 2);
  std::string text;
  EXPECT_EQ(Print(exhausted, &text), kStackExhausted);
  EXPECT_FALSE(exhausted.IsComplete());
  EXPECT_EQ(Print(exhausted, &text), -1);
  EXPECT_TRUE(text == expected);
  EXPECT_EQ(FirstError(exhausted), -1);

  // Memory: the budget squeezed to a little above what is in use, again and
  // again, the list growing a little each time.
  DisplayList& squeezed = *MakeList(content);
  const BudgetLimits roomy = test::TinyLimits(context_.Budget().SoftLimit(), context_.Budget().HardLimit());
  std::mt19937 random(11);
  int shortages = 0;
  for (int round = 0; round < 200; ++round) {
    const uint32_t room = 2000 + static_cast<uint32_t>(random() % 40000);
    context_.Budget().SetLimits(test::TinyLimits(roomy.softLimit, context_.Budget().BytesInUse() + room));
    int32_t code = Print(squeezed, &text);
    context_.Budget().SetLimits(roomy);
    if (code == -1) break;
    ASSERT_EQ(code, kOutOfMemory);
    ++shortages;
  }
  EXPECT_GT(shortages, 0);
  EXPECT_EQ(Print(squeezed, &text), -1);
  EXPECT_TRUE(text == expected);
  EXPECT_EQ(Opcodes(squeezed), Opcodes(reference));
  EXPECT_EQ(FirstError(squeezed), -1);
}

TEST_F(DisplayListTest, ReplayChecksNestingAndYields) {
  DisplayList& extra = *MakeList("2 w Q 3 w");
  std::string text;
  EXPECT_EQ(Print(extra, &text), -1);  // a Q with no open save restores nothing
  EXPECT_EQ(text, "2 w\n3 w\n");
  DisplayList& open = *MakeList("q q 2 w");
  EXPECT_EQ(Print(open, &text), -1);  // saves still open end with the list
  EXPECT_EQ(text, "q\nq\n2 w\n");
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "q ";
  DisplayList& tooDeep = *MakeList(deep);
  EXPECT_EQ(Print(tooDeep, &text), kStackExhausted);
}

TEST_F(DisplayListTest, ANestedPlayTheConsumerSkipsIsStillDecoded) {
  // A consumer that ignores everything inside q ... Q.
  class SkipSaves : public DLConsumer {
   public:
    void SaveAndPlayNested(DLPlayer&) override {}
    void SetLineWidth(Fixed16_16 v) override { widths.push_back(v >> 16); }
    std::vector<int> widths;
  };
  DisplayList& list = *MakeList("1 w q 2 w q 3 w Q 1 w Q 3 w 2 w");
  SkipSaves consumer;
  EXPECT_EQ(test::RaisedCode(context_, [&] {
              DLPlayer player(list, consumer);
              player.Play();
            }),
            -1);
  EXPECT_EQ(consumer.widths, (std::vector<int>{1, 3, 2}));
}

TEST_F(DisplayListTest, AFixedRangeReplaysOnlyItsEntries) {
  DisplayList& list = *MakeList("1 w 2 w 1 w q 3 w Q 4 w");
  folio::cli::OperatorPrinter printer;
  EXPECT_EQ(test::RaisedCode(context_, [&] {
              DLPlayer player(list, printer);
              player.PlayRange(2, 5);  // the repeat of "1 w" still finds its entry
            }),
            -1);
  EXPECT_EQ(printer.Text(), "1 w\nq\n3 w\n");
}

TEST(OperatorPrinterFormat, NumbersNamesAndStrings) {
  using folio::cli::FormatContentNumber;
  EXPECT_EQ(FormatContentNumber(12 << 16), "12");
  EXPECT_EQ(FormatContentNumber(-(3 << 16)), "-3");
  EXPECT_EQ(FormatContentNumber(0x8000), "0.5");  // what "0.5" reads as
  EXPECT_EQ(FormatContentNumber(-0x8000), "-0.5");
  EXPECT_EQ(FormatContentNumber(0x7FFF), "0.49998");
  EXPECT_EQ(FormatContentNumber(0x1199A), "1.1");
  const uint8_t name[] = {'A', ' ', '#', '/', 0xE9};
  EXPECT_EQ(folio::cli::FormatName(name, 5), "/A#20#23#2F#E9");
  const uint8_t text[] = {'a', '(', '\\'};
  EXPECT_EQ(folio::cli::FormatString(text, 3), "(a\\(\\\\)");
  const uint8_t binary[] = {0, 0xAB};
  EXPECT_EQ(folio::cli::FormatString(binary, 2), "<00AB>");
}

}  // namespace
}  // namespace vn::pdf::content

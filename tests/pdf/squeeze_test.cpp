// The squeeze: a document is opened, its first pages' display lists are
// replayed (forms followed) and every stream is decoded, with the budget
// refusing its Nth request (see support/budget_squeeze.h). Each run must end
// in results equal to an unsqueezed run's or in clean errors (out of
// memory), leave nothing charged and nothing registered, and once the
// squeeze is lifted the same document must give every result in full: a
// transient shortage may not be remembered (a truncated list, an object
// cached as missing).
//
// CI runs a seeded sample of N for each input; FOLIO_SQUEEZE=all runs every
// N (tools/squeeze.sh), FOLIO_SQUEEZE=<count> a sample of that size.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "data_io/file_data_store.h"
#include "data_io/raw_data_store.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "support/budget_squeeze.h"
#include "support/corpus.h"
#include "support/crypt_documents.h"
#include "support/test_context.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using pdf::document::Document;
using pdf::document::FormDisplayList;
using pdf::document::ObjectId;
using pdf::document::PageDisplayList;
using pdf::store::DocumentStore;

constexpr int32_t kMaxPages = 3;
constexpr int32_t kMaxObjects = 300;
constexpr int kMaxFormDepth = 3;
constexpr uint64_t kDigestCap = 4u << 20;  // stream bytes read per stream
constexpr uint64_t kSampleInCi = 48;
constexpr int32_t kListError = 100;

uint64_t Mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001B3ull; }

// Digests what a replay hands over, following forms a few levels deep.
class DigestConsumer final : public pdf::content::DLConsumer {
 public:
  DigestConsumer(Document& document, pdf::document::DisplayList& list, int depth, uint64_t& digest)
      : document_(document), list_(list), depth_(depth), digest_(digest) {}

  void ConcatMatrix(const FixedMatrix& m) override {
    for (Fixed16_16 v : {m.a, m.b, m.c, m.d, m.tx, m.ty}) digest_ = Mix(digest_, static_cast<uint32_t>(v));
  }
  void SetColorComponents(bool stroking, const Fixed16_16* components, uint32_t count,
                          const pdf::content::DLName*, int32_t) override {
    digest_ = Mix(digest_, stroking);
    for (uint32_t i = 0; i < count; ++i) digest_ = Mix(digest_, static_cast<uint32_t>(components[i]));
  }
  void PaintPath(const pdf::content::DLPath& path, bool, bool stroke, int32_t clipRule, int32_t fill) override {
    digest_ = Mix(Mix(Mix(digest_, stroke), static_cast<uint32_t>(clipRule)), static_cast<uint32_t>(fill));
    for (uint32_t i = 0; i < path.count; ++i) {
      digest_ = Mix(Mix(digest_, static_cast<uint32_t>(path.points[i].x)), static_cast<uint32_t>(path.points[i].y));
    }
  }
  void ShowString(const uint8_t* bytes, uint32_t length, FixedRect&) override { Bytes(bytes, length); }
  void ShowArray(const pdf::content::TextArrayElement* elements, uint32_t count) override {
    for (uint32_t i = 0; i < count; ++i) {
      if (elements[i].bytes != nullptr) Bytes(elements[i].bytes, elements[i].length);
      else digest_ = Mix(digest_, static_cast<uint32_t>(elements[i].number));
    }
  }
  void DrawImageXObject(const pdf::content::DLName& name) override { Bytes(name.bytes, name.length); }
  void DrawInlineImage(const pdf::content::InlineImageData& image) override {
    Bytes(image.rows, image.rowBytes * image.height);
  }
  void DrawFormXObject(const pdf::content::DLName& name, const FixedMatrix&, const FixedRect&) override {
    Bytes(name.bytes, name.length);
    if (depth_ >= kMaxFormDepth) return;
    AppContext& context = document_.Context();
    pdf::document::ResolvedValue form(context);
    ObjectId id{-1, 0};
    pdf::document::LookupResource(document_.Resolver(), list_.Record()->Resources(), "XObject", name.bytes,
                                  name.length, form, &id);
    if (id.number < 0) return;
    Ref<FormDisplayList> nested(context);
    document_.GetFormDisplayList(nested, id, *list_.Record());
    DigestConsumer inner(document_, *nested, depth_ + 1, digest_);
    pdf::content::DLPlayer player(*nested, inner);
    player.Play();
    digest_ = Mix(digest_, nested->Errors().Size() == 0 ? 0 : 1000 + nested->Errors()[0].code);
  }

 private:
  void Bytes(const uint8_t* bytes, uint64_t length) {
    for (uint64_t i = 0; i < length; ++i) digest_ = Mix(digest_, bytes[i]);
  }

  Document& document_;
  pdf::document::DisplayList& list_;
  int depth_;
  uint64_t& digest_;
};

// One step's outcome: the code it raised (-1: none; kListError + code for a
// page whose list ended on an error) and a digest of what it produced.
struct Step {
  int32_t code = -1;
  uint64_t digest = 0;
  bool operator==(const Step&) const = default;
};
void PrintTo(const Step& step, std::ostream* out) { *out << "{code " << step.code << ", digest " << step.digest << "}"; }

// Runs `body(digest)` in its own frame; `body` may set a code of its own.
template <class Body>
Step Guarded(AppContext& context, Body&& body) {
  Step step;
  uint64_t digest = 1469598103934665603ull;
  int32_t own = -1;
  step.code = RaisedCode(context, [&] { body(digest, own); });
  if (step.code == -1) step.code = own;
  step.digest = step.code == -1 ? digest : 0;
  return step;
}

// The page count, the pages (their lists replayed) and then every object
// (its stream read). Without a page count, the first step is the only one.
std::vector<Step> RunSteps(AppContext& context, DocumentStore& store) {
  std::vector<Step> steps;
  Owned<Document> document(context);
  int32_t pages = 0;
  steps.push_back(Guarded(context, [&](uint64_t& digest, int32_t&) {
    document.Set(New<Document>(context, store));
    pages = document->PageCount();
    digest = Mix(digest, static_cast<uint32_t>(pages));
  }));
  if (steps[0].code != -1) return steps;
  for (int32_t index = 0; index < pages && index < kMaxPages; ++index) {
    steps.push_back(Guarded(context, [&](uint64_t& digest, int32_t& code) {
      Ref<PageDisplayList> list(context);
      document->GetPageDisplayList(list, index);
      DigestConsumer consumer(*document, *list, 0, digest);
      pdf::content::DLPlayer player(*list, consumer);
      player.Play();
      if (list->Errors().Size() != 0) code = kListError + list->Errors()[0].code;
    }));
  }
  int32_t last = kMaxObjects;
  pdf::store::Value size = pdf::store::Get(context, store.Trailer(), "Size");
  if (size.IsInteger() && size.i > 0 && size.i < last) last = size.i - 1;
  for (int32_t number = 1; number <= last; ++number) {
    steps.push_back(Guarded(context, [&](uint64_t& digest, int32_t&) {
      Ref<pdf::store::ParsedObject> object(context);
      store.GetObject(object, number);
      if (pdf::store::StreamDataOffset(object->value) == 0) return;
      Owned<data_io::DataBlockStream> data(context, store.OpenStreamData(*object));
      data_io::DataBlockRef block(context);
      uint64_t read = 0;
      for (data->GetNextBlock(block); !block.Empty() && read < kDigestCap; data->GetNextBlock(block)) {
        for (uint32_t i = 0; i < block.Length(); ++i) digest = Mix(digest, block.Data()[i]);
        read += block.Length();
      }
    }));
  }
  return steps;
}

// A document to squeeze: a corpus file, or bytes made here.
struct Input {
  std::string name;
  std::string path;   // a file, read through the file store
  std::string bytes;  // else these, from memory
};

struct Run {
  int32_t openCode = -1;
  std::vector<Step> squeezed;
  std::vector<Step> lifted;  // the same document once the squeeze is lifted
  uint64_t requests = 0;
  bool reached = false;  // the refused request came
  uint32_t leftCharged = 0;
  bool leftRegistered = false;
};

Run RunOnce(const Input& input, uint64_t failAt) {
  Run run;
  AppContext context;
  {
    BudgetSqueeze squeeze(context, failAt);
    Owned<DocumentStore> store(context);
    const std::wstring wide(input.path.begin(), input.path.end());  // outside: a raise skips destructors
    run.openCode = RaisedCode(context, [&] {
      data_io::DataStore* file;
      if (!input.path.empty()) {
        file = New<data_io::FileDataStore>(context, context, wide.c_str());
      } else {
        file = New<data_io::RawDataStore>(context, context, reinterpret_cast<const uint8_t*>(input.bytes.data()),
                                          input.bytes.size());
      }
      store.Set(pdf::store::OpenDocument(context, file));
    });
    if (run.openCode == -1) run.squeezed = RunSteps(context, *store);
    run.requests = squeeze.Requests();
    run.reached = squeeze.Squeezed();
    squeeze.Lift();
    if (run.openCode == -1) run.lifted = RunSteps(context, *store);
  }
  context.Caches().LowMemory();
  run.leftCharged = context.Budget().BytesInUse();
  run.leftRegistered = UnwindHead(context) != nullptr;
  return run;
}

// Which N to squeeze at: all of 1..requests, or a seeded sample with the
// first and last few always in.
std::vector<uint64_t> Choose(uint64_t requests, const std::string& name) {
  const char* mode = std::getenv("FOLIO_SQUEEZE");
  uint64_t sample = kSampleInCi;
  if (mode != nullptr && std::strcmp(mode, "all") == 0) sample = requests;
  else if (mode != nullptr && std::atoll(mode) > 0) sample = static_cast<uint64_t>(std::atoll(mode));
  std::vector<uint64_t> chosen;
  if (sample >= requests) {
    for (uint64_t n = 1; n <= requests; ++n) chosen.push_back(n);
    return chosen;
  }
  std::seed_seq seed(name.begin(), name.end());
  std::mt19937_64 random(seed);
  for (uint64_t n = 1; n <= 4 && n <= requests; ++n) chosen.push_back(n);
  for (uint64_t n = requests - 3; n <= requests; ++n) chosen.push_back(n);
  while (chosen.size() < sample) chosen.push_back(1 + random() % requests);
  return chosen;
}

// Squeezes `input` at the chosen N; reports its figures on standard output.
// The unsqueezed run's steps go to `reference`.
void Squeeze(const Input& input, std::vector<Step>* referenceSteps = nullptr) {
  SCOPED_TRACE(input.name);
  const Run reference = RunOnce(input, 0);
  ASSERT_EQ(reference.openCode, -1) << "the reference run must open the document";
  ASSERT_EQ(reference.squeezed, reference.lifted);
  ASSERT_EQ(reference.leftCharged, 0u);
  if (referenceSteps != nullptr) *referenceSteps = reference.squeezed;
  uint64_t runs = 0;
  uint64_t errors = 0;
  for (uint64_t n : Choose(reference.requests, input.name)) {
    SCOPED_TRACE("request " + std::to_string(n) + " of " + std::to_string(reference.requests));
    const Run run = RunOnce(input, n);
    ++runs;
    ASSERT_TRUE(run.reached);
    EXPECT_EQ(run.leftCharged, 0u);
    EXPECT_FALSE(run.leftRegistered);
    if (run.openCode != -1) {
      EXPECT_EQ(run.openCode, kOutOfMemory);
      ++errors;
      continue;
    }
    if (run.squeezed.size() != reference.squeezed.size()) {
      ASSERT_EQ(run.squeezed.size(), 1u);
      EXPECT_EQ(run.squeezed[0].code, kOutOfMemory);
    }
    bool failed = false;
    for (size_t i = 0; i < run.squeezed.size(); ++i) {
      const Step& step = run.squeezed[i];
      failed = failed || step.code != -1;
      // The shortage may come first, also before a step's own error (bad
      // data further on); any other difference is a fault.
      if (step.code == kOutOfMemory && reference.squeezed[i].code != kOutOfMemory) continue;
      EXPECT_EQ(step, reference.squeezed[i]) << "step " << i;
    }
    errors += failed;
    EXPECT_EQ(run.lifted, reference.squeezed) << "a shortage was remembered";
    if (::testing::Test::HasFailure()) return;
  }
  std::printf("squeeze %s: %llu requests, %llu runs, %llu ended in an error\n", input.name.c_str(),
              static_cast<unsigned long long>(reference.requests), static_cast<unsigned long long>(runs),
              static_cast<unsigned long long>(errors));
}

// Small corpus files covering an RC4 crypt-filter document, cross-reference
// and object streams, fax, DCT, LZW and ASCII85 images; the first three run
// in CI, all of them through tools/squeeze.sh.
const char* const kCorpusFiles[] = {
    "qpdf__V4.pdf",
    "deb__tl-games__CaJ-PokeRv2-10C.pdf",
    "pypdf__007-imagemagick-images_imagemagick-CCITTFaxDecode.pdf",
    "pdfium__bug_1646.pdf",
    "pypdf__007-imagemagick-images_imagemagick-lzw.pdf",
    "pypdf__007-imagemagick-images_imagemagick-ASCII85Decode.pdf",
};
constexpr size_t kCorpusFilesInCi = 3;

bool SqueezingAll() {
  const char* mode = std::getenv("FOLIO_SQUEEZE");
  return mode != nullptr && std::strcmp(mode, "all") == 0;
}

TEST(Squeeze, EveryFilterKind) {
  std::vector<Step> reference;
  Squeeze(Input{"every-filter", "", EveryFilterDocument()}, &reference);
  ASSERT_EQ(reference.size(), 1u + 1u + 15u);  // page count, the page, objects 1 to 15
  for (const Step& step : reference) EXPECT_EQ(step.code, -1);
}

TEST(Squeeze, CorpusFiles) {
  const std::string dir = CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "corpus absent";
  const size_t count = SqueezingAll() ? sizeof kCorpusFiles / sizeof kCorpusFiles[0] : kCorpusFilesInCi;
  for (size_t i = 0; i < count; ++i) Squeeze(Input{kCorpusFiles[i], dir + "/" + kCorpusFiles[i], ""});
}

// AES-128 and AES-256 encrypted documents, and damaged ones whose
// cross-reference data is rebuilt by scanning: seeds of the document fuzz
// target that open with the empty password.
TEST(Squeeze, AesAndRepairedFiles) {
  const std::string dir = std::string(FOLIO_SOURCE_DIR) + "/fuzz/seeds/document/";
  for (const char* name : {"aes128.pdf", "aes256-r6.pdf", "repair-shifted-offsets.pdf", "repair-truncated.pdf"}) {
    Squeeze(Input{name, dir + name, ""});
  }
}

}  // namespace
}  // namespace vn::test

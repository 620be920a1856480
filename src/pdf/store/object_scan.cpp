#include "pdf/store/object_scan.h"

#include <algorithm>
#include <cstring>

#include "pdf/store/byte_scanning.h"
#include "pdf/store/char_classes.h"
#include "runtime/yield_points.h"

namespace vn::pdf::store {

namespace {

// Bytes fed between yield points.
constexpr uint32_t kSlice = 64 * 1024;
// Longer words are no keyword, name or integer the scan looks for.
constexpr uint32_t kWordBytes = 12;

// Keeps the newest `kScanCandidates` of a list that grows in file order.
template <class T>
void PushRecent(EngineArray<T>& list, const T& value) {
  if (list.Size() == 2 * kScanCandidates) {
    std::memmove(static_cast<void*>(list.Data()), list.Data() + kScanCandidates, kScanCandidates * sizeof(T));
    list.Truncate(kScanCandidates);
  }
  list.Push(value);
}

// Keeps the last object stream of each number.
void CompactObjectStreams(EngineArray<ScanObject>& list) {
  std::sort(list.begin(), list.end(), [](const ScanObject& a, const ScanObject& b) {
    return a.number != b.number ? a.number < b.number : a.offset < b.offset;
  });
  uint32_t kept = 0;
  for (uint32_t i = 0; i < list.Size(); ++i) {
    if (i + 1 < list.Size() && list[i + 1].number == list[i].number) continue;
    list[kept++] = list[i];
  }
  list.Truncate(kept);
}

// The tokens the scan tells apart, as PDF's lexer would cut them. State
// carries across the slices it is fed.
class Scanner {
 public:
  explicit Scanner(ObjectScan& out) : out_(out) {}

  // Feeds `count` bytes found at `position`. Returns how many it took: all,
  // or fewer when an object's stream data starts (StreamPending()).
  uint32_t Feed(const uint8_t* bytes, uint32_t count, uint64_t position);
  // Ends the token in progress at the end of the file.
  void Finish() { EndToken(); }
  bool StreamPending() const { return streamPending_; }
  // Resumes after skipped stream data.
  void Resume() {
    streamPending_ = false;
    mode_ = Mode::kSpace;
    Forget();
  }

 private:
  enum class Mode : uint8_t { kSpace, kWord, kName, kComment, kString };
  struct Token {
    bool integer;
    uint64_t start;
    int64_t value;
  };

  void StringByte(uint8_t c);
  void StartWord(Mode mode, uint64_t position) {
    mode_ = mode;
    wordStart_ = position;
    wordLength_ = 0;
  }
  void EndToken();
  void EndWord();
  void EndName();
  bool WordIs(const char* text) const {
    size_t n = std::strlen(text);
    return wordLength_ == n && std::memcmp(word_, text, n) == 0;
  }
  // Any token but an integer: the object header pattern breaks.
  void Other() {
    older_ = newer_;
    newer_ = Token{false, 0, 0};
    dictEnd_ = false;
  }
  void Forget() {
    older_ = newer_ = Token{false, 0, 0};
    dictEnd_ = false;
    pendingGt_ = false;
  }
  void AddObject(int32_t number, int32_t generation, uint64_t offset);
  void NoteName(EngineArray<ScanObject>& list, bool keepAll);

  ObjectScan& out_;
  Mode mode_ = Mode::kSpace;
  uint8_t word_[kWordBytes];
  uint32_t wordLength_ = 0;
  uint64_t wordStart_ = 0;
  Token older_{false, 0, 0};
  Token newer_{false, 0, 0};
  bool dictEnd_ = false;    // the last token was ">>"
  bool pendingGt_ = false;  // the last byte was a '>' that did not end a dictionary
  bool inObject_ = false;   // between "obj" and "endobj"
  ScanObject object_{0, 0};
  bool streamPending_ = false;
  // Strings: nesting, a pending backslash, and the match of "endobj" at the
  // start of a line, which ends a string that never closes.
  uint32_t depth_ = 0;
  bool escape_ = false;
  int32_t endobjMatch_ = -1;
};

uint32_t Scanner::Feed(const uint8_t* bytes, uint32_t count, uint64_t position) {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t c = bytes[i];
    switch (mode_) {
      case Mode::kString:
        StringByte(c);
        continue;
      case Mode::kComment:
        if ((kCharClasses[c] & kEndOfLine) != 0) mode_ = Mode::kSpace;
        continue;
      case Mode::kWord:
      case Mode::kName:
        if (!IsTokenEnd(c)) {
          if (wordLength_ < kWordBytes) word_[wordLength_] = c;
          ++wordLength_;
          continue;
        }
        EndToken();
        if (streamPending_) return i;
        break;
      case Mode::kSpace:
        break;
    }
    bool gt = pendingGt_;
    pendingGt_ = false;
    if ((kCharClasses[c] & kWhiteSpace) != 0) continue;
    switch (c) {
      case '%':
        mode_ = Mode::kComment;
        break;
      case '(':
        Other();
        mode_ = Mode::kString;
        depth_ = 1;
        escape_ = false;
        endobjMatch_ = -1;
        break;
      case '/':
        Other();
        StartWord(Mode::kName, position + i);
        break;
      case '>':
        Other();
        if (gt) dictEnd_ = true;
        else pendingGt_ = true;
        break;
      default:
        if ((kCharClasses[c] & kDelimiter) != 0) {
          Other();
        } else {
          StartWord(Mode::kWord, position + i);
          word_[0] = c;
          wordLength_ = 1;
        }
        break;
    }
  }
  return count;
}

void Scanner::StringByte(uint8_t c) {
  if ((kCharClasses[c] & kEndOfLine) != 0) {
    endobjMatch_ = 0;
    escape_ = false;
    return;
  }
  if (endobjMatch_ >= 0) {
    static const char kEndobj[] = "endobj";
    if (c == static_cast<uint8_t>(kEndobj[endobjMatch_])) {
      if (++endobjMatch_ == 6) {
        // A string left open by damage: its object ends here.
        mode_ = Mode::kSpace;
        inObject_ = false;
        Other();
        return;
      }
    } else {
      endobjMatch_ = -1;
    }
  }
  if (escape_) {
    escape_ = false;
  } else if (c == '\\') {
    escape_ = true;
  } else if (c == '(') {
    ++depth_;
  } else if (c == ')' && --depth_ == 0) {
    mode_ = Mode::kSpace;
  }
}

void Scanner::EndToken() {
  Mode mode = mode_;
  mode_ = Mode::kSpace;
  if (mode == Mode::kWord) EndWord();
  else if (mode == Mode::kName) EndName();
}

void Scanner::EndWord() {
  bool digits = wordLength_ <= 10;
  int64_t value = 0;
  for (uint32_t k = 0; digits && k < wordLength_; ++k) {
    digits = word_[k] >= '0' && word_[k] <= '9';
    value = value * 10 + (word_[k] - '0');
  }
  if (digits) {
    older_ = newer_;
    newer_ = Token{true, wordStart_, value};
    dictEnd_ = false;
    return;
  }
  if (WordIs("obj")) {
    if (older_.integer && newer_.integer && older_.value <= 0x7FFFFFFF && newer_.value <= 0xFFFF) {
      AddObject(static_cast<int32_t>(older_.value), static_cast<int32_t>(newer_.value), older_.start);
    }
  } else if (WordIs("endobj")) {
    inObject_ = false;
  } else if (WordIs("stream")) {
    streamPending_ = inObject_ && dictEnd_;
  } else if (WordIs("trailer")) {
    PushRecent(out_.trailers, wordStart_ + 7);
  }
  Other();
}

void Scanner::EndName() {
  if (!inObject_) return;
  // word_ holds the name without its slash.
  if (WordIs("ObjStm")) NoteName(out_.objectStreams, true);
  else if (WordIs("XRef")) NoteName(out_.xrefStreams, false);
  else if (WordIs("Catalog")) NoteName(out_.catalogs, false);
}

void Scanner::NoteName(EngineArray<ScanObject>& list, bool keepAll) {
  if (!list.Empty() && list.Back().offset == object_.offset) return;
  if (!keepAll) {
    PushRecent(list, object_);
    return;
  }
  if (list.Size() == kMaxScanEntries) {
    CompactObjectStreams(list);
    if (list.Size() > kMaxScanEntries - kMaxScanEntries / 4) RaiseCode(list.Context(), kLimitExceeded);
  }
  list.Push(object_);
}

void Scanner::AddObject(int32_t number, int32_t generation, uint64_t offset) {
  EngineArray<ScanEntry>& entries = out_.entries;
  if (entries.Size() == kMaxScanEntries) {
    CompactScanEntries(entries);
    if (entries.Size() > kMaxScanEntries - kMaxScanEntries / 4) RaiseCode(entries.Context(), kLimitExceeded);
  }
  entries.Push(ScanEntry::Make(number, offset, static_cast<uint32_t>(generation), false));
  inObject_ = true;
  object_ = ScanObject{number, offset};
}

}  // namespace

void CompactScanEntries(EngineArray<ScanEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const ScanEntry& a, const ScanEntry& b) {
    if (a.number != b.number) return a.number < b.number;
    if (a.Offset() != b.Offset()) return a.Offset() < b.Offset();
    return a.aux < b.aux;
  });
  uint32_t kept = 0;
  for (uint32_t i = 0; i < entries.Size(); ++i) {
    if (i + 1 < entries.Size() && entries[i + 1].number == entries[i].number) continue;
    entries[kept++] = entries[i];
  }
  entries.Truncate(kept);
}

ObjectScan::ObjectScan(AppContext& context)
    : entries(context), objectStreams(context), trailers(context), xrefStreams(context), catalogs(context) {}

void ObjectScan::Run(data_io::DataStore& file) {
  AppContext& context = entries.Context();
  Scanner scanner(*this);
  uint64_t length = file.GetLength();
  // Stream data without an "endstream" after it is scanned as it stands;
  // a search that failed once fails for every later start.
  uint64_t noEndstreamFrom = ~static_cast<uint64_t>(0);
  data_io::DataBlockRef block(context);
  uint64_t position = 0;
  while (position < length) {
    YieldPoint(context);
    file.GetBlock(block, position);
    if (block.Empty()) break;
    uint32_t count = block.Length() < kSlice ? block.Length() : kSlice;
    uint32_t used = scanner.Feed(block.Data(), count, position);
    position += used;
    if (!scanner.StreamPending()) continue;
    int64_t end = position < noEndstreamFrom ? SearchForward(context, file, "endstream", position, length) : -1;
    if (end < 0) noEndstreamFrom = position;
    else position = static_cast<uint64_t>(end);
    scanner.Resume();
  }
  scanner.Finish();
  CompactScanEntries(entries);
  CompactObjectStreams(objectStreams);
}

}  // namespace vn::pdf::store

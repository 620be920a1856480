#include "pdf/cmap/cmap_decompressed_stream.h"

#include <cstring>

#include "runtime/engine_new.h"

namespace vn::pdf::cmap {

using data_io::DataBlockRef;

namespace {

using OutputBlock = data_io::FixedMemoryBufferDataBlock<4096>;

// The most one command or one entry writes: a literal of 255 bytes.
constexpr uint32_t kLargestPiece = 300;
constexpr uint32_t kMaxWidth = 32;
constexpr uint32_t kFirstByteString = 5;

constexpr const char* kKeywords[64] = {
    "beginbfchar", "beginbfrange", "begincidchar", "begincidrange", "endbfchar", "endbfrange", "endcidchar",
    "endcidrange", "begin", "begincmap", "begincodespacerange", "beginnotdefrange", "currentdict", "def",
    "defineresource", "dict", "dup", "end", "endcmap", "endcodespacerange", "endnotdefrange", "findresource",
    "pop", "usecmap", "1.000", "1.001", "9.001", "10.001", "11.001", "12.000", "12.001", "CMapName", "(Adobe)",
    "(CNS1)", "(GB1)", "(Japan1)", "(Japan2)", "(Korea1)", "/CIDCount", "/CIDInit", "/CIDSystemInfo", "/CMap",
    "/CMapName", "/CMapVersion", "/CMapType", "/Ordering", "/ProcSet", "/Registry", "/Supplement", "/UIDOffset",
    "/WMode", "/XUID", "TBDd", "TBDc", "TBDb", "TBDa", "TBD9", "TBD8", "TBD7", "TBD6", "TBD5", "TBD4", "TBD3",
    "TBD2",
};

// Line breaks after a keyword: one after the section openers, two after the
// section closers.
uint32_t LineBreaksAfter(uint32_t keyword) { return keyword < 4 ? 1 : keyword < 8 ? 2 : 0; }

}  // namespace

class CMapDecompressedDataBlockStream::Writer {
 public:
  explicit Writer(uint8_t* buffer) : start_(buffer), p_(buffer) {}
  uint32_t Size() const { return static_cast<uint32_t>(p_ - start_); }
  void Byte(uint8_t b) { *p_++ = b; }
  void Text(const char* text) {
    const size_t n = std::strlen(text);
    std::memcpy(p_, text, n);
    p_ += n;
  }
  // "<" and the value in at least `digits` upper-case hexadecimal digits, ">".
  void Hex(uint32_t value, uint32_t digits) {
    uint32_t needed = 1;
    while (needed < 8 && (value >> (4 * needed)) != 0) ++needed;
    if (digits < needed) digits = needed;
    Byte('<');
    for (uint32_t i = digits; i-- > 0;) Byte(static_cast<uint8_t>("0123456789ABCDEF"[(value >> (4 * i)) & 15]));
    Byte('>');
  }
  void Decimal(uint32_t value) {
    char digits[10];
    uint32_t n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0) Byte(static_cast<uint8_t>(digits[--n]));
  }

 private:
  uint8_t* start_;
  uint8_t* p_;
};

CMapDecompressedDataBlockStream::CMapDecompressedDataBlockStream(AppContext& context, const uint8_t* blob,
                                                                 uint32_t length)
    : context_(context), blob_(blob), bitLength_(static_cast<uint64_t>(length) * 8) {}

uint32_t CMapDecompressedDataBlockStream::GetMemorySize() const {
  return static_cast<uint32_t>(sizeof(*this) + sizeof(OutputBlock));
}

void CMapDecompressedDataBlockStream::Rewind() {
  bitPosition_ = 0;
  exhausted_ = atEnd_ = false;
  entriesLeft_ = 0;
}

uint32_t CMapDecompressedDataBlockStream::ReadBits(uint32_t count) {
  if (count > bitLength_ - bitPosition_) {
    exhausted_ = true;
    bitPosition_ = bitLength_;
    return 0;
  }
  uint64_t value = 0;
  while (count > 0) {
    const uint32_t available = 8 - static_cast<uint32_t>(bitPosition_ & 7);
    const uint32_t take = count < available ? count : available;
    const uint32_t byte = blob_[bitPosition_ >> 3];
    value = (value << take) | ((byte >> (available - take)) & ((1u << take) - 1));
    bitPosition_ += take;
    count -= take;
  }
  return static_cast<uint32_t>(value);
}

void CMapDecompressedDataBlockStream::GetNextBlock(DataBlockRef& out) {
  if (atEnd_) {
    out.Clear();
    return;
  }
  OutputBlock* block = New<OutputBlock>(context_);
  out.Set(block);  // the reference owns the block from here on
  Writer writer(block->buffer);
  while (!atEnd_ && OutputBlock::kCapacity - writer.Size() >= kLargestPiece) {
    if (entriesLeft_ > 0) {
      --entriesLeft_;
      Entry(writer);
    } else {
      Command(writer);
    }
    if (exhausted_) atEnd_ = true;
  }
  block->length = writer.Size();
  if (block->length == 0) {
    out.Clear();
    return;
  }
  out.SetView(block, block->buffer, block->length);
}

void CMapDecompressedDataBlockStream::Command(Writer& out) {
  switch (ReadBits(2)) {
    case 0:
      atEnd_ = true;
      break;
    case 1:
      for (uint32_t n = ReadBits(8); n > 0 && !exhausted_; --n) out.Byte(static_cast<uint8_t>(ReadBits(8)));
      break;
    case 2: {
      const uint32_t keyword = ReadBits(6);
      out.Byte(' ');
      out.Text(kKeywords[keyword]);
      for (uint32_t n = LineBreaksAfter(keyword); n > 0; --n) out.Byte('\n');
      break;
    }
    default:
      hexDestinations_ = ReadBits(1) != 0;
      ranges_ = ReadBits(1) != 0;
      entriesLeft_ = ReadBits(8);
      code_ = codeLength_ = codeWidth_ = 0;
      destination_ = destinationSize_ = destinationWidth_ = rangeWidth_ = 0;
  }
}

void CMapDecompressedDataBlockStream::ReadUpdates() {
  for (;;) {
    const uint32_t selector = ReadBits(2);
    if (selector == 0 || exhausted_) return;
    uint32_t& width = selector == 1 ? codeWidth_ : selector == 2 ? destinationWidth_ : rangeWidth_;
    const uint32_t operation = ReadBits(3);
    if (operation == 0) {
      code_ = 0;
    } else if (operation == 1) {
      const uint32_t e = ReadBits(2);
      if (selector == 1) {
        codeLength_ = e + 1;
      } else {
        destinationSize_ = e < 3 ? 1u << e : ReadBits(5);
      }
    } else if (operation == 2) {
      width = 0;
    } else {
      width += 1u << (operation - 3);
      if (width > kMaxWidth) width = kMaxWidth;
    }
  }
}

void CMapDecompressedDataBlockStream::Entry(Writer& out) {
  if (ReadBits(1) != 0) ReadUpdates();
  code_ += ReadBits(codeWidth_);
  const bool byteString = destinationSize_ >= kFirstByteString;
  uint8_t bytes[31];
  if (byteString) {
    for (uint32_t i = 0; i < destinationSize_; ++i) bytes[i] = static_cast<uint8_t>(ReadBits(8));
  } else {
    const uint32_t delta = ReadBits(destinationWidth_);
    destination_ = ReadBits(1) != 0 ? destination_ - delta : destination_ + delta;
  }
  const uint32_t span = ranges_ ? ReadBits(rangeWidth_) : 0;
  out.Hex(code_, 2 * codeLength_);
  if (ranges_) {
    code_ += span;
    out.Hex(code_, 2 * codeLength_);
  }
  if (byteString) {
    out.Byte('<');
    for (uint32_t i = 0; i < destinationSize_; ++i) {
      out.Byte(static_cast<uint8_t>("0123456789ABCDEF"[bytes[i] >> 4]));
      out.Byte(static_cast<uint8_t>("0123456789ABCDEF"[bytes[i] & 15]));
    }
    out.Byte('>');
  } else if (hexDestinations_) {
    out.Hex(destination_, 2 * destinationSize_);
  } else {
    out.Decimal(destination_);
  }
  out.Byte('\n');
  code_ += 1;
  destination_ += span;
}

}  // namespace vn::pdf::cmap

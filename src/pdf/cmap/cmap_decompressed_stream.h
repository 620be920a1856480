// The built-in CMaps are kept in a compact bit-packed form; this stream
// regenerates their CMap text, a block at a time, for the CMap parser.
//
// The form is a bit stream read most-significant bit first. Commands
// (2 bits): 0 ends the CMap; 1 is literal text (an 8-bit count, then the
// bytes); 2 is a keyword (a 6-bit index into the keyword table, written
// after a space and followed by line breaks for the section keywords);
// 3 starts a block of entries (1 bit: destinations in hex, 1 bit: entries
// are ranges, an 8-bit count) and resets the entry state. Each entry may
// first update the state (code length, destination size, and the bit
// widths of the code delta, the destination delta and the range length),
// then reads the code delta, the destination (a delta and a sign bit, or
// the bytes of a long string) and the range length, and prints
// "<code>", "<end>" for ranges, and the destination.
// tools/gen_predefined_cmaps.py writes this form.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"

namespace vn::pdf::cmap {

class CMapDecompressedDataBlockStream final : public data_io::DataBlockStream {
 public:
  // `blob` is static data (a built-in CMap); it is not copied.
  CMapDecompressedDataBlockStream(AppContext& context, const uint8_t* blob, uint32_t length);

  void GetNextBlock(data_io::DataBlockRef& out) override;
  void Rewind() override;
  bool IsAtEnd() override { return atEnd_; }
  uint32_t GetMemorySize() const override;

 private:
  class Writer;
  uint32_t ReadBits(uint32_t count);
  void Command(Writer& out);
  void ReadUpdates();
  void Entry(Writer& out);

  AppContext& context_;
  const uint8_t* blob_;
  uint64_t bitLength_;
  uint64_t bitPosition_ = 0;
  bool exhausted_ = false;  // a read ran past the blob: the text ends there
  bool atEnd_ = false;

  // The current entry block and the entry state.
  uint32_t entriesLeft_ = 0;
  bool hexDestinations_ = false;
  bool ranges_ = false;
  uint32_t code_ = 0;
  uint32_t codeLength_ = 0;
  uint32_t codeWidth_ = 0;
  uint32_t destination_ = 0;
  uint32_t destinationSize_ = 0;  // below 5: bytes of a number; else bytes of a string
  uint32_t destinationWidth_ = 0;
  uint32_t rangeWidth_ = 0;
};

}  // namespace vn::pdf::cmap

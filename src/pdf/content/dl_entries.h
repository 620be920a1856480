// The entry objects of a display list: text showing, ExtGState settings and
// inline images, which keep more than the packed streams can. They live in
// the list's pool and own nothing outside it.
#pragma once

#include <cstdint>

#include "pdf/content/dl_consumer.h"

namespace vn::pdf::content {

class DLEntry {
 public:
  virtual void Execute(DLConsumer& consumer) = 0;

 protected:
  ~DLEntry() = default;  // pool memory: never destroyed one by one
};

// Tj and the single-quote operator.
class TextShowDLEntry final : public DLEntry {
 public:
  TextShowDLEntry(const uint8_t* bytes, uint32_t length, bool nextLineFirst)
      : bytes_(bytes), length_(length), nextLineFirst_(nextLineFirst) {}
  void Execute(DLConsumer& consumer) override;
  const uint8_t* Bytes() const { return bytes_; }
  uint32_t Length() const { return length_; }
  bool NextLineFirst() const { return nextLineFirst_; }
  FixedRect& Box() { return box_; }

 private:
  const uint8_t* bytes_;
  uint32_t length_;
  bool nextLineFirst_;
  FixedRect box_ = EmptyBox();
};

// TJ.
class TextArrayShowDLEntry final : public DLEntry {
 public:
  TextArrayShowDLEntry(const TextArrayElement* elements, uint32_t count) : elements_(elements), count_(count) {}
  void Execute(DLConsumer& consumer) override;
  const TextArrayElement* Elements() const { return elements_; }
  uint32_t Count() const { return count_; }

 private:
  const TextArrayElement* elements_;
  uint32_t count_;
};

// The double-quote operator: word spacing, character spacing, next line, show.
class TextNextLineAndShowWithSpacingDLEntry final : public DLEntry {
 public:
  TextNextLineAndShowWithSpacingDLEntry(Fixed16_16 aw, Fixed16_16 ac, const uint8_t* bytes, uint32_t length)
      : aw_(aw), ac_(ac), bytes_(bytes), length_(length) {}
  void Execute(DLConsumer& consumer) override;

 private:
  Fixed16_16 aw_;
  Fixed16_16 ac_;
  const uint8_t* bytes_;
  uint32_t length_;
  FixedRect box_ = EmptyBox();
};

// gs.
class SetFromExtGStateDLEntry final : public DLEntry {
 public:
  void Execute(DLConsumer& consumer) override { consumer.SetFromExtGState(record); }
  ExtGStateRecord record;
};

// BI ... ID ... EI, decoded when parsed.
class InlineImageDLEntry final : public DLEntry {
 public:
  void Execute(DLConsumer& consumer) override { consumer.DrawInlineImage(image); }
  store::Value dictionary;  // a copy in the pool
  InlineImageData image{};
  bool unusable = false;    // its data uses an unsupported encoding (image.undecodable)
};

}  // namespace vn::pdf::content

// A colour-space array read element by element: [/Family parameters...] as
// resources store it, or as an inline image's "ColorSpace" entry gives it.
// Inline images' operands are parsed into the same value cells as stored
// objects (only without references), so one view serves both; references
// are followed when there are any.
#pragma once

#include <cstdint>

#include "pdf/document/object_resolver.h"

namespace vn::pdf::pdfcolor {

class CSArray {
 public:
  enum Kind : uint8_t { kMissing, kNull, kName, kInteger, kReal, kArray, kString, kDictionary, kStream, kOther };

  // `array` must hold an array.
  CSArray(document::ObjectResolver& resolver, const document::ResolvedValue& array)
      : resolver_(resolver), array_(array) {}

  uint32_t Length() const { return document::ArrayLength(array_.Get()); }
  // The kind of element `index` (references followed; kMissing past the end).
  Kind KindOf(uint32_t index) const;
  bool NameIs(uint32_t index, const char* name) const;

  // Element `index`, resolved into `out` (null past the end).
  void Get(uint32_t index, document::ResolvedValue& out) const;
  // Typed elements; each raises kBadData for an element of another kind.
  int32_t Integer(uint32_t index) const;
  Fixed16_16 Number(uint32_t index) const;
  // The bytes of a string element, kept alive by `holder`.
  const uint8_t* String(uint32_t index, document::ResolvedValue& holder, uint32_t& length) const;
  // The object number of element `index` when it is a reference, else -1.
  int32_t ObjectNumber(uint32_t index) const;

  document::ObjectResolver& Resolver() const { return resolver_; }

 private:
  document::ObjectResolver& resolver_;
  const document::ResolvedValue& array_;
};

}  // namespace vn::pdf::pdfcolor

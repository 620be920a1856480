#include "pdf/pdfcolor/cs_array.h"

#include "runtime/error.h"

namespace vn::pdf::pdfcolor {

using document::ResolvedValue;

void CSArray::Get(uint32_t index, ResolvedValue& out) const {
  out = array_;
  if (index >= Length()) {
    out.SetChild(document::NullValue());
    return;
  }
  out.SetChild(document::ArrayElement(array_.Get(), index));
  document::ResolveInPlace(resolver_, out);
}

CSArray::Kind CSArray::KindOf(uint32_t index) const {
  if (index >= Length()) return kMissing;
  ResolvedValue element(resolver_.Context());
  Get(index, element);
  const document::Value& v = element.Get();
  if (v.IsNull()) return kNull;
  if (v.IsName()) return kName;
  if (document::IsInteger(v)) return kInteger;
  if (document::IsNumber(v)) return kReal;
  if (v.IsArray()) return kArray;
  if (v.IsString()) return kString;
  if (document::IsStream(v)) return kStream;
  if (document::IsDictionary(v)) return kDictionary;
  return kOther;
}

bool CSArray::NameIs(uint32_t index, const char* name) const {
  ResolvedValue element(resolver_.Context());
  Get(index, element);
  return document::NameIs(element.Get(), name);
}

int32_t CSArray::Integer(uint32_t index) const {
  ResolvedValue element(resolver_.Context());
  Get(index, element);
  if (!document::IsInteger(element.Get())) RaiseBadData(resolver_.Context());
  return document::IntegerOf(element.Get());
}

Fixed16_16 CSArray::Number(uint32_t index) const {
  ResolvedValue element(resolver_.Context());
  Get(index, element);
  if (!document::IsNumber(element.Get())) RaiseBadData(resolver_.Context());
  return document::NumberToFixed(element.Get());
}

const uint8_t* CSArray::String(uint32_t index, ResolvedValue& holder, uint32_t& length) const {
  Get(index, holder);
  if (!holder.Get().IsString()) RaiseBadData(resolver_.Context());
  length = holder.Get().Length();
  return holder.Get().Bytes();
}

int32_t CSArray::ObjectNumber(uint32_t index) const {
  if (index >= Length()) return -1;
  const document::Value element = document::ArrayElement(array_.Get(), index);
  return element.IsReference() ? document::ReferenceOf(element).number : -1;
}

}  // namespace vn::pdf::pdfcolor

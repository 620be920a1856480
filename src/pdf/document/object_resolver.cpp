#include "pdf/document/object_resolver.h"

#include "runtime/error.h"

namespace vn::pdf::document {

ResolvedValue::ResolvedValue(AppContext& context) : context_(&context), value_(NullValue()) {
  RegisterUnwindable(context, this, &UnwindByReset<ResolvedValue>);
}

ResolvedValue::ResolvedValue(const ResolvedValue& other)
    : Unwindable(other), context_(other.context_), value_(other.value_), keeper_(other.keeper_) {
  if (keeper_ != nullptr) keeper_->AddRef();
  RegisterUnwindable(*context_, this, &UnwindByReset<ResolvedValue>);
}

ResolvedValue& ResolvedValue::operator=(const ResolvedValue& other) {
  if (this != &other) Set(other.value_, other.keeper_);
  return *this;
}

void ResolvedValue::Set(const Value& value, RefCounted* keeper) {
  if (keeper != nullptr) keeper->AddRef();
  RefCounted* old = keeper_;
  value_ = value;
  keeper_ = keeper;
  if (old != nullptr) old->Release(*context_);
}

void ResolvedValue::Clear() { Set(NullValue(), nullptr); }

void ResolvedValue::Reset() {
  UnregisterUnwindable(this);
  Clear();
}

namespace {
// References to references are rare; a longer chain is treated as broken.
constexpr int kMaxReferenceChain = 8;
}  // namespace

void ResolveInPlace(ObjectResolver& resolver, ResolvedValue& value) {
  for (int i = 0; i < kMaxReferenceChain; ++i) {
    if (!IsReference(value.Get())) return;
    const ObjectId id = ReferenceOf(value.Get());
    resolver.GetIndirectObject(id, value);
  }
  if (IsReference(value.Get())) value.Clear();
}

void GetResolved(ObjectResolver& resolver, const ResolvedValue& parent, const char* key,
                 ResolvedValue& out) {
  AppContext& context = resolver.Context();
  if (!IsDictionary(parent.Get())) RaiseBadData(context);
  const Value entry = DictionaryGet(context, parent.Get(), key);
  out = parent;
  out.SetChild(entry);
  ResolveInPlace(resolver, out);
}

uint32_t GetNumbers(ObjectResolver& resolver, const ResolvedValue& parent, const char* key, Fixed16_16* out,
                    uint32_t capacity) {
  AppContext& context = resolver.Context();
  ResolvedValue array(context);
  GetResolved(resolver, parent, key, array);
  if (array.Get().IsNull()) return 0;
  if (!IsArray(array.Get())) RaiseBadData(context);
  const uint32_t count = ArrayLength(array.Get());
  ResolvedValue element(context);
  for (uint32_t i = 0; i < count && i < capacity; ++i) {
    element = array;
    element.SetChild(ArrayElement(array.Get(), i));
    ResolveInPlace(resolver, element);
    if (!IsNumber(element.Get())) RaiseBadData(context);
    out[i] = NumberToFixed(element.Get());
  }
  return count;
}

}  // namespace vn::pdf::document

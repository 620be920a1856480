#include "pdf/document/optional_content.h"

#include "runtime/error.h"

namespace vn::pdf::document {

namespace {

// Visibility expressions nest; deeper ones are taken as unreadable.
constexpr int32_t kMaxExpressionDepth = 16;
// Groups a configuration lists; more are not read (a hostile list cannot
// make every question slow).
constexpr uint32_t kMaxListedGroups = 4096;

constexpr int32_t kHidden = 0, kShown = 1, kUnreadable = -1;

bool SameObject(const ObjectId& a, const ObjectId& b) { return a.number == b.number && a.generation == b.generation; }

bool Listed(const EngineArray<ObjectId>& list, const ObjectId& id) {
  for (uint32_t i = 0; i < list.Size(); ++i) {
    if (SameObject(list[i], id)) return true;
  }
  return false;
}

// The referenced groups of `config`'s array `key`.
void ReadGroups(ObjectResolver& resolver, const ResolvedValue& config, const char* key, EngineArray<ObjectId>& out) {
  ResolvedValue list(resolver.Context());
  GetResolved(resolver, config, key, list);
  const uint32_t count = ArrayLength(list.Get());
  for (uint32_t i = 0; i < count && out.Size() < kMaxListedGroups; ++i) {
    const Value group = ArrayElement(list.Get(), i);
    if (IsReference(group)) out.Push(ReferenceOf(group));
  }
}

}  // namespace

void OptionalContent::Load() {
  loaded_ = true;
  AppContext& context = resolver_.Context();
  ResolvedValue catalog(context), properties(context), config(context);
  resolver_.GetCatalog(catalog);
  ResolveInPlace(resolver_, catalog);
  if (!IsDictionary(catalog.Get())) return;
  GetResolved(resolver_, catalog, "OCProperties", properties);
  if (!IsDictionary(properties.Get())) return;
  GetResolved(resolver_, properties, "D", config);
  if (!IsDictionary(config.Get())) return;
  ResolvedValue base(context);
  GetResolved(resolver_, config, "BaseState", base);
  baseOff_ = NameIs(base.Get(), "OFF");
  ReadGroups(resolver_, config, "OFF", off_);
  if (baseOff_) ReadGroups(resolver_, config, "ON", on_);
  any_ = baseOff_ || off_.Size() > 0;
}

bool OptionalContent::GroupShown(const ObjectId& id) const {
  if (baseOff_) return Listed(on_, id);
  return !Listed(off_, id);
}

bool OptionalContent::AskCall(bool (*ask)(void*), void* argument) {
  if (loaded_ && !any_) return true;  // most documents: nothing can be hidden, nothing to read
  AppContext& context = resolver_.Context();
  TryFrame frame;
  volatile bool shown = true;
  if (VN_TRY(context, frame)) {
    if (!loaded_) Load();
    shown = !any_ || ask(argument);
  } else {
    const Error& error = Catch(frame);
    const bool damaged = error.domain == kRuntimeDomain &&
                         (error.code == kBadData || error.code == kUnsupported || error.code == kLimitExceeded);
    if (!damaged) Rethrow(context);
  }
  EndTry(frame);
  return shown;
}

bool OptionalContent::Shows(const ResolvedValue& owner) {
  return ShownUnlessHidden([&] {
    const Value& dictionary = owner.Get();
    if (!IsDictionary(dictionary)) return true;
    ResolvedValue membership(owner);
    membership.SetChild(DictionaryGet(resolver_.Context(), dictionary, "OC"));
    return IsNull(membership.Get()) || Evaluate(membership, 0) != kHidden;
  });
}

bool OptionalContent::Shows(const ObjectId& owner) {
  return ShownUnlessHidden([&] {
    ResolvedValue object(resolver_.Context());
    resolver_.GetIndirectObject(owner, object);
    return Shows(object);
  });
}

bool OptionalContent::ShowsLayer(const ResolvedValue& resources, const uint8_t* name, uint32_t length) {
  return ShownUnlessHidden([&] {
    ResolvedValue properties(resolver_.Context());
    GetResolved(resolver_, resources, "Properties", properties);
    if (!IsDictionary(properties.Get())) return true;
    ResolvedValue membership(properties);
    membership.SetChild(
        DictionaryGet(resolver_.Context(), properties.Get(), reinterpret_cast<const char*>(name), length));
    return Evaluate(membership, 0) != kHidden;
  });
}

int32_t OptionalContent::Evaluate(const ResolvedValue& value, int32_t depth) {
  if (depth > kMaxExpressionDepth) return kUnreadable;
  ResolvedValue resolved(value);
  ObjectId id{-1, 0};
  if (IsReference(value.Get())) {
    id = ReferenceOf(value.Get());
    ResolveInPlace(resolver_, resolved);
  }
  if (IsArray(resolved.Get())) return EvaluateExpression(resolved, depth);
  if (!IsDictionary(resolved.Get())) return kUnreadable;
  AppContext& context = resolver_.Context();
  ResolvedValue type(context);
  GetResolved(resolver_, resolved, "Type", type);
  // Membership dictionaries without their Type are common enough.
  const bool membership = NameIs(type.Get(), "OCMD") ||
                          (!NameIs(type.Get(), "OCG") && (!IsNull(DictionaryGet(context, resolved.Get(), "OCGs")) ||
                                                          !IsNull(DictionaryGet(context, resolved.Get(), "VE"))));
  if (membership) return EvaluatePolicy(resolved, depth);
  // A group: only one the configuration names by reference can be off.
  if (id.number < 0) return baseOff_ ? kHidden : kShown;
  return GroupShown(id) ? kShown : kHidden;
}

// [/And e1 e2 ...], [/Or e1 e2 ...] or [/Not e], each e a group or an
// expression.
int32_t OptionalContent::EvaluateExpression(const ResolvedValue& expression, int32_t depth) {
  const uint32_t count = ArrayLength(expression.Get());
  if (count < 2) return kUnreadable;
  const Value op = ArrayElement(expression.Get(), 0);
  const bool isAnd = NameIs(op, "And"), isOr = NameIs(op, "Or"), isNot = NameIs(op, "Not");
  if (!isAnd && !isOr && !(isNot && count == 2)) return kUnreadable;
  ResolvedValue operand(expression);
  bool all = true, any = false;
  for (uint32_t i = 1; i < count; ++i) {
    operand.SetChild(ArrayElement(expression.Get(), i));
    const int32_t shown = Evaluate(operand, depth + 1);
    if (shown == kUnreadable) return kUnreadable;
    all = all && shown == kShown;
    any = any || shown == kShown;
  }
  if (isNot) return all ? kHidden : kShown;
  return (isAnd ? all : any) ? kShown : kHidden;
}

// A membership dictionary: its expression ("VE") when it has one, else its
// groups ("OCGs", one or an array) under its policy ("P", AnyOn when absent).
int32_t OptionalContent::EvaluatePolicy(const ResolvedValue& membership, int32_t depth) {
  AppContext& context = resolver_.Context();
  ResolvedValue expression(membership);
  expression.SetChild(DictionaryGet(context, membership.Get(), "VE"));
  if (!IsNull(expression.Get())) {
    const int32_t shown = Evaluate(expression, depth + 1);
    if (shown != kUnreadable) return shown;
  }
  ResolvedValue policy(context);
  GetResolved(resolver_, membership, "P", policy);
  const bool wantOff = NameIs(policy.Get(), "AnyOff") || NameIs(policy.Get(), "AllOff");
  const bool wantAll = NameIs(policy.Get(), "AllOn") || NameIs(policy.Get(), "AllOff");
  ResolvedValue groups(membership);
  groups.SetChild(DictionaryGet(context, membership.Get(), "OCGs"));
  ResolvedValue list(groups);
  ResolveInPlace(resolver_, list);
  const bool single = !IsArray(list.Get());
  const uint32_t count = single ? 1 : ArrayLength(list.Get());
  ResolvedValue group(single ? groups : list);
  bool all = true, any = false, counted = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (!single) group.SetChild(ArrayElement(list.Get(), i));
    const int32_t shown = Evaluate(group, depth + 1);
    if (shown == kUnreadable) continue;  // a group that is not one is skipped
    const bool matches = (shown == kShown) != wantOff;
    all = all && matches;
    any = any || matches;
    counted = true;
  }
  if (!counted) return kShown;  // no usable group: the membership says nothing
  return (wantAll ? all : any) ? kShown : kHidden;
}

}  // namespace vn::pdf::document

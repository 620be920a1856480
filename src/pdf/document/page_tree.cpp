#include "pdf/document/page_tree.h"

#include <algorithm>

#include "runtime/engine_array.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::pdf::document {

namespace {

enum class KidKind { kOther, kNode, kLeaf };

// A kid is read by where it stands, as other viewers read it: a
// dictionary with "Kids" is a node, any other dictionary a page, whatever
// its "Type" says (a page typed wrongly, or not at all, is still a page).
// Only "Type /Page" makes a page of a dictionary with Kids. Kids that are
// not dictionaries (missing objects) are neither.
KidKind Classify(AppContext& context, const Value& kid) {
  if (!IsDictionary(kid)) return KidKind::kOther;
  if (NameIs(DictionaryGet(context, kid, "Type"), "Page")) return KidKind::kLeaf;
  return IsArray(DictionaryGet(context, kid, "Kids")) ? KidKind::kNode : KidKind::kLeaf;
}

int32_t RequiredCount(ObjectResolver& resolver, const ResolvedValue& node) {
  ResolvedValue count(resolver.Context());
  GetResolved(resolver, node, "Count", count);
  if (!IsInteger(count.Get()) || IntegerOf(count.Get()) < 0) RaiseBadData(resolver.Context());
  return IntegerOf(count.Get());
}

// `number` gets the object number of the root when "Pages" is a reference
// (-1 otherwise).
void GetPagesRoot(ObjectResolver& resolver, ResolvedValue& out, int32_t* number = nullptr) {
  ResolvedValue catalog(resolver.Context());
  resolver.GetCatalog(catalog);
  ResolveInPlace(resolver, catalog);
  GetResolved(resolver, catalog, "Pages", out);
  if (!IsDictionary(out.Get())) RaiseBadData(resolver.Context());
  if (number != nullptr) {
    const Value cell = DictionaryGet(resolver.Context(), catalog.Get(), "Pages");
    *number = IsReference(cell) ? ReferenceOf(cell).number : -1;
  }
}

// True when `number` is one of the first `count` of `numbers`.
bool Seen(const int32_t* numbers, uint32_t count, int32_t number) {
  for (uint32_t i = 0; i < count; ++i) {
    if (numbers[i] == number) return true;
  }
  return false;
}

}  // namespace

int32_t GetPageCount(ObjectResolver& resolver) {
  AppContext& context = resolver.Context();
  ResolvedValue dictionary(context);
  resolver.GetLinearizationDictionary(dictionary);
  ResolveInPlace(resolver, dictionary);
  ResolvedValue count(context);
  if (IsDictionary(dictionary.Get())) {
    GetResolved(resolver, dictionary, "N", count);
    if (!IsInteger(count.Get()) || IntegerOf(count.Get()) < 0) RaiseBadData(context);
    return IntegerOf(count.Get());
  }
  GetPagesRoot(resolver, dictionary);
  return RequiredCount(resolver, dictionary);
}

ObjectId GetPageReference(ObjectResolver& resolver, int32_t index) {
  AppContext& context = resolver.Context();
  if (index < 0) RaiseBadData(context);
  ResolvedValue node(context);
  // The object numbers of the nodes on the way down: a kid that is one of
  // them loops back, which ends the descent at once (before the depth bound,
  // so wide nodes are not scanned again on every level).
  EngineArray<int32_t> path(context);
  int32_t rootNumber = -1;
  GetPagesRoot(resolver, node, &rootNumber);
  if (rootNumber >= 0) path.Push(rootNumber);
  ResolvedValue kids(context);
  ResolvedValue kid(context);
  int32_t n = index;
  for (uint32_t depth = 0;; ++depth) {
    StackCheck(context);
    if (depth >= kMaxPageTreeDepth) RaiseBadData(context);
    GetResolved(resolver, node, "Kids", kids);
    if (!IsArray(kids.Get())) RaiseBadData(context);
    const uint32_t count = ArrayLength(kids.Get());
    bool descended = false;
    for (uint32_t i = 0; i < count && !descended; ++i) {
      AddWork(context, 1);
      const Value cell = ArrayElement(kids.Get(), i);
      kid = kids;
      kid.SetChild(cell);
      ResolveInPlace(resolver, kid);
      switch (Classify(context, kid.Get())) {
        case KidKind::kOther:
          break;
        case KidKind::kNode: {
          const int32_t c = RequiredCount(resolver, kid);
          if (n < c) {
            if (IsReference(cell)) {
              const int32_t number = ReferenceOf(cell).number;
              if (Seen(path.Data(), path.Size(), number)) RaiseBadData(context);
              path.Push(number);
            }
            node = kid;
            descended = true;
          } else {
            n -= c;
          }
          break;
        }
        case KidKind::kLeaf:
          if (n == 0) {
            if (!IsReference(cell)) RaiseBadData(context);
            return ReferenceOf(cell);
          }
          --n;
          break;
      }
    }
    if (!descended) RaiseBadData(context);
  }
}

int32_t GetPageIndex(ObjectResolver& resolver, const ObjectId& page) {
  AppContext& context = resolver.Context();
  ResolvedValue current(context);
  resolver.GetIndirectObject(page, current);
  ResolveInPlace(resolver, current);
  if (!IsDictionary(current.Get())) RaiseBadData(context);
  ResolvedValue parent(context);
  ResolvedValue kids(context);
  ResolvedValue kid(context);
  ObjectId located = page;
  int64_t index = 0;
  uint32_t budget = kInheritanceBudget;
  // The objects climbed through: a parent met again loops, which ends the
  // climb before the budget is spent scanning the same kids again.
  EngineArray<int32_t> climbed(context);
  climbed.Push(page.number);
  for (;;) {
    const Value parentCell = DictionaryGet(context, current.Get(), "Parent");
    parent = current;
    parent.SetChild(parentCell);
    ResolveInPlace(resolver, parent);
    if (!IsDictionary(parent.Get())) break;
    if (--budget == 0) RaiseBadData(context);
    if (IsReference(parentCell)) {
      const int32_t number = ReferenceOf(parentCell).number;
      if (Seen(climbed.Data(), climbed.Size(), number)) RaiseBadData(context);
      climbed.Push(number);
    }
    GetResolved(resolver, parent, "Kids", kids);
    if (!IsArray(kids.Get())) RaiseBadData(context);
    const uint32_t count = ArrayLength(kids.Get());
    bool found = false;
    for (uint32_t i = 0; i < count; ++i) {
      AddWork(context, 1);
      const Value cell = ArrayElement(kids.Get(), i);
      if (IsReference(cell) && ReferenceOf(cell).number == located.number) {
        found = true;
        break;
      }
      kid = kids;
      kid.SetChild(cell);
      ResolveInPlace(resolver, kid);
      // Counted as the lookup counts them, so the two walks agree.
      switch (Classify(context, kid.Get())) {
        case KidKind::kOther:
          break;
        case KidKind::kLeaf:
          index += 1;
          break;
        case KidKind::kNode: {
          const Value c = DictionaryGet(context, kid.Get(), "Count");
          index += IsNull(c) ? 1 : RequiredCount(resolver, kid);
          break;
        }
      }
      if (index > 0x7FFFFFFF) RaiseBadData(context);
    }
    if (!found) RaiseBadData(context);
    located = ReferenceOf(parentCell);  // {-1, -1} for a direct parent: no match above
    current = parent;
  }
  return static_cast<int32_t>(index);
}

void GetInheritedAttribute(ObjectResolver& resolver, const ResolvedValue& node, const char* key,
                           ResolvedValue& out) {
  AppContext& context = resolver.Context();
  ResolvedValue current(node);
  if (!IsDictionary(current.Get())) RaiseBadData(context);
  uint32_t budget = kInheritanceBudget;
  for (;;) {
    if (--budget == 0) RaiseBadData(context);
    const Value entry = DictionaryGet(context, current.Get(), key);
    if (!IsNull(entry)) {
      out = current;
      out.SetChild(entry);
      ResolveInPlace(resolver, out);
      if (!IsNull(out.Get())) return;
    }
    const Value parentCell = DictionaryGet(context, current.Get(), "Parent");
    current.SetChild(parentCell);
    ResolveInPlace(resolver, current);
    if (!IsDictionary(current.Get())) {
      out.Clear();
      return;
    }
  }
}

bool ReadRect(ObjectResolver& resolver, const ResolvedValue& array, FixedRect& out) {
  if (!IsArray(array.Get()) || ArrayLength(array.Get()) < 4) return false;
  Fixed16_16 v[4];
  ResolvedValue element(resolver.Context());
  for (uint32_t i = 0; i < 4; ++i) {
    element = array;
    element.SetChild(ArrayElement(array.Get(), i));
    ResolveInPlace(resolver, element);
    if (!IsNumber(element.Get())) return false;
    v[i] = NumberToFixed(element.Get());
  }
  out = FixedRect{std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]), std::max(v[1], v[3])};
  return true;
}

FixedRect RectFromArray(ObjectResolver& resolver, const ResolvedValue& array) {
  FixedRect rect;
  if (!ReadRect(resolver, array, rect)) RaiseBadData(resolver.Context());
  return rect;
}

FixedMatrix RotationMatrix(int32_t degrees) {
  switch (degrees) {
    case 90:
      return FixedMatrix{0, kFixedOne, -kFixedOne, 0, 0, 0};
    case 180:
      return FixedMatrix{-kFixedOne, 0, 0, -kFixedOne, 0, 0};
    case 270:
      return FixedMatrix{0, -kFixedOne, kFixedOne, 0, 0, 0};
    default:
      return IdentityMatrix();
  }
}

int32_t NormalizeRotation(int32_t rotate) {
  int32_t r = rotate % 360;
  if (r < 0) r += 360;
  return (r + 45) / 90 % 4 * 90;
}

// The unit sizes a page may ask for: a hundredth of a point to a thousand
// points (a 14,400-unit page is then five kilometres wide).
constexpr Fixed16_16 kMinUserUnit = kFixedOne / 100;
constexpr Fixed16_16 kMaxUserUnit = IntToFixed(1000);

PageGeometry GetPageGeometry(ObjectResolver& resolver, const ResolvedValue& page) {
  AppContext& context = resolver.Context();
  PageGeometry g;
  ResolvedValue box(context);
  GetInheritedAttribute(resolver, page, "MediaBox", box);
  // Missing, malformed or without area: US Letter, as other viewers show it.
  if (!ReadRect(resolver, box, g.mediaBox) || g.mediaBox.x0 == g.mediaBox.x1 || g.mediaBox.y0 == g.mediaBox.y1) {
    g.mediaBox = FixedRect{0, 0, IntToFixed(612), IntToFixed(792)};
  }
  g.visible = g.mediaBox;
  GetInheritedAttribute(resolver, page, "CropBox", box);
  FixedRect crop;
  if (ReadRect(resolver, box, crop)) {  // a malformed CropBox is no crop
    const FixedRect clipped{std::max(crop.x0, g.mediaBox.x0), std::max(crop.y0, g.mediaBox.y0),
                            std::min(crop.x1, g.mediaBox.x1), std::min(crop.y1, g.mediaBox.y1)};
    // A CropBox outside the MediaBox would leave nothing visible: keep the MediaBox.
    if (clipped.x0 < clipped.x1 && clipped.y0 < clipped.y1) g.visible = clipped;
  }
  GetInheritedAttribute(resolver, page, "Rotate", box);
  // A Rotate that is no whole number is none.
  int32_t rotate = 0;
  if (IsInteger(box.Get())) {
    rotate = IntegerOf(box.Get());
  } else if (IsNumber(box.Get()) && (NumberToFixed(box.Get()) & 0xFFFF) == 0) {
    rotate = NumberToFixed(box.Get()) >> 16;
  }
  g.rotation = NormalizeRotation(rotate);
  // Large drawings give their user space a unit of several points; a value
  // that is no positive number, or one past what a page can hold, is none.
  GetResolved(resolver, page, "UserUnit", box);
  if (IsNumber(box.Get())) {
    const Fixed16_16 unit = NumberToFixed(box.Get());
    if (unit >= kMinUserUnit && unit <= kMaxUserUnit) g.userUnit = unit;
  }
  // The page is shown turned by "Rotate" clockwise: a rotation by minus it.
  g.upright = RotationMatrix((360 - g.rotation) % 360);
  const FixedRect turned = TransformRect(g.upright, g.visible);
  g.upright.tx = FixedSaturate(-static_cast<int64_t>(turned.x0));
  g.upright.ty = FixedSaturate(-static_cast<int64_t>(turned.y0));
  return g;
}

void LookupResource(ObjectResolver& resolver, const ResolvedValue& resources, const char* category,
                    const uint8_t* name, uint32_t nameLength, ResolvedValue& out, ObjectId* id) {
  AppContext& context = resolver.Context();
  if (!IsDictionary(resources.Get())) RaiseBadData(context);
  ResolvedValue group(context);
  GetResolved(resolver, resources, category, group);
  if (!IsDictionary(group.Get())) RaiseBadData(context);
  const Value entry =
      DictionaryGet(context, group.Get(), reinterpret_cast<const char*>(name), nameLength);
  if (IsNull(entry)) RaiseBadData(context);
  if (id != nullptr) *id = ReferenceOf(entry);
  out = group;
  out.SetChild(entry);
  ResolveInPlace(resolver, out);
  if (IsNull(out.Get())) RaiseBadData(context);
}

}  // namespace vn::pdf::document

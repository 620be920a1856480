// The page tree: page count, page lookup by index and back, inherited page
// attributes, page geometry, the content streams of a page and resources.
//
// Pages are numbered from 0. Every walk is bounded: the descent by depth,
// the "Parent" climbs by a budget of dictionaries, so a tree that loops
// raises kBadData instead of hanging.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "pdf/document/object_resolver.h"
#include "runtime/fixed_matrix.h"

namespace vn::pdf::document {

// Levels the page lookup descends before giving up with kBadData.
inline constexpr uint32_t kMaxPageTreeDepth = 256;
// Dictionaries a "Parent" climb may spend; the visit that would spend the
// last one raises kBadData, so at most 999 are examined.
inline constexpr uint32_t kInheritanceBudget = 1000;

// "N" of the linearization dictionary when there is one, otherwise "Count"
// of the catalog's "Pages". Raises kBadData when it is not a non-negative
// integer.
int32_t GetPageCount(ObjectResolver& resolver);

// The reference of page `index`. Raises kBadData when the index is out of
// range or the tree is malformed, kStackExhausted when the stack runs low.
ObjectId GetPageReference(ObjectResolver& resolver, int32_t index);

// The index of the page object `page`: the climb through "Parent" links.
int32_t GetPageIndex(ObjectResolver& resolver, const ObjectId& page);

// The first value of `key` on `node` or its ancestors (resolved), or null.
void GetInheritedAttribute(ObjectResolver& resolver, const ResolvedValue& node, const char* key,
                           ResolvedValue& out);

// A rectangle from an array of at least four numbers, normalised so that
// x0 <= x1 and y0 <= y1. Raises kBadData otherwise.
FixedRect RectFromArray(ObjectResolver& resolver, const ResolvedValue& array);
// The same, false instead of a raise for anything else.
bool ReadRect(ObjectResolver& resolver, const ResolvedValue& array, FixedRect& out);

// The exact matrix of a rotation by `degrees` (0, 90, 180 or 270)
// counter-clockwise, without translation.
FixedMatrix RotationMatrix(int32_t degrees);
// "Rotate" reduced into [0, 360) and, when it is not a multiple of 90, to
// the nearest one (a page can only be shown upright or turned by quarters).
int32_t NormalizeRotation(int32_t rotate);

struct PageGeometry {
  FixedRect mediaBox;   // normalised; 612 x 792 when absent, malformed or of zero area
  FixedRect visible;    // the CropBox clipped to the MediaBox, in default user space
  int32_t rotation;     // the page's "Rotate", in [0, 360)
  FixedMatrix upright;  // turns the visible area upright, its corner at the origin
  Fixed16_16 userUnit = kFixedOne;  // points per user-space unit ("UserUnit")
};

PageGeometry GetPageGeometry(ObjectResolver& resolver, const ResolvedValue& page);

// resources[category][name], e.g. ("Font", "F1"). Raises kBadData when the
// resource dictionary is missing, or the entry is missing or null. `id` gets
// the entry's reference when it is one (the object number is -1 otherwise).
void LookupResource(ObjectResolver& resolver, const ResolvedValue& resources, const char* category,
                    const uint8_t* name, uint32_t nameLength, ResolvedValue& out, ObjectId* id);

}  // namespace vn::pdf::document

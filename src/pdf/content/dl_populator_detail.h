// Helpers shared by the display-list populator's source files.
#pragma once

#include <new>

#include "pdf/content/dl_populator.h"
#include "pdf/document/page_tree.h"
#include "runtime/error.h"

namespace vn::pdf::content::populator_detail {

constexpr uint32_t kAnyState = kPageLevel | kInPath | kClipPending | kInText;
constexpr int32_t kNoClip = 2;

template <class T, class... Args>
T* PoolNew(Arena& pool, Args&&... args) {
  return ::new (pool.Allocate(static_cast<uint32_t>(sizeof(T)))) T(static_cast<Args&&>(args)...);
}

inline Fixed16_16 NumberOf(AppContext& context, const store::Value& v) {
  if (!v.IsNumber() && v.type != store::kIntegerOutOfRange) RaiseBadData(context);
  return document::NumberToFixed(v);
}

inline uint8_t IntentCode(const store::Value& name) {
  if (name.NameIs("Perceptual")) return 0;
  if (name.NameIs("Saturation")) return 2;
  if (name.NameIs("AbsoluteColorimetric")) return 3;
  return 1;
}

}  // namespace vn::pdf::content::populator_detail

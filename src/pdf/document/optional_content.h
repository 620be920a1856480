// Optional content: parts of a document (layers of a map or a drawing,
// alternative languages, print-only marks) that the document's default
// configuration shows or hides. Content that names a hidden group is not
// drawn.
//
// The default configuration (the catalog's "OCProperties" "D") is read on
// the first question: its base state and the groups it turns on or off.
// Content names either a group, shown when the configuration leaves it on,
// or a membership dictionary: its groups combined by its policy (AnyOn,
// AllOn, AnyOff, AllOff), or by its visibility expression when it has one.
// Whatever cannot be read (a damaged configuration, a group that is no
// dictionary, an expression too deep) is shown, as other viewers show it:
// hiding content by mistake loses more than showing it.
#pragma once

#include <cstdint>

#include "pdf/document/object_resolver.h"
#include "runtime/engine_array.h"

namespace vn::pdf::document {

class OptionalContent {
 public:
  OptionalContent(AppContext& context, ObjectResolver& resolver)
      : resolver_(resolver), off_(context), on_(context) {}
  OptionalContent(const OptionalContent&) = delete;
  OptionalContent& operator=(const OptionalContent&) = delete;

  // Whether the content of `owner` (a form or image XObject, an annotation:
  // any dictionary with an "OC" entry) is shown.
  bool Shows(const ResolvedValue& owner);
  bool Shows(const ObjectId& owner);
  // Whether a marked-content sequence in the layer `name` of the
  // "Properties" of `resources` is shown.
  bool ShowsLayer(const ResolvedValue& resources, const uint8_t* name, uint32_t length);

 private:
  // Runs `ask()`; an error reading the objects leaves the content shown.
  template <class Ask>
  bool ShownUnlessHidden(Ask&& ask) {
    return AskCall(+[](void* a) { return (*static_cast<Ask*>(a))(); }, &ask);
  }
  bool AskCall(bool (*ask)(void*), void* argument);
  void Load();
  bool GroupShown(const ObjectId& id) const;
  // `value` (a group, a membership dictionary or an expression; resolved or
  // a reference): 1 shown, 0 hidden, -1 unreadable.
  int32_t Evaluate(const ResolvedValue& value, int32_t depth);
  int32_t EvaluateExpression(const ResolvedValue& expression, int32_t depth);
  int32_t EvaluatePolicy(const ResolvedValue& membership, int32_t depth);

  ObjectResolver& resolver_;
  bool loaded_ = false;
  bool any_ = false;        // whether any group can be hidden at all
  bool baseOff_ = false;    // "BaseState /OFF": groups are off unless listed as on
  EngineArray<ObjectId> off_, on_;
};

}  // namespace vn::pdf::document

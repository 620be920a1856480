// RestoreOnExit: a value put back when the scope ends or an error unwinds
// past it (a temporary change of the consumer's state).
#pragma once

#include "runtime/unwindable.h"

namespace vn::pdf::render {

template <class T>
class RestoreOnExit : public Unwindable {
 public:
  RestoreOnExit(AppContext& context, T& value) : value_(value), saved_(value) {
    RegisterUnwindable(context, this, &UnwindByReset<RestoreOnExit>);
  }
  ~RestoreOnExit() { Reset(); }
  RestoreOnExit(const RestoreOnExit&) = delete;
  RestoreOnExit& operator=(const RestoreOnExit&) = delete;
  void Reset() {
    UnregisterUnwindable(this);
    value_ = saved_;
  }

 private:
  T& value_;
  T saved_;
};

}  // namespace vn::pdf::render

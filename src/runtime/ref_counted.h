// Reference-counted engine objects (cache values, shared records). The count
// starts at 0; the creator takes the first reference. Dropping the last one
// destroys the object and gives its storage back to the engine allocator.
#pragma once

#include <cstdint>

namespace vn {

class AppContext;

class RefCounted {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  void AddRef() { ++refCount_; }
  void Release(AppContext& context);
  bool IsUnique() const { return refCount_ == 1; }
  uint32_t RefCount() const { return refCount_; }

 protected:
  virtual ~RefCounted() = default;

 private:
  uint32_t refCount_ = 0;
};

}  // namespace vn

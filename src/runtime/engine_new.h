// Building and destroying engine objects in engine-allocated memory.
//
// New<T> allocates through the budget and constructs T. If the constructor
// raises, the built part is unwound and the storage freed. Once T is built,
// every unwind registration made during construction is folded away: the
// object is then owned by whoever holds the pointer (a holder below, a
// cache, or another object), never by the thread's unwind list.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "runtime/memory_budget.h"
#include "runtime/unwindable.h"

namespace vn {

namespace engine_new_detail {

// Frees the storage of an object whose constructor raised.
class StorageGuard : public Unwindable {
 public:
  StorageGuard(AppContext& context, void* storage) : context_(context), storage_(storage) {
    RegisterUnwindable(context, this, &StorageGuard::Unwind);
  }
  void Dismiss() { UnregisterUnwindable(this); }

 private:
  static void Unwind(Unwindable* record) {
    auto* guard = static_cast<StorageGuard*>(record);
    UnregisterUnwindable(guard);
    Free(guard->context_, guard->storage_);
  }
  AppContext& context_;
  void* storage_;
};

}  // namespace engine_new_detail

template <class T, class... Args>
T* New(AppContext& context, Args&&... args) {
  void* storage = Allocate(context, static_cast<uint32_t>(sizeof(T)));
  engine_new_detail::StorageGuard guard(context, storage);
  Unwindable* head = UnwindHead(context);
  T* object = ::new (storage) T(std::forward<Args>(args)...);
  DetachDownTo(context, head);
  guard.Dismiss();
  return object;
}

// Destroys an object made by New (through a base pointer when the destructor
// is virtual) and frees its storage. Null is ignored.
template <class T>
void Delete(AppContext& context, T* object) {
  if (object == nullptr) return;
  object->~T();
  Free(context, object);
}

// Owns a New-built object in a local scope: destroyed on scope exit or when
// an error unwinds past it.
template <class T>
class Owned : public Unwindable {
 public:
  Owned(AppContext& context, T* object = nullptr) : context_(context), object_(object) {
    RegisterUnwindable(context, this, &UnwindByReset<Owned>);
  }
  ~Owned() { Reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Replaces the owned object (destroying the old one). Setting the object
  // already held changes nothing: it must not delete what it keeps.
  void Set(T* object) {
    if (object == object_) return;
    T* old = object_;
    object_ = object;
    Delete(context_, old);
  }
  // The held object was taken over by `stage`, a stage built over it, or
  // `stage` is the object itself when no stage was needed: holds `stage`
  // from now on and deletes nothing (see the stream-stage rule in
  // docs/design.md).
  void Wrap(T* stage) { object_ = stage; }
  // Gives the object up to another owner.
  T* Release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  void Reset() {
    UnregisterUnwindable(this);
    T* object = object_;
    object_ = nullptr;
    Delete(context_, object);
  }

 private:
  AppContext& context_;
  T* object_;
};

// A counted reference to a RefCounted object in a local scope or a member.
template <class T>
class Ref : public Unwindable {
 public:
  explicit Ref(AppContext& context, T* object = nullptr) : context_(&context), object_(object) {
    if (object_ != nullptr) object_->AddRef();
    RegisterUnwindable(context, this, &UnwindByReset<Ref>);
  }
  Ref(const Ref& other) : Ref(*other.context_, other.object_) {}
  Ref& operator=(const Ref& other) {
    Set(other.object_);
    return *this;
  }
  ~Ref() { Reset(); }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void Set(T* object) {
    if (object != nullptr) object->AddRef();
    T* old = object_;
    object_ = object;
    if (old != nullptr) old->Release(*context_);
  }
  void Reset() {
    UnregisterUnwindable(this);
    Set(nullptr);
  }

 private:
  AppContext* context_;
  T* object_;
};

// A local object that contains other Unwindables: constructed in place, its
// construction-time registrations folded into this one record, so a raise
// destroys it once, as a whole.
template <class T>
class Scoped : public Unwindable {
 public:
  template <class... Args>
  explicit Scoped(AppContext& context, Args&&... args) {
    Unwindable* head = UnwindHead(context);
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    DetachDownTo(context, head);
    alive_ = true;
    RegisterUnwindable(context, this, &UnwindByReset<Scoped>);
  }
  ~Scoped() { Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() { return get(); }
  T& operator*() { return *get(); }

  void Reset() {
    UnregisterUnwindable(this);
    if (alive_) {
      alive_ = false;
      get()->~T();
    }
  }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
  bool alive_ = false;
};

}  // namespace vn

// Intrusive doubly linked lists whose elements live in engine memory: the
// viewer's action queue, document listeners, main-thread tasks and bookmark
// elements use them.
#pragma once

#include <utility>

#include "runtime/engine_new.h"

namespace vn {

class AppContext;

template <class T>
class HeapAllocator {
 public:
  explicit HeapAllocator(AppContext& context) : context_(&context) {}
  template <class U, class... Args>
  U* New(Args&&... args) const {
    return vn::New<U>(*context_, std::forward<Args>(args)...);
  }
  template <class U>
  void Delete(U* object) const {
    vn::Delete(*context_, object);
  }
  AppContext& Context() const { return *context_; }

 private:
  AppContext* context_;
};

// An element unlinks itself when it is destroyed.
template <class X>
class LinkedListElement {
 public:
  LinkedListElement() = default;
  LinkedListElement(const LinkedListElement&) = delete;
  LinkedListElement& operator=(const LinkedListElement&) = delete;
  virtual ~LinkedListElement() { Unlink(); }

  X* NextElement() const { return next_; }
  X* PreviousElement() const { return prev_; }
  bool IsLinked() const { return link_ != nullptr; }

  void Unlink() {
    if (link_ == nullptr) return;
    if (prev_ != nullptr) prev_->next_ = next_;
    else *link_ = next_;
    if (next_ != nullptr) next_->prev_ = prev_;
    else *tailLink_ = prev_;
    prev_ = next_ = nullptr;
    link_ = nullptr;
    tailLink_ = nullptr;
  }

 private:
  template <class, class>
  friend class DoublyLinkedList;
  X* prev_ = nullptr;
  X* next_ = nullptr;
  X** link_ = nullptr;      // the list's head pointer
  X** tailLink_ = nullptr;  // the list's tail pointer
};

template <class Allocator, class X>
class DoublyLinkedList {
 public:
  explicit DoublyLinkedList(const Allocator& allocator) : allocator_(allocator) {}
  ~DoublyLinkedList() { Clear(); }
  DoublyLinkedList(const DoublyLinkedList&) = delete;
  DoublyLinkedList& operator=(const DoublyLinkedList&) = delete;

  X* First() const { return head_; }
  X* Last() const { return tail_; }
  bool Empty() const { return head_ == nullptr; }

  // Builds an element in engine memory and appends it.
  template <class U = X, class... Args>
  U* EmplaceBack(Args&&... args) {
    U* element = allocator_.template New<U>(std::forward<Args>(args)...);
    Append(element);
    return element;
  }
  // Links an element built elsewhere at the end.
  void Append(X* element) {
    element->Unlink();
    element->prev_ = tail_;
    element->next_ = nullptr;
    if (tail_ != nullptr) tail_->next_ = element;
    else head_ = element;
    tail_ = element;
    element->link_ = &head_;
    element->tailLink_ = &tail_;
  }
  // Unlinks and destroys an element.
  void Erase(X* element) { allocator_.Delete(element); }
  void Clear() {
    while (head_ != nullptr) Erase(head_);
  }

 private:
  Allocator allocator_;
  X* head_ = nullptr;
  X* tail_ = nullptr;
};

}  // namespace vn

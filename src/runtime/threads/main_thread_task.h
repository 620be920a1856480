// Main-thread tasks: work an engine thread hands to the main thread, the only
// thread that may call into the windowing system. The posting thread blocks
// until the main thread (inside RunScheduler) has run the task.
//
// A task is any object with `int32_t Run(AppContext&)`; PostMainThreadTask
// wraps it in a reference-counted helper on the scheduler's queue. The
// helper is unlinked from the queue when the posting thread gives it up, so
// a poster killed while waiting leaves no task behind that would run on a
// freed task object. An error the task raises on the main thread is raised
// again on the posting thread.
#pragma once

#include <cstdint>

#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "runtime/linked_list.h"
#include "runtime/ref_counted.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/thread_event.h"

namespace vn {

// RefCounted must stay the first base: Release frees the object through it.
class MainThreadTaskHelper : public RefCounted, public LinkedListElement<MainThreadTaskHelper> {
 public:
  explicit MainThreadTaskHelper(AppContext& context) : done_(context, false, false) {}
  ~MainThreadTaskHelper() override = default;

  virtual int32_t Run(AppContext& context) = 0;

  ThreadEvent& Done() { return done_; }
  int32_t result = 0;
  bool raised = false;
  Error error = Error{nullptr, 0, false};

 private:
  ThreadEvent done_;  // auto-reset
};

template <class Task>
class MainThreadTaskHelperImpl final : public MainThreadTaskHelper {
 public:
  MainThreadTaskHelperImpl(AppContext& context, Task* task) : MainThreadTaskHelper(context), task_(task) {}
  int32_t Run(AppContext& context) override { return task_->Run(context); }

 private:
  Task* task_;
};

// Runs the task on the main thread and returns its result (directly when
// the main thread is current or the context has no scheduler).
template <class Task>
int32_t PostMainThreadTask(AppContext& context, Task& task) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr) return task.Run(context);
  Ref<MainThreadTaskHelper> helper(context, New<MainThreadTaskHelperImpl<Task>>(context, context, &task));
  return scheduler->PostMainThreadTask(*helper);
}

// The three task kinds. Their host sides belong to the shell.

// Asks for a document password (the shell shows its password dialog).
class PasswordHost {
 public:
  virtual ~PasswordHost() = default;
  // Fills `password` (at most `capacity` bytes, `*length` set); returns 0
  // when the user cancelled.
  virtual int32_t AskPassword(char* password, uint32_t capacity, uint32_t* length) = 0;
};

struct PasswordDialogTask {
  PasswordHost* host = nullptr;
  char* password = nullptr;
  uint32_t capacity = 0;
  uint32_t length = 0;
  uint8_t cancelled = 0;

  int32_t Run(AppContext&) {
    length = 0;
    int32_t result = host->AskPassword(password, capacity, &length);
    cancelled = result == 0 ? 1 : 0;
    return result;
  }
};

// Completes the shell's side of opening a document.
class OpenDocumentHost {
 public:
  virtual ~OpenDocumentHost() = default;
  virtual int32_t CompleteOpen(void* document) = 0;
};

struct OpenDocumentTask {
  OpenDocumentHost* host = nullptr;
  void* document = nullptr;

  int32_t Run(AppContext&) { return host->CompleteOpen(document); }
};

// Shows a message box; the host may prepare itself first and restore itself
// afterwards (leaving full-screen mode, for instance).
class MessageBoxHost {
 public:
  virtual ~MessageBoxHost() = default;
  virtual void PrepareForMessageBox() {}
  virtual int32_t ShowMessageBox(const wchar_t* text, const wchar_t* caption, uint32_t style) = 0;
  virtual void RestoreAfterMessageBox() {}
};

struct MessageBoxTask {
  MessageBoxHost* host = nullptr;
  const wchar_t* text = nullptr;
  const wchar_t* caption = nullptr;
  uint32_t style = 0;
  uint8_t prepareHost = 0;  // prepare before and restore after
  int32_t result = 0;

  int32_t Run(AppContext&) {
    if (prepareHost != 0) host->PrepareForMessageBox();
    result = host->ShowMessageBox(text, caption, style);
    if (prepareHost != 0) host->RestoreAfterMessageBox();
    return result;
  }
};

}  // namespace vn

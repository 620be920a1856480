// The application context: what every engine operation receives first. It
// owns the memory budget and the cache manager, and reaches the current
// engine thread's error state, the scheduler and the host services.
#pragma once

#include "runtime/cache_manager.h"
#include "runtime/error.h"
#include "runtime/memory_budget.h"

namespace vn {

class ThreadScheduler;
class ThreadImpl;
class Arena;

// What the engine asks of the application that hosts it.
class HostServices {
 public:
  virtual ~HostServices() = default;
  // Called when engine threads became runnable while none were.
  virtual void NotifyThreadsRunnable() {}

  // 1 exactly while engine threads other than the main thread are runnable.
  unsigned char threadsRunnable = 0;
};

class AppContext {
 public:
  explicit AppContext(const BudgetLimits& limits = BudgetLimits());
  ~AppContext();
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  MemoryBudget& Budget() { return budget_; }
  CacheManager& Caches() { return caches_; }

  // The error state of the engine thread that runs now.
  ErrorState& Errors() { return *errors_; }
  void SetCurrentErrors(ErrorState* errors) { errors_ = errors; }

  ThreadScheduler* Scheduler() { return scheduler_; }
  void SetScheduler(ThreadScheduler* scheduler) { scheduler_ = scheduler; }

  HostServices& Host() { return *host_; }
  void SetHost(HostServices* host) { host_ = host != nullptr ? host : &defaultHost_; }

 private:
  CacheManager caches_;
  MemoryBudget budget_;
  ErrorState mainErrors_;
  ErrorState* errors_;
  ThreadScheduler* scheduler_ = nullptr;
  HostServices defaultHost_;
  HostServices* host_;
};

}  // namespace vn

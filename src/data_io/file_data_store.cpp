#include "data_io/file_data_store.h"

#include <cwchar>

#include "platform/clock.h"
#include "platform/files.h"
#include "runtime/engine_new.h"
#include "runtime/yield_points.h"

namespace vn::data_io {

namespace {

struct OpenCall {
  const wchar_t* path;
  platform::File* file;
  uint64_t length;
  bool ok;
};

void OpenOnMain(void* argument) {
  auto* call = static_cast<OpenCall*>(argument);
  call->file = platform::OpenForReading(call->path);
  call->ok = call->file != nullptr && platform::QueryFileLength(call->path, &call->length);
}

struct ReopenCall {
  const wchar_t* path;
  platform::File* file;  // in: the open file; out: the usable one or null
};

// Checks the open file with a zero-distance seek and reopens it when that
// fails (a removable card may have been taken out and put back).
void CheckOnMain(void* argument) {
  auto* call = static_cast<ReopenCall*>(argument);
  if (call->file != nullptr && platform::SeekRelative(call->file, 0)) return;
  platform::Close(call->file);
  call->file = platform::OpenForReading(call->path);
}

struct ReadCall {
  platform::File* file;
  uint64_t position;
  FilePage* page;
  bool ok;
};

void ReadOnMain(void* argument) {
  auto* call = static_cast<ReadCall*>(argument);
  call->ok = false;
  if (!platform::Seek(call->file, call->position)) return;
  int64_t got = platform::Read(call->file, call->page->bytes, FilePage::kSize);
  if (got < 0) return;
  call->page->valid = static_cast<uint32_t>(got);
  call->ok = true;
}

void CloseOnMain(void* argument) { platform::Close(static_cast<platform::File*>(argument)); }

}  // namespace

FileDataStore::FileDataStore(AppContext& context, const wchar_t* path) : context_(context), pages_(context) {
  RegisterUnwindable(context, this, &UnwindByReset<FileDataStore>);
  size_t count = std::wcslen(path);
  if (count >= 0x10000) RaiseOverflow(context);
  uint32_t bytes = static_cast<uint32_t>((count + 1) * sizeof(wchar_t));
  path_ = static_cast<wchar_t*>(Allocate(context, bytes));
  std::wmemcpy(path_, path, count + 1);
  OpenCall call{path_, nullptr, 0, false};
  RunOnMainStack(context, &OpenOnMain, &call);
  file_ = call.file;
  if (!call.ok) RaiseOverflow(context);
  length_ = call.length;
}

void FileDataStore::Reset() {
  UnregisterUnwindable(this);
  pages_.Clear();
  if (file_ != nullptr) {
    platform::File* file = file_;
    file_ = nullptr;
    RunOnMainStack(context_, &CloseOnMain, file);
  }
  Free(context_, path_);
  path_ = nullptr;
}

void FileDataStore::EnsureOpen() {
  ReopenCall call{path_, file_};
  RunOnMainStack(context_, &CheckOnMain, &call);
  file_ = call.file;
  if (file_ == nullptr) RaiseOverflow(context_);
}

FilePage* FileDataStore::ReadPage(uint64_t pageStart, uint64_t* duration) {
  Ref<FilePage> page(context_, New<FilePage>(context_));
  ReadCall call{file_, pageStart, page.get(), false};
  uint64_t before = platform::QueryCounter();
  RunOnMainStack(context_, &ReadOnMain, &call);
  uint64_t after = platform::QueryCounter();
  if (!call.ok) RaiseOverflow(context_);
  ++pageReads_;
  *duration = after - before;
  FilePage* result = page.get();
  result->AddRef();  // handed to the caller
  return result;
}

void FileDataStore::GetBlock(DataBlockRef& out, uint64_t position) {
  if (position >= kMaxPosition || path_ == nullptr) {
    out.Clear();
    return;
  }
  EnsureOpen();
  FilePageKey key{this, position & ~static_cast<uint64_t>(FilePage::kSize - 1)};
  auto* page = static_cast<FilePage*>(pages_.Find(key));
  Ref<FilePage> held(context_, page);
  if (page == nullptr) {
    uint64_t duration = 0;
    FilePage* fresh = ReadPage(key.pageStart, &duration);
    held.Set(fresh);
    fresh->Release(context_);  // `held` keeps it
    // The read may have let another engine thread fill the same page.
    if (auto* existing = static_cast<FilePage*>(pages_.Find(key))) {
      held.Set(existing);
    } else {
      pages_.Insert(key, fresh, duration, FilePage::kAccountedSize);
    }
  }
  out.Set(New<FileDataBlock>(context_, context_, held.get(), static_cast<uint32_t>(position - key.pageStart)));
  held.Reset();
  YieldPoint(context_);
}

}  // namespace vn::data_io

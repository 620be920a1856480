// Many engine threads, each reading a different corpus file in 4096-byte
// pieces through calls on the main stack and doing yield-heavy work on the
// bytes, killed at random yield points, in repeated rounds. Afterwards the
// engine's bytes in use are back where they started, every stack slot is
// free, every file is closed, and each thread that was not killed produced
// the checksum computed directly from the file.
//
// The work done on the bytes is a Job: the checksum job here; a job that
// parses the file's objects joins the same harness.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/files.h"
#include "runtime/arena.h"
#include "runtime/threads/thread_test_support.h"
#include "runtime/yield_points.h"
#include "support/corpus.h"

namespace vn {
namespace {

int openFiles = 0;

struct FileCall {
  const wchar_t* path = nullptr;
  platform::File* file = nullptr;
  void* buffer = nullptr;
  size_t bytes = 0;
  int64_t got = 0;
};

void OpenOnMain(void* argument) {
  auto* call = static_cast<FileCall*>(argument);
  call->file = platform::OpenForReading(call->path);
  if (call->file != nullptr) ++openFiles;
}
void ReadOnMain(void* argument) {
  auto* call = static_cast<FileCall*>(argument);
  call->got = platform::Read(call->file, call->buffer, call->bytes);
}
void CloseOnMain(void* argument) {
  auto* call = static_cast<FileCall*>(argument);
  platform::Close(call->file);
  --openFiles;
}

// An open file owned by an engine thread: closed (on the main stack) when
// the scope ends or an error unwinds past it.
class OpenFile : public Unwindable {
 public:
  OpenFile(AppContext& context, const wchar_t* path) : context_(context) {
    RegisterUnwindable(context, this, &UnwindByReset<OpenFile>);
    FileCall call;
    call.path = path;
    RunOnMainStack(context, &OpenOnMain, &call);
    if (call.file == nullptr) RaiseOverflow(context);  // a failed file call
    file_ = call.file;
  }
  ~OpenFile() { Reset(); }
  int64_t Read(void* buffer, size_t bytes) {
    FileCall call;
    call.file = file_;
    call.buffer = buffer;
    call.bytes = bytes;
    RunOnMainStack(context_, &ReadOnMain, &call);
    if (call.got < 0) RaiseOverflow(context_);
    return call.got;
  }
  void Reset() {
    UnregisterUnwindable(this);
    if (file_ == nullptr) return;
    FileCall call;
    call.file = file_;
    file_ = nullptr;
    RunOnMainStack(context_, &CloseOnMain, &call);
  }

 private:
  AppContext& context_;
  platform::File* file_ = nullptr;
};

// Adler-32 with a yield every 256 bytes and work units for every byte.
struct ChecksumJob {
  uint32_t a = 1;
  uint32_t b = 0;
  void Consume(AppContext& context, const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      a = (a + bytes[i]) % 65521u;
      b = (b + a) % 65521u;
      if ((i & 255) == 255) YieldPoint(context);
    }
    AddWork(context, static_cast<uint32_t>(count) * 64);
  }
  uint32_t Result() const { return (b << 16) | a; }
  static uint32_t Direct(const std::vector<unsigned char>& bytes) {
    uint32_t a = 1, b = 0;
    for (unsigned char c : bytes) {
      a = (a + c) % 65521u;
      b = (b + a) % 65521u;
    }
    return (b << 16) | a;
  }
};

template <class Job>
class CorpusWorker final : public ThreadImpl {
 public:
  CorpusWorker(AppContext& context, const std::wstring& path)
      : ThreadImpl(context, 1024, 256, kMaxStackRequest), path_(path) {}
  void Run() override {
    AppContext& context = Context();
    OpenFile file(context, path_.c_str());
    Arena& scratch = ScratchArena(context);
    ArenaScope scope(context, scratch);
    auto* piece = static_cast<unsigned char*>(scratch.Allocate(4096));
    for (;;) {
      int64_t got = file.Read(piece, 4096);
      if (got <= 0) break;
      job.Consume(context, piece, static_cast<size_t>(got));
    }
    finished = true;
  }
  Job job;
  bool finished = false;

 protected:
  ~CorpusWorker() override = default;

 private:
  std::wstring path_;
};

struct Sample {
  std::string path;
  std::wstring widePath;
  uint32_t expected;
};

std::vector<Sample> PickFiles(size_t count, size_t maxBytes) {
  std::vector<Sample> samples;
  for (const test::CorpusFile& file : test::CorpusFiles()) {
    if (samples.size() == count) break;
    if (file.bytes <= 0 || static_cast<size_t>(file.bytes) > maxBytes) continue;
    if (!std::all_of(file.path.begin(), file.path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      continue;
    Sample sample;
    sample.path = file.path;
    sample.widePath.assign(file.path.begin(), file.path.end());
    sample.expected = ChecksumJob::Direct(test::ReadWholeFile(file.path));
    samples.push_back(sample);
  }
  return samples;
}

class CorpusStressTest : public test::ThreadsTest {};

TEST_F(CorpusStressTest, ThreadsKilledAtRandomYieldPointsLeaveNothingBehind) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
#if defined(__SANITIZE_ADDRESS__)
  const size_t maxBytes = 600000;
#else
  const size_t maxBytes = 3000000;
#endif
  std::vector<Sample> samples = PickFiles(48, maxBytes);
  ASSERT_GE(samples.size(), 16u);
  StackPool::Shared().SetPainting(true);

  int completed = 0;
  int killed = 0;
  uint32_t deepestStack = 0;
  for (uint32_t round = 0; round < 4; ++round) {
    std::mt19937 random(1234 + round);
    std::vector<CorpusWorker<ChecksumJob>*> workers;
    std::vector<size_t> fileOf;
    size_t next = 0;
    while (next < samples.size() || S().LiveThreads() > 0) {
      // Keep the pool full.
      while (next < samples.size() && StackPool::Shared().FreeSlots() > 0) {
        auto* worker = New<CorpusWorker<ChecksumJob>>(context, context, samples[next].widePath);
        worker->AddRef();
        S().Start(worker);
        workers.push_back(worker);
        fileOf.push_back(next);
        ++next;
      }
      // A few rounds of the ring, then perhaps a kill of a random live worker.
      int rounds = 1 + static_cast<int>(random() % 40);
      for (int i = 0; i < rounds && S().RingSize() > 1; ++i) S().Yield();
      if (random() % 3 == 0) {
        std::vector<CorpusWorker<ChecksumJob>*> live;
        for (auto* worker : workers) {
          if (!worker->HasEnded()) live.push_back(worker);
        }
        if (!live.empty()) S().Kill(live[random() % live.size()]);
      }
      S().ReapEnded();
    }
    for (size_t i = 0; i < workers.size(); ++i) {
      CorpusWorker<ChecksumJob>* worker = workers[i];
      EXPECT_TRUE(worker->HasEnded());
      if (worker->finished) {
        ++completed;
        EXPECT_FALSE(worker->EndedByError());
        EXPECT_EQ(worker->job.Result(), samples[fileOf[i]].expected) << samples[fileOf[i]].path;
      } else {
        ++killed;
        EXPECT_EQ(worker->EndError().code, kCancelled);
      }
      deepestStack = std::max(deepestStack, worker->StackHighWater());
      worker->Release(context);
    }
    EXPECT_EQ(openFiles, 0);
    EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
    EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
  }
  StackPool::Shared().SetPainting(false);
  EXPECT_GT(completed, 0);
  EXPECT_GT(killed, 0);
  std::printf("[ stress   ] %d threads completed, %d killed; deepest stack use %u bytes of %u\n", completed, killed,
              deepestStack, kStackSlotBytes);
}

}  // namespace
}  // namespace vn

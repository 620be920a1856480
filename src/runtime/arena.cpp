#include "runtime/arena.h"

#include "runtime/memory_budget.h"

namespace vn {

struct Arena::Block {
  Block* next;
  uint32_t size;  // usable bytes after the header
  uint32_t pad;
};

static_assert(sizeof(Arena::Mark) > 0);

Arena::Arena(AppContext& context, uint32_t chunkSize, uint32_t largeThreshold)
    : context_(context), chunkSize_(chunkSize), threshold_(largeThreshold) {
  RegisterUnwindable(context, this, &UnwindByReset<Arena>);
}

void Arena::Reset() {
  UnregisterUnwindable(this);
  Clear();
}

void* Arena::Allocate(uint32_t bytes) {
  if (bytes > 0xFFFFFF00u) RaiseOverflow(context_);
  uint32_t rounded = (bytes + 7) & ~7u;
  if (chunks_ != nullptr && chunks_->size - used_ >= rounded) {
    void* p = reinterpret_cast<unsigned char*>(chunks_ + 1) + used_;
    used_ += rounded;
    return p;
  }
  if (rounded >= threshold_) {
    auto* block = static_cast<Block*>(vn::Allocate(context_, static_cast<uint32_t>(sizeof(Block)) + rounded));
    block->next = large_;
    block->size = rounded;
    large_ = block;
    reserved_ += static_cast<uint32_t>(sizeof(Block)) + rounded;
    return block + 1;
  }
  auto* chunk = static_cast<Block*>(vn::Allocate(context_, static_cast<uint32_t>(sizeof(Block)) + chunkSize_));
  chunk->next = chunks_;
  chunk->size = chunkSize_;
  chunks_ = chunk;
  reserved_ += static_cast<uint32_t>(sizeof(Block)) + chunkSize_;
  used_ = rounded;
  return chunk + 1;
}

Arena::Mark Arena::GetMark() const { return Mark{chunks_, used_, large_}; }

void Arena::ReleaseTo(const Mark& mark) {
  while (large_ != nullptr && large_ != mark.large) {
    Block* next = large_->next;
    reserved_ -= static_cast<uint32_t>(sizeof(Block)) + large_->size;
    vn::Free(context_, large_);
    large_ = next;
  }
  while (chunks_ != nullptr && chunks_ != mark.chunk) {
    Block* next = chunks_->next;
    reserved_ -= static_cast<uint32_t>(sizeof(Block)) + chunks_->size;
    vn::Free(context_, chunks_);
    chunks_ = next;
  }
  used_ = chunks_ != nullptr ? mark.used : 0;
}

void Arena::Clear() { ReleaseTo(Mark{nullptr, 0, nullptr}); }

ArenaScope::ArenaScope(AppContext& context, Arena& arena) : arena_(arena), mark_(arena.GetMark()) {
  RegisterUnwindable(context, this, &UnwindByReset<ArenaScope>);
}

void ArenaScope::Reset() {
  UnregisterUnwindable(this);
  if (active_) {
    active_ = false;
    arena_.ReleaseTo(mark_);
  }
}

}  // namespace vn

#include "data_io/jbig2_stream.h"

#include <cstddef>
#include <cstring>

#include "runtime/app_context.h"
#include "runtime/memory_budget.h"
#include "runtime/yield_points.h"

// jbig2.h defines `inline` away when it is not a macro: it comes last, and
// the definition goes with it.
#include <jbig2.h>
#undef inline

namespace vn::data_io {

namespace data_io_detail {

// jbig2dec's allocator over the engine budget. `pub` comes first: jbig2dec
// sees only it. Blocks carry their size in front (realloc needs it).
struct Jbig2Memory {
  Jbig2Allocator pub;
  AppContext* context;
  uint32_t bytes;             // taken from the budget, headers included
  bool refusedBeyondLimit;    // a request larger than the hard limit
  bool refused;               // any request refused
};

}  // namespace data_io_detail

using data_io_detail::Jbig2Memory;

namespace {

struct alignas(std::max_align_t) BlockHeader {
  uint32_t bytes;
};

Jbig2Memory* MemoryOf(Jbig2Allocator* allocator) { return reinterpret_cast<Jbig2Memory*>(allocator); }

void* AllocateBlock(Jbig2Allocator* allocator, size_t size) {
  Jbig2Memory* memory = MemoryOf(allocator);
  uint64_t total = static_cast<uint64_t>(size) + sizeof(BlockHeader);
  if (total > memory->context->Budget().HardLimit()) {
    memory->refusedBeyondLimit = memory->refused = true;
    return nullptr;
  }
  auto* header = static_cast<BlockHeader*>(TryAllocate(*memory->context, static_cast<uint32_t>(total)));
  if (header == nullptr) {
    memory->refused = true;
    return nullptr;
  }
  header->bytes = static_cast<uint32_t>(total);
  memory->bytes += header->bytes;
  return header + 1;
}

void ReleaseBlock(Jbig2Allocator* allocator, void* block) {
  if (block == nullptr) return;
  Jbig2Memory* memory = MemoryOf(allocator);
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  memory->bytes -= header->bytes;
  Free(*memory->context, header);
}

void* ReallocateBlock(Jbig2Allocator* allocator, void* block, size_t size) {
  if (block == nullptr) return AllocateBlock(allocator, size);
  const BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  size_t kept = header->bytes - sizeof(BlockHeader);
  void* fresh = AllocateBlock(allocator, size);
  if (fresh == nullptr) return nullptr;  // the old block stays valid, as realloc leaves it
  std::memcpy(fresh, block, kept < size ? kept : size);
  ReleaseBlock(allocator, block);
  return fresh;
}

void OnMessage(void* data, const char*, Jbig2Severity severity, uint32_t) {
  if (severity == JBIG2_SEVERITY_FATAL) *static_cast<bool*>(data) = true;
}

}  // namespace

Jbig2DataBlockStream::Jbig2DataBlockStream(AppContext& context, DataBlockStream* source, const uint8_t* globals,
                                           uint32_t globalsLength)
    : WholeImageDataBlockStream(context, source), globals_(context) {
  if (globals != nullptr && globalsLength > 0) {
    globals_.Resize(globalsLength);
    std::memcpy(globals_.Data(), globals, globalsLength);
  }
}

Jbig2DataBlockStream::~Jbig2DataBlockStream() { ReleaseImage(); }

void Jbig2DataBlockStream::ReleaseImage() {
  if (page_ != nullptr) {
    jbig2_release_page(pageContext_, page_);
    page_ = nullptr;
  }
  if (pageContext_ != nullptr) {
    jbig2_ctx_free(pageContext_);
    pageContext_ = nullptr;
  }
  if (globalsContext_ != nullptr) {
    jbig2_ctx_free(globalsContext_);
    globalsContext_ = nullptr;
  }
  if (globalContext_ != nullptr) {
    jbig2_global_ctx_free(globalContext_);
    globalContext_ = nullptr;
  }
  if (memory_ != nullptr) {
    Free(context_, memory_);
    memory_ = nullptr;
  }
}

void Jbig2DataBlockStream::RunDecode(void* self) { static_cast<Jbig2DataBlockStream*>(self)->DecodeOnMainStack(); }

// Runs on the main stack and raises nothing: failures are left in fatal_
// and memory_, and a missing page in page_.
void Jbig2DataBlockStream::DecodeOnMainStack() {
  Jbig2Allocator* allocator = &memory_->pub;
  Jbig2Options options = JBIG2_OPTIONS_EMBEDDED;
  if (!globals_.Empty()) {
    globalsContext_ = jbig2_ctx_new(allocator, options, nullptr, &OnMessage, &fatal_);
    if (globalsContext_ == nullptr) return;
    if (jbig2_data_in(globalsContext_, globals_.Data(), globals_.Size()) < 0) fatal_ = true;
    if (fatal_) return;
    globalContext_ = jbig2_make_global_ctx(globalsContext_);  // takes the context over
    globalsContext_ = nullptr;
    if (globalContext_ == nullptr) return;
  }
  pageContext_ = jbig2_ctx_new(allocator, options, globalContext_, &OnMessage, &fatal_);
  if (pageContext_ == nullptr) return;
  if (jbig2_data_in(pageContext_, data_, size_) < 0) fatal_ = true;
  if (fatal_) return;
  jbig2_complete_page(pageContext_);  // a page whose end segment is left out, as PDF files do
  page_ = jbig2_page_out(pageContext_);
}

void Jbig2DataBlockStream::DecodeImage(const uint8_t* data, uint32_t size) {
  memory_ = static_cast<Jbig2Memory*>(Allocate(context_, sizeof(Jbig2Memory)));
  std::memset(memory_, 0, sizeof(Jbig2Memory));
  memory_->pub.alloc = &AllocateBlock;
  memory_->pub.free = &ReleaseBlock;
  memory_->pub.realloc = &ReallocateBlock;
  memory_->context = &context_;
  data_ = data;
  size_ = size;
  fatal_ = false;
  RunOnMainStack(context_, &RunDecode, this);
  data_ = nullptr;
  ReleaseEncoded();  // jbig2dec keeps what it needs
  if (memory_->refusedBeyondLimit) RaiseCode(context_, kLimitExceeded);
  if (memory_->refused) RaiseOutOfMemory(context_);
  if (fatal_ || page_ == nullptr || page_->width == 0 || page_->height == 0) RaiseBadData(context_);
  layout_.width = page_->width;
  layout_.height = page_->height;
  layout_.components = 1;
  layout_.bitsPerComponent = 1;
  layout_.colorSpace = DecodedColorSpace::kGray;
}

void Jbig2DataBlockStream::WriteRow(uint32_t y, uint8_t* out) {
  const uint8_t* row = page_->data + static_cast<size_t>(y) * page_->stride;
  uint32_t count = layout_.RowBytes();
  for (uint32_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(~row[i]);
}

uint32_t Jbig2DataBlockStream::ImageMemorySize() const {
  return globals_.MemorySize() + (memory_ != nullptr ? memory_->bytes + static_cast<uint32_t>(sizeof(Jbig2Memory)) : 0u);
}

}  // namespace vn::data_io

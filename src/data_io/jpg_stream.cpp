#include "data_io/jpg_stream.h"

#include <cstring>

#include <jerror.h>

#include "runtime/engine_new.h"
#include "runtime/app_context.h"
#include "runtime/memory_budget.h"

// libjpeg declares its virtual-array records as incomplete types; the
// engine's memory manager defines them.
struct jvirt_sarray_control {
  JSAMPARRAY rows;
  JDIMENSION rowCount;
  JDIMENSION samplesPerRow;
  boolean preZero;
  jvirt_sarray_control* next;
};

struct jvirt_barray_control {
  JBLOCKARRAY rows;
  JDIMENSION rowCount;
  JDIMENSION blocksPerRow;
  boolean preZero;
  jvirt_barray_control* next;
};

namespace vn::data_io {

namespace data_io_detail {

// Every allocation is aligned and padded to this many bytes: libjpeg's SIMD
// code reads and writes whole vectors at the ends of sample rows.
constexpr uintptr_t kJpegAlign = 64;
// Larger requests are refused as out of memory (bogus sizes from bad data).
constexpr uint64_t kJpegMaxRequest = 0x40000000u;

struct JpegChunk {
  JpegChunk* next;
  uint32_t bytes;  // what was taken from the budget
};

// The engine's memory manager. `pub` comes first: libjpeg sees only it.
struct JpegMemory {
  jpeg_memory_mgr pub;
  AppContext* context;
  jpeg_memory_mgr* original;  // libjpeg's own, which holds the objects made at creation
  JpegChunk* pools[JPOOL_NUMPOOLS];
  jvirt_sarray_control* sarrays;
  jvirt_barray_control* barrays;
  uint32_t bytes;
};

namespace {

JpegMemory* MemoryOf(j_common_ptr cinfo) { return reinterpret_cast<JpegMemory*>(cinfo->mem); }

[[noreturn]] void Fail(j_common_ptr cinfo, int code, int detail) {
  cinfo->err->msg_code = code;
  cinfo->err->msg_parm.i[0] = detail;
  (*cinfo->err->error_exit)(cinfo);
  __builtin_unreachable();  // the error exit never returns
}

void* AllocateInPool(j_common_ptr cinfo, int pool, uint64_t size) {
  if (pool < 0 || pool >= JPOOL_NUMPOOLS) Fail(cinfo, JERR_BAD_POOL_ID, pool);
  if (size > kJpegMaxRequest) Fail(cinfo, JERR_OUT_OF_MEMORY, 1);
  JpegMemory* memory = MemoryOf(cinfo);
  uint32_t total = static_cast<uint32_t>(size + sizeof(JpegChunk) + kJpegAlign);
  // libjpeg cannot be unwound through, so a refusal goes through its own
  // error exit (which raises from there).
  auto* raw = static_cast<uint8_t*>(TryAllocate(*memory->context, total));
  if (raw == nullptr) Fail(cinfo, JERR_OUT_OF_MEMORY, 2);
  auto* chunk = reinterpret_cast<JpegChunk*>(raw);
  chunk->bytes = total;
  chunk->next = memory->pools[pool];
  memory->pools[pool] = chunk;
  memory->bytes += total;
  uintptr_t payload = reinterpret_cast<uintptr_t>(raw + sizeof(JpegChunk));
  payload = (payload + kJpegAlign - 1) & ~(kJpegAlign - 1);
  return reinterpret_cast<void*>(payload);
}

void* AllocSmall(j_common_ptr cinfo, int pool, size_t size) { return AllocateInPool(cinfo, pool, size); }

// `count` rows of `rowBytes` bytes each (rounded up to the alignment) behind
// one array of row pointers.
template <class Row>
Row* AllocRows(j_common_ptr cinfo, int pool, uint64_t rowBytes, JDIMENSION count) {
  rowBytes = (rowBytes + kJpegAlign - 1) & ~static_cast<uint64_t>(kJpegAlign - 1);
  uint64_t pointerBytes = (static_cast<uint64_t>(count) * sizeof(Row) + kJpegAlign - 1) &
                          ~static_cast<uint64_t>(kJpegAlign - 1);
  uint64_t total = pointerBytes + rowBytes * count;
  if (rowBytes > kJpegMaxRequest || total > kJpegMaxRequest) Fail(cinfo, JERR_OUT_OF_MEMORY, 3);
  auto* base = static_cast<uint8_t*>(AllocateInPool(cinfo, pool, total));
  Row* rows = reinterpret_cast<Row*>(base);
  uint8_t* data = base + pointerBytes;
  for (JDIMENSION i = 0; i < count; ++i) rows[i] = reinterpret_cast<Row>(data + rowBytes * i);
  return rows;
}

JSAMPARRAY AllocSarray(j_common_ptr cinfo, int pool, JDIMENSION samplesPerRow, JDIMENSION count) {
  return AllocRows<JSAMPROW>(cinfo, pool, static_cast<uint64_t>(samplesPerRow) * sizeof(JSAMPLE), count);
}

JBLOCKARRAY AllocBarray(j_common_ptr cinfo, int pool, JDIMENSION blocksPerRow, JDIMENSION count) {
  return AllocRows<JBLOCKROW>(cinfo, pool, static_cast<uint64_t>(blocksPerRow) * sizeof(JBLOCK), count);
}

// Virtual arrays live wholly in memory: made at realization, zeroed when
// asked to start as zeros.
jvirt_sarray_ptr RequestVirtSarray(j_common_ptr cinfo, int pool, boolean preZero, JDIMENSION samplesPerRow,
                                   JDIMENSION rowCount, JDIMENSION) {
  if (pool != JPOOL_IMAGE) Fail(cinfo, JERR_BAD_POOL_ID, pool);
  auto* array = static_cast<jvirt_sarray_control*>(AllocSmall(cinfo, pool, sizeof(jvirt_sarray_control)));
  array->rows = nullptr;
  array->rowCount = rowCount;
  array->samplesPerRow = samplesPerRow;
  array->preZero = preZero;
  JpegMemory* memory = MemoryOf(cinfo);
  array->next = memory->sarrays;
  memory->sarrays = array;
  return array;
}

jvirt_barray_ptr RequestVirtBarray(j_common_ptr cinfo, int pool, boolean preZero, JDIMENSION blocksPerRow,
                                   JDIMENSION rowCount, JDIMENSION) {
  if (pool != JPOOL_IMAGE) Fail(cinfo, JERR_BAD_POOL_ID, pool);
  auto* array = static_cast<jvirt_barray_control*>(AllocSmall(cinfo, pool, sizeof(jvirt_barray_control)));
  array->rows = nullptr;
  array->rowCount = rowCount;
  array->blocksPerRow = blocksPerRow;
  array->preZero = preZero;
  JpegMemory* memory = MemoryOf(cinfo);
  array->next = memory->barrays;
  memory->barrays = array;
  return array;
}

void RealizeVirtArrays(j_common_ptr cinfo) {
  JpegMemory* memory = MemoryOf(cinfo);
  for (jvirt_sarray_control* a = memory->sarrays; a != nullptr; a = a->next) {
    if (a->rows != nullptr) continue;
    a->rows = AllocSarray(cinfo, JPOOL_IMAGE, a->samplesPerRow, a->rowCount);
    if (a->preZero)
      for (JDIMENSION i = 0; i < a->rowCount; ++i) std::memset(a->rows[i], 0, a->samplesPerRow * sizeof(JSAMPLE));
  }
  for (jvirt_barray_control* a = memory->barrays; a != nullptr; a = a->next) {
    if (a->rows != nullptr) continue;
    a->rows = AllocBarray(cinfo, JPOOL_IMAGE, a->blocksPerRow, a->rowCount);
    if (a->preZero)
      for (JDIMENSION i = 0; i < a->rowCount; ++i) std::memset(a->rows[i], 0, a->blocksPerRow * sizeof(JBLOCK));
  }
}

template <class Array>
void CheckAccess(j_common_ptr cinfo, const Array* array, JDIMENSION start, JDIMENSION count) {
  if (array->rows == nullptr) Fail(cinfo, JERR_VIRTUAL_BUG, 0);
  if (static_cast<uint64_t>(start) + count > array->rowCount) Fail(cinfo, JERR_BAD_VIRTUAL_ACCESS, 0);
}

JSAMPARRAY AccessVirtSarray(j_common_ptr cinfo, jvirt_sarray_ptr array, JDIMENSION start, JDIMENSION count,
                            boolean) {
  CheckAccess(cinfo, array, start, count);
  return array->rows + start;
}

JBLOCKARRAY AccessVirtBarray(j_common_ptr cinfo, jvirt_barray_ptr array, JDIMENSION start, JDIMENSION count,
                             boolean) {
  CheckAccess(cinfo, array, start, count);
  return array->rows + start;
}

void FreePool(j_common_ptr cinfo, int pool) {
  if (pool < 0 || pool >= JPOOL_NUMPOOLS) Fail(cinfo, JERR_BAD_POOL_ID, pool);
  JpegMemory* memory = MemoryOf(cinfo);
  if (pool == JPOOL_IMAGE) {
    memory->sarrays = nullptr;
    memory->barrays = nullptr;
  }
  JpegChunk* chunk = memory->pools[pool];
  memory->pools[pool] = nullptr;
  while (chunk != nullptr) {
    JpegChunk* next = chunk->next;
    memory->bytes -= chunk->bytes;
    Free(*memory->context, chunk);
    chunk = next;
  }
}

// Frees every pool, then hands the decompressor back to libjpeg's own
// manager to free what it made at creation.
void SelfDestruct(j_common_ptr cinfo) {
  JpegMemory* memory = MemoryOf(cinfo);
  for (int pool = JPOOL_NUMPOOLS - 1; pool >= 0; --pool) FreePool(cinfo, pool);
  jpeg_memory_mgr* original = memory->original;
  cinfo->mem = original;
  Free(*memory->context, memory);
  if (original != nullptr) (*original->self_destruct)(cinfo);
  cinfo->mem = nullptr;
}

}  // namespace

// Puts the engine's manager in place of libjpeg's on a created decompressor.
static void InstallJpegMemory(AppContext& context, j_common_ptr cinfo, JpegMemory* memory) {
  std::memset(memory, 0, sizeof(*memory));
  memory->context = &context;
  memory->original = cinfo->mem;
  memory->pub.alloc_small = &AllocSmall;
  memory->pub.alloc_large = &AllocSmall;
  memory->pub.alloc_sarray = &AllocSarray;
  memory->pub.alloc_barray = &AllocBarray;
  memory->pub.request_virt_sarray = &RequestVirtSarray;
  memory->pub.request_virt_barray = &RequestVirtBarray;
  memory->pub.realize_virt_arrays = &RealizeVirtArrays;
  memory->pub.access_virt_sarray = &AccessVirtSarray;
  memory->pub.access_virt_barray = &AccessVirtBarray;
  memory->pub.free_pool = &FreePool;
  memory->pub.self_destruct = &SelfDestruct;
  memory->pub.max_memory_to_use = static_cast<long>(context.Budget().HardLimit());
  memory->pub.max_alloc_chunk = static_cast<long>(kJpegMaxRequest);
  cinfo->mem = &memory->pub;
}

}  // namespace data_io_detail

using data_io_detail::JpegMemory;

namespace {

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

JPGDataBlockStream* StreamOf(j_common_ptr cinfo) { return static_cast<JPGDataBlockStream*>(cinfo->client_data); }
JPGDataBlockStream* StreamOf(j_decompress_ptr cinfo) {
  return static_cast<JPGDataBlockStream*>(cinfo->client_data);
}

}  // namespace

JPGDataBlockStream::JPGDataBlockStream(AppContext& context, DataBlockStream* source, int32_t scaleDenominator)
    : FilteredDataBlockStream(context, source), scaleDenominator_(scaleDenominator), pendingRow_(context) {
  if (scaleDenominator != 1 && scaleDenominator != 2 && scaleDenominator != 4 && scaleDenominator != 8)
    RaiseBadData(context);
  std::memset(&cinfo_, 0, sizeof(cinfo_));
  std::memset(&errorMgr_, 0, sizeof(errorMgr_));
  std::memset(&sourceMgr_, 0, sizeof(sourceMgr_));
  RegisterUnwindable(context, this, &UnwindByReset<JPGDataBlockStream>);
}

void JPGDataBlockStream::Reset() {
  Destroy();
  pendingRow_.Reset();
  state_ = State::kDone;
  UnregisterUnwindable(this);
}

void JPGDataBlockStream::Destroy() {
  if (created_) {
    created_ = false;
    jpeg_destroy_decompress(&cinfo_);
  }
  memory_ = nullptr;
  if (charged_) {
    charged_ = false;
    Uncharge(context_, kLibraryBytes);
  }
}

void JPGDataBlockStream::ResetDecoder() {
  Destroy();
  pendingRow_.Clear();
  state_ = State::kIdle;
  width_ = height_ = components_ = rowBytes_ = 0;
  warnings_ = 0;
  sourceExhausted_ = false;
  cutRow_ = 0xFFFFFFFFu;
  raisingOwn_ = quietEnd_ = false;
}

void JPGDataBlockStream::RaiseRecorded() { Raise(context_, error_); }

// ---- libjpeg call-backs -----------------------------------------------------

void JPGDataBlockStream::ErrorExit(j_common_ptr cinfo) {
  JPGDataBlockStream* self = StreamOf(cinfo);
  self->raisingOwn_ = true;
  // Data cut inside its headers or tables ends quietly, as any truncation.
  self->quietEnd_ = self->sourceExhausted_ && cinfo->err->msg_code != JERR_OUT_OF_MEMORY;
  if (!self->hasError_ && !self->quietEnd_) {
    self->hasError_ = true;
    self->error_ = MakeError(cinfo->err->msg_code == JERR_OUT_OF_MEMORY ? kOutOfMemory : kBadData);
  }
  if (self->quietEnd_) RaiseBadData(self->context_);  // caught by the decoder itself
  self->RaiseRecorded();
}

void JPGDataBlockStream::EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) {  // a warning; trace messages are dropped
    ++cinfo->err->num_warnings;
    ++StreamOf(cinfo)->warnings_;
  }
}

void JPGDataBlockStream::OutputMessage(j_common_ptr) {}

void JPGDataBlockStream::InitSource(j_decompress_ptr) {}

boolean JPGDataBlockStream::FillInputBuffer(j_decompress_ptr cinfo) {
  JPGDataBlockStream* self = StreamOf(cinfo);
  if (!self->sourceExhausted_ && self->FillSource()) {
    cinfo->src->next_input_byte = self->sourceCursor_;
    cinfo->src->bytes_in_buffer = static_cast<size_t>(self->sourceEnd_ - self->sourceCursor_);
    self->sourceCursor_ = self->sourceEnd_;  // all of it is libjpeg's now
    return TRUE;
  }
  // The data ended early: an end marker stands in for the rest.
  if (!self->sourceExhausted_ && self->state_ == State::kDecoding) {
    uint64_t band = static_cast<uint64_t>(cinfo->max_v_samp_factor) * static_cast<uint64_t>(cinfo->min_DCT_scaled_size);
    uint64_t cut = (static_cast<uint64_t>(cinfo->input_iMCU_row) + 1) * band;
    self->cutRow_ = cut > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(cut);
  }
  self->sourceExhausted_ = true;
  cinfo->err->msg_code = JWRN_JPEG_EOF;
  (*cinfo->err->emit_message)(reinterpret_cast<j_common_ptr>(cinfo), -1);
  cinfo->src->next_input_byte = kFakeEoi;
  cinfo->src->bytes_in_buffer = sizeof(kFakeEoi);
  return TRUE;
}

void JPGDataBlockStream::SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
    count -= static_cast<long>(src->bytes_in_buffer);
    FillInputBuffer(cinfo);
    if (StreamOf(cinfo)->sourceExhausted_) return;  // leave the end marker in place
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void JPGDataBlockStream::TermSource(j_decompress_ptr) {}

// ---- decoding ---------------------------------------------------------------

void JPGDataBlockStream::Start() {
  std::memset(&cinfo_, 0, sizeof(cinfo_));
  cinfo_.err = jpeg_std_error(&errorMgr_);
  errorMgr_.error_exit = &ErrorExit;
  errorMgr_.emit_message = &EmitMessage;
  errorMgr_.output_message = &OutputMessage;
  cinfo_.client_data = this;
  Charge(context_, kLibraryBytes);
  charged_ = true;
  created_ = true;  // destroying a half-made decompressor is safe
  jpeg_create_decompress(&cinfo_);
  memory_ = static_cast<JpegMemory*>(Allocate(context_, sizeof(JpegMemory)));
  data_io_detail::InstallJpegMemory(context_, reinterpret_cast<j_common_ptr>(&cinfo_), memory_);

  sourceMgr_.init_source = &InitSource;
  sourceMgr_.fill_input_buffer = &FillInputBuffer;
  sourceMgr_.skip_input_data = &SkipInputData;
  sourceMgr_.resync_to_restart = &jpeg_resync_to_restart;
  sourceMgr_.term_source = &TermSource;
  sourceMgr_.next_input_byte = nullptr;
  sourceMgr_.bytes_in_buffer = 0;
  cinfo_.src = &sourceMgr_;

  if (jpeg_read_header(&cinfo_, TRUE) != JPEG_HEADER_OK) {
    Finish();
    return;
  }
  cinfo_.scale_num = 1;
  cinfo_.scale_denom = static_cast<unsigned int>(scaleDenominator_);
  if (!jpeg_start_decompress(&cinfo_)) {  // a suspending source only; ours never suspends
    Finish();
    return;
  }
  uint64_t rowBytes = static_cast<uint64_t>(cinfo_.output_width) * static_cast<uint64_t>(cinfo_.output_components);
  if (rowBytes == 0 || rowBytes > 0x7FFFFFFFu || cinfo_.output_height == 0) {
    Finish();
    return;
  }
  width_ = cinfo_.output_width;
  height_ = cinfo_.output_height;
  components_ = static_cast<uint32_t>(cinfo_.output_components);
  rowBytes_ = static_cast<uint32_t>(rowBytes);
  // Files buffered whole (progressive, multi-scan) were read by now and give
  // every row; from here an early end cuts the rows that had no data.
  state_ = State::kDecoding;
}

void JPGDataBlockStream::Finish() {
  Destroy();
  state_ = State::kDone;
  SetEnd();
}

void JPGDataBlockStream::ReadRow(DataBlockRef& out) {
  if (cinfo_.output_scanline >= cinfo_.output_height || cinfo_.output_scanline >= cutRow_) {
    Finish();
    out.Clear();
    return;
  }
  VariableMemoryBufferDataBlock* block = VariableMemoryBufferDataBlock::Create(context_, rowBytes_);
  out.Set(block);
  JSAMPROW row = block->Buffer();
  if (jpeg_read_scanlines(&cinfo_, &row, 1) != 1) {
    Finish();
    out.Clear();
  }
}

void JPGDataBlockStream::GetNextBlock(DataBlockRef& out) {
  if (state_ == State::kFailed) RaiseRecorded();
  if (state_ == State::kDone) {
    out.Clear();
    return;
  }
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    if (state_ == State::kIdle) Start();
    if (state_ == State::kDecoding) {
      ReadRow(out);
    } else {
      out.Clear();
    }
  } else {
    Catch(frame);
    bool own = raisingOwn_;
    raisingOwn_ = false;
    Destroy();
    state_ = State::kDone;
    SetEnd();
    out.Clear();
    if (!own) Rethrow(context_);  // the source's or the thread's error passes on
    if (!quietEnd_) {
      state_ = State::kFailed;
      RaiseRecorded();
    }
  }
  EndTry(frame);
}

uint32_t JPGDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  bool ended;
  uint32_t count = pendingRow_.Copy(*this, buffer, maximum, ended);
  if (ended) SetEnd();
  return count;
}

uint32_t JPGDataBlockStream::GetMemorySize() const {
  return FilteredDataBlockStream::GetMemorySize() + static_cast<uint32_t>(sizeof(*this)) -
         static_cast<uint32_t>(sizeof(FilteredDataBlockStream)) +
         (memory_ != nullptr ? memory_->bytes + static_cast<uint32_t>(sizeof(JpegMemory)) : 0u) +
         (charged_ ? kLibraryBytes : 0u);
}

}  // namespace vn::data_io

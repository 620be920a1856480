#include "data_io/whole_image_stream.h"

#include <cstring>

#include "runtime/yield_points.h"

namespace vn::data_io {

namespace {
// Work units per row handed out: a row costs about its byte count.
constexpr uint32_t kRowWorkDivisor = 64;
}  // namespace

WholeImageDataBlockStream::WholeImageDataBlockStream(AppContext& context, DataBlockStream* source)
    : FilteredDataBlockStream(context, source), encoded_(context), pendingRow_(context) {}

void WholeImageDataBlockStream::ResetDecoder() {
  ReleaseImage();
  encoded_.Reset();
  pendingRow_.Clear();
  nextRow_ = 0;
  layout_ = DecodedImageLayout();
  state_ = State::kIdle;
  failure_ = 0;
}

void WholeImageDataBlockStream::ReadEncoded() {
  encoded_.Clear();
  while (FillSource()) {
    uint64_t count = static_cast<uint64_t>(sourceEnd_ - sourceCursor_);
    uint64_t size = static_cast<uint64_t>(encoded_.Size()) + count;
    if (size > 0x7FFFFFFFu) RaiseCode(context_, kLimitExceeded);
    if (size > encoded_.MemorySize()) {
      uint64_t capacity = encoded_.MemorySize() < 4096 ? 4096 : encoded_.MemorySize();
      while (capacity < size) capacity *= 2;
      encoded_.Reserve(static_cast<uint32_t>(capacity > 0x7FFFFFFFu ? size : capacity));
    }
    uint32_t at = encoded_.Size();
    encoded_.Resize(static_cast<uint32_t>(size));
    std::memcpy(encoded_.Data() + at, sourceCursor_, static_cast<size_t>(count));
    sourceCursor_ = sourceEnd_;
  }
}

void WholeImageDataBlockStream::Start() {
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    ReadEncoded();
    YieldPoint(context_);
    DecodeImage(encoded_.Data(), encoded_.Size());
    if (layout_.height == 0 || layout_.RowBytes() == 0) RaiseBadData(context_);
    YieldPoint(context_);
    state_ = State::kRows;
  } else {
    const Error& error = Catch(frame);
    ReleaseImage();
    encoded_.Reset();
    layout_ = DecodedImageLayout();
    if (error.code == kCancelled) {
      state_ = State::kIdle;  // the source is read again once rewound
    } else {
      state_ = State::kFailed;
      failure_ = error.code;
    }
    SetEnd();
    Rethrow(context_);
  }
  EndTry(frame);
}

void WholeImageDataBlockStream::Finish() {
  ReleaseImage();
  encoded_.Reset();
  state_ = State::kDone;
  SetEnd();
}

const DecodedImageLayout* WholeImageDataBlockStream::DecodedLayout() {
  if (state_ == State::kFailed) RaiseCode(context_, failure_);
  if (state_ == State::kIdle && !IsAtEnd()) Start();
  return state_ == State::kIdle ? nullptr : &layout_;
}

void WholeImageDataBlockStream::GetNextBlock(DataBlockRef& out) {
  if (state_ == State::kFailed) RaiseCode(context_, failure_);
  if (state_ == State::kIdle) {
    if (IsAtEnd()) {  // cancelled earlier: nothing more until rewound
      out.Clear();
      return;
    }
    Start();
  }
  if (state_ == State::kDone || nextRow_ >= layout_.height) {
    if (state_ != State::kDone) Finish();
    out.Clear();
    return;
  }
  uint32_t rowBytes = layout_.RowBytes();
  AddWork(context_, rowBytes / kRowWorkDivisor + 1);
  VariableMemoryBufferDataBlock* block = VariableMemoryBufferDataBlock::Create(context_, rowBytes);
  out.Set(block);
  WriteRow(nextRow_, block->Buffer());
  ++nextRow_;
}

uint32_t WholeImageDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  bool ended;
  uint32_t count = pendingRow_.Copy(*this, buffer, maximum, ended);
  if (ended) SetEnd();
  return count;
}

uint32_t WholeImageDataBlockStream::GetMemorySize() const {
  return FilteredDataBlockStream::GetMemorySize() + encoded_.MemorySize() + ImageMemorySize();
}

}  // namespace vn::data_io

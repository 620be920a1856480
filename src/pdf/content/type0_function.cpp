// Sampled functions: a table of samples over a grid of inputs, read once
// into 16.16 and interpolated multilinearly.
#include "data_io/data_block.h"
#include "pdf/content/function_types.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::pdf::content {

using document::ResolvedValue;

namespace {

// Samples a sampled function may hold (outputs x grid points): 2 MB of
// 16.16 values, a fifth of the engine's budget.
constexpr uint32_t kMaxSampledEntries = 1u << 19;

// Reads big-endian samples of 1 to 32 bits from a stream.
class SampleReader {
 public:
  SampleReader(AppContext& context, data_io::DataBlockStream& stream, uint32_t bits)
      : context_(context), stream_(stream), block_(context), bits_(bits) {}

  uint32_t Next() {
    while (held_ < bits_) {
      if (at_ == block_.Length()) {
        stream_.GetNextBlock(block_);
        at_ = 0;
        if (block_.Empty()) RaiseBadData(context_);  // the table is shorter than declared
      }
      buffer_ = (buffer_ << 8) | block_.Data()[at_++];
      held_ += 8;
    }
    held_ -= bits_;
    uint64_t mask = (uint64_t{1} << bits_) - 1;
    return static_cast<uint32_t>((buffer_ >> held_) & mask);
  }

 private:
  AppContext& context_;
  data_io::DataBlockStream& stream_;
  data_io::DataBlockRef block_;
  uint32_t at_ = 0;
  uint64_t buffer_ = 0;
  uint32_t held_ = 0;
  uint32_t bits_;
};

}  // namespace

void Type0Function::ReadSamples(document::ObjectResolver& resolver, const ResolvedValue& stream, uint32_t bits) {
  AppContext& context = resolver.Context();
  uint32_t total = strides_[inputs_ - 1] * sizes_[inputs_ - 1];
  samples_ = pool_.AllocateArray<Fixed16_16>(total);
  Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(stream));
  Scoped<SampleReader> reader(context, context, *data, bits);
  // Exact scaling: the largest sample is 1.0, so decode maxima are reached.
  const uint64_t largest = (uint64_t{1} << bits) - 1;
  for (uint32_t i = 0; i < total; ++i) {
    uint64_t v = reader->Next();
    samples_[i] = static_cast<Fixed16_16>((v * 65536 + largest / 2) / largest);
    if ((i & 4095) == 4095) AddWork(context, 4096);
  }
}

Type0Function* Type0Function::Create(document::ObjectResolver& resolver, const ResolvedValue& stream,
                                     uint32_t /*depth*/) {
  AppContext& context = resolver.Context();
  if (!document::IsStream(stream.Get())) RaiseBadData(context);
  Owned<Type0Function> function(context, New<Type0Function>(context, context, 0u, 0u));
  Type0Function& f = *function;
  FunctionFactory::ReadDomainAndRange(resolver, stream, f, true);
  const uint32_t m = f.inputs_, n = f.outputs_;

  Fixed16_16 numbers[2 * kMaxFunctionOutputs];
  if (ReadNumbers(resolver, stream, "Size", numbers, kMaxFunctionInputs) != m) RaiseBadData(context);
  f.sizes_ = f.pool_.AllocateArray<uint32_t>(m);
  f.strides_ = f.pool_.AllocateArray<uint32_t>(m);
  uint64_t entries = n;
  for (uint32_t i = 0; i < m; ++i) {
    if (numbers[i] == kFixedMax) RaiseCode(context, kLimitExceeded);  // beyond 32767 points
    if (numbers[i] < kFixedOne || (numbers[i] & 0xFFFF) != 0) RaiseBadData(context);
    f.sizes_[i] = static_cast<uint32_t>(FixedFloor(numbers[i]));
    f.strides_[i] = static_cast<uint32_t>(entries);
    entries *= f.sizes_[i];
    if (entries > kMaxSampledEntries) RaiseCode(context, kLimitExceeded);
  }

  Fixed16_16 bits = ReadNumber(resolver, stream, "BitsPerSample", -1);
  uint32_t b = static_cast<uint32_t>(FixedFloor(bits));
  if ((bits & 0xFFFF) != 0 ||
      (b != 1 && b != 2 && b != 4 && b != 8 && b != 12 && b != 16 && b != 24 && b != 32)) {
    RaiseBadData(context);
  }

  f.encode_ = f.pool_.AllocateArray<Fixed16_16>(2 * m);
  uint32_t count = ReadNumbers(resolver, stream, "Encode", numbers, 2 * kMaxFunctionInputs);
  if (count != 0 && count != 2 * m) RaiseBadData(context);
  for (uint32_t i = 0; i < m; ++i) {
    f.encode_[2 * i] = count != 0 ? numbers[2 * i] : 0;
    f.encode_[2 * i + 1] = count != 0 ? numbers[2 * i + 1] : IntToFixed(static_cast<int32_t>(f.sizes_[i] - 1));
  }
  // Without "Decode" the samples map onto the range as it stands.
  f.decode_ = f.pool_.AllocateArray<Fixed16_16>(2 * n);
  count = ReadNumbers(resolver, stream, "Decode", numbers, 2 * kMaxFunctionOutputs);
  if (count != 0 && count != 2 * n) RaiseBadData(context);
  for (uint32_t i = 0; i < 2 * n; ++i) f.decode_[i] = count != 0 ? numbers[i] : f.range_[i];

  f.partial_ = f.pool_.AllocateArray<Fixed16_16>((m + 2) * n);
  f.ReadSamples(resolver, stream, b);
  return function.Release();
}

void Type0Function::Evaluate(const Function& self, const Fixed16_16* in, Fixed16_16* out) {
  const auto& f = static_cast<const Type0Function&>(self);
  const uint32_t m = f.inputs_, n = f.outputs_;
  // The cell's base and the inputs whose fraction is not 0 (only those
  // need the upper corner).
  uint32_t base = 0;
  uint32_t activeStride[kMaxFunctionInputs];
  Fixed16_16 activeFraction[kMaxFunctionInputs];
  uint32_t active = 0;
  for (uint32_t i = 0; i < m; ++i) {
    Fixed16_16 x = Clamp(in[i], f.domain_[2 * i], f.domain_[2 * i + 1]);
    Fixed16_16 e = Interpolate(x, f.domain_[2 * i], f.domain_[2 * i + 1], f.encode_[2 * i], f.encode_[2 * i + 1]);
    const int32_t last = static_cast<int32_t>(f.sizes_[i]) - 1;
    int32_t index = e < 0 ? 0 : FixedFloor(e);
    Fixed16_16 fraction = e < 0 ? 0 : (e & 0xFFFF);
    // The upper corner stays inside the table: at the last grid point (and
    // for a size of 1) there is no cell above.
    if (index >= last) {
      index = last;
      fraction = 0;
    }
    base += static_cast<uint32_t>(index) * f.strides_[i];
    if (fraction != 0) {
      activeStride[active] = f.strides_[i];
      activeFraction[active] = fraction;
      ++active;
    }
  }
  // Corner c's bit j selects the upper sample along active input j. Each
  // finished pair of corners along input j folds into level j + 1.
  Fixed16_16* partial = f.partial_;  // levels 0..active, n values each
  Fixed16_16* value = f.partial_ + (m + 1) * n;
  const uint32_t corners = 1u << active;
  for (uint32_t c = 0; c < corners; ++c) {
    uint32_t offset = base;
    for (uint32_t j = 0; j < active; ++j) {
      if (c & (1u << j)) offset += activeStride[j];
    }
    for (uint32_t k = 0; k < n; ++k) value[k] = f.samples_[offset + k];
    uint32_t level = 0;
    while (level < active && (c & (1u << level))) {
      const Fixed16_16* lower = partial + level * n;
      for (uint32_t k = 0; k < n; ++k) {
        int64_t delta = static_cast<int64_t>(value[k]) - lower[k];
        value[k] = static_cast<Fixed16_16>(lower[k] + ((delta * activeFraction[level] + 0x8000) >> 16));
      }
      ++level;
    }
    for (uint32_t k = 0; k < n; ++k) partial[level * n + k] = value[k];
  }
  const Fixed16_16* result = partial + active * n;
  for (uint32_t k = 0; k < n; ++k) {
    int64_t span = static_cast<int64_t>(f.decode_[2 * k + 1]) - f.decode_[2 * k];
    out[k] = FixedSaturate(f.decode_[2 * k] + ((result[k] * span + 0x8000) >> 16));
  }
  f.ClampToRange(out);
}

}  // namespace vn::pdf::content

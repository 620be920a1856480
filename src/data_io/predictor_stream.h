// The TIFF (2) and PNG (10 to 15) predictors that may follow Flate and LZW.
#pragma once

#include "data_io/filter_params.h"
#include "data_io/filtered_stream.h"

namespace vn::data_io {

class PredictorDataBlockStream : public FilteredDataBlockStream {
 public:
  // Validates the parameters (code 2, or 5 for a TIFF predictor on
  // components other than 8 or 16 bits) and takes ownership of `source`.
  PredictorDataBlockStream(AppContext& context, DataBlockStream* source, const FilterParams& params);
  ~PredictorDataBlockStream() override;

  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;
  uint32_t GetMemorySize() const override;

  void Reset();

 protected:
  void ResetDecoder() override;

 private:
  // Reads the next row into current_ and undoes its prediction; false at
  // the end of the data (a partial last row is kept as far as it goes).
  bool NextRow();

  bool png_;
  uint32_t bitsPerComponent_;
  uint32_t colors_;
  uint32_t rowBytes_;
  uint32_t pixelBytes_;
  uint8_t* rows_ = nullptr;  // current row, then the previous one
  uint8_t* current_ = nullptr;
  uint8_t* previous_ = nullptr;
  uint32_t rowLength_ = 0;    // valid bytes of the current row
  uint32_t rowPosition_ = 0;  // bytes of it handed out
};

}  // namespace vn::data_io

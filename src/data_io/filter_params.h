// Decode parameters of one filter stage, as read from a "DecodeParms"
// dictionary. Each value carries a present flag; an absent value holds its
// default.
#pragma once

#include <cstdint>

namespace vn::data_io {

struct FilterIntParam {
  int32_t value;
  bool present = false;

  constexpr FilterIntParam(int32_t defaultValue) : value(defaultValue) {}
  void Set(int32_t v) {
    value = v;
    present = true;
  }
  constexpr operator int32_t() const { return value; }
};

struct FilterBoolParam {
  bool value;
  bool present = false;

  constexpr FilterBoolParam(bool defaultValue) : value(defaultValue) {}
  void Set(bool v) {
    value = v;
    present = true;
  }
  constexpr operator bool() const { return value; }
};

// How the image pipeline asks the last filter of an image's data to decode
// it: smaller, for images drawn small, or (JPEG 2000) only its alpha.
struct ImageDecodeOptions {
  // Decode at 1/2^reduce of the full size: DCTDecode up to 3 levels,
  // JPXDecode as far as the data's resolution levels allow.
  uint32_t reduce = 0;
  // JPXDecode: the first alpha channel instead of the colours.
  bool alphaOnly = false;
};

struct FilterParams {
  // Predictor (Flate and LZW).
  FilterIntParam predictor{1};
  FilterIntParam colors{1};
  FilterIntParam bitsPerComponent{8};
  FilterIntParam columns{1};
  // LZW.
  FilterIntParam earlyChange{1};

  // CCITT fax. "Columns" has its own default (1728) there, so it is kept
  // apart from the predictor's.
  FilterIntParam k{0};
  FilterIntParam faxColumns{1728};
  FilterIntParam rows{0};
  FilterIntParam damagedRowsBeforeError{0};
  FilterBoolParam endOfLine{false};
  FilterBoolParam encodedByteAlign{false};
  FilterBoolParam endOfBlock{true};
  FilterBoolParam blackIs1{false};

  // DCT: decode at 1/n of the full size (1, 2, 4 or 8), for images drawn
  // small. Chosen by the image pipeline; no dictionary key sets it.
  FilterIntParam dctScaleDenominator{1};

  // JPX: decode at 1/2^n of the full size, for images drawn small; and
  // give the alpha channel instead of the colours ("SMaskInData"). Chosen
  // by the image pipeline.
  FilterIntParam jpxReduce{0};
  FilterBoolParam jpxAlphaOnly{false};

  // JBIG2: the decoded "JBIG2Globals" stream, borrowed while the decoder is
  // built (it keeps a copy); null when there is none.
  const uint8_t* jbig2Globals = nullptr;
  uint32_t jbig2GlobalsLength = 0;

  // Sets "Columns" for both uses (the dictionary has one key).
  void SetColumns(int32_t v) {
    columns.Set(v);
    faxColumns.Set(v);
  }
};

}  // namespace vn::data_io

// The CMap parser: PostScript CMap syntax (embedded CMap streams, ToUnicode
// streams and the built-in CMaps' regenerated text) into a CMapCharCodeMap.
//
// It reads numbers, names, strings, hex strings, arrays and dictionaries
// with the object lexer and acts on the keywords:
// - begincodespacerange: code lengths (unmapped codes are consumed whole);
// - begincidrange / begincidchar: codes to CIDs; beginnotdefrange: the CID
//   of codes without a mapping;
// - beginbfrange / beginbfchar: codes to Unicode, as UTF-16 big-endian
//   strings (several code units for ligatures and surrogate pairs; a range
//   steps the last unit; a range may give an array of strings instead);
// - usecmap: the preceding name, a built-in CMap of any collection, is
//   parsed into the same map there and then (an unknown name is ignored);
// - def of /WMode: 1 makes the map vertical.
// Other keywords and dictionary entries are read and ignored; so are
// entries that do not fit (codes longer than 4 bytes, mismatched lengths).
// Syntax errors raise kBadData.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "pdf/store/parser.h"

namespace vn::pdf::cmap {

// How deep usecmap may nest.
constexpr uint32_t kMaxUseCMapDepth = 4;

class CMapParser : public store::Parser {
 public:
  // `useDepth`: how many usecmap levels lie above this CMap (0 for the
  // CMap itself, whose WMode is the map's).
  CMapParser(AppContext& context, data_io::BufferedStream& source, Arena& arena, CMapCharCodeMap& map,
             uint32_t useDepth);

  // Parses to the end of the source.
  void Run();

  // Acts on the keyword at the source's position.
  bool Keyword() override;
  // Completes the section entry that the value just pushed finishes.
  void AfterValue() override;

 private:
  enum class Section { kNone, kCodeSpace, kCidRange, kCidChar, kNotdefRange, kBfRange, kBfChar };

  void ClearOperands() { ClearStack(operandMark_); }
  void Entry();
  void UseCMap();
  void Define();

  CMapCharCodeMap& map_;
  uint32_t useDepth_;
  Arena::Mark operandMark_;
  Section section_ = Section::kNone;
};

// Parses a CMap stream into `map`.
void ParseCMap(AppContext& context, data_io::DataBlockStream& stream, CMapCharCodeMap& map, uint32_t useDepth = 0);
// Parses a built-in CMap, regenerated from its compact form, into `map`.
void ParsePredefinedCMap(AppContext& context, const PredefinedCMap& cmap, CMapCharCodeMap& map,
                         uint32_t useDepth = 0);

}  // namespace vn::pdf::cmap

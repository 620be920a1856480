// The content-stream parser: the object parser's lexer with a token table
// of its own, an operand stack, and dispatch of each operator, with checked
// and converted operands, to a ContentParserClient.
#pragma once

#include <cstdint>

#include "pdf/content/content_parser_client.h"
#include "pdf/store/parser.h"

namespace vn::pdf::content {

class ContentParser : public store::Parser {
 public:
  // Reads from the source's current position. `arena` holds the operands of
  // one operator at a time.
  ContentParser(AppContext& context, data_io::BufferedStream& source, Arena& arena, ContentParserClient& client);

  // Parses until the client asks to stop (true: more may follow) or the
  // data ends (false). Bad data raises kBadData.
  bool Run();

  // Where the operator now being handed to the client began.
  uint64_t OperatorOffset() const { return operatorOffset_; }
  // Where the tokens of that operator (its operands first) began: just after
  // the operator before it, or where this run started.
  uint64_t OperandsOffset() const { return operandsOffset_; }
  // True while an operator is being handed to the client (also after a
  // raise out of the client), and how many have been handed over in full.
  bool Dispatching() const { return dispatching_; }
  uint32_t DispatchCount() const { return dispatchCount_; }
  // The depth of BX/EX compatibility sections.
  uint32_t CompatibilityDepth() const { return compatibilityDepth_; }
  void SetCompatibilityDepth(uint32_t depth) { compatibilityDepth_ = depth; }

  bool UnexpectedToken(bool atEnd) override;
  // Handles the keyword at the source's position.
  bool Keyword() override;

 private:
  bool Dispatch(int op);
  void ClearOperands();
  const Value& Operand(uint32_t fromTop, int32_t type);  // type -1: any
  Fixed16_16 Number(uint32_t fromTop);
  int32_t Integer(uint32_t fromTop);
  FixedMatrix Matrix();
  bool InlineImage();

  ContentParserClient& client_;
  Arena::Mark operandMark_;
  uint64_t operatorOffset_ = 0;
  uint64_t operandsOffset_ = 0;
  uint32_t dispatchCount_ = 0;
  bool dispatching_ = false;
  uint32_t compatibilityDepth_ = 0;
  bool stopped_ = false;
};

}  // namespace vn::pdf::content

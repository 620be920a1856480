#include "pdf/document/display_list.h"

#include "pdf/content/dl_populator.h"

namespace vn::pdf::document {

DisplayList::DisplayList(AppContext& context, ObjectResolver& resolver, content::ContentRecord* record)
    : context_(context), resolver_(resolver), record_(context, record), pool_(context, kDLPoolBlock, 4096),
      opcodes_(context), small_(context), words_(context), points_(context), entries_(context),
      extGStates_(context), errors_(context), populator_(context) {
  populator_.Set(New<content::DLPopulator>(context, context, *this));
}

DisplayList::~DisplayList() { populator_.Reset(); }

bool DisplayList::PopulateMore() {
  if (!populator_) return false;
  int32_t code = -1;
  uint64_t offset = 0;
  if (populator_->PopulateMore(&code, &offset)) return true;
  Finish(code, offset);
  return false;
}

void DisplayList::PopulateAll() {
  while (PopulateMore()) {
  }
}

void DisplayList::Finish(int32_t errorCode, uint64_t offset) {
  if (errorCode >= 0) errors_.Push(DLError{errorCode, offset});
  populator_.Set(nullptr);
}

uint32_t DisplayList::MemorySize() const {
  return static_cast<uint32_t>(sizeof(*this)) + pool_.BytesReserved() + opcodes_.MemorySize() +
         small_.MemorySize() + words_.MemorySize() + points_.MemorySize() + entries_.MemorySize() +
         extGStates_.MemorySize() + errors_.MemorySize();
}

}  // namespace vn::pdf::document

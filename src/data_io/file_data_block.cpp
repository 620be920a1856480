#include "data_io/file_data_block.h"

namespace vn::data_io {

FileDataBlock::FileDataBlock(AppContext& context, FilePage* page, uint32_t offset)
    : context_(context), page_(page) {
  page_->AddRef();
  if (offset < page_->valid) {
    data = page_->bytes + offset;
    length = page_->valid - offset;
  }
}

FileDataBlock::~FileDataBlock() { page_->Release(context_); }

}  // namespace vn::data_io

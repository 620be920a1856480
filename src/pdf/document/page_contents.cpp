#include "pdf/document/page_contents.h"

#include "data_io/data_block.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"

namespace vn::pdf::document {

namespace {

class EmptyContentStream final : public data_io::DataBlockStream {
 public:
  void GetNextBlock(data_io::DataBlockRef& out) override { out.Clear(); }
  void Rewind() override {}
  bool IsAtEnd() override { return true; }
  uint32_t GetMemorySize() const override { return sizeof(*this); }
};

const uint8_t kSpace = 0x20;

class JoinedContentStream final : public data_io::DataBlockStream {
 public:
  JoinedContentStream(ObjectResolver& resolver, const ResolvedValue& array)
      : resolver_(resolver), array_(array), space_(&kSpace, 1) {}
  ~JoinedContentStream() override { CloseCurrent(); }

  void GetNextBlock(data_io::DataBlockRef& out) override {
    for (;;) {
      if (spaceDue_) {
        spaceDue_ = false;
        out.Set(&space_);
        return;
      }
      if (current_ != nullptr) {
        current_->GetNextBlock(out);
        if (!out.Empty()) return;
        CloseCurrent();
      }
      if (next_ >= ArrayLength(array_.Get())) {
        atEnd_ = true;
        out.Clear();
        return;
      }
      ResolvedValue part(array_);
      part.SetChild(ArrayElement(array_.Get(), next_++));
      ResolveInPlace(resolver_, part);
      if (IsNull(part.Get())) continue;  // a missing part draws nothing
      if (!IsStream(part.Get())) RaiseBadData(resolver_.Context());
      current_ = resolver_.OpenStreamData(part);
      spaceDue_ = opened_;
      opened_ = true;
    }
  }
  void Rewind() override {
    CloseCurrent();
    next_ = 0;
    opened_ = spaceDue_ = atEnd_ = false;
  }
  bool IsAtEnd() override { return atEnd_; }
  uint32_t GetMemorySize() const override {
    return sizeof(*this) + (current_ != nullptr ? current_->GetMemorySize() : 0);
  }

 private:
  void CloseCurrent() {
    data_io::DataBlockStream* stream = current_;
    current_ = nullptr;
    Delete(resolver_.Context(), stream);
  }

  ObjectResolver& resolver_;
  ResolvedValue array_;
  data_io::simple_block space_;
  data_io::DataBlockStream* current_ = nullptr;
  uint32_t next_ = 0;
  bool opened_ = false;
  bool spaceDue_ = false;
  bool atEnd_ = false;
};

}  // namespace

data_io::DataBlockStream* OpenPageContents(ObjectResolver& resolver, const ResolvedValue& page) {
  AppContext& context = resolver.Context();
  ResolvedValue contents(context);
  GetResolved(resolver, page, "Contents", contents);
  if (IsNull(contents.Get())) return New<EmptyContentStream>(context);
  if (IsStream(contents.Get())) return resolver.OpenStreamData(contents);
  if (!IsArray(contents.Get())) RaiseBadData(context);
  if (ArrayLength(contents.Get()) == 1) {
    ResolvedValue part(contents);
    part.SetChild(ArrayElement(contents.Get(), 0));
    ResolveInPlace(resolver, part);
    if (IsNull(part.Get())) return New<EmptyContentStream>(context);
    if (!IsStream(part.Get())) RaiseBadData(context);
    return resolver.OpenStreamData(part);
  }
  return New<JoinedContentStream>(context, resolver, contents);
}

}  // namespace vn::pdf::document

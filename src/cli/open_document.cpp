#include "cli/open_document.h"

#include <cstdio>
#include <cstring>

#include "data_io/file_data_store.h"
#include "pdf/document/page_tree.h"
#include "pdf/document/store_resolver.h"
#include "pdf/security/security_handler.h"

namespace folio::cli {

namespace {

bool HasPdfHeader(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char head[1024];
  size_t got = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  for (size_t i = 0; i + 4 <= got; ++i) {
    if (std::memcmp(head + i, "%PDF", 4) == 0) return true;
  }
  return false;
}

std::wstring Widen(const std::string& utf8) {
  // The engine takes wide paths; the platform layer turns them back into
  // UTF-8, so carrying each byte as one character round-trips only ASCII.
  // Decode UTF-8 properly instead.
  std::wstring wide;
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    size_t j = 1;
    for (; j <= static_cast<size_t>(extra) && i + j < utf8.size(); ++j) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + j]) & 0x3F);
    }
    wide.push_back(static_cast<wchar_t>(code));
    i += j;
  }
  return wide;
}

}  // namespace

std::string DescribeError(int32_t code) {
  switch (code) {
    case vn::kOutOfMemory: return "the document needs more memory than the engine's budget";
    case vn::kOverflow: return "the file cannot be read";
    case vn::kBadData: return "the file's data is damaged";
    case vn::kCancelled: return "the work was cancelled";
    case vn::kStackExhausted: return "the document nests too deeply";
    case vn::kUnsupported: return "the document uses a feature that is not supported";
    case vn::kLimitExceeded: return "the document exceeds an internal limit";
    default: return "unknown engine error";
  }
}

bool OpenDocument::Open(const std::string& path, const std::string& password) {
  std::wstring wide = Widen(path);
  int32_t code = EngineErrorOf(context_, [&] {
    auto* file = vn::New<vn::data_io::FileDataStore>(context_, context_, wide.c_str());
    store_.Set(vn::pdf::store::OpenDocument(context_, file));
  });
  if (code != -1) {
    if (code == vn::kOverflow) reason_ = "the file cannot be opened or read";
    else if (code == vn::kBadData && !HasPdfHeader(path)) reason_ = "the file has no PDF header";
    else if (code == vn::kBadData) reason_ = "no PDF object can be found in the file, even by scanning it";
    else if (code == vn::kUnsupported) reason_ = "the security handler is not supported";
    else reason_ = DescribeError(code);
    return false;
  }
  vn::pdf::security::SecurityHandler* handler = store_->Security();
  if (handler->IsAuthorized()) return true;
  if (handler->Kind() != vn::pdf::security::HandlerKind::kStandard) {
    reason_ = "the security handler is not supported (only the standard password handler is)";
    return false;
  }
  if (password.empty()) {
    reason_ = "the document is protected by a password (give it with --password)";
    return false;
  }
  bool authorized = false;
  code = EngineErrorOf(context_, [&] {
    authorized = store_->SetupSecurity("Standard", reinterpret_cast<const uint8_t*>(password.c_str()));
  });
  if (code != -1) {
    reason_ = code == vn::kUnsupported ? "the security handler is not supported" : DescribeError(code);
    return false;
  }
  if (!authorized) reason_ = "the password is wrong";
  return authorized;
}

bool OpenDocument::CountPages(int32_t& count) {
  vn::pdf::document::StoreResolver resolver(*store_);
  const int32_t code = EngineErrorOf(context_, [&] { count = vn::pdf::document::GetPageCount(resolver); });
  if (code == -1) return true;
  reason_ = "the page count cannot be read: " + DescribeError(code);
  return false;
}

}  // namespace folio::cli

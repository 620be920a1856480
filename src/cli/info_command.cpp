// folio info FILE: page count, version, linearization, encryption, the Info
// dictionary, file size and the engine's peak memory.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "app/pdf_date.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/open_document.h"
#include "cli/pdf_syntax.h"
#include "pdf/document/page_tree.h"
#include "pdf/document/store_resolver.h"
#include "pdf/security/security_handler.h"

namespace folio::cli {

namespace {

using vn::pdf::store::Get;
using vn::pdf::store::ParsedObject;
using vn::pdf::store::Value;

const char* const kInfoKeys[] = {"Title", "Author", "Subject", "Keywords", "Creator", "Producer", "CreationDate", "ModDate"};

struct Facts {
  int64_t pages = -1;
  std::string pageTreeError;  // why no page can be found (pages is then 0)
  std::string version;
  bool linearized = false;
  bool repaired = false;
  long long fileSize = 0;
  bool encrypted = false;
  std::string handler;
  std::string method;  // of the streams: "RC4", "AES-128", "AES-256", "none"
  std::string perms;   // AES-256 only: how Perms compared with P
  int32_t revision = 0;
  uint32_t keyBits = 0;
  bool authorized = false;
  int32_t permissions = 0;
  std::vector<std::pair<std::string, std::string>> info;
};

void Collect(vn::AppContext& context, vn::pdf::store::DocumentStore& store, Facts& facts) {
  facts.version = store.Version();
  facts.linearized = store.IsLinearized();
  auto* handler = store.Security();
  facts.encrypted = handler->Kind() != vn::pdf::security::HandlerKind::kNone;
  facts.authorized = handler->IsAuthorized();
  facts.permissions = handler->GetPermissions();
  if (handler->Kind() == vn::pdf::security::HandlerKind::kStandard) {
    auto* standard = static_cast<vn::pdf::security::StandardSecurityHandler*>(handler);
    facts.handler = "Standard";
    facts.revision = standard->Revision();
    facts.keyBits = standard->KeyLength() * 8;
    facts.method = standard->StreamMethod();
    switch (standard->Perms()) {
      case vn::pdf::security::PermsState::kNotApplicable: break;
      case vn::pdf::security::PermsState::kMatch: facts.perms = "match"; break;
      case vn::pdf::security::PermsState::kDiffers: facts.perms = "differ, Perms used"; break;
      case vn::pdf::security::PermsState::kUnreadable: facts.perms = "unreadable"; break;
    }
  } else if (facts.encrypted) {
    facts.handler = "unsupported";
  }
  vn::pdf::document::StoreResolver resolver(store);
  // A document whose page tree cannot be read opens with no pages.
  int32_t code = EngineErrorOf(context, [&] { facts.pages = vn::pdf::document::GetPageCount(resolver); });
  if (code != -1) {
    facts.pages = 0;
    facts.pageTreeError = DescribeError(code);
  }
  vn::Ref<ParsedObject> infoHolder(context);
  Value info = store.TrailerEntry("Info", infoHolder);
  if (!info.IsDictionary()) return;
  for (const char* key : kInfoKeys) {
    vn::Ref<ParsedObject> holder(context);
    Value v = store.Resolve(Get(context, info, key), holder);
    if (!v.IsString()) continue;
    std::string text = TextStringToUtf8(v);
    std::string k = key;
    if (k == "CreationDate" || k == "ModDate") text = app::FormatPdfDate(text);
    facts.info.emplace_back(k, text);
  }
}

void PrintText(const std::string& file, const Facts& f, uint32_t peak) {
  std::printf("file:          %s\n", file.c_str());
  std::printf("pages:         %lld\n", static_cast<long long>(f.pages));
  if (!f.pageTreeError.empty()) std::printf("page tree:     cannot be read (%s)\n", f.pageTreeError.c_str());
  std::printf("version:       %s\n", f.version.c_str());
  std::printf("linearized:    %s\n", f.linearized ? "yes" : "no");
  if (f.repaired) std::printf("repaired:      yes (the cross-reference data was rebuilt by scanning the file)\n");
  if (f.encrypted) {
    std::printf("encryption:    %s handler, revision %d, %u-bit key, %s, %s, permissions 0x%08x%s%s\n",
                f.handler.c_str(), f.revision, f.keyBits, f.method.c_str(), f.authorized ? "opened" : "not opened",
                static_cast<unsigned>(f.permissions), f.perms.empty() ? "" : " (P and Perms ",
                f.perms.empty() ? "" : (f.perms + ")").c_str());
  } else {
    std::printf("encryption:    none\n");
  }
  for (const auto& [key, value] : f.info) std::printf("%-14s %s\n", (key + ":").c_str(), value.c_str());
  std::printf("file size:     %lld bytes\n", f.fileSize);
  std::printf("peak memory:   %u bytes\n", peak);
}

void PrintJson(const Facts& f, uint32_t peak) {
  JsonWriter w;
  w.BeginObject();
  w.Key("pages").Number(f.pages);
  if (!f.pageTreeError.empty()) w.Key("page_tree_error").String(f.pageTreeError);
  w.Key("version").String(f.version);
  w.Key("linearized").Bool(f.linearized);
  w.Key("repaired").Bool(f.repaired);
  w.Key("file_size").Number(f.fileSize);
  w.Key("peak_memory_bytes").Number(peak);
  w.Key("encryption");
  if (f.encrypted) {
    w.BeginObject().Key("handler").String(f.handler).Key("revision").Number(f.revision);
    w.Key("key_bits").Number(f.keyBits).Key("method").String(f.method).Key("authorized").Bool(f.authorized);
    if (!f.perms.empty()) w.Key("perms").String(f.perms);
    w.Key("permissions").Number(f.permissions).EndObject();
  } else {
    w.Null();
  }
  w.Key("info").BeginObject();
  for (const auto& [key, value] : f.info) w.Key(key).String(value);
  w.EndObject().EndObject();
  std::printf("%s\n", w.Text().c_str());
}

}  // namespace

int RunInfo(const Arguments& arguments) {
  const std::string& file = arguments.Positionals()[0];
  std::string password = arguments.Has("--password") ? arguments.Value("--password") : "";
  vn::AppContext context;
  OpenDocument document(context);
  if (!document.Open(file, password)) return Fail(file, document.Reason());
  Facts facts;
  struct stat st;
  if (stat(file.c_str(), &st) == 0) facts.fileSize = st.st_size;
  int32_t code = EngineErrorOf(context, [&] { Collect(context, document.Store(), facts); });
  if (code != -1) return Fail(file, "cannot read the document's catalog: " + DescribeError(code));
  // Damage may come to light on any read, so this is asked last.
  facts.repaired = document.Store().IsRepaired();
  if (arguments.Has("--json")) PrintJson(facts, context.Budget().PeakBytes());
  else PrintText(file, facts, context.Budget().PeakBytes());
  return kExitOk;
}

}  // namespace folio::cli

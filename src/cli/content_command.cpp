// folio content FILE PAGE: the page's display list, replayed into a printer
// that writes one operator per line in content-stream syntax.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/open_document.h"
#include "cli/operator_printer.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"

namespace folio::cli {

namespace {

// {"page": N, "operators": ["q", "1 0 0 rg", ...]}: one string per line.
void PrintJson(int32_t page, const std::string& text) {
  JsonWriter w;
  w.BeginObject().Key("page").Number(page).Key("operators").BeginArray();
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    w.String(std::string_view(text).substr(start, end - start));
  }
  w.EndArray().EndObject();
  std::printf("%s\n", w.Text().c_str());
}

}  // namespace

int RunContent(const Arguments& arguments) {
  const std::string& file = arguments.Positionals()[0];
  const std::string& pageText = arguments.Positionals()[1];
  bool digits = !pageText.empty() && pageText.size() <= 9;
  for (char c : pageText) digits = digits && c >= '0' && c <= '9';
  int32_t page = digits ? std::atoi(pageText.c_str()) : 0;
  if (page < 1) {
    std::fprintf(stderr, "folio: '%s' is not a page number (pages count from 1)\n", pageText.c_str());
    return kExitUsage;
  }
  vn::AppContext context;
  OpenDocument document(context);
  std::string password = arguments.Has("--password") ? arguments.Value("--password") : "";
  if (!document.Open(file, password)) return Fail(file, document.Reason());

  int32_t pageCount = -1;
  int32_t code = EngineErrorOf(context, [&] {
    vn::Scoped<vn::pdf::document::Document> doc(context, document.Store());
    pageCount = doc->PageCount();
  });
  if (code != -1) return Fail(file, "the page tree cannot be read: " + DescribeError(code));
  if (page > pageCount) {
    return Fail(file, "there is no page " + pageText + " (the document has " + std::to_string(pageCount) +
                          (pageCount == 1 ? " page)" : " pages)"));
  }

  OperatorPrinter printer;
  int32_t listError = -1;
  code = EngineErrorOf(context, [&] {
    vn::Scoped<vn::pdf::document::Document> doc(context, document.Store());
    vn::Ref<vn::pdf::document::PageDisplayList> list(context);
    doc->GetPageDisplayList(list, page - 1);
    vn::pdf::content::DLPlayer player(*list, printer);
    player.Play();
    if (list->Errors().Size() != 0) listError = list->Errors()[0].code;
  });
  if (arguments.Has("--json")) PrintJson(page, printer.Text());
  else std::fwrite(printer.Text().data(), 1, printer.Text().size(), stdout);
  std::fflush(stdout);
  if (code != -1) return Fail(file, "page " + pageText + " cannot be replayed: " + DescribeError(code));
  if (listError != -1) {
    return Fail(file, "page " + pageText + "'s content stops early: " + DescribeError(listError));
  }
  return kExitOk;
}

}  // namespace folio::cli

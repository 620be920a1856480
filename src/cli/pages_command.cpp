// folio pages FILE [RANGE]: each page's visible box, MediaBox and rotation.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/open_document.h"
#include "cli/page_range.h"
#include "pdf/document/page_tree.h"
#include "pdf/document/store_resolver.h"

namespace folio::cli {

namespace {

using vn::FixedRect;
using vn::pdf::document::PageGeometry;

struct PageFacts {
  int32_t page;  // 1-based
  PageGeometry geometry;
};

std::string BoxText(const FixedRect& r) {
  std::string text = "[";
  for (vn::Fixed16_16 v : {r.x0, r.y0, r.x1, r.y1}) text.append(text.size() > 1 ? " " : "").append(FormatFixed(v));
  return text.append("]");
}

void WriteBox(JsonWriter& w, const FixedRect& r) {
  w.BeginArray().Fixed(r.x0).Fixed(r.y0).Fixed(r.x1).Fixed(r.y1).EndArray();
}

void PrintJson(const std::vector<PageFacts>& pages) {
  JsonWriter w;
  w.BeginArray();
  for (const PageFacts& p : pages) {
    w.BeginObject().Key("page").Number(p.page).Key("box");
    WriteBox(w, p.geometry.visible);
    w.Key("media_box");
    WriteBox(w, p.geometry.mediaBox);
    w.Key("rotate").Number(p.geometry.rotation).EndObject();
  }
  w.EndArray();
  std::printf("%s\n", w.Text().c_str());
}

void PrintText(const std::vector<PageFacts>& pages) {
  for (const PageFacts& p : pages) {
    std::printf("page %d: box %s, media box %s, rotate %d\n", p.page, BoxText(p.geometry.visible).c_str(),
                BoxText(p.geometry.mediaBox).c_str(), p.geometry.rotation);
  }
}

}  // namespace

int RunPages(const Arguments& arguments) {
  const std::string& file = arguments.Positionals()[0];
  std::vector<PageSpan> spans;
  if (!ReadPagesArgument(arguments.Positionals(), "pages", spans)) return kExitUsage;
  std::string password = arguments.Has("--password") ? arguments.Value("--password") : "";
  vn::AppContext context;
  OpenDocument document(context);
  int32_t count = 0;
  if (!document.Open(file, password) || !document.CountPages(count)) return Fail(file, document.Reason());
  std::vector<int32_t> numbers;
  std::string failure;
  if (!ListPages(spans, count, numbers, failure)) return Fail(file, failure);
  vn::pdf::document::StoreResolver resolver(document.Store());
  std::vector<PageFacts> pages;
  for (int32_t page : numbers) {
    PageFacts facts{page, {}};
    const int32_t code = EngineErrorOf(context, [&] {
      vn::pdf::document::ResolvedValue object(context);
      resolver.GetIndirectObject(vn::pdf::document::GetPageReference(resolver, page - 1), object);
      facts.geometry = vn::pdf::document::GetPageGeometry(resolver, object);
    });
    if (code != -1) return Fail(file, "page " + std::to_string(page) + " cannot be read: " + DescribeError(code));
    pages.push_back(facts);
  }
  if (arguments.Has("--json")) PrintJson(pages);
  else PrintText(pages);
  return kExitOk;
}

}  // namespace folio::cli

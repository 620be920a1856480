// folio fonts FILE [PAGES]: the fonts in the resources of those pages (and
// of the forms, patterns and Type 3 fonts they use, and of their
// annotations' appearances), one line each, in the manner of
// pdffonts: name, type, encoding, embedded or not and in what format, what
// draws it when it is not embedded, and the object number.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/open_document.h"
#include "cli/page_range.h"
#include "pdf/document/page_tree.h"
#include "pdf/document/store_resolver.h"
#include "pdf/text/pdf_font.h"
#include "runtime/engine_new.h"

namespace folio::cli {

namespace {

using vn::pdf::document::ObjectResolver;
using vn::pdf::document::ResolvedValue;
using vn::pdf::document::Value;
namespace doc = vn::pdf::document;

struct FontFacts {
  int32_t object = -1;  // -1: written in place
  std::string name;     // BaseFont, empty when absent
  std::string type;     // Subtype (the descendant's for Type0)
  std::string encoding;
  bool embedded = false;
  std::string format;   // Type1, CFF, TrueType, OpenType; empty when there is no program
  std::string substitute;  // the built-in face drawing it, empty when none does
};

// Forms nest at most this deep in the walk (a form may use itself).
constexpr int kMaxResourceDepth = 8;

std::string NameText(const Value& value) {
  return doc::IsName(value) ? std::string(reinterpret_cast<const char*>(value.Bytes()), value.Length()) : "";
}

class FontLister {
 public:
  FontLister(vn::AppContext& context, ObjectResolver& resolver) : context_(context), resolver_(resolver) {}

  // Lists the fonts of a resource dictionary, then those of its forms.
  void Walk(const ResolvedValue& resources, int depth) {
    if (!doc::IsDictionary(resources.Get()) || depth > kMaxResourceDepth) return;
    ForEachEntry(resources, "Font", [&](const ResolvedValue& font, int32_t number) {
      if (number >= 0 && !seen_.insert(number).second) return;
      fonts_.push_back(Describe(font, number));
      if (NameText(doc::DictionaryGet(context_, font.Get(), "Subtype")) == "Type3") {
        ResolvedValue own(context_);
        doc::GetResolved(resolver_, font, "Resources", own);
        Walk(own, depth + 1);
      }
    });
    auto walkInside = [&](const ResolvedValue& object, int32_t number) {
      if (number < 0 || !forms_.insert(number).second) return;
      ResolvedValue own(context_);
      doc::GetResolved(resolver_, object, "Resources", own);
      Walk(own, depth + 1);
    };
    ForEachEntry(resources, "XObject", [&](const ResolvedValue& object, int32_t number) {
      if (NameText(doc::DictionaryGet(context_, object.Get(), "Subtype")) == "Form") walkInside(object, number);
    });
    ForEachEntry(resources, "Pattern", walkInside);
  }

  // The fonts of the normal appearances of a page's annotations.
  void WalkAnnotations(const ResolvedValue& page) {
    ResolvedValue annotations(context_);
    doc::GetResolved(resolver_, page, "Annots", annotations);
    if (!doc::IsArray(annotations.Get())) return;
    for (uint32_t i = 0; i < doc::ArrayLength(annotations.Get()); ++i) {
      ResolvedValue annotation(annotations);
      annotation.SetChild(doc::ArrayElement(annotations.Get(), i));
      doc::ResolveInPlace(resolver_, annotation);
      if (!doc::IsDictionary(annotation.Get())) continue;
      ResolvedValue appearances(context_);
      doc::GetResolved(resolver_, annotation, "AP", appearances);
      if (!doc::IsDictionary(appearances.Get())) continue;
      ResolvedValue normal(context_);
      doc::GetResolved(resolver_, appearances, "N", normal);
      if (doc::IsStream(normal.Get())) {
        ResolvedValue own(context_);
        doc::GetResolved(resolver_, normal, "Resources", own);
        Walk(own, 1);
      } else if (doc::IsDictionary(normal.Get())) {
        ForEachEntry(normal, "", [&](const ResolvedValue& state, int32_t) {
          ResolvedValue own(context_);
          doc::GetResolved(resolver_, state, "Resources", own);
          Walk(own, 1);
        });
      }
    }
  }
  const std::vector<FontFacts>& Fonts() const { return fonts_; }

 private:
  // Visits the dictionaries among the values of resources[category] (of
  // `resources` itself for an empty category).
  template <class Visit>
  void ForEachEntry(const ResolvedValue& resources, const char* category, Visit visit) {
    ResolvedValue entries(resources);
    if (category[0] != 0) doc::GetResolved(resolver_, resources, category, entries);
    if (!doc::IsDictionary(entries.Get())) return;
    const vn::pdf::store::Container* c = entries.Get().container;
    for (uint32_t i = 0; i + 1 < c->Size(); i += 2) {
      const Value& value = c->At(i + 1);
      ResolvedValue resolved(entries);
      resolved.SetChild(value);
      doc::ResolveInPlace(resolver_, resolved);
      if (!doc::IsDictionary(resolved.Get())) continue;
      visit(resolved, doc::IsReference(value) ? doc::ReferenceOf(value).number : -1);
    }
  }

  FontFacts Describe(const ResolvedValue& font, int32_t number) {
    FontFacts f;
    f.object = number;
    ResolvedValue baseFont(context_);
    doc::GetResolved(resolver_, font, "BaseFont", baseFont);
    f.name = NameText(baseFont.Get());
    f.type = NameText(doc::DictionaryGet(context_, font.Get(), "Subtype"));
    ResolvedValue encoding(context_);
    doc::GetResolved(resolver_, font, "Encoding", encoding);
    f.encoding = doc::IsName(encoding.Get())         ? NameText(encoding.Get())
                 : doc::IsDictionary(encoding.Get()) ? (f.type == "Type0" ? "Embedded CMap" : "Custom")
                                                     : "Builtin";
    ResolvedValue described(font);
    if (f.type == "Type0") {
      ResolvedValue descendants(context_);
      doc::GetResolved(resolver_, font, "DescendantFonts", descendants);
      if (doc::IsArray(descendants.Get()) && doc::ArrayLength(descendants.Get()) > 0) {
        described = descendants;
        described.SetChild(doc::ArrayElement(descendants.Get(), 0));
        doc::ResolveInPlace(resolver_, described);
        if (doc::IsDictionary(described.Get())) {
          f.type = NameText(doc::DictionaryGet(context_, described.Get(), "Subtype"));
        }
      }
    }
    // A Type 3 font carries its glyphs in the file.
    if (f.type == "Type3") f.embedded = true;
    if (f.type == "Type1" || f.type == "MMType1" || f.type == "TrueType" || f.type == "CIDFontType0" ||
        f.type == "CIDFontType2") {
      f.substitute = SubstituteOf(font);
    }
    if (!doc::IsDictionary(described.Get())) return f;
    ResolvedValue descriptor(context_);
    doc::GetResolved(resolver_, described, "FontDescriptor", descriptor);
    if (!doc::IsDictionary(descriptor.Get())) return f;
    static const char* const kFiles[][2] = {{"FontFile", "Type1"}, {"FontFile2", "TrueType"}, {"FontFile3", "CFF"}};
    for (const auto& file : kFiles) {
      ResolvedValue stream(context_);
      doc::GetResolved(resolver_, descriptor, file[0], stream);
      if (!doc::IsStream(stream.Get())) continue;
      f.embedded = true;
      f.format = file[1];
      if (NameText(doc::DictionaryGet(context_, stream.Get(), "Subtype")) == "OpenType") f.format = "OpenType";
      break;
    }
    return f;
  }

  // The face that draws a simple font without a usable program of its own,
  // as the renderer would make the font (empty when the font cannot be
  // made).
  std::string SubstituteOf(const ResolvedValue& font) {
    std::string face;
    EngineErrorOf(context_, [&] {
      vn::Ref<vn::pdf::text::PDFFont> made(context_, vn::pdf::text::MakeFont(resolver_, font));
      if (made->SubstituteFace() != nullptr) face = made->SubstituteFace();
    });
    return face;
  }

  vn::AppContext& context_;
  ObjectResolver& resolver_;
  std::set<int32_t> seen_;
  std::set<int32_t> forms_;
  std::vector<FontFacts> fonts_;
};

// What draws a font: its own program, its glyph procedures (Type 3), a
// built-in face, or nothing.
const char* DrawnBy(const FontFacts& f) {
  if (f.type == "Type3") return "glyph procedures";
  if (!f.substitute.empty()) return f.substitute.c_str();
  if (f.embedded) return "embedded";
  return "not drawn";
}

void PrintJson(const std::vector<FontFacts>& fonts) {
  JsonWriter w;
  w.BeginArray();
  for (const FontFacts& f : fonts) {
    w.BeginObject().Key("object");
    if (f.object >= 0) w.Number(f.object);
    else w.Null();
    w.Key("name").String(f.name).Key("type").String(f.type).Key("encoding").String(f.encoding);
    w.Key("embedded").Bool(f.embedded).Key("format");
    if (f.format.empty()) w.Null();
    else w.String(f.format);
    w.Key("substitute");
    if (f.substitute.empty()) w.Null();
    else w.String(f.substitute);
    w.EndObject();
  }
  w.EndArray();
  std::printf("%s\n", w.Text().c_str());
}

void PrintText(const std::vector<FontFacts>& fonts) {
  std::printf("%-36s %-14s %-18s %-4s %-9s %-24s %s\n", "name", "type", "encoding", "emb", "format", "drawn by",
              "object");
  std::printf("%s\n", std::string(118, '-').c_str());
  for (const FontFacts& f : fonts) {
    std::printf("%-36s %-14s %-18s %-4s %-9s %-24s %s\n", f.name.empty() ? "[none]" : f.name.c_str(), f.type.c_str(),
                f.encoding.c_str(), f.embedded ? "yes" : "no", f.format.empty() ? "-" : f.format.c_str(), DrawnBy(f),
                f.object >= 0 ? std::to_string(f.object).c_str() : "-");
  }
}

}  // namespace

int RunFonts(const Arguments& arguments) {
  const std::string& file = arguments.Positionals()[0];
  std::vector<PageSpan> spans;
  if (!ReadPagesArgument(arguments.Positionals(), "fonts", spans)) return kExitUsage;
  std::string password = arguments.Has("--password") ? arguments.Value("--password") : "";
  vn::AppContext context;
  OpenDocument document(context);
  int32_t count = 0;
  if (!document.Open(file, password) || !document.CountPages(count)) return Fail(file, document.Reason());
  std::vector<int32_t> pages;
  std::string failure;
  if (!ListPages(spans, count, pages, failure)) return Fail(file, failure);
  vn::pdf::document::StoreResolver resolver(document.Store());
  FontLister lister(context, resolver);
  for (int32_t page : pages) {
    const int32_t code = EngineErrorOf(context, [&] {
      ResolvedValue object(context);
      resolver.GetIndirectObject(doc::GetPageReference(resolver, page - 1), object);
      ResolvedValue resources(context);
      doc::GetInheritedAttribute(resolver, object, "Resources", resources);
      lister.Walk(resources, 0);
      lister.WalkAnnotations(object);
    });
    if (code != -1) return Fail(file, "page " + std::to_string(page) + " cannot be read: " + DescribeError(code));
  }
  if (arguments.Has("--json")) PrintJson(lister.Fonts());
  else PrintText(lister.Fonts());
  return kExitOk;
}

}  // namespace folio::cli

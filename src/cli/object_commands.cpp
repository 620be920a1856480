// folio show FILE OBJNUM and folio stream FILE OBJNUM: one object, in PDF
// syntax or as its stream data.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/open_document.h"
#include "cli/pdf_syntax.h"

namespace folio::cli {

namespace {

using vn::pdf::store::ParsedObject;

// The object number argument; -1 when it is not a positive integer.
int32_t ObjectNumber(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
  }
  int32_t n = std::atoi(text.c_str());
  return n > 0 ? n : -1;
}

// Opens FILE and fetches OBJNUM; on failure prints why and returns false.
bool Fetch(vn::AppContext& context, const Arguments& arguments, OpenDocument& document,
           vn::Ref<ParsedObject>& object, int* status) {
  const std::string& file = arguments.Positionals()[0];
  int32_t number = ObjectNumber(arguments.Positionals()[1]);
  if (number < 0) {
    std::fprintf(stderr, "folio: '%s' is not an object number\n", arguments.Positionals()[1].c_str());
    *status = kExitUsage;
    return false;
  }
  std::string password = arguments.Has("--password") ? arguments.Value("--password") : "";
  if (!document.Open(file, password)) {
    *status = Fail(file, document.Reason());
    return false;
  }
  int32_t code = EngineErrorOf(context, [&] { document.Store().GetObject(object, number); });
  if (code != -1) {
    *status = Fail(file, "object " + std::to_string(number) + " cannot be read: " + DescribeError(code));
    return false;
  }
  return true;
}

}  // namespace

int RunShow(const Arguments& arguments) {
  vn::AppContext context;
  OpenDocument document(context);
  vn::Ref<ParsedObject> object(context);
  int status = kExitOk;
  if (!Fetch(context, arguments, document, object, &status)) return status;
  if (arguments.Has("--json")) {
    JsonWriter w;
    w.BeginObject().Key("object").Number(object->number).Key("generation").Number(object->generation);
    w.Key("stream").Bool(vn::pdf::store::StreamDataOffset(object->value) != 0).Key("value");
    WriteJsonValue(w, object->value);
    w.EndObject();
    std::printf("%s\n", w.Text().c_str());
    return kExitOk;
  }
  std::printf("%d %d obj\n%s\n", object->number, object->generation, ToPdfSyntax(object->value).c_str());
  if (vn::pdf::store::StreamDataOffset(object->value) != 0) {
    vn::Ref<ParsedObject> holder(context);
    int64_t bytes = -1;
    EngineErrorOf(context, [&] {
      vn::pdf::store::Value length =
          document.Store().Resolve(vn::pdf::store::Get(context, object->value, "Length"), holder);
      if (length.IsInteger()) bytes = length.i;
    });
    std::printf("stream\n%% %lld bytes of stream data\nendstream\n", static_cast<long long>(bytes));
  }
  std::printf("endobj\n");
  return kExitOk;
}

int RunStream(const Arguments& arguments) {
  vn::AppContext context;
  OpenDocument document(context);
  vn::Ref<ParsedObject> object(context);
  int status = kExitOk;
  if (!Fetch(context, arguments, document, object, &status)) return status;
  const std::string& file = arguments.Positionals()[0];
  if (vn::pdf::store::StreamDataOffset(object->value) == 0) {
    return Fail(file, "object " + arguments.Positionals()[1] + " is not a stream");
  }
  bool raw = arguments.Has("--raw");
  int32_t code = EngineErrorOf(context, [&] {
    vn::Owned<vn::data_io::DataBlockStream> stream(
        context, raw ? document.Store().OpenRawStreamData(*object) : document.Store().OpenStreamData(*object));
    vn::data_io::DataBlockRef block(context);
    for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) {
      std::fwrite(block.Data(), 1, block.Length(), stdout);
    }
  });
  std::fflush(stdout);
  if (code != -1) return Fail(file, "the stream cannot be decoded: " + DescribeError(code));
  return kExitOk;
}

}  // namespace folio::cli

#include "cli/commands.h"

#include <cstdio>

namespace folio::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"info", "document facts: pages, version, encryption, Info entries", "FILE [--password PW] [--json]",
       {{"--password", true}, {"--json", false}, {"--help", false}}, 1, &RunInfo},
      {"pages", "each page's visible box, MediaBox and rotation (all pages, or RANGE: 3, 2-5, 1,4,7-9)",
       "FILE [RANGE] [--password PW] [--json]", {{"--password", true}, {"--json", false}, {"--help", false}}, 1,
       &RunPages, 1},
      {"show", "an object in PDF syntax (or JSON)", "FILE OBJNUM [--password PW] [--json]",
       {{"--password", true}, {"--json", false}, {"--help", false}}, 2, &RunShow},
      {"stream", "a stream's decoded (or raw) data on standard output", "FILE OBJNUM [--raw] [--password PW]",
       {{"--password", true}, {"--raw", false}, {"--help", false}}, 2, &RunStream},
      {"content", "a page's display list replayed as operators, one per line", "FILE PAGE [--password PW] [--json]",
       {{"--password", true}, {"--json", false}, {"--help", false}}, 2, &RunContent},
  };
  return commands;
}

int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "folio: %s: %s\n", file.c_str(), reason.c_str());
  return kExitFailed;
}

}  // namespace folio::cli

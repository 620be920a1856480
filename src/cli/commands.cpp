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
      {"render", "pages drawn into PNG, PPM or PGM images (all pages, or PAGES: 3, 2-5, 1,4,7-9)",
       "FILE [PAGES] [-r DPI | -w WIDTH | -H HEIGHT] [--rotate 0|90|180|270] [-o OUTPUT] [-F png|ppm|pgm]\n"
       "       [--password PW] [--json]\n"
       "\n"
       "  -r DPI       resolution (default 72: one pixel per point)\n"
       "  -w WIDTH     image width in pixels (-H: height); the other side keeps the page's proportions\n"
       "  --rotate N   turn the page clockwise by N degrees, on top of its own rotation\n"
       "  -o OUTPUT    image file; with several pages it must contain %d (the page number); - is standard\n"
       "               output; default FILE's name with -%d.png, in the current folder\n"
       "  -F FORMAT    png, ppm or pgm (default: OUTPUT's extension)\n"
       "  --json       per page: output, size, milliseconds, peak engine memory, painted objects, events\n"
       "\n"
       "Content drawn approximately or not at all is summarised on standard error, one line per page\n"
       "and kind. Exit status 1 when a page could not be drawn (in whole or in part).",
       {{"--password", true}, {"-r", true}, {"-w", true}, {"-H", true}, {"--rotate", true}, {"-o", true},
        {"-F", true}, {"--json", false}, {"--help", false}},
       1, &RunRender, 1},
      {"fonts", "the fonts of pages (all pages, or PAGES): name, type, encoding, embedded program, object",
       "FILE [PAGES] [--password PW] [--json]", {{"--password", true}, {"--json", false}, {"--help", false}}, 1,
       &RunFonts, 1},
  };
  return commands;
}

int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "folio: %s: %s\n", file.c_str(), reason.c_str());
  return kExitFailed;
}

}  // namespace folio::cli

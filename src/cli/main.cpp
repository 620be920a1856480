// folio: the command-line face of the engine.
#include <cstdio>
#include <cstring>

#include "runtime/app_context.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: folio [--help] [--version] COMMAND [ARGS]\n"
      "\n"
      "Folio LE: a PDF engine for small devices.\n"
      "\n"
      "options:\n"
      "  --help      show this help and exit\n"
      "  --version   show the version and the engine's memory budget\n",
      out);
}

int PrintVersion() {
  vn::AppContext context;
  std::printf("folio %s\n", FOLIO_VERSION);
  std::printf("engine memory budget: soft limit %u bytes, hard limit %u bytes, minimum purge %u bytes\n",
              context.Budget().SoftLimit(), context.Budget().HardLimit(), context.Budget().MinimumPurge());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) return PrintVersion();
  std::fprintf(stderr, "folio: unknown command '%s' (see folio --help)\n", argv[1]);
  return 2;
}

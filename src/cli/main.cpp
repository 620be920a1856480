// folio: the command-line face of the engine.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "runtime/app_context.h"

namespace {

using folio::cli::Command;

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: folio [--help] [--version] COMMAND [ARGS]\n"
      "\n"
      "Folio LE: a PDF engine for small devices.\n"
      "\n"
      "commands:\n",
      out);
  for (const Command& c : folio::cli::Commands()) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
  std::fputs(
      "\n"
      "options:\n"
      "  --help      show this help (or a command's, after its name) and exit\n"
      "  --version   show the version and the engine's memory budget\n"
      "\n"
      "Exit status: 0 on success, 1 when the document cannot be read, 2 on a usage error.\n",
      out);
}

void PrintCommandUsage(FILE* out, const Command& c) {
  std::fprintf(out, "usage: folio %s %s\n\n%s\n", c.name, c.usage, c.summary);
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
    return folio::cli::kExitUsage;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) return PrintVersion();
  for (const Command& command : folio::cli::Commands()) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    folio::cli::Arguments arguments;
    std::string error = arguments.Parse(std::vector<std::string>(argv + 2, argv + argc), command.options);
    if (error.empty() && arguments.Has("--help")) {
      PrintCommandUsage(stdout, command);
      return 0;
    }
    const size_t given = arguments.Positionals().size();
    if (error.empty() && (given < command.positionals || given > command.positionals + command.optionalPositionals)) {
      error = "wrong number of arguments";
    }
    if (!error.empty()) {
      std::fprintf(stderr, "folio %s: %s\n", command.name, error.c_str());
      PrintCommandUsage(stderr, command);
      return folio::cli::kExitUsage;
    }
    return command.run(arguments);
  }
  std::fprintf(stderr, "folio: unknown command '%s' (see folio --help)\n", argv[1]);
  return folio::cli::kExitUsage;
}

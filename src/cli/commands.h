// The folio subcommands.
#pragma once

#include <string>
#include <vector>

#include "cli/arguments.h"

namespace folio::cli {

struct Command {
  const char* name;
  const char* summary;
  const char* usage;  // after "folio NAME"
  std::vector<OptionSpec> options;
  size_t positionals;  // how many positional arguments it needs
  int (*run)(const Arguments& arguments);
  size_t optionalPositionals = 0;  // how many more it accepts
};

const std::vector<Command>& Commands();

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Prints "folio: FILE: REASON" on standard error and returns kExitFailed.
int Fail(const std::string& file, const std::string& reason);

int RunInfo(const Arguments& arguments);
int RunPages(const Arguments& arguments);
int RunShow(const Arguments& arguments);
int RunStream(const Arguments& arguments);
int RunContent(const Arguments& arguments);
int RunRender(const Arguments& arguments);
int RunFonts(const Arguments& arguments);

}  // namespace folio::cli

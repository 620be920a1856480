// Running the folio binary from the command-line tests.
#pragma once

#include <cstdlib>
#include <string>

#include "support/shell.h"

namespace folio::test {

using Outcome = vn::test::ShellResult;

inline std::string Folio() {
  const char* dir = std::getenv("FOLIO_BINARY_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/src/cli/folio";
}

// Standard output and standard error together, as a user sees them.
inline Outcome Execute(const std::string& command) { return vn::test::RunShell(command, vn::test::Stderr::kMerge); }

inline const std::string kSample = std::string(FOLIO_SOURCE_DIR) + "/samples/hello.pdf";

}  // namespace folio::test

// Running a reference tool (or the folio binary) from a test.
#pragma once

#include <string>

namespace vn::test {

struct ShellResult {
  int status = -1;  // the exit status, -1 when the command did not exit normally
  std::string out;
};

enum class Stderr { kDrop, kMerge };

// Runs `command` through the shell and collects its standard output (and
// standard error when merged).
ShellResult RunShell(const std::string& command, Stderr stderrMode = Stderr::kDrop);

// Runs a reference tool: its standard output in `out`, and whether it
// exited with status 0.
bool RunTool(const std::string& command, std::string& out);

// A file name in the temporary directory that no other test process uses:
// several checkouts may run the same test at the same time.
std::string ScratchPath(const std::string& name);

}  // namespace vn::test

#include "support/shell.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace vn::test {

ShellResult RunShell(const std::string& command, Stderr stderrMode) {
  ShellResult result;
  const char* redirect = stderrMode == Stderr::kMerge ? " 2>&1" : " 2>/dev/null";
  FILE* pipe = popen((command + redirect).c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool RunTool(const std::string& command, std::string& out) {
  ShellResult result = RunShell(command);
  out = std::move(result.out);
  return result.status == 0;
}

std::string ScratchPath(const std::string& name) {
  std::string path = ::testing::TempDir();
  if (!path.empty() && path.back() != '/') path += '/';
  path += "folio-";
  path += std::to_string(getpid());
  path += '-';
  path += name;
  return path;
}

}  // namespace vn::test

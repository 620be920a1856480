// Command-line parsing shared by the folio subcommands: options may come
// before, between or after the positional arguments; "--" ends options.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace folio::cli {

struct OptionSpec {
  const char* name;  // with the leading dashes, e.g. "--password"
  bool takesValue;
};

class Arguments {
 public:
  const std::vector<std::string>& Positionals() const { return positionals_; }
  bool Has(const std::string& option) const { return options_.count(option) != 0; }
  const std::string& Value(const std::string& option) const { return options_.at(option); }

  // Parses `args`; returns an empty string on success, otherwise a one-line
  // description of the usage error.
  std::string Parse(const std::vector<std::string>& args, const std::vector<OptionSpec>& allowed);

 private:
  std::vector<std::string> positionals_;
  std::map<std::string, std::string> options_;
};

}  // namespace folio::cli

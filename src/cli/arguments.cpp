#include "cli/arguments.h"

namespace folio::cli {

std::string Arguments::Parse(const std::vector<std::string>& args, const std::vector<OptionSpec>& allowed) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg == "-") {
      positionals_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool inlineValue = false;
    if (size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    const OptionSpec* option = nullptr;
    for (const OptionSpec& candidate : allowed) {
      if (name == candidate.name) option = &candidate;
    }
    if (option == nullptr) return "unknown option '" + name + "'";
    if (option->takesValue && !inlineValue) {
      if (i + 1 >= args.size()) return "option '" + name + "' needs a value";
      value = args[++i];
    } else if (!option->takesValue && inlineValue) {
      return "option '" + name + "' takes no value";
    }
    options_[name] = value;
  }
  return std::string();
}

}  // namespace folio::cli

// The command-line parser on any arguments: it never crashes, hangs or
// throws; a parse either succeeds (run, help, version) or yields a usage
// error that says what is wrong; and the same arguments always parse the
// same way. Arguments are the input split at NUL bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/options.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "command-line property broken: %s\n", what);
  std::abort();
}

bool IsArgument(const std::vector<std::string>& arguments, const std::string& value) {
  for (const std::string& argument : arguments) {
    if (argument.find(value) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::vector<std::string> arguments;
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(bytes[i]));
    }
  }
  if (!current.empty()) arguments.push_back(current);
  if (arguments.size() > 64) return 0;

  using vostrel::cli::ParseResult;
  const ParseResult first = vostrel::cli::ParseOptions(arguments);
  const ParseResult second = vostrel::cli::ParseOptions(arguments);
  if (first.action != second.action || first.text != second.text) {
    Fail("the same arguments parsed two ways");
  }
  switch (first.action) {
    case ParseResult::Action::kUsageError:
      if (first.text.empty()) Fail("a usage error without a message");
      break;
    case ParseResult::Action::kHelp:
    case ParseResult::Action::kVersion:
      if (first.text.empty()) Fail("help or version without text");
      break;
    case ParseResult::Action::kRun: {
      const vostrel::cli::Options& options = first.options;
      // The library runtime is always part of a kit.
      if (!options.selection.libraryRuntime) Fail("a kit without the library runtime");
      // Roots come from the arguments, not from nowhere.
      if (!options.source.empty() && !IsArgument(arguments, options.source)) {
        Fail("a source that no argument gave");
      }
      if (!options.destination.empty() && !IsArgument(arguments, options.destination)) {
        Fail("a destination that no argument gave");
      }
      break;
    }
    default:
      Fail("an action outside run, help, version and usage error");
  }
  return 0;
}

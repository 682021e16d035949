// vostrel-kit-docs: writes vostrel-kit's manual page and its bash completion
// from the option table --help prints (DescribeCommand) and the board table,
// so neither is a second text to keep in step. Run by the build:
//   vostrel-kit-docs man FILE | vostrel-kit-docs bash-completion FILE
#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "engine/board_table.h"

namespace vostrel::cli {
namespace {

// Text as roff reads it: a backslash printed, '-' a minus (options are typed),
// a line never taken for a request, and the help's line breaks filled.
std::string Roff(const std::string& text) {
  std::string out = "\\&";
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c == '\n' ? ' ' : c;
    }
  }
  return out;
}

std::string Joined(const std::vector<std::string>& words, const std::string& between) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : between) + word;
  return out;
}

std::vector<std::string> BoardNames() {
  std::vector<std::string> names{"all"};
  for (const BoardDriverRow& row : kBoardDrivers) names.emplace_back(row.label);
  return names;
}

void WriteManual(std::ostream& out, const CommandTable& table) {
  out << ".TH VOSTREL\\-KIT 1 \"\" \"vostrel\\-kit " << KitVersion() << "\" \"User Commands\"\n"
      << ".SH NAME\nvostrel\\-kit \\- build a trimmed redistribution kit of an installation "
         "medium\n"
      << ".SH SYNOPSIS\n.B vostrel\\-kit\n[\\fIOPTION\\fR]...\n"
      << ".SH DESCRIPTION\n"
      << Roff(table.summary) << "\n.SH OPTIONS\n";
  for (const OptionEntry& option : table.options) {
    std::vector<std::string> names;
    for (const std::string& name : option.names) names.push_back("\\fB" + Roff(name) + "\\fR");
    out << ".TP\n" << Joined(names, ", ");
    if (!option.value.empty()) out << " \\fI" << Roff(option.value) << "\\fR";
    out << "\n" << Roff(option.text) << "\n";
  }
  out << ".SH \"EXIT STATUS\"\n" << Roff(table.footer) << "\n";
}

// What a value of each kind completes to.
std::string ValueCompletion(const std::string& kind) {
  if (kind == "NAME") {
    return "      local word=${cur##*,}\n"
           "      COMPREPLY=($(compgen -P \"${cur%\"$word\"}\" -W \"" +
           Joined(BoardNames(), " ") + "\" -- \"$word\"))\n";
  }
  if (kind == "DIR") return "      compopt -o filenames; COMPREPLY=($(compgen -d -- \"$cur\"))\n";
  if (kind == "PATH" || kind == "FILE") {
    return "      compopt -o filenames; COMPREPLY=($(compgen -f -- \"$cur\"))\n";
  }
  return "";  // a value of its own (a volume id): nothing to offer
}

void WriteCompletion(std::ostream& out, const CommandTable& table) {
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::vector<std::string>>> byValue;  // in order met
  for (const OptionEntry& option : table.options) {
    words.push_back(option.names.back());
    if (option.value.empty()) continue;
    auto same = [&](const auto& kind) { return kind.first == option.value; };
    auto kind = std::find_if(byValue.begin(), byValue.end(), same);
    if (kind == byValue.end()) kind = byValue.insert(kind, {option.value, {}});
    kind->second.insert(kind->second.end(), option.names.begin(), option.names.end());
  }
  out << "# bash completion for vostrel-kit: its options, the board names, files and folders.\n"
      << "# Made by the build from the option table (vostrel-kit-docs).\n"
      << "_vostrel_kit() {\n"
      << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      << "  COMPREPLY=()\n  case $prev in\n";
  for (const auto& [value, names] : byValue) {
    out << "    " << Joined(names, "|") << ")\n" << ValueCompletion(value) << "      return ;;\n";
  }
  out << "  esac\n"
      << "  COMPREPLY=($(compgen -W \"" << Joined(words, " ") << "\" -- \"$cur\"))\n"
      << "}\ncomplete -F _vostrel_kit vostrel-kit\n";
}

}  // namespace
}  // namespace vostrel::cli

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  if (what != "man" && what != "bash-completion") {
    std::cerr << "usage: vostrel-kit-docs man|bash-completion FILE\n";
    return 2;
  }
  std::ostringstream text;
  const vostrel::cli::CommandTable table = vostrel::cli::DescribeCommand();
  if (what == "man") {
    vostrel::cli::WriteManual(text, table);
  } else {
    vostrel::cli::WriteCompletion(text, table);
  }
  std::ofstream file(argv[2], std::ios::binary);
  file << text.str();
  file.close();
  if (!file) {
    std::cerr << "vostrel-kit-docs: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}

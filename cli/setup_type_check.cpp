#include "cli/setup_type_check.h"

#include <sstream>

#include "engine/windows_path.h"

namespace vostrel::cli {

namespace {

// The setup-type file as its reader sees it: sections of key=value entries,
// names without regard to case, the first of two equal keys counting.
// Comment lines (';') and blank lines carry nothing.
struct IniEntry {
  std::string key;
  std::string value;
  bool hasValue = true;  // false for a line without '='
};
struct IniSection {
  std::string name;  // empty for lines before the first section
  std::vector<IniEntry> entries;
};
using Ini = std::vector<IniSection>;

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

IniSection* FindSection(Ini& ini, const std::string& name) {
  for (IniSection& section : ini) {
    if (winpath::SameName(section.name, name)) return &section;
  }
  return nullptr;
}

const IniSection* FindSection(const Ini& ini, const std::string& name) {
  return FindSection(const_cast<Ini&>(ini), name);
}

IniEntry* FindEntry(IniSection& section, const std::string& key) {
  for (IniEntry& entry : section.entries) {
    if (winpath::SameName(entry.key, key)) return &entry;
  }
  return nullptr;
}

const IniEntry* FindEntry(const IniSection& section, const std::string& key) {
  return FindEntry(const_cast<IniSection&>(section), key);
}

IniEntry EntryOf(const std::string& line) {
  IniEntry entry;
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) {
    entry.key = line;
    entry.hasValue = false;
  } else {
    entry.key = Trim(line.substr(0, equals));
    entry.value = Trim(line.substr(equals + 1));
  }
  return entry;
}

IniSection* Section(Ini& ini, const std::string& name) {
  IniSection* found = FindSection(ini, name);
  if (found == nullptr) {
    ini.push_back(IniSection{name, {}});
    found = &ini.back();
  }
  return found;
}

Ini ParseIni(const std::string& text) {
  Ini ini;
  IniSection* current = nullptr;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t close = line.find(']');
      current = Section(
          ini, Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      continue;
    }
    if (current == nullptr) {
      ini.push_back(IniSection{"", {}});
      current = &ini.back();
    }
    IniEntry entry = EntryOf(line);
    if (FindEntry(*current, entry.key) == nullptr) current->entries.push_back(entry);
  }
  return ini;
}

// What one private-profile write does to the file.
void SetEntry(Ini& ini, const std::string& section, const std::string& key,
              const std::string& value) {
  IniSection* found = Section(ini, section);
  if (IniEntry* entry = FindEntry(*found, key)) {
    entry->value = value;
    entry->hasValue = true;
  } else {
    found->entries.push_back(IniEntry{key, value, true});
  }
}

std::string SectionName(const std::string& name) {
  return name.empty() ? std::string("(before the first section)") : "[" + name + "]";
}

std::string ValueText(const IniEntry& entry) {
  if (!entry.hasValue) return "present";
  return entry.value.empty() ? std::string("empty") : entry.value;
}

void CompareSection(const IniSection& wanted, const IniSection& got,
                    std::vector<std::string>& differences) {
  const std::string section = SectionName(wanted.name);
  for (const IniEntry& want : wanted.entries) {
    const IniEntry* found = FindEntry(got, want.key);
    const std::string name = section + " " + want.key;
    if (found == nullptr) {
      differences.push_back(name + " is absent, expected " + ValueText(want));
    } else if (found->hasValue != want.hasValue || found->value != want.value) {
      differences.push_back(name + " is " + ValueText(*found) + ", expected " + ValueText(want));
    }
  }
  for (const IniEntry& extra : got.entries) {
    if (FindEntry(wanted, extra.key) == nullptr) {
      differences.push_back(section + " " + extra.key + " is " + ValueText(extra) +
                            ", expected absent");
    }
  }
}

}  // namespace

std::vector<std::string> SetupTypeDifferences(const std::string& medium,
                                              const std::vector<ProfileWrite>& writes,
                                              const std::string& kit) {
  Ini want = ParseIni(medium);
  for (const ProfileWrite& write : writes) SetEntry(want, write.section, write.key, write.value);
  const Ini have = ParseIni(kit);
  std::vector<std::string> differences;
  for (const IniSection& section : want) {
    const IniSection* got = FindSection(have, section.name);
    if (got == nullptr) {
      differences.push_back(SectionName(section.name) + " is absent, expected present");
    } else {
      CompareSection(section, *got, differences);
    }
  }
  for (const IniSection& section : have) {
    if (FindSection(want, section.name) == nullptr) {
      differences.push_back(SectionName(section.name) + " is present, expected absent");
    }
  }
  return differences;
}

}  // namespace vostrel::cli

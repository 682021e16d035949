#include "cli/setup_type_check.h"

#include "engine/profile_text.h"

namespace vostrel::cli {

namespace {

std::string SectionName(const std::string& name) {
  return name.empty() ? std::string("(before the first section)") : "[" + name + "]";
}

std::string ValueText(const ProfileEntry& entry) {
  if (!entry.hasValue) return "present";
  return entry.value.empty() ? std::string("empty") : entry.value;
}

void CompareSection(const ProfileSection& wanted, const ProfileSection& got,
                    std::vector<std::string>& differences) {
  const std::string section = SectionName(wanted.name);
  for (const ProfileEntry& want : wanted.entries) {
    const ProfileEntry* found = got.Find(want.key);
    const std::string name = section + " " + want.key;
    if (found == nullptr) {
      differences.push_back(name + " is absent, expected " + ValueText(want));
    } else if (found->hasValue != want.hasValue || found->value != want.value) {
      differences.push_back(name + " is " + ValueText(*found) + ", expected " + ValueText(want));
    }
  }
  for (const ProfileEntry& extra : got.entries) {
    if (wanted.Find(extra.key) == nullptr) {
      differences.push_back(section + " " + extra.key + " is " + ValueText(extra) +
                            ", expected absent");
    }
  }
}

}  // namespace

std::vector<std::string> SetupTypeDifferences(const std::string& medium,
                                              const std::vector<ProfileWrite>& writes,
                                              const std::string& kit) {
  Profile want = ReadProfile(medium);
  for (const ProfileWrite& write : writes) want.Set(write.section, write.key, write.value);
  const Profile have = ReadProfile(kit);
  std::vector<std::string> differences;
  for (const ProfileSection& section : want.sections) {
    const ProfileSection* got = have.Find(section.name);
    if (got == nullptr) {
      differences.push_back(SectionName(section.name) + " is absent, expected present");
    } else {
      CompareSection(section, *got, differences);
    }
  }
  for (const ProfileSection& section : have.sections) {
    if (want.Find(section.name) == nullptr) {
      differences.push_back(SectionName(section.name) + " is present, expected absent");
    }
  }
  return differences;
}

}  // namespace vostrel::cli

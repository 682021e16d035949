#include "cli/verify.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/kit_run.h"
#include "cli/manifest.h"
#include "cli/sha256.h"
#include "engine/board_table.h"
#include "engine/dry_run_file_system.h"
#include "engine/recording_file_system.h"
#include "engine/redistribution.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

constexpr const char* kPrefix = "vostrel-kit: ";

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Names compare without regard to case, as the kit's reader compares them.
std::string Key(const std::string& text) {
  std::string key = text;
  for (char& c : key) c = UpperAscii(c);
  return key;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string ParentOf(const std::string& relative) {
  std::size_t cut = relative.rfind('/');
  return cut == std::string::npos ? std::string() : relative.substr(0, cut);
}

std::string Shown(const std::string& relative) { return relative.empty() ? "." : relative; }

std::string DropTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == platform::PreferredSeparator())) {
    if (path.size() == 3 && path[1] == ':') break;
    path.pop_back();
  }
  return path;
}

// The part of a path the run formed below destRoot, with '/' separators;
// false for a path elsewhere.
bool RelativeTo(const std::string& destRoot, const std::string& path, std::string& relative) {
  if (path.compare(0, destRoot.size(), destRoot) != 0) return false;
  if (path.size() > destRoot.size() && !IsSeparator(path[destRoot.size()]) &&
      !IsSeparator(destRoot.back())) {
    return false;
  }
  relative.clear();
  for (std::size_t i = destRoot.size(); i < path.size(); ++i) {
    if (IsSeparator(path[i])) {
      if (!relative.empty() && relative.back() != '/') relative += '/';
    } else {
      relative += path[i];
    }
  }
  if (!relative.empty() && relative.back() == '/') relative.pop_back();
  return true;
}

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
    if (Key(section.name) == Key(name)) return &section;
  }
  return nullptr;
}

const IniSection* FindSection(const Ini& ini, const std::string& name) {
  return FindSection(const_cast<Ini&>(ini), name);
}

IniEntry* FindEntry(IniSection& section, const std::string& key) {
  for (IniEntry& entry : section.entries) {
    if (Key(entry.key) == Key(key)) return &entry;
  }
  return nullptr;
}

const IniEntry* FindEntry(const IniSection& section, const std::string& key) {
  return FindEntry(const_cast<IniSection&>(section), key);
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
      std::string name =
          Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      current = FindSection(ini, name);
      if (current == nullptr) {
        ini.push_back(IniSection{name, {}});
        current = &ini.back();
      }
      continue;
    }
    if (current == nullptr) {
      ini.push_back(IniSection{"", {}});
      current = &ini.back();
    }
    IniEntry entry;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      entry.key = line;
      entry.hasValue = false;
    } else {
      entry.key = Trim(line.substr(0, equals));
      entry.value = Trim(line.substr(equals + 1));
    }
    if (FindEntry(*current, entry.key) == nullptr) current->entries.push_back(entry);
  }
  return ini;
}

// What one private-profile write does to the file.
void SetEntry(Ini& ini, const std::string& section, const std::string& key,
              const std::string& value) {
  IniSection* found = FindSection(ini, section);
  if (found == nullptr) {
    ini.push_back(IniSection{section, {}});
    found = &ini.back();
  }
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

bool ReadWhole(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return !in.bad();
}

// An item of the kit the run would build.
struct ExpectedItem {
  std::string relative;  // as the run spells it
  bool isDirectory = false;
  std::string source;  // the medium's file it is copied from; empty when only written
  bool readOnly = false;
  int walk = -1;  // the folder walk that makes it; -1 for a single step
  std::size_t order = 0;
  std::vector<std::array<std::string, 3>> writes;  // section, key, value, in order
};

struct ExpectedKit {
  std::map<std::string, ExpectedItem> items;   // by Key(relative)
  std::map<std::string, std::string> removed;  // what the run deletes, by key
  std::vector<std::string> walkFolders;        // the kit folder each walk fills
};

class SilentFeedback : public RunFeedback {
 public:
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
};

// The run played over an empty destination, operation by operation.
ExpectedKit PlanKit(FileSystem& disk, const std::string& sourceRoot, const std::string& destRoot,
                    const KitSelection& selection) {
  DryRunFileSystem plan(disk);
  plan.PretendEmptyFolder(destRoot);
  RecordingFileSystem recorder(plan);
  SilentFeedback silent;
  RunRedistribution(recorder, silent, sourceRoot, destRoot, selection);

  ExpectedKit kit;
  std::vector<int> walks;  // the walks open at this point, innermost last
  std::size_t order = 0;
  auto item = [&](const std::string& path, bool isDirectory) -> ExpectedItem* {
    std::string relative;
    if (!RelativeTo(destRoot, path, relative) || relative.empty()) return nullptr;
    const std::string key = Key(relative);
    kit.removed.erase(key);
    auto found = kit.items.find(key);
    if (found != kit.items.end()) return &found->second;
    ExpectedItem& made = kit.items[key];
    made.relative = relative;
    made.isDirectory = isDirectory;
    made.order = order++;
    if (!walks.empty()) {
      made.walk = walks.back();
      std::string& folder = kit.walkFolders[static_cast<std::size_t>(made.walk)];
      if (folder.empty()) folder = ParentOf(relative);
    }
    return &made;
  };
  for (const Operation& operation : recorder.operations()) {
    switch (operation.kind) {
      case OperationKind::kFindFirst:
        if (operation.ok) {
          walks.push_back(static_cast<int>(kit.walkFolders.size()));
          kit.walkFolders.emplace_back();
        }
        break;
      case OperationKind::kFindEnd:
        if (!walks.empty()) walks.pop_back();
        break;
      case OperationKind::kCreateFolder:
        if (operation.ok) item(operation.path, true);
        break;
      case OperationKind::kCopyFile:
        if (operation.ok) {
          if (ExpectedItem* copy = item(operation.target, false)) {
            copy->source = operation.path;
            FileInfo info;
            copy->readOnly = disk.GetInfo(operation.path, info) && info.readOnly;
          }
        }
        break;
      case OperationKind::kSetAttributes:
        if (operation.ok) {
          std::string relative;
          if (RelativeTo(destRoot, operation.path, relative)) {
            auto found = kit.items.find(Key(relative));
            if (found != kit.items.end()) {
              found->second.readOnly = (operation.attributes & kFileAttributeReadOnly) != 0;
            }
          }
        }
        break;
      case OperationKind::kWriteProfile:
        if (operation.ok) {
          if (ExpectedItem* file = item(operation.path, false)) {
            file->writes.push_back({operation.section, operation.key, operation.value});
          }
        }
        break;
      case OperationKind::kRemoveFile:
        if (operation.ok) {
          std::string relative;
          if (RelativeTo(destRoot, operation.path, relative)) {
            kit.items.erase(Key(relative));
            kit.removed[Key(relative)] = relative;
          }
        }
        break;
    }
  }
  return kit;
}

// Why the selection leaves an extra item out of the kit, where that shows.
std::string ExtraCause(const std::string& relative, const ExpectedKit& kit,
                       const KitSelection& selection) {
  const std::string key = Key(relative);
  if (kit.removed.count(key) != 0) return "the run removes it for this selection";
  auto suffixKey = [](const char* suffix) {
    std::string text = suffix;
    std::replace(text.begin(), text.end(), '\\', '/');
    while (!text.empty() && text.front() == '/') text.erase(0, 1);
    return Key(text);
  };
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (key == suffixKey(row.driverFolder)) {
      return std::string("the board ") + row.label + " is not chosen";
    }
  }
  if (key == suffixKey(kVideoCardFolder) && !selection.videoCard) {
    return "the video card is not chosen";
  }
  if (key == "JURANO" || key == "JURANO/RUNTIME") return "the board Jurano is not chosen";
  if (key == suffixKey("\\Talvor Imaging\\Quenzo")) return "--quenzo is not chosen";
  if (key == suffixKey("\\Talvor Imaging\\Framory")) return "--framory is not chosen";
  return std::string();
}

std::string WithCauses(std::string text, const std::vector<std::string>& causes) {
  std::string joined;
  for (const std::string& cause : causes) {
    if (cause.empty()) continue;
    if (!joined.empty()) joined += "; ";
    joined += cause;
  }
  return joined.empty() ? text : text + " (" + joined + ")";
}

std::string Count(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

class KitComparison {
 public:
  KitComparison(FileSystem& disk, const ExpectedKit& expected, const KitListing& actual,
                const KitSelection& selection)
      : disk_(disk), expected_(expected), actual_(actual), selection_(selection) {}

  void Run() {
    MatchItems();
    ReportExpected();
    ReportExtras();
    for (const std::string& issue : actual_.issues) Add("", 2, "cannot check: " + issue);
    std::stable_sort(differences_.begin(), differences_.end(),
                     [](const Difference& a, const Difference& b) {
                       if (a.sortKey != b.sortKey) return a.sortKey < b.sortKey;
                       return a.rank < b.rank;
                     });
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const Difference& difference : differences_) lines.push_back(difference.text);
    return lines;
  }
  const std::map<std::string, std::string>& digests() const { return digests_; }
  std::size_t files() const { return files_; }
  std::size_t folders() const { return folders_; }

 private:
  struct Difference {
    std::string sortKey;
    int rank;  // the item's own line first, then its setup-type entries
    std::string text;
  };

  void Add(const std::string& relative, int rank, std::string text) {
    differences_.push_back(Difference{relative, rank, std::move(text)});
  }

  // Pairs each expected item with the kit's entry of the same name: the one
  // spelled exactly so, else the first one listed.
  void MatchItems() {
    std::map<std::string, std::vector<std::size_t>> byKey;
    for (std::size_t i = 0; i < actual_.entries.size(); ++i) {
      byKey[Key(actual_.entries[i].relative)].push_back(i);
    }
    matchedBy_.assign(actual_.entries.size(), nullptr);
    for (const auto& [key, item] : expected_.items) {
      auto found = byKey.find(key);
      if (found == byKey.end()) continue;
      std::optional<std::size_t> pick;
      for (std::size_t index : found->second) {
        if (matchedBy_[index] != nullptr) continue;
        if (actual_.entries[index].relative == item.relative) {
          pick = index;
          break;
        }
        if (!pick) pick = index;
      }
      if (!pick) continue;
      matchedBy_[*pick] = &item;
      match_[key] = *pick;
    }
  }

  const KitEntry* Actual(const std::string& key) const {
    auto found = match_.find(key);
    return found == match_.end() ? nullptr : &actual_.entries[found->second];
  }

  bool Present(const ExpectedItem& item) const {
    const KitEntry* entry = Actual(Key(item.relative));
    return entry != nullptr && entry->isDirectory == item.isDirectory;
  }

  // The missing folder above `relative` that reports it, if any.
  std::optional<std::string> MissingAncestor(const std::string& relative) const {
    std::optional<std::string> top;
    for (std::string folder = ParentOf(relative); !folder.empty(); folder = ParentOf(folder)) {
      if (missingFolders_.count(Key(folder)) != 0) top = Key(folder);
    }
    return top;
  }

  // A missing item whose walk met a file the kit holds before reaching it:
  // a rerun's walk ends at that file, so it does not bring the item back.
  std::string WalkCause(const ExpectedItem& item) const {
    if (item.walk < 0) return std::string();
    auto first = firstPresentInWalk_.find(item.walk);
    if (first == firstPresentInWalk_.end() || first->second->order > item.order) {
      return std::string();
    }
    return "the walk of " + Shown(expected_.walkFolders[static_cast<std::size_t>(item.walk)]) +
           " stopped at existing file " + first->second->relative;
  }

  void ReportExpected() {
    for (const auto& [key, item] : expected_.items) {
      if (item.isDirectory) {
        ++folders_;
        if (!Present(item)) missingFolders_.insert(key);
      } else {
        ++files_;
        if (Present(item) && item.walk >= 0) {
          const ExpectedItem*& first = firstPresentInWalk_[item.walk];
          if (first == nullptr || item.order < first->order) first = &item;
        }
      }
    }
    std::map<std::string, std::size_t> filesBelow;  // by the key of the missing folder
    for (const auto& [key, item] : expected_.items) {
      if (item.isDirectory) continue;
      if (std::optional<std::string> top = MissingAncestor(item.relative)) ++filesBelow[*top];
    }

    for (const auto& [key, item] : expected_.items) {
      if (MissingAncestor(item.relative)) continue;
      const KitEntry* entry = Actual(key);
      if (item.isDirectory) {
        if (entry != nullptr && entry->isDirectory) continue;
        std::vector<std::string> causes;
        if (entry != nullptr) causes.push_back("a file stands in its place");
        if (std::size_t below = filesBelow[key]) {
          causes.push_back(Count(below, "file") + " expected in it");
        }
        causes.push_back(WalkCause(item));
        Add(item.relative, 0, WithCauses("missing folder: " + item.relative, causes));
        continue;
      }
      if (entry == nullptr) {
        Add(item.relative, 0, WithCauses("missing file: " + item.relative, {WalkCause(item)}));
        continue;
      }
      if (entry->isDirectory) {
        Add(item.relative, 0,
            WithCauses("missing file: " + item.relative,
                       {"a folder stands in its place", WalkCause(item)}));
        continue;
      }
      CheckFile(item, *entry);
    }
  }

  bool KitDigest(const KitEntry& entry, std::string& digest, std::string& error) {
    auto known = digests_.find(entry.relative);
    if (known != digests_.end()) {
      digest = known->second;
      return true;
    }
    if (!Sha256OfFile(entry.native, digest, error)) return false;
    digests_[entry.relative] = digest;
    return true;
  }

  void CheckFile(const ExpectedItem& item, const KitEntry& entry) {
    const std::string& shown = entry.relative;
    if (!entry.regular) {
      Add(shown, 0, "content differs: " + shown + " (not a regular file)");
      return;
    }
    if (!item.writes.empty()) {
      CheckSetupType(item, entry);
    } else {
      CheckContent(item, entry);
    }
    if (entry.readOnly != item.readOnly) {
      Add(shown, 0,
          "read-only differs: " + shown +
              (item.readOnly ? " (expected read-only)" : " (expected writable)"));
    }
  }

  void CheckContent(const ExpectedItem& item, const KitEntry& entry) {
    const std::string& shown = entry.relative;
    const std::string medium = disk_.FullPath(item.source);
    std::string kitDigest, mediumDigest, error;
    if (!KitDigest(entry, kitDigest, error)) {
      Add(shown, 0, "cannot check: " + shown + " (" + error + ")");
      return;
    }
    FileInfo info;
    if (disk_.GetInfo(item.source, info) && info.size != entry.size) {
      Add(shown, 0, "content differs: " + shown);
      return;
    }
    if (!Sha256OfFile(medium, mediumDigest, error)) {
      Add(shown, 0, "cannot check: " + shown + " (the medium's " + medium + ": " + error + ")");
      return;
    }
    if (kitDigest != mediumDigest) Add(shown, 0, "content differs: " + shown);
  }

  // The setup-type file is compared entry by entry: every entry the run
  // writes holds its last written value, every other one is the medium's.
  void CheckSetupType(const ExpectedItem& item, const KitEntry& entry) {
    const std::string& shown = entry.relative;
    Ini want;
    if (!item.source.empty()) {
      std::string text;
      if (!ReadWhole(disk_.FullPath(item.source), text)) {
        Add(shown, 0, "cannot check: " + shown + " (the medium's copy cannot be read)");
        return;
      }
      want = ParseIni(text);
    }
    for (const auto& write : item.writes) SetEntry(want, write[0], write[1], write[2]);
    std::string text;
    if (!ReadWhole(entry.native, text)) {
      Add(shown, 0, "cannot check: " + shown + " (it cannot be read)");
      return;
    }
    std::string digest, error;
    KitDigest(entry, digest, error);  // for the manifest
    const Ini have = ParseIni(text);

    auto differs = [&](const std::string& what) { Add(shown, 1, "setup-type differs: " + what); };
    for (const IniSection& section : want) {
      const IniSection* got = FindSection(have, section.name);
      if (got == nullptr) {
        differs(SectionName(section.name) + " is absent, expected present");
        continue;
      }
      for (const IniEntry& wanted : section.entries) {
        const IniEntry* found = FindEntry(*got, wanted.key);
        const std::string name = SectionName(section.name) + " " + wanted.key;
        if (found == nullptr) {
          differs(name + " is absent, expected " + ValueText(wanted));
        } else if (found->hasValue != wanted.hasValue || found->value != wanted.value) {
          differs(name + " is " + ValueText(*found) + ", expected " + ValueText(wanted));
        }
      }
      for (const IniEntry& extra : got->entries) {
        if (FindEntry(section, extra.key) == nullptr) {
          differs(SectionName(section.name) + " " + extra.key + " is " + ValueText(extra) +
                  ", expected absent");
        }
      }
    }
    for (const IniSection& section : have) {
      if (FindSection(want, section.name) == nullptr) {
        differs(SectionName(section.name) + " is present, expected absent");
      }
    }
  }

  // Entries of the kit that no expected item claims; what lies inside an
  // extra folder (or a folder standing where a file belongs) is counted
  // with it, not listed.
  void ReportExtras() {
    std::map<std::string, std::string> coveredBy;  // folder -> the reported folder above it
    std::map<std::string, std::size_t> reportIndex;
    std::map<std::string, std::size_t> filesInside;
    for (std::size_t i = 0; i < actual_.entries.size(); ++i) {
      const KitEntry& entry = actual_.entries[i];
      auto cover = coveredBy.find(ParentOf(entry.relative));
      if (cover != coveredBy.end()) {
        if (entry.isDirectory) coveredBy[entry.relative] = cover->second;
        if (!entry.isDirectory && !cover->second.empty()) ++filesInside[cover->second];
        continue;
      }
      const ExpectedItem* claimed = matchedBy_[i];
      if (claimed != nullptr) {
        // A folder where a file belongs was reported as the missing file.
        if (entry.isDirectory && !claimed->isDirectory) coveredBy[entry.relative] = "";
        continue;
      }
      std::vector<std::string> causes = {ExtraCause(entry.relative, expected_, selection_)};
      if (!entry.windowsName) causes.push_back("a name Windows cannot hold");
      if (entry.isDirectory) {
        coveredBy[entry.relative] = entry.relative;
        reportIndex[entry.relative] = differences_.size();
        Add(entry.relative, 0, "extra folder: " + entry.relative);
        pendingCauses_[entry.relative] = causes;
      } else {
        Add(entry.relative, 0, WithCauses("extra file: " + entry.relative, causes));
      }
    }
    for (const auto& [folder, index] : reportIndex) {
      std::vector<std::string> causes = pendingCauses_[folder];
      if (std::size_t inside = filesInside[folder]) {
        causes.insert(causes.begin(), Count(inside, "file") + " in it");
      }
      differences_[index].text = WithCauses(differences_[index].text, causes);
    }
  }

  FileSystem& disk_;
  const ExpectedKit& expected_;
  const KitListing& actual_;
  const KitSelection& selection_;
  std::vector<const ExpectedItem*> matchedBy_;  // per kit entry
  std::map<std::string, std::size_t> match_;    // expected key -> kit entry
  std::set<std::string> missingFolders_;
  std::map<int, const ExpectedItem*> firstPresentInWalk_;
  std::map<std::string, std::vector<std::string>> pendingCauses_;
  std::map<std::string, std::string> digests_;  // kit files hashed, by relative path
  std::vector<Difference> differences_;
  std::size_t files_ = 0;
  std::size_t folders_ = 0;
};

}  // namespace

int RunVerify(const Options& options, std::ostream& out, std::ostream& err) {
  if (std::optional<int> refused = CheckRoots(options, err)) return *refused;

  std::unique_ptr<FileSystem> disk = platform::MakeNativeFileSystem();
  std::string sourceRoot, error;
  if (!ResolveSourceRoot(*disk, options.source, sourceRoot, error)) {
    err << kPrefix << error << '\n';
    return kExitUsage;
  }
  std::string destRoot = DropTrailingSeparators(platform::AbsolutePath(options.destination));
  FileInfo info;
  if (destRoot.empty() || !disk->GetInfo(destRoot, info)) {
    err << kPrefix << "destination not found: " << options.destination << '\n';
    return kExitUsage;
  }
  if (!info.isDirectory) {
    err << kPrefix << "the destination is not a folder: " << options.destination << '\n';
    return kExitUsage;
  }
  if (std::optional<std::string> message =
          ValidateRun(*disk, sourceRoot, destRoot, options.selection)) {
    err << *message << '\n';
    return kExitUsage;
  }
  if (std::optional<std::string> problem = CheckKitOutputs(options, destRoot)) {
    err << kPrefix << *problem << '\n';
    return kExitUsage;
  }

  const ExpectedKit expected = PlanKit(*disk, sourceRoot, destRoot, options.selection);
  const KitListing actual = ListKit(destRoot);
  KitComparison comparison(*disk, expected, actual, options.selection);
  comparison.Run();
  const std::vector<std::string> lines = comparison.Lines();
  if (!options.quiet) {
    for (const std::string& line : lines) out << line << '\n';
    out << std::flush;
  }

  int exitCode = lines.empty() ? kExitComplete : kExitIncomplete;
  const std::string checked =
      Count(comparison.files(), "file") + " and " + Count(comparison.folders(), "folder");
  if (lines.empty()) {
    err << kPrefix << "the kit matches the medium and the selection: " << checked << '\n';
  } else {
    err << kPrefix << "the kit differs from what the medium and the selection call for: "
        << Count(lines.size(), "difference") << " (" << checked << " expected)\n";
  }

  OutputMessages messages;
  WriteKitOutputs(options, destRoot, comparison.digests(), messages);
  for (const std::string& note : messages.notes) err << kPrefix << note << '\n';
  for (const std::string& warning : messages.warnings) {
    err << kPrefix << "warning: " << warning << '\n';
  }
  for (const std::string& failure : messages.failures) err << kPrefix << failure << '\n';
  if (!messages.failures.empty()) exitCode = kExitIncomplete;
  return exitCode;
}

}  // namespace vostrel::cli

#include "cli/kit_comparison.h"

#include <algorithm>

#include "cli/messages.h"
#include "cli/setup_type_check.h"
#include "cli/sha256.h"
#include "engine/board_table.h"
#include "engine/name_key.h"
#include "engine/windows_path.h"
#include "platform/native.h"

namespace vostrel::cli {

namespace {

// Kit paths compare by the name key, as the run finds names on disk.
std::u16string Key(const std::string& relative) { return names::FoldKey(relative); }

// The kit's paths are joined by '/' from names as on disk; on Linux a name
// may hold '\'.
std::string FolderOf(const std::string& relative) { return winpath::ParentOf(relative, false); }

std::string Shown(const std::string& relative) { return relative.empty() ? "." : relative; }

// A folder of the engine's tables as a kit path's key.
std::u16string TableKey(const char* folder) {
  std::u16string key = Key(winpath::Normalized(folder));
  if (!key.empty() && key.front() == u'/') key.erase(0, 1);
  return key;
}

// Why the selection leaves an extra item out of the kit, where that shows.
std::string ExtraCause(const std::string& relative, const ExpectedKit& kit,
                       const KitSelection& selection) {
  const std::u16string key = Key(relative);
  if (kit.removed.count(key) != 0) return "the run removes it for this selection";
  for (const BoardDriverRow& row : kBoardDrivers) {
    if (key == TableKey(row.driverFolder)) {
      return std::string("the board ") + row.label + " is not chosen";
    }
  }
  if (key == TableKey(kVideoCardFolder) && !selection.videoCard) {
    return "the video card is not chosen";
  }
  if (key == u"JURANO" || key == u"JURANO/RUNTIME") return "the board Jurano is not chosen";
  if (key == TableKey("\\Talvor Imaging\\Quenzo")) return "--quenzo is not chosen";
  if (key == TableKey("\\Talvor Imaging\\Framory")) return "--framory is not chosen";
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

// A reader's sink that keeps a file's bytes in `text`.
platform::ChunkSink Into(std::string& text) {
  return [&text](const char* data, std::size_t size) {
    text.append(data, size);
    return true;
  };
}

}  // namespace

void KitComparison::Run() {
  MatchItems();
  TakeStock();
  ReportExpected();
  ReportExtras();
  for (const std::string& issue : actual_.issues) Add("", 2, "cannot check: " + issue);
  std::stable_sort(differences_.begin(), differences_.end(),
                   [](const Difference& a, const Difference& b) {
                     if (a.sortKey != b.sortKey) return a.sortKey < b.sortKey;
                     return a.rank < b.rank;
                   });
}

std::vector<std::string> KitComparison::Lines() const {
  std::vector<std::string> lines;
  for (const Difference& difference : differences_) lines.push_back(difference.text);
  return lines;
}

void KitComparison::Add(const std::string& relative, int rank, std::string text) {
  differences_.push_back(Difference{relative, rank, std::move(text)});
}

// Pairs each expected item with the kit's entry of the same name: the one
// spelled exactly so, else the first one listed.
void KitComparison::MatchItems() {
  std::map<std::u16string, std::vector<std::size_t>> byKey;
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

const KitEntry* KitComparison::Actual(const std::u16string& key) const {
  auto found = match_.find(key);
  return found == match_.end() ? nullptr : &actual_.entries[found->second];
}

bool KitComparison::Present(const ExpectedItem& item) const {
  const KitEntry* entry = Actual(Key(item.relative));
  return entry != nullptr && entry->isDirectory == item.isDirectory;
}

// The missing folder above `relative` that reports it, if any.
std::optional<std::u16string> KitComparison::MissingAncestor(const std::string& relative) const {
  std::optional<std::u16string> top;
  for (std::string folder = FolderOf(relative); !folder.empty(); folder = FolderOf(folder)) {
    if (missingFolders_.count(Key(folder)) != 0) top = Key(folder);
  }
  return top;
}

// A missing item whose walk met a file the kit holds before reaching it:
// a rerun's walk ends at that file, so it does not bring the item back.
std::string KitComparison::WalkCause(const ExpectedItem& item) const {
  if (item.walk < 0) return std::string();
  auto first = firstPresentInWalk_.find(item.walk);
  if (first == firstPresentInWalk_.end() || first->second->order > item.order) {
    return std::string();
  }
  return "the walk of " + Shown(expected_.walkFolders[static_cast<std::size_t>(item.walk)]) +
         " stopped at existing file " + first->second->relative;
}

// Counts what the kit should hold, and finds the missing folders (which
// report what they should hold) and the first file of each walk the kit has.
void KitComparison::TakeStock() {
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
  for (const auto& [key, item] : expected_.items) {
    if (item.isDirectory) continue;
    if (std::optional<std::u16string> top = MissingAncestor(item.relative)) ++filesBelow_[*top];
  }
}

void KitComparison::ReportExpected() {
  for (const auto& [key, item] : expected_.items) {
    if (MissingAncestor(item.relative)) continue;
    const KitEntry* entry = Actual(key);
    if (item.isDirectory) {
      if (entry == nullptr || !entry->isDirectory) ReportMissingFolder(key, item, entry);
    } else if (entry == nullptr) {
      Add(item.relative, 0, WithCauses("missing file: " + item.relative, {WalkCause(item)}));
    } else if (entry->isDirectory) {
      Add(item.relative, 0,
          WithCauses("missing file: " + item.relative,
                     {"a folder stands in its place", WalkCause(item)}));
    } else {
      CheckFile(item, *entry);
    }
  }
}

void KitComparison::ReportMissingFolder(const std::u16string& key, const ExpectedItem& item,
                                        const KitEntry* entry) {
  std::vector<std::string> causes;
  if (entry != nullptr) {
    const char* kind = OddKind(*entry);
    causes.push_back(kind != nullptr ? std::string(kind) : "a file stands in its place");
  }
  if (std::size_t below = filesBelow_[key])
    causes.push_back(CountOf(below, "file") + " expected in it");
  causes.push_back(WalkCause(item));
  Add(item.relative, 0, WithCauses("missing folder: " + item.relative, causes));
}

bool KitComparison::KitDigest(const KitEntry& entry, std::string& digest, std::string& error) {
  auto known = digests_.find(entry.relative);
  if (known != digests_.end()) {
    digest = known->second;
    return true;
  }
  if (!KitFileSha256(actual_, entry, digest, error)) return false;
  digests_[entry.relative] = digest;
  return true;
}

void KitComparison::CheckFile(const ExpectedItem& item, const KitEntry& entry) {
  const std::string& shown = entry.relative;
  if (const char* kind = OddKind(entry)) {
    Add(shown, 0, "content differs: " + shown + " (" + kind + ")");
    return;
  }
  if (!item.writes.empty()) {
    CheckSetupType(item, entry);
  } else {
    CheckContent(item, entry);
  }
  // Every file on a disc is read-only.
  if (actual_.disc == nullptr && entry.readOnly != item.readOnly) {
    Add(shown, 0,
        "read-only differs: " + shown +
            (item.readOnly ? " (expected read-only)" : " (expected writable)"));
  }
}

void KitComparison::CheckContent(const ExpectedItem& item, const KitEntry& entry) {
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
  if (!Sha256OfMediumFile(disk_, item.source, mediumDigest, error)) {
    Add(shown, 0, "cannot check: " + shown + " (the medium's " + medium + ": " + error + ")");
    return;
  }
  if (kitDigest != mediumDigest) Add(shown, 0, "content differs: " + shown);
}

void KitComparison::CheckSetupType(const ExpectedItem& item, const KitEntry& entry) {
  const std::string& shown = entry.relative;
  std::string medium, error;
  if (!item.source.empty() && !disk_.ReadMediumFile(item.source, Into(medium), error)) {
    Add(shown, 0, "cannot check: " + shown + " (the medium's copy cannot be read)");
    return;
  }
  std::string kit;
  if (!ReadKitFile(actual_, entry, Into(kit), error)) {
    Add(shown, 0, "cannot check: " + shown + " (it cannot be read)");
    return;
  }
  std::string digest;
  KitDigest(entry, digest, error);  // for the manifest
  for (const std::string& difference : SetupTypeDifferences(medium, item.writes, kit)) {
    Add(shown, 1, "setup-type differs: " + difference);
  }
}

// Entries of the kit that no expected item claims; what lies inside an
// extra folder (or a folder standing where a file belongs) is counted with
// it, not listed.
void KitComparison::ReportExtras() {
  std::map<std::string, std::string> coveredBy;  // folder -> the reported folder above it
  std::map<std::string, std::size_t> reportIndex;
  std::map<std::string, std::size_t> filesInside;
  std::map<std::string, std::vector<std::string>> folderCauses;
  for (std::size_t i = 0; i < actual_.entries.size(); ++i) {
    const KitEntry& entry = actual_.entries[i];
    auto cover = coveredBy.find(FolderOf(entry.relative));
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
    if (const char* kind = OddKind(entry)) causes.push_back(kind);
    if (!entry.windowsName) causes.push_back("a name Windows cannot hold");
    if (!entry.isDirectory) {
      Add(entry.relative, 0, WithCauses("extra file: " + entry.relative, causes));
      continue;
    }
    coveredBy[entry.relative] = entry.relative;
    reportIndex[entry.relative] = differences_.size();
    Add(entry.relative, 0, "extra folder: " + entry.relative);
    folderCauses[entry.relative] = causes;
  }
  for (const auto& [folder, index] : reportIndex) {
    std::vector<std::string> causes = folderCauses[folder];
    if (std::size_t inside = filesInside[folder]) {
      causes.insert(causes.begin(), CountOf(inside, "file") + " in it");
    }
    differences_[index].text = WithCauses(differences_[index].text, causes);
  }
}

}  // namespace vostrel::cli

// A kit on disk against the kit the medium and the selection call for: one
// line per difference, each with its cause where the check can tell it.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/expected_kit.h"
#include "cli/kit_listing.h"
#include "engine/file_system.h"
#include "engine/kit_selection.h"
#include "platform/native.h"

namespace vostrel::cli {

class KitComparison {
 public:
  KitComparison(platform::NativeFileSystem& disk, const ExpectedKit& expected,
                const KitListing& actual, const KitSelection& selection)
      : disk_(disk), expected_(expected), actual_(actual), selection_(selection) {}

  void Run();

  // The differences in the order of the paths they name.
  std::vector<std::string> Lines() const;
  // The kit files hashed on the way, by relative path: for the manifest.
  const std::map<std::string, std::string>& digests() const { return digests_; }
  // The files and folders the kit should hold.
  std::size_t files() const { return files_; }
  std::size_t folders() const { return folders_; }

 private:
  struct Difference {
    std::string sortKey;
    int rank;  // the item's own line first, then its setup-type entries
    std::string text;
  };

  void Add(const std::string& relative, int rank, std::string text);
  void MatchItems();
  const KitEntry* Actual(const std::u16string& key) const;
  bool Present(const ExpectedItem& item) const;
  std::optional<std::u16string> MissingAncestor(const std::string& relative) const;
  std::string WalkCause(const ExpectedItem& item) const;
  void TakeStock();
  void ReportExpected();
  void ReportMissingFolder(const std::u16string& key, const ExpectedItem& item,
                           const KitEntry* entry);
  bool KitDigest(const KitEntry& entry, std::string& digest, std::string& error);
  void CheckFile(const ExpectedItem& item, const KitEntry& entry);
  void CheckContent(const ExpectedItem& item, const KitEntry& entry);
  void CheckSetupType(const ExpectedItem& item, const KitEntry& entry);
  void ReportExtras();

  platform::NativeFileSystem& disk_;
  const ExpectedKit& expected_;
  const KitListing& actual_;
  const KitSelection& selection_;
  std::vector<const ExpectedItem*> matchedBy_;   // per kit entry
  std::map<std::u16string, std::size_t> match_;  // expected key -> kit entry
  std::set<std::u16string> missingFolders_;
  std::map<std::u16string, std::size_t> filesBelow_;  // by the key of a missing folder
  std::map<int, const ExpectedItem*> firstPresentInWalk_;
  std::map<std::string, std::string> digests_;  // kit files hashed, by relative path
  std::vector<Difference> differences_;
  std::size_t files_ = 0;
  std::size_t folders_ = 0;
};

}  // namespace vostrel::cli

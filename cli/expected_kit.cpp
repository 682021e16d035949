#include "cli/expected_kit.h"

#include "cli/planned_run.h"
#include "engine/name_key.h"
#include "engine/windows_path.h"

namespace vostrel::cli {

namespace {

// Reads the planned run's operations as they come.
class KitPlanner {
 public:
  KitPlanner(FileSystem& disk, const std::string& destRoot) : disk_(disk), destRoot_(destRoot) {}

  void Take(const Operation& operation) {
    if (operation.kind == OperationKind::kFindEnd) {
      if (!walks_.empty()) walks_.pop_back();
      return;
    }
    if (!operation.ok) return;
    switch (operation.kind) {
      case OperationKind::kFindFirst:
        walks_.push_back(static_cast<int>(kit_.walkFolders.size()));
        kit_.walkFolders.emplace_back();
        break;
      case OperationKind::kCreateFolder:
        Item(operation.path, true);
        break;
      case OperationKind::kCopyFile:
        Copied(operation);
        break;
      case OperationKind::kSetAttributes:
        if (ExpectedItem* item = Known(operation.path)) {
          item->readOnly = (operation.attributes & kFileAttributeReadOnly) != 0;
        }
        break;
      case OperationKind::kWriteProfile:
        if (ExpectedItem* file = Item(operation.path, false)) {
          file->writes.push_back({operation.section, operation.key, operation.value});
        }
        break;
      case OperationKind::kRemoveFile:
        Removed(operation.path);
        break;
      case OperationKind::kFindEnd:
        break;
    }
  }

  ExpectedKit& kit() { return kit_; }

 private:
  // The item at `path` below the kit's root, made on its first mention;
  // nullptr for a path elsewhere or the root itself.
  ExpectedItem* Item(const std::string& path, bool isDirectory) {
    std::string relative;
    if (!winpath::RelativeTo(destRoot_, path, relative) || relative.empty()) return nullptr;
    const std::u16string key = names::FoldKey(relative);
    kit_.removed.erase(key);
    auto found = kit_.items.find(key);
    if (found != kit_.items.end()) return &found->second;
    ExpectedItem& made = kit_.items[key];
    made.relative = relative;
    made.isDirectory = isDirectory;
    made.order = order_++;
    if (!walks_.empty()) {
      made.walk = walks_.back();
      std::string& folder = kit_.walkFolders[static_cast<std::size_t>(made.walk)];
      if (folder.empty()) folder = winpath::ParentOf(relative);
    }
    return &made;
  }

  // An item made earlier, or nullptr.
  ExpectedItem* Known(const std::string& path) {
    std::string relative;
    if (!winpath::RelativeTo(destRoot_, path, relative)) return nullptr;
    auto found = kit_.items.find(names::FoldKey(relative));
    return found == kit_.items.end() ? nullptr : &found->second;
  }

  void Copied(const Operation& copy) {
    if (ExpectedItem* item = Item(copy.target, false)) {
      item->source = copy.path;
      FileInfo info;
      item->readOnly = disk_.GetInfo(copy.path, info) && info.readOnly;
    }
  }

  void Removed(const std::string& path) {
    std::string relative;
    if (!winpath::RelativeTo(destRoot_, path, relative)) return;
    const std::u16string key = names::FoldKey(relative);
    kit_.items.erase(key);
    kit_.removed[key] = relative;
  }

  FileSystem& disk_;
  const std::string& destRoot_;
  ExpectedKit kit_;
  std::vector<int> walks_;  // the walks open at this point, innermost last
  std::size_t order_ = 0;
};

}  // namespace

ExpectedKit PlanKit(FileSystem& disk, const std::string& sourceRoot, const std::string& destRoot,
                    const KitSelection& selection) {
  KitPlanner planner(disk, destRoot);
  PlayOverEmptyDestination(disk, sourceRoot, destRoot, selection,
                           [&planner](const Operation& operation) { planner.Take(operation); });
  return std::move(planner.kit());
}

}  // namespace vostrel::cli

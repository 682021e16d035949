// Copies made ahead on many threads change nothing a run does: the kit, the
// operations in order with their results, and what a person is told equal
// those of a run one file at a time, also where the kit already holds files
// part-way through a folder. Run under ThreadSanitizer too (scripts/test).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/recording_file_system.h"
#include "engine/redistribution.h"
#include "platform/native.h"
#include "tests/engine/engine_fixture.h"

namespace vostrel::testing {
namespace {

constexpr const char* kBulk = "Talvor Imaging/Vok/Dll/";

// A medium with one large folder of files of many sizes, a folder among them
// half-way and one after them with a folder of its own, and the rest of a
// full medium.
void BuildBulkMedium(const TempTree& tree) {
  BuildMedium(tree);
  for (int i = 0; i < 300; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "bulk%03d.dll", i);
    tree.Write(std::string("medium/") + kBulk + name,
               std::string(static_cast<size_t>(i) * 997, 'x'));
  }
  for (int i = 0; i < 20; ++i) {
    for (const char* folder : {"bulk150.d/inner", "zlast.d/inner", "zlast.d/deep.d/inner"}) {
      tree.Write(std::string("medium/") + kBulk + folder + std::to_string(i) + ".dll",
                 std::to_string(i));
    }
  }
  tree.MakeReadOnly(std::string("medium/") + kBulk + "bulk007.dll");
}

// Everything a run can show: each operation and its result, the feedback,
// and the kit left on disk.
struct Outcome {
  std::vector<std::string> operations;
  RecordingFeedback feedback;
  std::map<std::string, std::string> kit;
  std::vector<std::string> readOnly;
  std::map<std::string, gid_t> groups;
};

struct Case {
  const char* name;
  std::vector<const char*> present;  // kit files before the run
  bool resume;
  // A kit folder made before the run whose files take its group, another
  // than the run's (as root only): copies made in the folder above differ.
  const char* groupFolder = nullptr;
};

Outcome RunWith(unsigned jobs, const Case& which) {
  TempTree tree;
  BuildBulkMedium(tree);
  tree.MakeDir("kit");
  for (const char* file : which.present) tree.Write(std::string("kit/") + file, "kept");
  if (which.groupFolder != nullptr) {
    const std::string folder = tree.Path(std::string("kit/") + which.groupFolder);
    tree.MakeDir(std::string("kit/") + which.groupFolder);
    EXPECT_EQ(chown(folder.c_str(), 0, 1), 0);
    EXPECT_EQ(chmod(folder.c_str(), 02755), 0);
  }
  std::unique_ptr<platform::NativeFileSystem> disk = platform::MakeNativeFileSystem();
  disk->CopyAheadWith(jobs);
  RecordingFileSystem recorder(*disk);
  Outcome outcome;
  KitSelection selection = DefaultSelection();
  selection.boards.fill(true);
  RunOptions options;
  options.resume = which.resume;
  RunRedistribution(recorder, outcome.feedback, tree.Path("medium"), tree.Path("kit"), selection,
                    options);
  // Paths below the tree's root, so that two runs' records compare.
  const auto inTree = [&tree](const std::string& path) { return path.substr(tree.root().size()); };
  for (const Operation& op : recorder.operations()) {
    outcome.operations.push_back(std::string(OperationName(op.kind)) + " " + inTree(op.path) + " " +
                                 (op.target.empty() ? "" : inTree(op.target)) + " " +
                                 std::to_string(op.ok) + " " + std::to_string(op.code) + " " +
                                 std::to_string(op.bytes));
  }
  for (auto& [folder, code] : outcome.feedback.walkStops) folder = inTree(folder);
  outcome.kit = tree.Snapshot("kit");
  for (const auto& [path, content] : outcome.kit) {
    if (content != "/" && tree.IsReadOnly("kit/" + path)) outcome.readOnly.push_back(path);
    struct stat status;
    if (stat(tree.Path("kit/" + path).c_str(), &status) == 0) outcome.groups[path] = status.st_gid;
  }
  return outcome;
}

TEST(CopiesAhead, ARunOnManyThreadsEqualsOneFileAtATime) {
  const Case cases[] = {
      {"an empty kit", {}, false},
      {"a file half-way through the large folder", {"Talvor Imaging/Vok/Dll/bulk120.dll"}, false},
      {"the same name in another case", {"Talvor Imaging/Vok/Dll/BULK060.DLL"}, false},
      {"the first file and a file in a folder past the stop",
       {"Talvor Imaging/Vok/Dll/bulk000.dll", "Talvor Imaging/Vok/Dll/bulk150.d/inner3.dll"},
       false},
      {"resumed past files present",
       {"Talvor Imaging/Vok/Dll/bulk120.dll", "Talvor Imaging/Vok/Dll/bulk299.dll",
        "Talvor Imaging/Tools/vokbench.exe"},
       true},
      {"a stop in the folder after the files",
       {"Talvor Imaging/Vok/Dll/zlast.d/inner5.dll"},
       false},
      {"a stop in a folder two below", {"Talvor Imaging/Vok/Dll/zlast.d/deep.d/inner7.dll"}, false},
      // Its folder below takes the group too, unlike the folder its copies
      // were made in.
      {"a folder below whose files take its group", {}, false, "Talvor Imaging/Vok/Dll/zlast.d"},
  };
  for (const Case& which : cases) {
    SCOPED_TRACE(which.name);
    if (which.groupFolder != nullptr && geteuid() != 0) continue;
    const Outcome one = RunWith(1, which);
    // 2: one worker, and the walk's thread making copies while it waits.
    for (unsigned jobs : {2u, 16u}) {
      SCOPED_TRACE(jobs);
      const Outcome many = RunWith(jobs, which);
      EXPECT_EQ(many.operations, one.operations);
      EXPECT_EQ(many.feedback.events, one.feedback.events);
      EXPECT_EQ(many.feedback.walkStops, one.feedback.walkStops);
      EXPECT_EQ(many.kit, one.kit);
      EXPECT_EQ(many.readOnly, one.readOnly);
      EXPECT_EQ(many.groups, one.groups);
    }
  }
}

}  // namespace
}  // namespace vostrel::testing

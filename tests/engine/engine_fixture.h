// What the engine suites share: a medium on disk laid out as a real one is,
// a feedback that records what a person would see, and a reader for the
// kit's setup-type file.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/kit_selection.h"
#include "engine/run_feedback.h"
#include "tests/support/temp_tree.h"

namespace vostrel::testing {

class RecordingFeedback : public RunFeedback {
 public:
  void SetStatus(const std::string& text) override {
    statuses.push_back(text);
    events.push_back("status " + text);
  }
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    events.push_back("message " + text);
  }
  void BeginWaitCursor() override {
    ++cursorDepth;
    events.push_back("cursor on");
  }
  void EndWaitCursor() override {
    --cursorDepth;
    events.push_back("cursor off");
  }
  void FolderSkipped(const std::string& folder, const std::string& reason) override {
    skipped.push_back(folder + ": " + reason);
  }
  // The walks stopped and the entries left out, as the run meets them.
  void ProblemMet(const RunProblem& problem) override {
    if (problem.kind == ProblemKind::kEntryLeftOut) {
      leftOut.push_back(problem.path + ": " + problem.reason);
    } else if (problem.kind != ProblemKind::kOperationFailed &&
               problem.kind != ProblemKind::kListingEnded) {
      walkStops.push_back({problem.path, problem.code});
    }
  }

  std::vector<std::string> statuses, messages, events, skipped, leftOut;
  std::vector<std::pair<std::string, unsigned long>> walkStops;
  int cursorDepth = 0;
};

// The thirteen board libraries, in the order the driver step deletes them.
extern const std::vector<std::string> kBoardLibraries;

// The setup-type file every test medium carries.
extern const char* const kMediumSetupType;

// Lays out a complete medium under `tree.Path(at)`: root files, tools (and
// tools that must not be copied), the runtime folder (spelled "Dll") with the
// board libraries, the packages, every driver folder and "Jurano/runtime".
// Every file holds its own relative path, so a kit can be checked by content.
void BuildMedium(const TempTree& tree, const std::string& at = "medium");

// Setup-type values as "SECTION/KEY" -> value, sections and keys upper-cased.
std::map<std::string, std::string> ReadSetupType(const std::string& content);

KitSelection DefaultSelection();  // as the window opens: runtime and video card

class EngineTest : public ::testing::Test {
 protected:
  EngineTest();
  ~EngineTest() override;

  std::string SourceRoot() const { return tree.Path("medium"); }
  std::string DestRoot() const { return tree.Path("kit"); }
  // Builds the medium and an empty destination folder, then runs.
  void Run(const KitSelection& selection);
  std::string Kit(const std::string& relative) const { return tree.Read("kit/" + relative); }
  bool InKit(const std::string& relative) const { return tree.Exists("kit/" + relative); }

  TempTree tree;
  std::unique_ptr<FileSystem> fs;
  RecordingFeedback feedback;
};

}  // namespace vostrel::testing

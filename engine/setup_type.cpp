#include "engine/kit_layout.h"
#include "engine/steps.h"

namespace vostrel {

namespace {

struct Entry {
  const char* section;
  const char* key;
  const char* value;
};

void Write(RunContext& run, std::initializer_list<Entry> entries) {
  const std::string path = run.destRoot + kit_layout::kSetupTypeFile;
  for (const Entry& entry : entries) {
    run.fs.WriteProfileEntry(entry.section, entry.key, entry.value, path);
  }
}

}  // namespace

// The products the kit never holds, and the optional packages before they
// are copied.
void WriteRuntimeEntries(RunContext& run) {
  Write(run, {
                 {"PRODUCT", "VokDevelopment", "N"},
                 {"SELECTED", "VokDevelopment", "N"},
                 {"PRODUCT", "QuenzoDevelopment", "N"},
                 {"PRODUCT", "QuenzoRuntime", "N"},
                 {"SELECTED", "Framory", "N"},
                 {"PRODUCT", "Framory", "N"},
                 {"PRODUCT", "KRT", "N"},
             });
}

void WriteControlPackageEntries(RunContext& run) {
  Write(run, {{"PRODUCT", "QuenzoRuntime", "Y"}, {"SELECTED", "QuenzoRuntime", "Y"}});
}

void WriteCameraToolEntries(RunContext& run) {
  Write(run, {{"PRODUCT", "Framory", "Y"}, {"SELECTED", "Framory", "Y"}});
}

}  // namespace vostrel

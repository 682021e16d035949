#include "tests/support/temp_tree.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vostrel::testing {

TempTree::TempTree() {
  std::random_device device;
  std::mt19937_64 generator(device());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate =
        fs::temp_directory_path() / ("vostrel-test-" + std::to_string(generator() % 1000000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      root_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempTree::~TempTree() {
  std::error_code error;
  // Read-only files and folders must become writable again to go away.
  for (auto it = fs::recursive_directory_iterator(root_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::remove_all(root_, error);
}

std::string TempTree::Path(const std::string& relative) const {
  return relative.empty() ? root_ : root_ + "/" + relative;
}

void TempTree::Write(const std::string& relative, const std::string& content) const {
  fs::path path = Path(relative);
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void TempTree::MakeDir(const std::string& relative) const {
  fs::create_directories(Path(relative));
}

void TempTree::MakeReadOnly(const std::string& relative) const {
  fs::permissions(Path(relative),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

std::string TempTree::Read(const std::string& relative) const {
  std::ifstream in(Path(relative), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + Path(relative));
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TempTree::Exists(const std::string& relative) const {
  std::error_code error;
  return fs::exists(fs::symlink_status(Path(relative), error));
}

bool TempTree::IsReadOnly(const std::string& relative) const {
  return (fs::status(Path(relative)).permissions() & fs::perms::owner_write) == fs::perms::none;
}

std::map<std::string, std::string> TempTree::Snapshot(const std::string& relative) const {
  std::map<std::string, std::string> result;
  fs::path base = Path(relative);
  if (!fs::exists(base)) return result;
  for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator();
       ++it) {
    std::string name = fs::relative(it->path(), base).generic_string();
    if (it->is_directory()) {
      result[name] = "/";
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      std::ostringstream content;
      content << in.rdbuf();
      result[name] = content.str();
    }
  }
  return result;
}

}  // namespace vostrel::testing

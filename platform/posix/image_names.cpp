#include "platform/posix/image_names.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/name_key.h"
#include "engine/windows_path.h"

namespace vostrel::posix {

std::size_t FolderKeyHash::operator()(const FolderKey& key) const {
  std::size_t value = 0;
  std::memcpy(&value, key.data(), sizeof value);
  return value;
}

FolderKey KeyBelow(const FolderKey& folder, const std::string& name) {
  FolderKey key{};
  std::string error;
  const std::unique_ptr<platform::Sha256> hash = platform::MakeSha256(error);
  if (hash && hash->Update(folder.data(), folder.size()) &&
      hash->Update(reinterpret_cast<const unsigned char*>(name.data()), name.size())) {
    hash->Finish(key);
  }
  return key;
}

ImageNames::ImageNames(IsoImage* image) : image_(image) {
  iso_image_attach_data(image_, this, nullptr);
  iso_tree_set_report_callback(image_, &ImageNames::Report);
}

ImageNames::~ImageNames() {
  iso_tree_set_report_callback(image_, nullptr);
  iso_image_attach_data(image_, nullptr, nullptr);
}

bool ImageNames::Repeated(const FolderKey& folder, const std::string& name) const {
  const auto names = seen_.find(folder);
  if (names == seen_.end()) return false;
  const auto count = names->second.find(names::FoldKey(name));
  return count != names->second.end() && count->second > 1;
}

const std::vector<SkippedEntry>* ImageNames::LeftOut(const FolderKey& folder) const {
  const auto found = leftOut_.find(folder);
  return found == leftOut_.end() ? nullptr : &found->second;
}

int ImageNames::Report(IsoImage* image, IsoFileSource* source) {
  auto* names = static_cast<ImageNames*>(iso_image_get_attached_data(image));
  const std::unique_ptr<char, decltype(&std::free)> name(iso_file_source_get_name(source),
                                                         std::free);
  const std::unique_ptr<char, decltype(&std::free)> path(iso_file_source_get_path(source),
                                                         std::free);
  if (names == nullptr || name == nullptr || path == nullptr) return 1;
  const std::string leaf = name.get(), full = path.get();
  // The path is the folder's, '/' and the name, which may itself hold '/'.
  const std::string folder =
      full.size() > leaf.size() ? full.substr(0, full.size() - leaf.size() - 1) : "";
  return names->Admit(folder, leaf) ? 1 : 0;
}

bool ImageNames::Admit(const std::string& folder, const std::string& name) {
  const FolderKey& key = KeyOf(folder);
  const char* why = winpath::WhyNotAName(name);
  if (why == nullptr && ++seen_[key][names::FoldKey(name)] > 1) why = kRepeated;
  if (why == nullptr) return true;
  leftOut_[key].push_back({name, why, platform::SkipKind::kImageName});
  return false;
}

// From the trail: up to where `folder` branches off, then down the names
// below (no kept folder's name holds '/').
const FolderKey& ImageNames::KeyOf(const std::string& folder) {
  auto atOrAbove = [&] {
    return folder.compare(0, trail_.size(), trail_) == 0 &&
           (folder.size() == trail_.size() || folder[trail_.size()] == '/');
  };
  while (ends_.size() > 1 && !atOrAbove()) {
    ends_.pop_back();
    keys_.pop_back();
    trail_.resize(ends_.back());
  }
  while (trail_.size() < folder.size()) {
    std::size_t end = folder.find('/', trail_.size() + 1);
    if (end == std::string::npos) end = folder.size();
    keys_.push_back(
        KeyBelow(keys_.back(), folder.substr(trail_.size() + 1, end - trail_.size() - 1)));
    trail_ = folder.substr(0, end);
    ends_.push_back(end);
  }
  return keys_.back();
}

}  // namespace vostrel::posix

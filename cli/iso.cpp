#include "cli/iso.h"

#include <cerrno>
#include <cstdlib>

#ifdef VOSTREL_KIT_IMAGES

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>

#include "cli/sha256.h"
#include "engine/kit_layout.h"
#include "engine/name_key.h"
#include "engine/utf8.h"
#include "engine/windows_path.h"
#include "platform/isofs_library.h"
#include "platform/sha256.h"
#include "platform/whole_file.h"

#endif

namespace vostrel::cli {

#ifdef VOSTREL_KIT_IMAGES

namespace {

// Joliet's own limit is 64 characters; libisofs stretches it to 103, which
// Windows reads. Longer names are cut short in the Joliet tree.
constexpr std::size_t kJolietNameLimit = 103;

struct ImageDeleter {
  void operator()(IsoImage* image) const { iso_image_unref(image); }
};
struct OptionsDeleter {
  void operator()(IsoWriteOpts* options) const { iso_write_opts_free(options); }
};
// The image source libisofs hands out; its writer runs on a thread of its
// own until the source is read to the end or cancelled.
struct SourceDeleter {
  void operator()(burn_source* source) const {
    if (!finished) source->cancel(source);
    source->free_data(source);
    std::free(source);
  }
  bool finished = false;
};

}  // namespace

#endif

bool ImageEpoch(std::optional<int64_t>& epoch, std::string& error) {
  epoch.reset();
  const char* given = std::getenv("SOURCE_DATE_EPOCH");
  if (given == nullptr || *given == '\0') return true;
  char* end = nullptr;
  errno = 0;
  const long long seconds = std::strtoll(given, &end, 10);
  // ISO 9660 dates end in 9999.
  if (*end != '\0' || errno != 0 || seconds < 0 || seconds > 253402300799LL) {
    error = std::string("SOURCE_DATE_EPOCH is not a number of seconds since 1970: ") + given;
    return false;
  }
  epoch = seconds;
  return true;
}

std::optional<std::string> CheckVolumeId(const std::string& id) {
  if (id.empty() || id.size() > 32) {
    return "a volume id has 1 to 32 characters: '" + id + "'";
  }
  for (char c : id) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
      return "a volume id holds only A-Z, 0-9 and _: '" + id + "'";
    }
  }
  return std::nullopt;
}

#ifndef VOSTREL_KIT_IMAGES

bool IsoAvailable() { return false; }

bool WriteIsoImage(const KitListing&, const platform::OutputTarget&, const std::string&,
                   std::optional<int64_t>, const std::function<bool(uint64_t, uint64_t)>&,
                   IsoResult&, std::string& error) {
  error = "this build cannot write images";
  return false;
}

#else

bool IsoAvailable() { return true; }

namespace {

using platform::IsoFailed;
using Image = std::unique_ptr<IsoImage, ImageDeleter>;
using Source = std::unique_ptr<burn_source, SourceDeleter>;

bool NewImage(const std::string& volumeId, Image& image, IsoResult& result, std::string& error) {
  IsoImage* rawImage = nullptr;
  if (IsoFailed(iso_image_new(volumeId.c_str(), &rawImage), error)) return false;
  image.reset(rawImage);
  // Never through a link: nothing from outside the kit goes in.
  iso_tree_set_follow_symlinks(image.get(), 0);
  if (volumeId.size() > 16) {
    result.warnings.push_back("Windows shows only the first 16 characters of the volume id " +
                              volumeId);
  }
  return true;
}

// What Windows will make of an entry's name in the Joliet tree.
void CheckJolietName(const KitEntry& entry, const std::string& name, IsoResult& result) {
  // Each byte outside a well-formed sequence becomes one unit.
  const std::size_t units = utf8::ToUtf16(name, utf8::OddByte::kReplace).size();
  if (!utf8::IsValid(name)) {
    result.warnings.push_back(entry.relative +
                              ": the name is not UTF-8, so Windows sees '_' for its odd bytes");
  }
  if (units > kJolietNameLimit) {
    result.warnings.push_back(entry.relative + ": the name is longer than " +
                              std::to_string(kJolietNameLimit) +
                              " characters, so Windows sees it cut short");
  }
}

// A node of the image and where its date comes from.
struct Dated {
  IsoNode* node;
  bool ownDate;  // a file copied unchanged keeps its time (capped)
};

// The kit's setup-type file, which the run edits, by its name key.
bool IsSetupTypeFile(const std::string& relative) {
  std::u16string key = names::FoldKey(winpath::Normalized(kit_layout::kSetupTypeFile.c_str()));
  if (!key.empty() && key.front() == u'/') key.erase(0, 1);
  return names::FoldKey(relative) == key;
}

// The listed kit as the image's tree, each node in `dated`. A kit path's
// names are joined by '/'; on Linux a name may hold '\'.
bool AddEntries(IsoImage* image, const KitListing& listing, std::vector<Dated>& dated,
                IsoResult& result, std::string& error) {
  std::map<std::string, IsoDir*> folders;
  folders[""] = iso_image_get_root(image);
  dated.push_back({reinterpret_cast<IsoNode*>(folders[""]), false});
  for (const KitEntry& entry : listing.entries) {
    auto parent = folders.find(winpath::ParentOf(entry.relative, false));
    if (parent == folders.end()) continue;               // below a folder that could not be added
    if (!entry.isDirectory && !entry.regular) continue;  // a link, a pipe, a device
    const std::string name = winpath::LastName(entry.relative, false);
    CheckJolietName(entry, name, result);
    IsoDir* folder = nullptr;
    IsoNode* node = nullptr;
    int code = entry.isDirectory ? iso_tree_add_new_dir(parent->second, name.c_str(), &folder)
                                 : iso_tree_add_new_node(image, parent->second, name.c_str(),
                                                         entry.native.c_str(), &node);
    if (IsoFailed(code, error)) {
      error = entry.relative + ": " + error;
      return false;
    }
    if (entry.isDirectory) {
      folders[entry.relative] = folder;
      node = reinterpret_cast<IsoNode*>(folder);
    } else {
      ++result.files;
    }
    dated.push_back({node, !entry.isDirectory && !IsSetupTypeFile(entry.relative)});
  }
  return true;
}

// Gives every node its date (see WriteIsoImage) and each file its place in
// the image: the files' data follow the listing's order, not the order of
// their inodes on this disk. Returns the image's date.
time_t SetDatesAndOrder(const std::vector<Dated>& dated, std::optional<int64_t> epoch) {
  time_t newest = 0;
  for (const Dated& one : dated) {
    if (one.ownDate) newest = std::max(newest, iso_node_get_mtime(one.node));
  }
  const time_t date = epoch ? static_cast<time_t>(*epoch) : newest;
  int weight = static_cast<int>(std::min<std::size_t>(dated.size(), 0x7fffffff));
  for (const Dated& one : dated) {
    const time_t when = one.ownDate ? std::min(iso_node_get_mtime(one.node), date) : date;
    iso_node_set_mtime(one.node, when);
    iso_node_set_atime(one.node, when);
    iso_node_set_ctime(one.node, when);
    if (iso_node_get_type(one.node) == LIBISO_FILE) {
      iso_node_set_sort_weight(one.node, weight);
    }
    --weight;
  }
  return date;
}

// The image as a stream of bytes: ISO 9660 level 3 (files of 4 GiB and
// more) with Rock Ridge and Joliet names.
bool MakeSource(IsoImage* image, time_t date, Source& source, std::string& error) {
  IsoWriteOpts* rawOptions = nullptr;
  // Distribution: Rock Ridge and Joliet.
  if (IsoFailed(iso_write_opts_new(&rawOptions, 2), error)) return false;
  std::unique_ptr<IsoWriteOpts, OptionsDeleter> options(rawOptions);
  iso_write_opts_set_iso_level(options.get(), 3);
  iso_write_opts_set_rockridge(options.get(), 1);
  iso_write_opts_set_joliet(options.get(), 1);
  iso_write_opts_set_joliet_long_names(options.get(), 1);
  iso_write_opts_set_joliet_longer_paths(options.get(), 1);
  iso_write_opts_set_joliet_utf16(options.get(), 1);
  // Nothing from this machine or this moment: modes, owners and dates as
  // set here, in every tree and volume descriptor, and the files in the
  // order their weights give.
  iso_write_opts_set_replace_mode(options.get(), 1, 1, 1, 1);
  // Rock Ridge without file serial numbers, which the library would draw
  // from the order of the files' inodes on this disk.
  iso_write_opts_set_rrip_version_1_10(options.get(), 1);
  iso_write_opts_set_replace_timestamps(options.get(), 0);
  iso_write_opts_set_dir_rec_mtime(options.get(), 7);
  iso_write_opts_set_always_gmt(options.get(), 1);
  iso_write_opts_set_sort_files(options.get(), 1);
  struct tm utc {};
  gmtime_r(&date, &utc);
  char stamp[32];  // YYYYMMDDhhmmsscc
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S00", &utc);
  iso_write_opts_set_pvd_times(options.get(), date, date, 0, 0, stamp);

  burn_source* rawSource = nullptr;
  platform::PendingIsoFailures();  // what adding the files said is already handled
  if (IsoFailed(iso_image_create_burn_source(image, options.get(), &rawSource), error)) {
    return false;
  }
  source.reset(rawSource);
  return true;
}

// Streams the image where `target` says, put in place only when whole.
bool WriteSource(Source& source, const platform::OutputTarget& target,
                 const std::function<bool(uint64_t, uint64_t)>& progress, IsoResult& result,
                 std::string& error) {
  const std::unique_ptr<platform::Sha256> hash = platform::MakeSha256(error);
  if (!hash) return false;
  std::unique_ptr<platform::WholeFile> out = platform::BeginOutput(target, error);
  if (!out) return false;
  uint64_t& bytes = result.bytes;
  const uint64_t total = static_cast<uint64_t>(source->get_size(source.get()));
  unsigned char block[2048];
  for (int got; (got = source->read_xt(source.get(), block, sizeof block)) != 0;) {
    if (got < 0) {
      std::string why = platform::PendingIsoFailures();
      error = why.empty() ? "the image could not be made" : why;
      return false;
    }
    if (!hash->Update(block, static_cast<std::size_t>(got))) {
      error = "the hash library failed";
      return false;
    }
    if (!out->Write(reinterpret_cast<const char*>(block), static_cast<std::size_t>(got), error)) {
      return false;
    }
    bytes += static_cast<uint64_t>(got);
    if (progress && !progress(bytes, total)) {
      error = "interrupted";
      return false;
    }
  }
  source.get_deleter().finished = true;
  // A file that could not be read is filled with zeros by the library: that
  // image is not the kit.
  error = platform::PendingIsoFailures();
  platform::Sha256::Digest digest;
  if (error.empty() && !hash->Finish(digest)) error = "the hash library failed";
  if (!error.empty()) return false;
  result.sha256 = Sha256Hex(digest);
  return out->Commit(error);
}

}  // namespace

bool WriteIsoImage(const KitListing& listing, const platform::OutputTarget& target,
                   const std::string& volumeId, std::optional<int64_t> epoch,
                   const std::function<bool(uint64_t, uint64_t)>& progress, IsoResult& result,
                   std::string& error) {
  platform::IsoLibrary library;
  if (!library.ok()) {
    error = "libisofs did not start";
    return false;
  }
  Image image;
  Source source;
  std::vector<Dated> dated;
  if (!NewImage(volumeId, image, result, error) ||
      !AddEntries(image.get(), listing, dated, result, error)) {
    return false;
  }
  const time_t date = SetDatesAndOrder(dated, epoch);
  return MakeSource(image.get(), date, source, error) &&
         WriteSource(source, target, progress, result, error);
}

#endif

}  // namespace vostrel::cli

#include "platform/posix/medium_image.h"
#include "engine/name_key.h"
#include "engine/windows_path.h"
#include "platform/posix/image_names.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unordered_map>

namespace vostrel::posix {

using names::FoldKey;
using names::NtfsLess;

using platform::IsoFailed;
using platform::PendingIsoFailures;
using platform::PendingIsoMessages;

enum class Trouble { kNone, kPastEnd, kUnreadable, kLoop, kSlow };

// The blocks of the image file, as the library reads them.
struct ImageBlocks {
  int fd = -1;
  uint64_t count = 0;
  bool importing = true;
  std::unordered_map<uint32_t, unsigned> reads;  // while importing
  std::chrono::steady_clock::time_point deadline;
  Trouble trouble = Trouble::kNone;
  int error = 0;
};

namespace {

constexpr uint64_t kBlockSize = 2048;
// A sound image has each block of its tree read at most three times while
// the tree is read (the root's, for the extensions); a block read more
// often belongs to a folder reached again from inside itself.
constexpr unsigned kReadsPerBlock = 16;
// Reading a tree of a million items takes seconds; a tree that takes longer
// is built to keep the library busy (the library's work grows with the
// square of the depth).
constexpr std::chrono::seconds kImportLimit{30};
// The library reads the tree depth first, a few hundred bytes of stack a
// level: room for a hundred thousand levels, reserved, not used.
constexpr size_t kImportStack = size_t{64} << 20;

int OpenBlocks(IsoDataSource*) { return ISO_SUCCESS; }
int CloseBlocks(IsoDataSource*) { return ISO_SUCCESS; }
void FreeBlocks(IsoDataSource* source) { delete static_cast<ImageBlocks*>(source->data); }

int ReadBlock(IsoDataSource* source, uint32_t lba, uint8_t* buffer) {
  ImageBlocks& blocks = *static_cast<ImageBlocks*>(source->data);
  if (lba >= blocks.count) {
    blocks.trouble = Trouble::kPastEnd;
    return ISO_DATA_SOURCE_MISHAP;
  }
  if (blocks.importing) {
    if (++blocks.reads[lba] > kReadsPerBlock) {
      blocks.trouble = Trouble::kLoop;
      return ISO_DATA_SOURCE_FATAL;
    }
    if (std::chrono::steady_clock::now() > blocks.deadline) {
      blocks.trouble = Trouble::kSlow;
      return ISO_DATA_SOURCE_FATAL;
    }
  }
  ssize_t got;
  do {
    got = pread(blocks.fd, buffer, kBlockSize, static_cast<off_t>(lba * kBlockSize));
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(kBlockSize)) {
    blocks.trouble = Trouble::kUnreadable;
    blocks.error = got < 0 ? errno : EIO;
    return ISO_DATA_SOURCE_MISHAP;
  }
  return ISO_SUCCESS;
}

// Runs `work` on a thread with a stack of kImportStack bytes and waits for
// it; where no such thread can be made, runs it here.
int OnLargeStack(const std::function<int()>& work) {
  struct Job {
    const std::function<int()>* work;
    int result;
  } job{&work, 0};
  pthread_attr_t attributes;
  pthread_t thread;
  bool started = false;
  if (pthread_attr_init(&attributes) == 0) {
    started = pthread_attr_setstacksize(&attributes, kImportStack) == 0 &&
              pthread_create(
                  &thread, &attributes,
                  [](void* data) -> void* {
                    Job* running = static_cast<Job*>(data);
                    running->result = (*running->work)();
                    return nullptr;
                  },
                  &job) == 0;
    pthread_attr_destroy(&attributes);
  }
  if (!started) return work();
  pthread_join(thread, nullptr);
  return job.result;
}

// What went wrong reading the image, in its terms; empty when nothing did.
std::string TroubleText(const ImageBlocks& blocks) {
  switch (blocks.trouble) {
    case Trouble::kPastEnd:
      return "it ends before its folder tree does (cut short, or a record points past its end)";
    case Trouble::kUnreadable:
      return std::string("reading it failed: ") + std::strerror(blocks.error);
    case Trouble::kLoop:
      return "a folder in it contains itself (it is reached again and again from its own tree)";
    case Trouble::kSlow:
      return "its folder tree takes more than " + std::to_string(kImportLimit.count()) +
             " seconds to read (nested too deep)";
    case Trouble::kNone:
      break;
  }
  return std::string();
}

// Why the library could not read the tree at all.
std::string ImportFailure(int code, const ImageBlocks& blocks) {
  std::string why = TroubleText(blocks);
  if (!why.empty()) return why;
  IsoFailed(code, why);
  const std::string more = PendingIsoFailures();
  if (!more.empty() && more != why) why += ": " + more;
  return why + " (not an image of a disc, or a damaged one)";
}

// Why an entry of a folder is left out of the tree Windows would show for
// what it is, or nullptr when it is a file or folder.
const char* LeftOut(IsoNodeType type) {
  if (type == LIBISO_SYMLINK) return "it is a link, which Windows does not show on a disc";
  if (type == LIBISO_SPECIAL)
    return "it is a device or pipe, which Windows does not show on a disc";
  if (type != LIBISO_DIR && type != LIBISO_FILE) return "it is the image's boot catalog";
  return nullptr;
}

// The bytes of a file that lie together in the image file.
class StretchStream : public ContentStream {
 public:
  StretchStream(int fd, uint64_t offset, uint64_t size) : fd_(fd), offset_(offset), size_(size) {}

  long Read(char* buffer, size_t size) override {
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, size_ - done_));
    if (wanted == 0) return 0;
    const ssize_t got = pread(fd_, buffer, wanted, static_cast<off_t>(offset_ + done_));
    if (got == 0) errno = EIO;  // the image ends before the file does
    if (got <= 0) return -1;
    done_ += static_cast<uint64_t>(got);
    return got;
  }
  bool Rewind() override {
    done_ = 0;
    return true;
  }

 private:
  int fd_;
  uint64_t offset_, size_, done_ = 0;
};

// The bytes of a file in pieces, as the library streams them.
class LibraryStream : public ContentStream {
 public:
  explicit LibraryStream(IsoStream* stream) : stream_(stream) { iso_stream_ref(stream_); }
  ~LibraryStream() override {
    if (open_) iso_stream_close(stream_);
    iso_stream_unref(stream_);
  }
  LibraryStream(const LibraryStream&) = delete;
  LibraryStream& operator=(const LibraryStream&) = delete;

  long Read(char* buffer, size_t size) override {
    if (!open_ && !Rewind()) return -1;
    const int got = iso_stream_read(stream_, buffer, std::min<size_t>(size, 1 << 30));
    if (got < 0) errno = EIO;
    return got < 0 ? -1 : got;
  }
  bool Rewind() override {
    if (open_) iso_stream_close(stream_);
    open_ = iso_stream_open(stream_) >= 0;
    if (!open_) errno = EIO;
    return open_;
  }

 private:
  IsoStream* stream_;
  bool open_ = false;
};

}  // namespace

std::unique_ptr<MediumImage> MediumImage::Open(const std::string& path, std::string& error) {
  std::unique_ptr<MediumImage> image(new MediumImage());
  if (!image->library_.ok()) {
    error = "libisofs did not start";
    return nullptr;
  }
  if (!image->Import(path, error)) return nullptr;
  return image;
}

MediumImage::~MediumImage() {
  names_.reset();  // before the image it reports on
  if (image_ != nullptr) iso_image_unref(image_);
  if (source_ != nullptr) iso_data_source_unref(source_);
  if (fd_ >= 0) close(fd_);
}

bool MediumImage::Import(const std::string& path, std::string& error) {
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (fd_ < 0 || fstat(fd_, &status) != 0) {
    error = std::strerror(errno);
    return false;
  }
  // The library frees the source with free() once nobody holds it.
  source_ = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
  if (source_ == nullptr) {
    error = std::strerror(ENOMEM);
    return false;
  }
  blocks_ = new ImageBlocks();
  blocks_->fd = fd_;
  blocks_->count = static_cast<uint64_t>(status.st_size) / kBlockSize;
  blocks_->deadline = std::chrono::steady_clock::now() + kImportLimit;
  *source_ = IsoDataSource{0, 1, OpenBlocks, CloseBlocks, ReadBlock, FreeBlocks, blocks_};

  IsoReadOpts* options = nullptr;
  if (IsoFailed(iso_read_opts_new(&options, 0), error)) return false;
  iso_read_opts_set_preferjoliet(options, 1);  // Windows reads Joliet names first
  iso_read_opts_set_ecma119_map(options, 1);   // plain names without ";1", as Windows shows them
  iso_read_opts_set_no_md5(options, 1);
  iso_read_opts_set_no_aaip(options, 1);
  int code = iso_image_new("", &image_);
  if (code >= 0) {
    names_ = std::make_unique<ImageNames>(image_);
    code = OnLargeStack([&] { return iso_image_import(image_, source_, options, nullptr); });
  }
  iso_read_opts_free(options);
  blocks_->importing = false;
  blocks_->reads.clear();
  if (code < 0) {
    error = ImportFailure(code, *blocks_);
    return false;
  }
  TakeTree(iso_image_get_root(image_));
  names_.reset();
  TakeProblems();
  return true;
}

// A folder the library names is marked (it says "Can't open dir /path");
// anything else is said when the root is listed.
void MediumImage::TakeProblems() {
  static const std::string kFolder = "Can't open dir ";
  const std::string cause = TroubleText(*blocks_);
  std::size_t more = 0;
  bool said = false;
  for (const std::string& message : PendingIsoMessages(more)) {
    said = true;
    if (message.compare(0, kFolder.size(), kFolder) == 0) {
      const Walk walk = Resolve(message.substr(kFolder.size()));
      if (walk.Complete() && walk.last != &Root() && walk.last->isDirectory) {
        items_[IndexOf(*walk.last)].unreadable =
            "the folder cannot be read from the image" + (cause.empty() ? "" : ": " + cause);
        continue;
      }
    }
    SkipAtRoot("the image: " + message);
  }
  if (more > 0) SkipAtRoot("the image: " + std::to_string(more) + " more problems");
  if (!said && !cause.empty())
    SkipAtRoot("part of the image's folder tree cannot be read: " + cause);
}

void MediumImage::SkipAtRoot(std::string reason) {
  items_.front().skipped.push_back({"", std::move(reason), platform::SkipKind::kEntry});
}

void MediumImage::TakeTree(IsoDir* root) {
  items_.clear();
  items_.emplace_back();
  items_.front().isDirectory = true;
  items_.front().modified = iso_node_get_mtime(reinterpret_cast<IsoNode*>(root));
  // Folder by folder, not by recursion: the tree may be deep.
  std::vector<FolderToTake> todo{{root, 0, FolderKey{}}};
  while (!todo.empty()) {
    const FolderToTake folder = std::move(todo.back());
    todo.pop_back();
    TakeChildren(folder, todo);
  }
}

ImageItem MediumImage::ItemOf(IsoNode* node, std::string name) {
  ImageItem item;
  item.key = FoldKey(name);
  item.name = std::move(name);
  item.isDirectory = iso_node_get_type(node) == LIBISO_DIR;
  item.modified = iso_node_get_mtime(node);
  if (item.isDirectory) return item;
  item.file = reinterpret_cast<IsoFile*>(node);
  item.size = static_cast<uint64_t>(iso_file_get_size(item.file));
  int count = 0;
  struct iso_file_section* sections = nullptr;
  if (iso_file_get_old_image_sections(item.file, &count, &sections, 0) == 1 && count == 1) {
    item.inOnePiece = true;
    item.offset = uint64_t{sections[0].block} * kBlockSize;
  }
  std::free(sections);
  item.inOnePiece = item.inOnePiece || item.size == 0;
  return item;
}

void MediumImage::TakeChildren(const FolderToTake& folder, std::vector<FolderToTake>& todo) {
  IsoDirIter* iterator = nullptr;
  if (iso_dir_get_children(folder.dir, &iterator) != 1) return;
  std::vector<uint32_t> children;
  std::vector<SkippedEntry> skipped;
  IsoNode* node = nullptr;
  while (iso_dir_iter_next(iterator, &node) == 1) {
    const char* raw = iso_node_get_name(node);
    std::string name = raw != nullptr ? raw : "";
    if (const char* why = LeftOut(iso_node_get_type(node))) {
      skipped.push_back({std::move(name), why, platform::SkipKind::kEntry});
      continue;
    }
    // The library reports each name before it adds the entry; one it did
    // not report is judged here.
    const char* why = winpath::WhyNotAName(name);
    if (why == nullptr && names_->Repeated(folder.key, name)) why = ImageNames::kRepeated;
    if (why != nullptr) {
      skipped.push_back({std::move(name), why, platform::SkipKind::kImageName});
      continue;
    }
    children.push_back(static_cast<uint32_t>(items_.size()));
    if (iso_node_get_type(node) == LIBISO_DIR) {
      todo.push_back(
          {reinterpret_cast<IsoDir*>(node), children.back(), KeyBelow(folder.key, name)});
    }
    items_.push_back(ItemOf(node, std::move(name)));
  }
  iso_dir_iter_free(iterator);
  if (const std::vector<SkippedEntry>* leftOut = names_->LeftOut(folder.key)) {
    skipped.insert(skipped.end(), leftOut->begin(), leftOut->end());
  }
  names::SortListing(children.begin(), children.end(), [this](uint32_t a, uint32_t b) {
    return NtfsLess(items_[a].key, items_[a].name, items_[b].key, items_[b].name);
  });
  items_[folder.index].children = std::move(children);
  items_[folder.index].skipped = std::move(skipped);
}

const ImageItem* MediumImage::Child(const ImageItem& folder, const std::string& name) const {
  const std::u16string key = FoldKey(name);
  // NTFS order is by key first: the names of one key stand together.
  auto it = std::lower_bound(
      folder.children.begin(), folder.children.end(), key,
      [this](uint32_t index, const std::u16string& wanted) { return items_[index].key < wanted; });
  const ImageItem* first = nullptr;
  for (; it != folder.children.end() && items_[*it].key == key; ++it) {
    if (items_[*it].name == name) return &items_[*it];
    if (first == nullptr) first = &items_[*it];
  }
  return first;
}

MediumImage::Walk MediumImage::Resolve(const std::string& relative) const {
  Walk walk;
  walk.last = &Root();
  for (std::size_t start = 0; start < relative.size();) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    if (end > start) walk.names.push_back(relative.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& name : walk.names) {
    const ImageItem* next = walk.last->isDirectory ? Child(*walk.last, name) : nullptr;
    if (next == nullptr) break;
    walk.last = next;
    walk.spelled += "/" + next->name;
    ++walk.found;
  }
  return walk;
}

StreamedFile MediumImage::Streamed(const ImageItem& file,
                                   std::unique_ptr<ContentStream>& stream) const {
  StreamedFile streamed;
  streamed.size = file.size;
  streamed.modified = file.modified;
  streamed.readOnly = true;  // as Windows marks every file on a CD
  if (file.inOnePiece) {
    streamed.fd = fd_;
    streamed.offset = file.offset;
  } else {
    stream = std::make_unique<LibraryStream>(iso_file_get_stream(file.file));
    streamed.stream = stream.get();
  }
  return streamed;
}

std::unique_ptr<ContentStream> MediumImage::OpenContent(const ImageItem& file,
                                                        std::string& error) const {
  std::unique_ptr<ContentStream> stream;
  const StreamedFile streamed = Streamed(file, stream);
  if (!stream) stream = std::make_unique<StretchStream>(fd_, streamed.offset, streamed.size);
  if (!stream->Rewind()) {
    error = std::strerror(errno);
    return nullptr;
  }
  return stream;
}

}  // namespace vostrel::posix

// The library loses a few hundred bytes reading some damaged images (its
// own extension parser); a process reads one image, so the leak checker of
// the sanitizer builds is told not to count it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VOSTREL_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VOSTREL_LEAK_CHECKED)
extern "C" const char* __lsan_default_suppressions() { return "leak:libisofs.so\n"; }
#endif

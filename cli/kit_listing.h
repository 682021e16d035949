// The kit as it stands on disk: every file and folder below its root, as the
// engine and Windows see the names, for the check, the manifest and the
// image. The one walker of a kit: it never follows a link in the kit and
// never reads what is not a regular file, so nothing from outside the kit
// reaches a check, a manifest or an image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/native.h"

namespace vostrel::cli {

// One file or folder below a kit's root.
struct KitEntry {
  std::string relative;      // names as on disk, joined by '/'
  std::string path;          // the kit root + "\" + the names: for the FileSystem
  std::string native;        // the path to open
  bool isDirectory = false;  // a folder (never a link: links are not entered)
  bool regular = false;      // a regular file (never a link)
  bool link = false;         // a link, to a file or a folder, or one leading nowhere
  bool readOnly = false;
  uint64_t size = 0;
  // False for a name Windows cannot hold (one holding '\', Linux only): the
  // kit's FileSystem never sees it, so it is listed but not entered.
  bool windowsName = true;
};

struct KitListing {
  std::vector<KitEntry> entries;    // each folder before what it holds
  std::vector<std::string> issues;  // folders that could not be listed or were not entered
  // The file system that reads the files when the kit is an image read in
  // place (a disc: links and odd entries never show, every file is
  // read-only); nullptr for a kit on disk.
  platform::NativeFileSystem* disc = nullptr;
};

// Every file and folder below the existing folder `root`, as `disk` names
// them; links are listed, never followed. A root that is a file on disk is
// an image `disk` reads in place.
KitListing ListKit(platform::NativeFileSystem& disk, const std::string& root);

// The bytes of a listed regular file, or its SHA-256 (lower-case hex), from
// the disk or from the image the kit is. False with a message.
bool ReadKitFile(const KitListing& listing, const KitEntry& entry, const platform::ChunkSink& take,
                 std::string& error);
bool KitFileSha256(const KitListing& listing, const KitEntry& entry, std::string& digest,
                   std::string& error);

// What an entry that is neither a folder nor a regular file is, as its
// difference or failure names it: "link" or "not a regular file";
// nullptr for a folder or a regular file.
const char* OddKind(const KitEntry& entry);

}  // namespace vostrel::cli

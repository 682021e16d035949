#include "engine/windows_path.h"

#include "engine/name_key.h"
#include "engine/utf8.h"

#include <cstring>
#include <string_view>

namespace vostrel::winpath {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

namespace {

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder,
// whatever follows them after a dot or spaces.
bool IsDeviceName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

const char* WhyNotAName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "the name cannot be a Windows name";
  for (unsigned char c : name) {
    if (c == '\\') return "the name holds a backslash, which a Windows name cannot";
    if (c == '/') return "the name holds a slash, which a Windows name cannot";
    if (c < 0x20) return "the name holds a control character, which a Windows name cannot";
    if (std::string_view(":*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
      return "the name holds one of :*?\"<>|, which a Windows name cannot";
    }
  }
  if (!utf8::IsValid(name)) return "the name is not valid UTF-8 text";
  if (name.back() == '.' || name.back() == ' ') {
    return "the name ends in a dot or a space, which Windows drops from a name";
  }
  if (IsDeviceName(name)) return "the name is that of a device on Windows";
  return nullptr;
}

std::string JoinWith(const std::string& folder, char separator, const std::string& name) {
  std::string joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined.append(folder).append(1, separator).append(name);
  return joined;
}

std::string Join(const std::string& folder, const std::string& name) {
  return JoinWith(folder, '\\', name);
}

void JoinInto(const std::string& folder, const std::string& name, std::string& joined) {
  joined.assign(folder).append(1, '\\').append(name);
}

std::string JoinRelative(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : JoinWith(folder, '/', name);
}

std::string Normalized(const std::string& path) {
  std::string result;
  result.reserve(path.size());
  for (char c : path) {
    const char s = IsSeparator(c) ? '/' : c;
    if (s == '/' && !result.empty() && result.back() == '/') continue;
    result += s;
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::u16string PathKey(const std::string& path) { return names::FoldKey(Normalized(path)); }

namespace {

template <class Text>
bool IsWithinText(const Text& inner, const Text& outer) {
  using Unit = typename Text::value_type;
  if (inner == outer) return true;
  const Text prefix = outer.back() == Unit('/') ? outer : outer + Unit('/');
  return inner.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool IsWithin(const std::string& inner, const std::string& outer, bool foldCase) {
  if (inner.empty() || outer.empty()) return false;
  return foldCase ? IsWithinText(PathKey(inner), PathKey(outer))
                  : IsWithinText(Normalized(inner), Normalized(outer));
}

namespace {

// The last `c` in [from, size) of `path`, scanning from the end.
std::size_t LastOf(const std::string& path, char c, std::size_t from) {
#if defined(__GLIBC__)
  const void* found = memrchr(path.data() + from, c, path.size() - from);
  return found == nullptr ? std::string::npos
                          : static_cast<std::size_t>(static_cast<const char*>(found) - path.data());
#else
  for (std::size_t at = path.size(); at > from; --at) {
    if (path[at - 1] == c) return at - 1;
  }
  return std::string::npos;
#endif
}

}  // namespace

std::size_t LastSeparator(const std::string& path, bool backslashSeparates) {
  // A run asks this several times for every file it copies: one scan from
  // the end for each separator, the second over the last name alone
  // (find_last_of would search its set once per character).
  const std::size_t backslash = backslashSeparates ? LastOf(path, '\\', 0) : std::string::npos;
  const std::size_t from = backslash == std::string::npos ? 0 : backslash + 1;
  const std::size_t slash = LastOf(path, '/', from);
  return slash != std::string::npos ? slash : backslash;
}

std::string ParentOf(const std::string& path, bool backslashSeparates) {
  const std::size_t cut = LastSeparator(path, backslashSeparates);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string LastName(const std::string& path, bool backslashSeparates) {
  const std::size_t cut = LastSeparator(path, backslashSeparates);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string DropTrailingSeparators(std::string path, bool backslashSeparates) {
  auto separates = [&](char c) { return c == '/' || (backslashSeparates && c == '\\'); };
  while (path.size() > 1 && separates(path.back())) {
    if (path.size() == 3 && path[1] == ':') break;
    path.pop_back();
  }
  return path;
}

std::string FolderOf(const std::string& path, bool backslashSeparates) {
  const std::string item = DropTrailingSeparators(path, backslashSeparates);
  const std::size_t cut = LastSeparator(item, backslashSeparates);
  if (cut == std::string::npos) return std::string();
  std::string folder = DropTrailingSeparators(item.substr(0, cut + 1), backslashSeparates);
  return folder == item ? std::string() : folder;
}

namespace {

// Whether `path` starts with `root` and goes on, if at all, past a
// separator.
bool StartsBelow(const std::string& root, const std::string& path) {
  if (path.compare(0, root.size(), root) != 0) return false;
  return path.size() == root.size() || IsSeparator(path[root.size()]) ||
         (!root.empty() && IsSeparator(root.back()));
}

}  // namespace

bool IsBelow(const std::string& root, const std::string& path) {
  if (!StartsBelow(root, path)) return false;
  for (std::size_t i = root.size(); i < path.size(); ++i) {
    if (!IsSeparator(path[i])) return true;
  }
  return false;
}

bool RelativeTo(const std::string& root, const std::string& path, std::string& relative) {
  if (!StartsBelow(root, path)) return false;
  relative.clear();
  for (std::size_t i = root.size(); i < path.size(); ++i) {
    if (IsSeparator(path[i])) {
      if (!relative.empty() && relative.back() != '/') relative += '/';
    } else {
      relative += path[i];
    }
  }
  if (!relative.empty() && relative.back() == '/') relative.pop_back();
  return true;
}

std::string WithSeparators(const std::string& path, char separator) {
  std::string shown;
  shown.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = IsSeparator(path[i]) ? separator : path[i];
    if (c == separator && !shown.empty() && shown.back() == separator &&
        (separator == '/' || i > 1)) {
      continue;
    }
    shown.push_back(c);
  }
  return shown;
}

std::size_t RootLength(const std::string& full) {
  if (full.size() >= 3 && full[1] == ':' && IsSeparator(full[2])) return 3;
  if (full.size() >= 2 && IsSeparator(full[0]) && IsSeparator(full[1])) {
    const std::size_t server = full.find_first_of("\\/", 2);
    if (server == std::string::npos) return full.size();
    const std::size_t share = full.find_first_of("\\/", server + 1);
    return share == std::string::npos ? full.size() : share + 1;
  }
  return 0;
}

bool IsFullyQualified(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return true;
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

}  // namespace vostrel::winpath

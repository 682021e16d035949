// The one name key: names compared as Windows compares them, without regard
// to case by simple Unicode case mapping, and sorted as NTFS sorts a
// folder's entries. The POSIX layer finds names on disk with it; the dry
// run, the kit check and the setup-type file compare names with it, so all
// of them treat the same spellings as one name. Portable: no OS header.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

namespace vostrel::names {

// The upper-case form of one code point by simple case mapping (Latin-1
// Supplement, Latin Extended-A, Greek and Cyrillic besides ASCII); any other
// code point stands for itself.
char32_t SimpleUpper(char32_t c);

// The key two names share exactly when they differ only in case: the name
// upper-cased, as UTF-16 code units, the units NTFS orders by. A byte that is
// not part of valid UTF-8 stands for itself as a lone surrogate 0xDC80..0xDCFF,
// which no valid name can produce, so odd names never collide with real ones.
// A path's key is its names' keys with the separators between them.
std::u16string FoldKey(std::string_view name);
// The same into `key`, whose storage is reused.
void FoldKeyInto(std::string_view name, std::u16string& key);
// The same for text already in UTF-16 (a UTF-16 setup-type file).
std::u16string FoldUnits(std::u16string units);

// Whether two names differ only in case.
bool SameName(std::string_view a, std::string_view b);

// NTFS enumeration order: ordinal on the folded keys, ties (names that differ
// only in case) broken by the raw bytes so the order is total.
bool NtfsLess(const std::u16string& keyA, std::string_view nameA, const std::u16string& keyB,
              std::string_view nameB);

// Puts a folder's entries into the order `less` gives (NTFS order). A
// listing already in that order, or in its reverse (as NTFS and ISO 9660
// media list in order, and tmpfs in the reverse order of creation), takes
// one pass instead of a sort.
template <typename Iterator, typename Less>
void SortListing(Iterator first, Iterator last, Less less) {
  if (std::is_sorted(first, last, less)) return;
  if (std::is_sorted(std::make_reverse_iterator(last), std::make_reverse_iterator(first), less)) {
    std::reverse(first, last);
    return;
  }
  std::sort(first, last, less);
}

// Matches a FindFirst pattern ('*' any run, '?' one unit) against a folded
// name; "*" and "*.*" match every name, as on Windows.
bool MatchesPattern(const std::u16string& foldedPattern, const std::u16string& foldedName);

}  // namespace vostrel::names

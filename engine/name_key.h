// The one name key: names compared as Windows compares them, without regard
// to case by simple Unicode case mapping, and sorted as NTFS sorts a
// folder's entries. The POSIX layer finds names on disk with it; the dry
// run, the kit check and the setup-type file compare names with it, so all
// of them treat the same spellings as one name. Portable: no OS header.
#pragma once

#include <algorithm>
#include <cstddef>
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

// The key a listing keeps for `name`: FoldKey(name), or nothing where the
// name is plain ASCII, whose bytes upper-cased are its key's units (a
// listing of such names then makes no key at all).
std::u16string ListingKey(std::string_view name);

// NTFS enumeration order: ordinal on the folded keys, ties (names that differ
// only in case) broken by the raw bytes so the order is total. A key may be
// FoldKey's or ListingKey's.
bool NtfsLess(const std::u16string& keyA, std::string_view nameA, const std::u16string& keyB,
              std::string_view nameB);

// Puts a folder's entries into the order `less` gives (NTFS order).
// Listings come in runs: NTFS and ISO 9660 media list in order, tmpfs in the
// reverse order of creation, with the folders made between files out of
// place. Each run is taken as it is (a reversed one turned round) and the
// few runs merged; a listing in no order (a hashed folder) is sorted.
template <typename Iterator, typename Less>
void SortListing(Iterator first, Iterator last, Less less) {
  constexpr size_t kMostRuns = 16;
  Iterator ends[kMostRuns];
  size_t runs = 0;
  for (Iterator start = first; start != last; ++runs) {
    if (runs == kMostRuns) {
      std::sort(first, last, less);
      return;
    }
    Iterator end = std::next(start);
    if (end != last && less(*end, *start)) {
      while (end != last && less(*end, *std::prev(end))) ++end;
      std::reverse(start, end);
    } else {
      while (end != last && !less(*end, *std::prev(end))) ++end;
    }
    ends[runs] = start = end;
  }
  // Merged pairwise, neighbours first, until one run is left.
  for (; runs > 1; runs = (runs + 1) / 2) {
    Iterator start = first;
    for (size_t i = 0; i + 1 < runs; i += 2) {
      std::inplace_merge(start, ends[i], ends[i + 1], less);
      ends[i / 2] = ends[i + 1];
      start = ends[i + 1];
    }
    if (runs % 2 == 1) ends[runs / 2] = ends[runs - 1];
  }
}

// Matches a FindFirst pattern ('*' any run, '?' one unit) against a folded
// name; "*" and "*.*" match every name, as on Windows.
bool MatchesPattern(const std::u16string& foldedPattern, const std::u16string& foldedName);

}  // namespace vostrel::names

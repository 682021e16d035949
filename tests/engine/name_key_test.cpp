// Case-insensitive keys and NTFS order, where a disk cannot show the
// difference (surrogate order, invalid bytes, patterns).
#include "engine/name_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace vostrel::names {
namespace {

TEST(NameKeyTest, NamesDifferingOnlyInCaseShareAKey) {
  const std::pair<const char*, const char*> same[] = {
      {"setup.exe", "SETUP.EXE"},
      {"ärger", "ÄRGER"},
      {"ÿ", "Ÿ"},
      {"ĳ", "Ĳ"},
      {"ľ", "Ľ"},
      {"ſ", "S"},
      {"µ", "Μ"},
      {"σοφία", "ΣΟΦΊΑ"},
      {"ς", "Σ"},
      {"ϐ", "Β"},
      {"ёлка", "ЁЛКА"},
      {"ґ", "Ґ"},
      {"ӂ", "Ӂ"},
      {"ӏ", "Ӏ"},
  };
  for (const auto& [small, capital] : same) {
    EXPECT_EQ(FoldKey(small), FoldKey(capital)) << small << " / " << capital;
  }
  EXPECT_TRUE(SameName("vokPellam.DLL", "VOKPELLAM.dll"));
  EXPECT_FALSE(SameName("vok", "voks"));
  // No simple capital: these stay apart.
  EXPECT_NE(FoldKey("straße"), FoldKey("STRASSE"));
  EXPECT_NE(FoldKey("ŉ"), FoldKey("ʼN"));
}

TEST(NameKeyTest, InvalidBytesStandForThemselves) {
  // Latin-1 'ä' and 'Ä' are not UTF-8: they neither fold nor match the UTF-8 letters.
  EXPECT_NE(FoldKey("\xE4"), FoldKey("\xC4"));
  EXPECT_NE(FoldKey("\xC4"), FoldKey("Ä"));
  EXPECT_EQ(FoldKey("a\xE4"), FoldKey("A\xE4"));
  // Truncated, overlong and surrogate sequences keep every byte.
  EXPECT_EQ(FoldKey("\xC3"), std::u16string(1, char16_t(0xDCC3)));
  EXPECT_EQ(FoldKey("\xC0\xAF").size(), 2u);
  EXPECT_EQ(FoldKey("\xED\xA0\x80").size(), 3u);
  EXPECT_NE(FoldKey("\xED\xA0\x80"), FoldKey("\xED\xA0\x81"));
}

TEST(NameKeyTest, OrdersAsNtfsDoes) {
  // The same order whichever side has a listing's key (none for plain ASCII).
  auto less = [](const std::string& a, const std::string& b) {
    const bool order = NtfsLess(FoldKey(a), a, FoldKey(b), b);
    EXPECT_EQ(NtfsLess(ListingKey(a), a, FoldKey(b), b), order) << a << " " << b;
    EXPECT_EQ(NtfsLess(FoldKey(a), a, ListingKey(b), b), order) << a << " " << b;
    EXPECT_EQ(NtfsLess(ListingKey(a), a, ListingKey(b), b), order) << a << " " << b;
    return order;
  };
  EXPECT_TRUE(less("aB", "a_b"));  // 'B' < '_' once upper-cased
  EXPECT_TRUE(less("alpha", "Zeta"));
  EXPECT_TRUE(less("AB", "ab"));  // same key: raw bytes decide
  EXPECT_FALSE(less("ab", "AB"));
  EXPECT_TRUE(less("Zeta", "ärger"));
  // UTF-16 order: a character beyond U+FFFF (surrogates) sorts before U+FF21.
  EXPECT_TRUE(less("\xF0\x9F\x98\x80", "\xEF\xBC\xA1"));
  // Long shared beginnings: the first unit that differs decides, wherever it
  // falls; a name that is the beginning of another comes first.
  for (const auto& [a, b] :
       std::vector<std::pair<std::string, std::string>>{{"file4319", "file4320"},
                                                        {"file43199a", "file43199b"},
                                                        {"file", "file0"},
                                                        {"file0000", "file00000"},
                                                        {"fileA", "fileb"},
                                                        {"Sub03/x", "sub03/y"},
                                                        {"zeta", "\xC3\xA4rger"},
                                                        {"\xC3\xA4", "\xC3\xA4x"},
                                                        {"A", "\xC3\xA4"}}) {
    EXPECT_TRUE(less(a, b)) << a << " < " << b;
    EXPECT_FALSE(less(b, a)) << b << " < " << a;
  }
}

TEST(NameKeyTest, ListingsInOrderInReverseOrInNoneAreSorted) {
  const auto less = [](const std::string& a, const std::string& b) {
    return NtfsLess(FoldKey(a), a, FoldKey(b), b);
  };
  for (std::vector<std::string> names :
       std::vector<std::vector<std::string>>{{},
                                             {"one"},
                                             {"a", "B", "c"},
                                             {"c", "B", "a"},
                                             {"B", "a", "c"},
                                             {"a", "c", "B"},
                                             {"b", "a", "c", "A"},
                                             {"z", "y", "x", "w", "v", "u"},
                                             {"f9", "f8", "S4", "S1", "S3", "S2", "f7", "f6"},
                                             {"a", "a1", "A", "b", "B", "b1", "c"}}) {
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end(), less);
    SortListing(names.begin(), names.end(), less);
    EXPECT_EQ(names, expected);
  }
  // Runs of every length up to a listing in no order at all.
  for (size_t step : {1, 2, 3, 5, 7, 40}) {
    std::vector<std::string> names;
    for (size_t i = 0; i < 40; ++i) names.push_back("n" + std::to_string((i * step) % 41));
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end(), less);
    SortListing(names.begin(), names.end(), less);
    EXPECT_EQ(names, expected) << step;
  }
}

TEST(NameKeyTest, PatternsMatchWithoutRegardToCase) {
  auto matches = [](const std::string& pattern, const std::string& name) {
    return MatchesPattern(FoldKey(pattern), FoldKey(name));
  };
  EXPECT_TRUE(matches("*.*", "README"));  // "*.*" takes names without a dot too
  EXPECT_TRUE(matches("*", ".."));
  EXPECT_TRUE(matches("*.dll", "VOKPELLAM.DLL"));
  EXPECT_TRUE(matches("vok?ellam.*", "VokPellam.dll"));
  EXPECT_TRUE(matches("a*b*c", "aXbYbZc"));
  EXPECT_FALSE(matches("*.dll", "vokpellam.dll.bak"));
  EXPECT_FALSE(matches("setup.exe", "setup.ex"));
}

}  // namespace
}  // namespace vostrel::names

#include "engine/name_key.h"

#include "engine/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vostrel::names {

namespace {

bool InRange(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

// Blocks where capital and small letters alternate: the capital is at the
// even code point (evenUpper) or at the odd one.
char32_t PairUpper(char32_t c, bool evenUpper) {
  bool isEven = (c & 1) == 0;
  return isEven == evenUpper ? c : c - 1;
}

char32_t LatinUpper(char32_t c) {
  if (c < 0x100) {
    if (c == 0xB5) return 0x39C;  // micro sign -> capital mu
    if (c == 0xFF) return 0x178;
    if (InRange(c, 0xE0, 0xFE) && c != 0xF7) return c - 0x20;
    return c;
  }
  if (c == 0x131) return 'I';  // dotless i
  if (c == 0x17F) return 'S';  // long s
  if (InRange(c, 0x100, 0x12F) || InRange(c, 0x132, 0x137) || InRange(c, 0x14A, 0x177)) {
    return PairUpper(c, true);
  }
  if (InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) return PairUpper(c, false);
  return c;
}

char32_t GreekUpper(char32_t c) {
  switch (c) {
    case 0x371:
    case 0x373:
    case 0x377:
      return c - 1;
    case 0x3AC:
      return 0x386;
    case 0x3C2:
      return 0x3A3;  // final sigma
    case 0x3CC:
      return 0x38C;
    case 0x3D0:
      return 0x392;
    case 0x3D1:
      return 0x398;
    case 0x3D5:
      return 0x3A6;
    case 0x3D6:
      return 0x3A0;
    case 0x3D7:
      return 0x3CF;
    case 0x3F0:
      return 0x39A;
    case 0x3F1:
      return 0x3A1;
    case 0x3F2:
      return 0x3F9;
    case 0x3F3:
      return 0x37F;
    case 0x3F5:
      return 0x395;
    case 0x3F8:
      return 0x3F7;
    case 0x3FB:
      return 0x3FA;
    default:
      break;
  }
  if (InRange(c, 0x37B, 0x37D)) return c + 0x82;
  if (InRange(c, 0x3AD, 0x3AF)) return c - 0x25;
  if (InRange(c, 0x3B1, 0x3C1) || InRange(c, 0x3C3, 0x3CB)) return c - 0x20;
  if (InRange(c, 0x3CD, 0x3CE)) return c - 0x3F;
  if (InRange(c, 0x3D8, 0x3EF)) return PairUpper(c, true);
  return c;
}

char32_t CyrillicUpper(char32_t c) {
  if (InRange(c, 0x430, 0x44F)) return c - 0x20;
  if (InRange(c, 0x450, 0x45F)) return c - 0x50;
  if (c == 0x4CF) return 0x4C0;
  if (InRange(c, 0x460, 0x481) || InRange(c, 0x48A, 0x4BF) || InRange(c, 0x4D0, 0x52F)) {
    return PairUpper(c, true);
  }
  if (InRange(c, 0x4C1, 0x4CE)) return PairUpper(c, false);
  return c;
}

}  // namespace

char32_t SimpleUpper(char32_t c) {
  if (c < 0x80) return InRange(c, 'a', 'z') ? c - 0x20 : c;
  if (c < 0x180) return LatinUpper(c);
  if (InRange(c, 0x370, 0x3FF)) return GreekUpper(c);
  if (InRange(c, 0x400, 0x52F)) return CyrillicUpper(c);
  return c;
}

namespace {

// The key unit of an ASCII byte.
unsigned FoldedAscii(unsigned char byte) {
  return static_cast<unsigned>(byte - 'a') < 26u ? byte - 0x20u : unsigned{byte};
}

// Folds an ASCII name into `out` (name.size() units); false, with `out`
// partly written, at the first byte beyond ASCII. Nearly every name on a
// medium is ASCII: one pass, no decoding.
bool FoldAscii(std::string_view name, char16_t* out) {
  for (size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x80) return false;
    out[i] = static_cast<char16_t>(FoldedAscii(byte));
  }
  return true;
}

}  // namespace

std::u16string FoldKey(std::string_view name) {
  std::u16string key(name.size(), u'\0');
  if (!FoldAscii(name, key.data())) return FoldUnits(utf8::ToUtf16(name, utf8::OddByte::kKeep));
  return key;
}

void FoldKeyInto(std::string_view name, std::u16string& key) {
  key.resize(name.size());
  if (!FoldAscii(name, key.data())) key = FoldUnits(utf8::ToUtf16(name, utf8::OddByte::kKeep));
}

std::u16string FoldUnits(std::u16string units) {
  // Every code point with a simple capital lies below U+10000, so folding
  // unit by unit leaves surrogates, paired or not, as they are.
  for (char16_t& unit : units) unit = static_cast<char16_t>(SimpleUpper(unit));
  return units;
}

bool SameName(std::string_view a, std::string_view b) { return FoldKey(a) == FoldKey(b); }

namespace {

// Ordinal order of two keys: negative, zero or positive.
int CompareKeys(const std::u16string& a, const std::u16string& b) {
  // Four units at a time up to the first that differs: a listing is sorted
  // with these, and names in a folder often share a long beginning.
  const size_t common = std::min(a.size(), b.size());
  size_t i = 0;
  for (uint64_t x = 0, y = 0; i + 4 <= common; i += 4) {
    std::memcpy(&x, a.data() + i, sizeof x);
    std::memcpy(&y, b.data() + i, sizeof y);
    if (x != y) break;
  }
  for (; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::u16string ListingKey(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return FoldKey(name);
  }
  return std::u16string();
}

bool NtfsLess(const std::u16string& keyA, std::string_view nameA, const std::u16string& keyB,
              std::string_view nameB) {
  // A name without a key is plain ASCII: its units are its bytes, folded.
  const auto unit = [](const std::u16string& key, std::string_view name, size_t i) {
    return key.empty() ? FoldedAscii(static_cast<unsigned char>(name[i]))
                       : static_cast<unsigned>(key[i]);
  };
  const size_t sizeA = keyA.empty() ? nameA.size() : keyA.size();
  const size_t sizeB = keyB.empty() ? nameB.size() : keyB.size();
  const size_t common = std::min(sizeA, sizeB);
  int order = 0;
  if (!keyA.empty() && !keyB.empty()) {
    order = CompareKeys(keyA, keyB);
  } else {
    // Bytes that are equal fold equal: the fold decides only from the first
    // that differs.
    size_t i = 0;
    if (keyA.empty() && keyB.empty()) {
      i = static_cast<size_t>(
          std::mismatch(nameA.begin(), nameA.begin() + common, nameB.begin()).first -
          nameA.begin());
    }
    while (i < common && unit(keyA, nameA, i) == unit(keyB, nameB, i)) ++i;
    if (i < common) {
      order = unit(keyA, nameA, i) < unit(keyB, nameB, i) ? -1 : 1;
    } else {
      order = (sizeA > sizeB) - (sizeA < sizeB);
    }
  }
  if (order != 0) return order < 0;
  return nameA < nameB;
}

bool MatchesPattern(const std::u16string& foldedPattern, const std::u16string& foldedName) {
  if (foldedPattern == u"*" || foldedPattern == u"*.*") return true;
  // Greedy match with one backtrack point: the most recent '*'.
  size_t p = 0, n = 0, starP = std::u16string::npos, starN = 0;
  while (n < foldedName.size()) {
    // A '*' in the pattern is a wildcard even where the name holds a '*'
    // (a Linux name may), so it is tried before the literal comparison.
    if (p < foldedPattern.size() && foldedPattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < foldedPattern.size() &&
               (foldedPattern[p] == u'?' || foldedPattern[p] == foldedName[n])) {
      ++p;
      ++n;
    } else if (starP != std::u16string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < foldedPattern.size() && foldedPattern[p] == u'*') ++p;
  return p == foldedPattern.size();
}

}  // namespace vostrel::names

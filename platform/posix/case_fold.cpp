#include "platform/posix/case_fold.h"

namespace vostrel::posix {

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

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at name[at] (no overlong forms, no
// surrogates, nothing above U+10FFFF). Returns its length, or 0 when the
// byte there does not start one.
size_t DecodeOne(std::string_view name, size_t at, char32_t& out) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(name[at + i]); };
  size_t left = name.size() - at;
  unsigned char lead = byte(0);
  if (lead < 0x80) {
    out = lead;
    return 1;
  }
  if (InRange(lead, 0xC2, 0xDF)) {
    if (left < 2 || !IsContinuation(byte(1))) return 0;
    out = (char32_t(lead & 0x1F) << 6) | (byte(1) & 0x3F);
    return 2;
  }
  if (InRange(lead, 0xE0, 0xEF)) {
    if (left < 3 || !IsContinuation(byte(1)) || !IsContinuation(byte(2))) return 0;
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
    if (lead == 0xED && byte(1) >= 0xA0) return 0;  // surrogate
    out = (char32_t(lead & 0x0F) << 12) | (char32_t(byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    return 3;
  }
  if (InRange(lead, 0xF0, 0xF4)) {
    if (left < 4 || !IsContinuation(byte(1)) || !IsContinuation(byte(2)) ||
        !IsContinuation(byte(3))) {
      return 0;
    }
    if (lead == 0xF0 && byte(1) < 0x90) return 0;   // overlong
    if (lead == 0xF4 && byte(1) >= 0x90) return 0;  // above U+10FFFF
    out = (char32_t(lead & 0x07) << 18) | (char32_t(byte(1) & 0x3F) << 12) |
          (char32_t(byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    return 4;
  }
  return 0;
}

}  // namespace

char32_t SimpleUpper(char32_t c) {
  if (c < 0x80) return InRange(c, 'a', 'z') ? c - 0x20 : c;
  if (c < 0x180) return LatinUpper(c);
  if (InRange(c, 0x370, 0x3FF)) return GreekUpper(c);
  if (InRange(c, 0x400, 0x52F)) return CyrillicUpper(c);
  return c;
}

std::u16string FoldKey(std::string_view name) {
  std::u16string key;
  key.reserve(name.size());
  for (size_t at = 0; at < name.size();) {
    char32_t c = 0;
    size_t length = DecodeOne(name, at, c);
    if (length == 0) {
      key.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(name[at])));
      ++at;
      continue;
    }
    at += length;
    c = SimpleUpper(c);
    if (c < 0x10000) {
      key.push_back(static_cast<char16_t>(c));
    } else {
      c -= 0x10000;
      key.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      key.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
  }
  return key;
}

bool NtfsLess(const std::u16string& keyA, std::string_view nameA, const std::u16string& keyB,
              std::string_view nameB) {
  int order = keyA.compare(keyB);
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

}  // namespace vostrel::posix

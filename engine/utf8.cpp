#include "engine/utf8.h"

namespace vostrel::utf8 {

namespace {

bool InRange(unsigned c, unsigned first, unsigned last) { return c >= first && c <= last; }

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendUtf16(std::u16string& units, char32_t point) {
  if (point < 0x10000) {
    units.push_back(static_cast<char16_t>(point));
    return;
  }
  point -= 0x10000;
  units.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
  units.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
}

void AppendUtf8(std::string& text, char32_t point) {
  const int tail = point < 0x80 ? 0 : point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
  static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  text.push_back(static_cast<char>(kLead[tail] | (point >> (6 * tail))));
  for (int k = tail - 1; k >= 0; --k) {
    text.push_back(static_cast<char>(0x80u | ((point >> (6 * k)) & 0x3Fu)));
  }
}

}  // namespace

std::size_t Decode(std::string_view text, std::size_t at, char32_t& point) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const std::size_t left = text.size() - at;
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    point = lead;
    return 1;
  }
  if (InRange(lead, 0xC2, 0xDF)) {
    if (left < 2 || !IsContinuation(byte(1))) return 0;
    point = (char32_t(lead & 0x1F) << 6) | (byte(1) & 0x3F);
    return 2;
  }
  if (InRange(lead, 0xE0, 0xEF)) {
    if (left < 3 || !IsContinuation(byte(1)) || !IsContinuation(byte(2))) return 0;
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
    if (lead == 0xED && byte(1) >= 0xA0) return 0;  // surrogate
    point = (char32_t(lead & 0x0F) << 12) | (char32_t(byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    return 3;
  }
  if (InRange(lead, 0xF0, 0xF4)) {
    if (left < 4 || !IsContinuation(byte(1)) || !IsContinuation(byte(2)) ||
        !IsContinuation(byte(3))) {
      return 0;
    }
    if (lead == 0xF0 && byte(1) < 0x90) return 0;   // overlong
    if (lead == 0xF4 && byte(1) >= 0x90) return 0;  // above U+10FFFF
    point = (char32_t(lead & 0x07) << 18) | (char32_t(byte(1) & 0x3F) << 12) |
            (char32_t(byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    return 4;
  }
  return 0;
}

std::u16string ToUtf16(std::string_view text, OddByte odd) {
  std::u16string units;
  units.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t point = 0;
    const std::size_t length = Decode(text, at, point);
    if (length == 0) {
      units.push_back(odd == OddByte::kKeep
                          ? static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(text[at]))
                          : u'\xFFFD');
      ++at;
      continue;
    }
    AppendUtf16(units, point);
    at += length;
  }
  return units;
}

std::string FromUtf16(std::u16string_view units) {
  std::string text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t point = units[i];
    const bool high = point >= 0xD800 && point < 0xDC00;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      point = 0x10000 + ((point - 0xD800) << 10) + (units[++i] - 0xDC00u);
    } else if (point >= 0xD800 && point < 0xE000) {
      point = 0xFFFD;
    }
    AppendUtf8(text, point);
  }
  return text;
}

bool IsValid(std::string_view text) {
  char32_t point = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Decode(text, at, point);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

}  // namespace vostrel::utf8

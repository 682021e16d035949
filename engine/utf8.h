// UTF-8, the form every narrow name and text takes on Linux, and its UTF-16
// counterpart, the form Windows compares and stores. One rule says what is
// well-formed: no overlong forms, no surrogates, nothing above U+10FFFF.
// Portable: no OS header.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vostrel::utf8 {

// Decodes the well-formed sequence at text[at]. Returns its length, or 0
// when the byte there does not start one.
std::size_t Decode(std::string_view text, std::size_t at, char32_t& point);

// What a byte outside every well-formed sequence becomes in UTF-16: U+FFFD,
// as a reader shows it, or the lone surrogate 0xDC80..0xDCFF, which no valid
// text produces, so that the byte stays distinct from every other.
enum class OddByte { kReplace, kKeep };

std::u16string ToUtf16(std::string_view text, OddByte odd);

// An unpaired surrogate becomes U+FFFD.
std::string FromUtf16(std::u16string_view units);

// Whether the whole text is well-formed.
bool IsValid(std::string_view text);

}  // namespace vostrel::utf8

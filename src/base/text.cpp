#include "base/text.h"

#include <clocale>
#include <cwctype>

namespace quendra {

size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const auto b = static_cast<unsigned char>(s[i]);
  size_t len;
  char32_t min;
  if (b < 0x80) {
    cp = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, cp = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return out;
}

char32_t UpperCodePoint(char32_t cp) {
  if (cp < 0x80) return (cp >= 'a' && cp <= 'z') ? cp - 0x20 : cp;
  // The C library's mapping follows a locale; one UTF-8 locale of our own keeps it fixed.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0)) return cp;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), utf8));
}

// Calls valid(code point) for each well-formed sequence and invalid(byte) for each other byte.
template <class Valid, class Invalid>
static void ForEachCodePoint(std::string_view s, Valid valid, Invalid invalid) {
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    const size_t len = DecodeUtf8(s, i, cp);
    if (len == 0) {
      invalid(s[i++]);
    } else {
      valid(cp);
      i += len;
    }
  }
}

std::u32string FoldedCodePoints(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  ForEachCodePoint(
      s, [&](char32_t cp) { out.push_back(UpperCodePoint(cp)); },
      [&](char b) { out.push_back(char32_t(0xF700 + static_cast<unsigned char>(b))); });
  return out;
}

std::string UpperCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  ForEachCodePoint(
      s, [&](char32_t cp) { AppendUtf8(UpperCodePoint(cp), out); }, [&](char b) { out += b; });
  return out;
}

}  // namespace quendra

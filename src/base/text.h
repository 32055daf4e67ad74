#pragma once
// Text as this platform keeps it: UTF-8 byte strings that may hold bytes which are not valid
// UTF-8 (file names keep them). One decoder and one case folding for the whole program; neither
// depends on the process's locale, so a name matches the same way under every locale.
#include <cstddef>
#include <string>
#include <string_view>

namespace quendra {

// Length of the well-formed UTF-8 sequence at s[i] and its code point; 0 when malformed
// (overlong forms, surrogates and code points above U+10FFFF included).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp);
void AppendUtf8(char32_t cp, std::string& out);

// ASCII letters only; every other byte passes unchanged. For extensions and keys, which are
// ASCII wherever they can match.
char AsciiLower(char c);
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);

// Upper case of one code point by Unicode's simple mapping, the same under every locale.
char32_t UpperCodePoint(char32_t cp);
// The text's code points upper-cased; each byte that is not part of a valid sequence stands for
// itself as a private-use code point (U+F700 + byte), so every name gets a distinct key.
std::u32string FoldedCodePoints(std::string_view s);
// The same as UTF-8: invalid bytes are kept as they are.
std::string UpperCase(std::string_view s);

}  // namespace quendra

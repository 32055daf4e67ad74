// The one UTF-8 decoder and the one case folding: the same answers under every locale.
#include "base/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "formats/format_table.h"
#include "formats/gif_image.h"

namespace quendra {
namespace {

// Under a Turkish locale the C library lower-cases "I" to dotless "ı" (or leaves it): the format
// table, the save plan and the file list must not follow it.
TEST(Text, ExtensionsMatchUnderATurkishLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "tr_TR.UTF-8") == nullptr) GTEST_SKIP() << "no tr_TR.UTF-8 locale";
  EXPECT_EQ(AsciiLower("GIF.JPG"), "gif.jpg");
  EXPECT_EQ(AsciiUpper("tif"), "TIF");
  EXPECT_EQ(UpperCase("i\xc3\xa4\xff"), "I\xc3\x84\xff");  // ASCII i to I, ä to Ä, 0xFF kept
  EXPECT_EQ(FileFormats().FindExt("GIF"), &TGIFImage::kClass);
  EXPECT_EQ(FileFormats().FindExt("Gif"), &TGIFImage::kClass);
  std::setlocale(LC_ALL, before.c_str());
}

TEST(Text, DecodesOnlyWellFormedUtf8) {
  char32_t cp = 0;
  EXPECT_EQ(DecodeUtf8("\xe2\x82\xac", 0, cp), 3u);
  EXPECT_EQ(cp, U'\u20ac');
  EXPECT_EQ(DecodeUtf8("\xc0\xaf", 0, cp), 0u);          // overlong "/"
  EXPECT_EQ(DecodeUtf8("\xed\xa0\x80", 0, cp), 0u);      // a surrogate
  EXPECT_EQ(DecodeUtf8("\xf4\x90\x80\x80", 0, cp), 0u);  // above U+10FFFF
  EXPECT_EQ(DecodeUtf8("\xe2\x82", 0, cp), 0u);          // cut short
  // Invalid bytes get distinct keys, so two names differing only there never fold together.
  EXPECT_NE(FoldedCodePoints("a\xfe"), FoldedCodePoints("a\xff"));
  EXPECT_EQ(FoldedCodePoints("ab"), FoldedCodePoints("AB"));
}

}  // namespace
}  // namespace quendra

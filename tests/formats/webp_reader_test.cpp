// The WebP reader against files cwebp, img2webp and webpmux write, checked with dwebp's own
// decode (read back by Pillow); the fitted load through the reduced-scale path; hostile files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "app/loader.h"
#include "base/errors.h"
#include "controls/zoomer.h"
#include "formats/tbitmap.h"
#include "formats/webp_graphic.h"
#include "support/image_tools.h"
#include "support/sanitizer.h"

namespace quendra {
namespace {

using namespace testing;

// Shadow memory and the sanitizer's own allocator.
constexpr long kSanitizerSlackMb = kAddressSanitizer ? 300 : 0;

bool HaveWebpTools() {
  return HaveCommand("cwebp") && HaveCommand("dwebp") && HaveCommand("webpmux") && HavePillow();
}

// A photo-like picture; with alpha, a ramp from fully transparent (left) to opaque (right).
RgbaImage Source(int w, int h, bool alpha, uint32_t seed = 3) {
  RgbaImage img = PhotoLike(w, h, seed);
  if (alpha)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        img.rgba[(size_t(y) * w + x) * 4 + 3] = uint8_t(x * 255 / (w - 1));
  return img;
}

std::string Encode(const TempDir& dir, const std::string& name, const RgbaImage& img,
                   const std::string& options) {
  const std::string pam = dir.File(name + ".pam"), out = dir.File(name + ".webp");
  WritePam(pam, img);
  EXPECT_EQ(
      testing::Run("cwebp -quiet " + options + " " + ShellQuote(pam) + " -o " + ShellQuote(out)),
      0);
  return out;
}

// dwebp's picture, as Pillow reads the PNG it writes (alpha kept).
RgbaImage Dwebp(const std::string& webp) {
  const std::string png = webp + ".dwebp.png";
  EXPECT_EQ(testing::Run("dwebp -quiet " + ShellQuote(webp) + " -o " + ShellQuote(png)), 0);
  auto img = DecodeWithPillow(png);
  EXPECT_TRUE(img.has_value());
  return img.value_or(RgbaImage{});
}

Bitmap Read(const std::string& path, JpegScale scale = JpegScale::jsFullSize) {
  TWebPGraphic g;
  g.LoadFromFile(path);
  g.SetScale(scale);
  Bitmap b;
  g.AssignTo(b);
  return b;
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  return RefusalOf<TWebPGraphic>(bytes);
}

TEST(WebpRead, LossyLosslessAndAlphaMatchDwebp) {
  if (!HaveWebpTools()) GTEST_SKIP() << "cwebp, dwebp, webpmux or Pillow missing";
  TempDir dir;
  struct Case {
    const char* name;
    bool alpha;
    const char* options;
    int tolerance;
  } cases[] = {{"lossy", false, "-q 80", 1},
               {"lossless", false, "-lossless", 0},
               {"lossy-alpha", true, "-q 80 -alpha_q 100", 1},
               {"lossless-alpha", true, "-lossless -exact", 0}};
  for (const Case& c : cases) {
    const RgbaImage src = Source(97, 61, c.alpha);  // odd width: rows of 24-bit bitmaps are padded
    const std::string webp = Encode(dir, c.name, src, c.options);
    const Bitmap b = Read(webp);
    EXPECT_EQ(b.Format(), c.alpha ? PixelFormat::pf32bit : PixelFormat::pf24bit) << c.name;
    const RgbaImage got = ToRgba(b, c.alpha);
    RgbaImage want = Dwebp(webp);
    // Shown over white, as PNG's alpha is, with the alpha itself kept in the fourth byte.
    RgbaImage blended = want;
    BlendOverWhite(blended);
    for (size_t i = 3; i < blended.rgba.size(); i += 4) blended.rgba[i] = want.rgba[i];
    const Difference d = CompareRgb(got, blended);
    EXPECT_LE(d.Max(true), c.tolerance) << c.name;
    EXPECT_EQ(d.compared, size_t(97 * 61)) << c.name;
    if (c.tolerance == 0 && !c.alpha) {
      EXPECT_EQ(CompareRgb(got, src).Max(), 0) << c.name;
    }
  }
}

TEST(WebpRead, ScaledDecodesStreamTheirRowsAndFitLikeTheFullPicture) {
  if (!HaveWebpTools()) GTEST_SKIP() << "cwebp, dwebp, webpmux or Pillow missing";
  TempDir dir;
  for (bool alpha : {false, true}) {
    const std::string webp = Encode(dir, alpha ? "a" : "o", Source(803, 601, alpha), "-q 90");
    for (JpegScale s : {JpegScale::jsHalf, JpegScale::jsQuarter, JpegScale::jsEighth}) {
      const int d = 1 << int(s);
      TWebPGraphic g;
      g.LoadFromFile(webp);
      g.SetScale(s);
      ASSERT_EQ(g.Width(), (803 + d - 1) / d);
      ASSERT_EQ(g.Height(), (601 + d - 1) / d);
      Bitmap whole;
      g.AssignTo(whole);
      ASSERT_EQ(whole.Width(), g.Width());
      // The streamed rows are the bitmap's, without the fourth byte, in order.
      int next = 0;
      g.DecodeRows([&](int w, int h) { EXPECT_TRUE(w == g.Width() && h == g.Height()); },
                   [&](const uint8_t* row, int y) {
                     ASSERT_EQ(y, next++);
                     const uint8_t* p = whole.Row(y);
                     for (int x = 0; x < whole.Width(); ++x)
                       ASSERT_EQ(std::memcmp(row + 3 * x, p + (alpha ? 4 : 3) * x, 3), 0) << x;
                   });
      EXPECT_EQ(next, g.Height());
    }
    // A fitted load takes the reduced-scale path (1/4 here) and looks like the full picture
    // resampled: the full decode, loaded as a PNG of the same pixels, fitted the same way.
    const std::string fitted = Encode(dir, alpha ? "fa" : "fo", Source(800, 600, alpha), "-q 90");
    const std::string png = fitted + ".full.png";
    ASSERT_EQ(testing::Run("dwebp -quiet " + ShellQuote(fitted) + " -o " + ShellQuote(png)), 0);
    auto fit = [](const std::string& path) {
      TZoomer img;
      img.SetClientSize(200, 150);
      img.SetProportional(true);
      img.SetCenter(true);
      LoadIntoZoomer(img, path);
      return ToRgba(img.Picture().AsBitmap().Image());
    };
    const Difference diff = CompareRgb(fit(fitted), fit(png));
    EXPECT_EQ(diff.compared, size_t(200 * 150));
    EXPECT_LT(diff.meanDiff, 1.0) << alpha;
    EXPECT_LE(diff.maxDiff, 6) << alpha;
  }
}

TEST(WebpRead, AnAnimationShowsItsFirstFrameOnItsCanvas) {
  if (!HaveWebpTools()) GTEST_SKIP() << "cwebp, dwebp, webpmux or Pillow missing";
  TempDir dir;
  const RgbaImage first = Source(20, 16, false, 7), second = Source(40, 30, false, 8);
  const std::string f1 = Encode(dir, "f1", first, "-lossless");
  const std::string f2 = Encode(dir, "f2", second, "-lossless");
  const std::string anim = dir.File("anim.webp");
  ASSERT_EQ(testing::Run("webpmux -frame " + ShellQuote(f1) + " +100+10+6 -frame " +
                         ShellQuote(f2) + " +100+0+0 -loop 0 -o " + ShellQuote(anim)),
            0);
  const Bitmap b = Read(anim);
  ASSERT_EQ(b.Width(), 40);
  ASSERT_EQ(b.Height(), 30);
  ASSERT_EQ(b.Format(), PixelFormat::pf32bit);
  const RgbaImage got = ToRgba(b, true);
  int wrong = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 10 && x < 30 && y >= 6 && y < 22;
      const uint8_t* want = inside ? first.At(x - 10, y - 6) : nullptr;
      const uint8_t* p = got.At(x, y);
      const uint8_t white[4] = {255, 255, 255, 0};
      wrong += std::memcmp(p, inside ? want : white, 4) != 0;
    }
  EXPECT_EQ(wrong, 0);
  // At half size the frame lands at half its offset.
  const RgbaImage half = ToRgba(Read(anim, JpegScale::jsHalf), true);
  ASSERT_EQ(half.width, 20);
  EXPECT_EQ(half.At(4, 2)[3], 0);
  EXPECT_EQ(half.At(5, 3)[3], 255);
  EXPECT_EQ(half.At(14, 10)[3], 255);
  EXPECT_EQ(half.At(15, 11)[3], 0);
}

TEST(WebpRead, ExifOrientationAndProfileComeFromTheirChunks) {
  if (!HaveWebpTools()) GTEST_SKIP() << "cwebp, dwebp, webpmux or Pillow missing";
  TempDir dir;
  const RgbaImage src = Source(30, 20, false, 9);
  const std::string plain = Encode(dir, "plain", src, "-lossless");
  // EXIF as WebP files carry it, a TIFF structure without JPEG's "Exif\0\0": orientation 6.
  WriteFileBytes(dir.File("exif"), {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0x12, 0,
                                    3,   0,   0, 0,  1, 0, 6, 0, 0, 0, 0, 0,    0});
  WriteFileBytes(dir.File("icc"), {0, 0, 0, 12, 'n', 'o', 't', ' ', 'r', 'e', 'a', 'l'});
  const std::string turned = dir.File("turned.webp"), profiled = dir.File("profiled.webp");
  ASSERT_EQ(testing::Run("webpmux -set exif " + ShellQuote(dir.File("exif")) + " " +
                         ShellQuote(plain) + " -o " + ShellQuote(turned)),
            0);
  ASSERT_EQ(testing::Run("webpmux -set icc " + ShellQuote(dir.File("icc")) + " " +
                         ShellQuote(plain) + " -o " + ShellQuote(profiled)),
            0);
  TWebPGraphic g;
  g.LoadFromFile(turned);
  EXPECT_EQ(g.Metadata().orientation, Orientation::TurnRight);
  EXPECT_FALSE(g.Metadata().colour.Known());
  g.LoadFromFile(profiled);
  EXPECT_EQ(g.Metadata().orientation, Orientation::Normal);
  EXPECT_EQ(g.Metadata().colour.icc, ReadFileBytes(dir.File("icc")));

  // Through the viewer's load (quendra-convert), the picture stands upright: turned clockwise.
  const std::string out = dir.File("upright.bmp");
  ASSERT_EQ(
      testing::Run(std::string(QUENDRA_CONVERT) + " " + ShellQuote(turned) + " " + ShellQuote(out)),
      0);
  const RgbaImage shown = ToRgba(ReadWith<TBitmap>(out));
  ASSERT_EQ(shown.width, 20);
  ASSERT_EQ(shown.height, 30);
  int wrong = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 20; ++x) wrong += std::memcmp(shown.At(x, y), src.At(y, 19 - x), 3) != 0;
  EXPECT_EQ(wrong, 0);
}

// Runs `load` in a child; the message it threw ("" when it loaded) and its peak memory.
std::pair<std::string, long> InChild(const std::function<void()>& load) {
  int fds[2];
  if (pipe(fds) != 0) return {"no pipe", 0};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    char message[200] = "";
    try {
      load();
    } catch (const std::exception& e) {
      std::snprintf(message, sizeof message, "%s", e.what());
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const long mb = u.ru_maxrss / 1024;
    (void)!write(fds[1], message, sizeof message);
    (void)!write(fds[1], &mb, sizeof mb);
    _exit(0);
  }
  close(fds[1]);
  char message[200] = "";
  long mb = -1;
  const bool got = read(fds[0], message, sizeof message) == ssize_t(sizeof message) &&
                   read(fds[0], &mb, sizeof mb) == ssize_t(sizeof mb);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(got && WIFEXITED(status)) << "the child crashed";
  return {message, mb};
}

// A lossless WebP of `w` x `h` whose bitstream is its 5-byte header and nothing else.
std::vector<uint8_t> BareLosslessHeader(int w, int h) {
  const uint32_t bits = uint32_t(w - 1) | uint32_t(h - 1) << 14;  // no alpha, version 0
  std::vector<uint8_t> f = {'R', 'I', 'F', 'F', 18,  0, 0, 0, 'W', 'E', 'B',
                            'P', 'V', 'P', '8', 'L', 5, 0, 0, 0,   0x2F};
  for (int i = 0; i < 4; ++i) f.push_back(uint8_t(bits >> (8 * i)));
  f.push_back(0);  // pad to even
  return f;
}

TEST(WebpRead, HostileFilesAreRefusedWithAClearMessage) {
  // 16383 x 16383 (within the pixel limit) claimed by 26 bytes: refused without touching the
  // gigabyte the header asks for.
  const auto [message, peakMb] = InChild([] {
    TWebPGraphic g;
    g.LoadFromMemory(BareLosslessHeader(16383, 16383));
    EXPECT_EQ(g.Width(), 16383);
    Bitmap b;
    g.AssignTo(b);
  });
  EXPECT_EQ(message, "WebP: the picture data is damaged");
  EXPECT_LT(peakMb, 100 + kSanitizerSlackMb);

  std::vector<uint8_t> garbage(3000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 7919 >> 3);
  EXPECT_EQ(ErrorOf(garbage), "WebP: not a WebP file, or its container is damaged");
  EXPECT_EQ(ErrorOf({}), "WebP: not a WebP file, or its container is damaged");

  if (!HaveWebpTools()) GTEST_SKIP() << "cwebp, dwebp, webpmux or Pillow missing";
  TempDir dir;
  for (const auto& [options, alpha] :
       {std::pair{"-q 80", false}, {"-lossless", false}, {"-q 80 -alpha_q 50", true}}) {
    const std::vector<uint8_t> whole =
        ReadFileBytes(Encode(dir, "t", Source(120, 90, alpha), options));
    // Cut anywhere: always refused, never a picture of uninitialised rows.
    for (size_t keep : {size_t(20), size_t(40), whole.size() / 2, whole.size() - 1}) {
      const std::string e = ErrorOf({whole.begin(), whole.begin() + long(keep)});
      EXPECT_EQ(e.rfind("WebP: ", 0), 0u) << options << " " << keep << ": " << e;
      if (keep == whole.size() / 2) {
        EXPECT_EQ(e, "WebP: the file ends before its picture does");
      }
    }
    // Damaged in the middle of the bitstream: refused or decoded, never a crash.
    std::vector<uint8_t> damaged = whole;
    for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 40; ++i) damaged[i] ^= 0x5A;
    (void)ErrorOf(damaged);
  }
}

}  // namespace
}  // namespace quendra

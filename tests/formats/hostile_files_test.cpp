// Hostile files: headers that claim more than the file holds, sparse files, palette and scan
// bombs, damaged data. Memory is checked in a child process against its peak resident size, so
// a reader that allocates and touches what a header claims fails the test, not the machine.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>

#include "app/loader.h"
#include "base/errors.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/picture.h"
#include "formats/tbitmap.h"
#include "support/image_tools.h"
#include "support/pictures.h"

namespace quendra {
namespace {

using namespace testing;

#if defined(__SANITIZE_ADDRESS__)
constexpr long kSanitizerSlackMb = 300;  // shadow memory and the sanitizer's own allocator
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kSanitizerSlackMb = 300;
#else
constexpr long kSanitizerSlackMb = 0;
#endif
#else
constexpr long kSanitizerSlackMb = 0;
#endif

struct ChildResult {
  bool loaded = false;
  long peakMb = 0;
  char message[200] = "";
};

// Runs `load` in a child process; reports whether it returned (or threw) and the child's peak
// resident memory.
ChildResult InChild(const std::function<void()>& load) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    ChildResult r;
    try {
      load();
      r.loaded = true;
    } catch (const std::exception& e) {
      std::snprintf(r.message, sizeof r.message, "%s", e.what());
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    r.peakMb = u.ru_maxrss / 1024;
    (void)!write(fds[1], &r, sizeof r);
    _exit(0);
  }
  close(fds[1]);
  ChildResult r;
  const bool got = read(fds[0], &r, sizeof r) == ssize_t(sizeof r);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(got && WIFEXITED(status)) << "the child crashed";
  return r;
}

void LoadPictureFile(const std::string& path) {
  TPicture p;
  p.LoadFromFile(path);
  p.AsBitmap();
}

void Put16(std::vector<uint8_t>& v, size_t at, unsigned x) {
  v[at] = uint8_t(x), v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  Put16(v, at, x & 0xFFFF), Put16(v, at + 2, x >> 16);
}
void Append32Be(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}
void AppendChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body) {
  Append32Be(png, uint32_t(body.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  Append32Be(png, uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

// A BMP of 64 bytes claiming 16384 x 16384 24-bit pixels.
std::vector<uint8_t> LyingBmp() {
  std::vector<uint8_t> f(64, 0);
  f[0] = 'B', f[1] = 'M';
  Put32(f, 2, 64), Put32(f, 10, 54), Put32(f, 14, 40), Put32(f, 18, 16384), Put32(f, 22, 16384);
  Put16(f, 26, 1), Put16(f, 28, 24);
  return f;
}

// A PNG claiming 16384 x 16384 RGBA (or grey) whose compressed data holds a few rows.
std::vector<uint8_t> LyingPng(int colourType) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  std::vector<uint8_t> ihdr;
  Append32Be(ihdr, 16384), Append32Be(ihdr, 16384);
  ihdr.insert(ihdr.end(), {8, uint8_t(colourType), 0, 0, 0});
  AppendChunk(png, "IHDR", ihdr);
  std::vector<uint8_t> raw(200, 0), packed(400);
  uLongf n = packed.size();
  compress2(packed.data(), &n, raw.data(), raw.size(), 9);
  packed.resize(n);
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", {});
  return png;
}

// A TIFF claiming 16384 x 16384 in one strip that lies beyond the file's end.
std::vector<uint8_t> LyingTiff(unsigned photometric, unsigned samples, unsigned compression) {
  struct Entry {
    unsigned tag, type;
    uint32_t value;
  };
  const Entry entries[] = {
      {256, 4, 16384},       {257, 4, 16384},       {258, 3, 8},
      {259, 3, compression}, {262, 3, photometric}, {273, 4, 4096},
      {277, 3, samples},     {278, 4, 16384},       {279, 4, 16384u * 16384u * samples}};
  std::vector<uint8_t> f(8 + 2 + 12 * std::size(entries) + 4, 0);
  f[0] = f[1] = 'I', f[2] = 42;
  Put32(f, 4, 8);
  Put16(f, 8, unsigned(std::size(entries)));
  size_t at = 10;
  for (const Entry& e : entries) {
    Put16(f, at, e.tag), Put16(f, at + 2, e.type), Put32(f, at + 4, 1);
    if (e.type == 3)
      Put16(f, at + 8, e.value);
    else
      Put32(f, at + 8, e.value);
    at += 12;
  }
  return f;
}

std::vector<uint8_t> TargaHeader(int type, int width, int height, int bits) {
  std::vector<uint8_t> h(18, 0);
  h[2] = uint8_t(type);
  Put16(h, 12, unsigned(width)), Put16(h, 14, unsigned(height));
  h[16] = uint8_t(bits), h[17] = 0x20;
  return h;
}

std::vector<uint8_t> LyingPcx() {
  std::vector<uint8_t> f(128 + 20, 0x11);
  std::fill(f.begin(), f.begin() + 128, 0);
  f[0] = 10, f[1] = 5, f[2] = 1, f[3] = 8;
  Put16(f, 8, 15999), Put16(f, 10, 15999);
  f[65] = 1;
  Put16(f, 66, 16000);
  return f;
}

TEST(HostileFiles, LyingHeadersFailBeforeTouchingTheClaimedSize) {
  // Unoptimised sanitizer builds spend minutes merely sizing and freeing the claimed (untouched)
  // pictures element by element; the same files are replayed there from fuzz/regressions.
  if (kSanitizerSlackMb > 0) GTEST_SKIP() << "peak memory is measured in the optimised build";
  TempDir dir;
  const std::pair<std::string, std::vector<uint8_t>> files[] = {
      {"lie.bmp", LyingBmp()},
      {"rgba.png", LyingPng(6)},
      {"grey.png", LyingPng(0)},
      {"rgb.tif", LyingTiff(2, 3, 1)},
      {"grey.tif", LyingTiff(1, 1, 8)},
      {"raw.tga",
       [] {
         auto t = TargaHeader(2, 65535, 16000, 24);
         t.resize(t.size() + 100);
         return t;
       }()},
      {"rle.tga",
       [] {
         auto t = TargaHeader(10, 65535, 16000, 32);
         t.resize(t.size() + 100, 0xFF);
         return t;
       }()},
      {"lie.pcx", LyingPcx()},
      {"chunk.png",
       [] {  // an ancillary chunk claiming a gigabyte
         auto png = LyingPng(6);
         png.resize(33);
         Append32Be(png, 0x3FFFFFFF);
         png.insert(png.end(), {'s', 'C', 'A', 'L', 1, 2, 3});
         return png;
       }()},
      // 1 KB asking the codec for 40964 tiles: refused before the codec sets them up.
      {"tiles.jp2",
       ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/jpeg2000/40964-tiles-in-1-kb.j2k")},
  };
  for (const auto& [name, bytes] : files) {
    WriteFileBytes(dir.File(name), bytes);
    ChildResult r = InChild([&] { LoadPictureFile(dir.File(name)); });
    EXPECT_FALSE(r.loaded) << name;
    EXPECT_LT(r.peakMb, 200 + kSanitizerSlackMb) << name << ": " << r.message;
  }
}

TEST(HostileFiles, SparseFileCostsWhatIsRead) {
  TempDir dir;
  auto tga = TargaHeader(2, 1, 1, 24);
  tga.insert(tga.end(), {1, 2, 3});
  const std::string path = dir.File("sparse.tga");
  WriteFileBytes(path, tga);
  ASSERT_EQ(truncate(path.c_str(), off_t(3) << 30), 0);
  ChildResult r = InChild([&] {
    TPicture p;
    p.LoadFromFile(path);
    if (p.Width() != 1 || p.Height() != 1) throw std::runtime_error("wrong size");
  });
  EXPECT_TRUE(r.loaded) << r.message;
  EXPECT_LT(r.peakMb, 50 + kSanitizerSlackMb);
}

TEST(HostileFiles, EmptyFileFailsCleanlyInEveryReader) {
  TempDir dir;
  for (const char* ext : {"bmp", "jpg", "png", "gif", "tga", "jp2", "pcx", "tif", "emf"}) {
    const std::string path = dir.File(std::string("empty.") + ext);
    WriteFileBytes(path, {});
    EXPECT_THROW(LoadPictureFile(path), std::exception) << ext;
  }
}

// A progressive JPEG header over 8192 x 8192 grey, then `scans` DC scans without any data.
std::vector<uint8_t> EmptyScans(int scans) {
  std::vector<uint8_t> j = {0xFF, 0xD8};
  j.insert(j.end(), {0xFF, 0xDB, 0, 67, 0});
  j.insert(j.end(), 64, 1);
  j.insert(j.end(), {0xFF, 0xC2, 0, 11, 8, 0x20, 0x00, 0x20, 0x00, 1, 1, 0x11, 0});
  // A DC table with one code of length 1 for category 0.
  j.insert(j.end(), {0xFF, 0xC4, 0, 20, 0x00, 1});
  j.insert(j.end(), 15, 0);
  j.push_back(0);
  for (int i = 0; i < scans; ++i) j.insert(j.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 0, 0});
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

TEST(HostileFiles, ManyEmptyProgressiveScansStopAtTheWorkBudget) {
  TJPEGImage j;
  j.LoadFromMemory(EmptyScans(999));
  j.SetScale(JpegScale::jsEighth);
  Bitmap b;
  try {
    j.AssignTo(b);
    FAIL() << "decoded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("too much work"), std::string::npos) << e.what();
  }
  // A few empty scans are a (grey) picture, not a bomb.
  TJPEGImage few;
  few.LoadFromMemory(EmptyScans(3));
  few.SetScale(JpegScale::jsEighth);
  EXPECT_NO_THROW(few.AssignTo(b));
  EXPECT_EQ(b.Width(), 1024);
}

TEST(HostileFiles, DamagedRestartIntervalShowsTheRest) {
  if (!HaveCommand("cjpeg")) GTEST_SKIP() << "needs cjpeg";
  TempDir dir;
  Bitmap src = testing::Gradient(256, 384);
  RgbaImage rgba = ToRgba(src, true);
  WritePpm(dir.File("g.ppm"), rgba);
  ASSERT_EQ(testing::Run("cjpeg -restart 1 -outfile " + ShellQuote(dir.File("g.jpg")) + " " +
                         ShellQuote(dir.File("g.ppm"))),
            0);
  auto good = ReadFileBytes(dir.File("g.jpg"));
  // Garble the coded data between the 10th and 11th restart markers.
  std::vector<size_t> markers;
  for (size_t i = 0; i + 1 < good.size(); ++i)
    if (good[i] == 0xFF && good[i + 1] >= 0xD0 && good[i + 1] <= 0xD7) markers.push_back(i);
  ASSERT_GT(markers.size(), 12u);
  auto bad = good;
  for (size_t i = markers[10] + 4; i + 2 < markers[11]; ++i) bad[i] = uint8_t((0x5A ^ i) & 0x7F);

  Bitmap want, got;
  TJPEGImage a, b;
  a.LoadFromMemory(good);
  a.AssignTo(want);
  b.LoadFromMemory(bad);
  ASSERT_NO_THROW(b.AssignTo(got));
  ASSERT_EQ(got.Height(), 384);
  int same = 0;
  for (int y = 0; y < 384; ++y)
    same += std::memcmp(want.Row(y), got.Row(y), size_t(want.Width()) * 3) == 0;
  EXPECT_GE(same, 384 - 48);  // one 16-row interval, and its neighbours' smoothing
}

TEST(HostileFiles, ThinPicturesFitToAtLeastOnePixel) {
  TempDir dir;
  const std::pair<int, int> sizes[] = {{3000, 1}, {60000, 1}, {65500, 8}, {1, 3000}};
  for (auto [w, h] : sizes) {
    for (const char* ext : {"bmp", "jpg"}) {
      const std::string path = dir.File("thin." + std::string(ext));
      Bitmap pic = testing::Gradient(w, h);
      WriteFileBytes(path, std::string(ext) == "bmp" ? EncodeBmp(pic) : EncodeJpeg(pic, 90));
      TZoomer img;
      img.SetClientSize(460, 345);
      img.SetProportional(true);
      img.SetCenter(true);
      LoadIntoZoomer(img, path);
      const Bitmap& shown = img.Picture().AsBitmap().Image();
      EXPECT_GE(shown.Width(), 1) << w << "x" << h << " " << ext;
      EXPECT_GE(shown.Height(), 1) << w << "x" << h << " " << ext;
      EXPECT_EQ(std::max(shown.Width(), shown.Height()), w > h ? 460 : 345) << w << "x" << h;
    }
  }
}

// JP2 boxes around a codestream: signature, file type, header (with palette boxes), codestream.
std::vector<uint8_t> Jp2WithPalette(const std::vector<uint8_t>& codestream, int width, int height,
                                    int channels) {
  auto box = [](std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
    Append32Be(out, uint32_t(8 + body.size()));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
  };
  std::vector<uint8_t> f = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  box(f, "ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '});
  std::vector<uint8_t> ihdr, colr = {1, 0, 0, 0, 0, 0, 16}, pclr, cmap, header;
  Append32Be(ihdr, uint32_t(height)), Append32Be(ihdr, uint32_t(width));
  ihdr.insert(ihdr.end(), {0, 1, 7, 7, 0, 0});
  pclr = {1, 0, uint8_t(channels)};  // 256 entries
  pclr.insert(pclr.end(), size_t(channels), 7);
  for (int e = 0; e < 256; ++e)
    for (int c = 0; c < channels; ++c) pclr.push_back(uint8_t(c == 0 ? e : 255 - e));
  for (int c = 0; c < channels; ++c) cmap.insert(cmap.end(), {0, 0, 1, uint8_t(c)});
  box(header, "ihdr", ihdr);
  box(header, "colr", colr);
  box(header, "pclr", pclr);
  box(header, "cmap", cmap);
  box(f, "jp2h", header);
  box(f, "jp2c", codestream);
  return f;
}

TEST(HostileFiles, JpegTwoThousandPalettesCountTheirChannels) {
  if (!HaveCommand("opj_compress")) GTEST_SKIP() << "needs opj_compress";
  TempDir dir;
  auto codestream = [&](int w, int h) {
    std::vector<uint8_t> pgm;
    const std::string head = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    pgm.assign(head.begin(), head.end());
    for (int i = 0; i < w * h; ++i) pgm.push_back(uint8_t(i % 7));
    WriteFileBytes(dir.File("g.pgm"), pgm);
    EXPECT_EQ(testing::Run("opj_compress -n 1 -i " + ShellQuote(dir.File("g.pgm")) + " -o " +
                           ShellQuote(dir.File("g.j2k")) + " >/dev/null"),
              0);
    return ReadFileBytes(dir.File("g.j2k"));
  };
  // Three palette channels: an RGB picture of palette colours.
  TJpeg2000Bitmap ok;
  ok.LoadFromMemory(Jp2WithPalette(codestream(16, 8), 16, 8, 3));
  ASSERT_EQ(ok.Image().Format(), PixelFormat::pf24bit);
  EXPECT_EQ(ok.Image().PixelColor(3, 0), (RGBQuad{252, 252, 3, 0}));  // index 3: 3, 252, 252
  // Two hundred channels of a 2048 x 2048 picture would be 3.4 GB of codec planes: refused
  // before decoding, with the picture's real size in the message.
  try {
    TJpeg2000Bitmap bomb;
    bomb.LoadFromMemory(Jp2WithPalette(codestream(2048, 2048), 2048, 2048, 200));
    FAIL() << "decoded";
  } catch (const EJpeg2000Error& e) {
    EXPECT_NE(std::string(e.what()).find("2048 x 2048"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace quendra

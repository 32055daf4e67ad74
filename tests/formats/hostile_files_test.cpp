// Hostile files: headers that claim more than the file holds, sparse files, palette and scan
// bombs, damaged data. Memory is checked in a child process against its peak resident size, so
// a reader that allocates and touches what a header claims fails the test, not the machine.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "app/loader.h"
#include "base/errors.h"
#include "formats/emf_writer.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/picture.h"
#include "formats/png_object.h"
#include "formats/tbitmap.h"
#include "formats/tiff_graphic.h"
#include "support/image_tools.h"
#include "support/pictures.h"
#include "support/sanitizer.h"

namespace quendra {
namespace {

using namespace testing;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Shadow memory and the sanitizer's own allocator.
constexpr long kSanitizerSlackMb = kAddressSanitizer ? 300 : 0;

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
  v.at(at) = uint8_t(x), v.at(at + 1) = uint8_t(x >> 8);
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
      // 454 bytes setting up 31612 tiles (310 MB, 3 s in the codec): too short to hold them.
      {"few-bytes-a-tile.jp2",
       ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/jpeg2000/31612-tiles-in-454-bytes.jp2")},
      {"ispe.heic",
       ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/heif/ispe-20000x20000.heic")},
      // A grid whose canvas is 720 megapixels behind an ispe of 48 x 36.
      {"grid.heic",
       ReadFileBytes(QUENDRA_SOURCE_DIR
                     "/fuzz/regressions/heif/grid-canvas-26725x26979-behind-a-48x36-ispe.heic")},
      {"size.jxl",
       ReadFileBytes(QUENDRA_SOURCE_DIR "/fuzz/regressions/jxl/65535x65535-in-12-bytes.jxl")},
  };
  for (const auto& [name, bytes] : files) {
    const std::string path = dir.File(name);  // a lambda may not capture a binding (clang 14)
    WriteFileBytes(path, bytes);
    ChildResult r = InChild([&] { LoadPictureFile(path); });
    EXPECT_FALSE(r.loaded) << name;
    EXPECT_LT(r.peakMb, 200 + kSanitizerSlackMb) << name << ": " << r.message;
  }
}

// A 1 x 1 BMP of the given compression (1: RLE8, 2: RLE4) whose stream is `stream`; palette
// entry 1 is white.
std::vector<uint8_t> RleBmp(uint32_t compression, const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> f(62, 0);
  f[0] = 'B', f[1] = 'M';
  Put32(f, 10, 62), Put32(f, 14, 40), Put32(f, 18, 1), Put32(f, 22, 1);
  Put16(f, 26, 1), Put16(f, 28, compression == 1 ? 8 : 4), Put32(f, 30, compression);
  Put32(f, 46, 2);
  f[58] = f[59] = f[60] = 255;
  f.insert(f.end(), stream.begin(), stream.end());
  return f;
}

TEST(HostileFiles, RunLengthRowsOfMillionsOfRunsStopAtTheRowEnd) {
  // More than 2^31 columns in one row, by runs and by delta escapes: the column counter must
  // neither wrap nor let a write land outside the row. Runs of index 1 put white in the pixel.
  const size_t runs = (size_t(1) << 31) / 255 + 16;
  std::vector<uint8_t> byRuns, byDeltas;
  byRuns.reserve(2 * runs + 4);
  byDeltas.reserve(4 * runs + 4);
  byRuns.insert(byRuns.end(), {1, 0x11});
  for (size_t i = 0; i < runs; ++i) byRuns.insert(byRuns.end(), {255, 0});
  for (size_t i = 0; i < runs; ++i) byDeltas.insert(byDeltas.end(), {0, 2, 255, 0});
  byDeltas.insert(byDeltas.end(), {255, 0x11});  // would land on column 2^31 + ...
  for (auto* stream : {&byRuns, &byDeltas}) stream->insert(stream->end(), {0, 1});
  for (uint32_t compression : {1u, 2u})
    for (auto* stream : {&byRuns, &byDeltas}) {
      const std::vector<uint8_t> file = RleBmp(compression, *stream);
      ChildResult r = InChild([&] {
        const Bitmap b = DecodeBmp(file);
        // Runs: the first pixel is the first run's; deltas skip it, so it stays index 0.
        const unsigned want = stream != &byRuns ? 0 : compression == 1 ? 0x11 : 0x10;
        if (b.Row(0)[0] != want) throw std::runtime_error("wrong pixel");
      });
      EXPECT_TRUE(r.loaded) << "RLE" << (compression == 1 ? 8 : 4) << ": " << r.message;
    }
}

// Reader G, except that once the file is mapped another process shortens it to `keep` bytes,
// before the reader walks the pages.
template <class G>
struct ShortenedWhileRead : G {
  std::string path;
  off_t keep = 0;
  void LoadFromMemory(std::span<const uint8_t> d) override {
    const pid_t pid = fork();
    if (pid == 0) _exit(truncate(path.c_str(), keep) == 0 ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("no truncate");
    G::LoadFromMemory(d);
  }
};

TEST(HostileFiles, FileShortenedWhileReadFailsWithoutASignal) {
  TempDir dir;
  const Bitmap picture = Gradient(1200, 900);
  WriteFileBytes(dir.File("a.bmp"), EncodeBmp(picture));
  WriteFileBytes(dir.File("a.png"), EncodePng(picture));
  const bool tiff =
      HaveCommand("convert") && quendra::testing::Run("convert " + dir.File("a.bmp") +
                                                      " -compress none " + dir.File("a.tif")) == 0;
  auto check = [&](auto reader, const std::string& name) {
    reader.path = dir.File(name);
    reader.keep = 8192;  // headers intact, most pixel data gone
    ChildResult r = InChild([&] {
      reader.LoadFromFile(reader.path);
      Bitmap b;
      reader.AssignTo(b);
    });
    EXPECT_FALSE(r.loaded) << name;
    EXPECT_PRED2(Contains, r.message, ("shortened while being read")) << name;
  };
  check(ShortenedWhileRead<TBitmap>{}, "a.bmp");
  check(ShortenedWhileRead<TPNGObject>{}, "a.png");
  if (tiff) check(ShortenedWhileRead<TTIFFGraphic>{}, "a.tif");
}

TEST(HostileFiles, FifosAndDevicesAreRefusedWithoutBlocking) {
  // Every reader opens through the same door; a FIFO without a writer would block open() in it.
  TempDir dir;
  for (const char* ext : {"jpg", "png", "bmp"}) {
    const std::string fifo = dir.File(std::string("x.") + ext);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ChildResult r = InChild([&] { LoadPictureFile(fifo); });
    EXPECT_FALSE(r.loaded);
    EXPECT_PRED2(Contains, r.message, ("Not a regular file")) << ext;
  }
  const std::string device = dir.File("zero.bmp");
  ASSERT_EQ(symlink("/dev/zero", device.c_str()), 0);
  ChildResult r = InChild([&] { LoadPictureFile(device); });
  EXPECT_PRED2(Contains, r.message, ("Not a regular file"));
}

uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 |
         uint32_t(v[at + 3]) << 24;
}

long ResidentKb(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  return 0;
}

// A big picture file is read out of its mapping once: the pages already read are given back as
// it goes, so the reader never holds the file beside the picture (at the pixel limit, 805 MB
// each). Bottom-up and top-down BMP rows, Targa and TIFF strips, planes and tiles all arrive
// intact.
TEST(HostileFiles, ABigPictureFileIsNotHeldBesideItsPicture) {
  TempDir dir;
  const Bitmap picture = Gradient(4000, 3000);  // 36 MB at 24 bits
  Bitmap flipped(picture.Width(), picture.Height(), picture.Format());
  for (int y = 0; y < picture.Height(); ++y)
    std::memcpy(flipped.Row(y), picture.Row(picture.Height() - 1 - y), size_t(picture.Stride()));
  std::vector<uint8_t> topDown = EncodeBmp(flipped);
  Put32(topDown, 22, uint32_t(-picture.Height()));
  WriteFileBytes(dir.File("up.bmp"), EncodeBmp(picture));
  WriteFileBytes(dir.File("down.bmp"), topDown);
  // Targa: the same bottom-up blue-green-red rows (12,000 bytes each, no padding) after its
  // 18-byte header.
  const std::vector<uint8_t> bmp = EncodeBmp(picture);
  std::vector<uint8_t> tga(18, 0);
  tga[2] = 2, tga[16] = 24;
  Put16(tga, 12, uint16_t(picture.Width())), Put16(tga, 14, uint16_t(picture.Height()));
  tga.insert(tga.end(), bmp.begin() + Get32(bmp, 10), bmp.end());
  WriteFileBytes(dir.File("up.tga"), tga);
  std::vector<std::string> names = {"up.bmp", "down.bmp", "up.tga"};
  // TIFF read row by row, and the ways that take libtiff's general interface: colour planes
  // one after another, and tiles.
  for (const auto& [name, options] : {std::pair<std::string, std::string>{"up.tif", ""},
                                      {"planes.tif", " -interlace plane"},
                                      {"tiles.tif", " -define tiff:tile-geometry=256x256"}})
    if (HaveCommand("convert") &&
        quendra::testing::Run("convert " + dir.File("up.bmp") + " -compress none" + options + " " +
                              dir.File(name)) == 0)
      names.push_back(name);
  EXPECT_EQ(names.size(), 6u) << "ImageMagick is needed for the TIFF files";
  const RgbaImage expected = ToRgba(picture);
  for (const std::string& name : names) {
    const std::string path = dir.File(name);
    ChildResult r = InChild([&] {
      const long before = ResidentKb("VmRSS:");
      TPicture p;
      p.LoadFromFile(path);
      const long grew = ResidentKb("VmHWM:") - before;
      const Bitmap& shown = p.AsBitmap().Image();
      const long shownKb = long(size_t(shown.Stride()) * size_t(shown.Height()) / 1024);
      if (CompareRgb(ToRgba(shown), expected).maxDiff != 0)
        throw std::runtime_error("pixels differ");
      // Under ASan, freed buffers (libtiff's, a band at a time) wait in its quarantine.
      if (grew > shownKb * 3 / 2 + kSanitizerSlackMb * 1024)
        throw std::runtime_error("grew by " + std::to_string(grew) + " KB for a picture of " +
                                 std::to_string(shownKb) + " KB");
    });
    EXPECT_TRUE(r.loaded) << name << ": " << r.message;
  }
}

// A 16384 x 16384 metafile whose `records` bitmap records each stretch one pixel over it all.
std::vector<uint8_t> StretchBomb(int records) {
  const std::vector<uint8_t> one = EncodeEmf(Bitmap(1, 1, PixelFormat::pf24bit));
  const size_t headerSize = Get32(one, 4), recordSize = Get32(one, headerSize + 4);
  std::vector<uint8_t> record(one.begin() + std::ptrdiff_t(headerSize),
                              one.begin() + std::ptrdiff_t(headerSize + recordSize));
  Put32(record, 72, 16384), Put32(record, 76, 16384);
  std::vector<uint8_t> emf(one.begin(), one.begin() + std::ptrdiff_t(headerSize));
  Put32(emf, 16, 16383), Put32(emf, 20, 16383);
  for (int i = 0; i < records; ++i) emf.insert(emf.end(), record.begin(), record.end());
  emf.insert(emf.end(), one.begin() + std::ptrdiff_t(headerSize + recordSize), one.end());
  return emf;
}

// A TIFF of 16384 x 16384 grey in 16 x 16 tiles that all point at the one tile it holds.
std::vector<uint8_t> RepeatedTiles() {
  const uint32_t tiles = 1024 * 1024;
  const size_t ifd = 8, entries = 10, arrays = ifd + 2 + 12 * entries + 4;
  std::vector<uint8_t> f(arrays + 8 * size_t(tiles) + 256, 0);
  f[0] = f[1] = 'I', f[2] = 42;
  Put32(f, 4, uint32_t(ifd));
  Put16(f, ifd, unsigned(entries));
  const uint32_t offsetsAt = uint32_t(arrays), countsAt = offsetsAt + 4 * tiles,
                 tileAt = countsAt + 4 * tiles;
  const uint32_t e[][4] = {{256, 4, 1, 16384},       {257, 4, 1, 16384}, {258, 3, 1, 8},
                           {259, 3, 1, 1},           {262, 3, 1, 1},     {277, 3, 1, 1},
                           {322, 3, 1, 16},          {323, 3, 1, 16},    {324, 4, tiles, offsetsAt},
                           {325, 4, tiles, countsAt}};
  for (size_t i = 0; i < entries; ++i) {
    const size_t at = ifd + 2 + 12 * i;
    Put16(f, at, e[i][0]), Put16(f, at + 2, e[i][1]), Put32(f, at + 4, e[i][2]);
    if (e[i][1] == 3)
      Put16(f, at + 8, e[i][3]);
    else
      Put32(f, at + 8, e[i][3]);
  }
  for (uint32_t t = 0; t < tiles; ++t)
    Put32(f, offsetsAt + 4 * t, tileAt), Put32(f, countsAt + 4 * t, 256);
  return f;
}

TEST(HostileFiles, BombsStopAtTheirBudgetsBeforeTheCanvas) {
  if (kSanitizerSlackMb > 0) GTEST_SKIP() << "peak memory is measured in the optimised build";
  TempDir dir;
  // 64 x 64 PNG with 200 compressed text chunks that would inflate to 5 MB each.
  std::vector<uint8_t> text = EncodePng(Gradient(64, 64));
  {
    std::vector<uint8_t> raw(5 << 20, 'a'), packed(compressBound(uLong(raw.size())));
    uLongf n = packed.size();
    compress2(packed.data(), &n, raw.data(), raw.size(), 9);
    std::vector<uint8_t> body = {'k', 0, 0};
    body.insert(body.end(), packed.begin(), packed.begin() + std::ptrdiff_t(n));
    std::vector<uint8_t> chunks;
    for (int i = 0; i < 200; ++i) AppendChunk(chunks, "zTXt", body);
    text.insert(text.begin() + 33, chunks.begin(), chunks.end());  // right after IHDR
  }
  // A real photograph's data under a frame header claiming 16384 x 16384.
  std::vector<uint8_t> jpeg = ReadFileBytes(QUENDRA_SOURCE_DIR "/samples/hills.jpg");
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = jpeg[i + 7] = 0x40, jpeg[i + 6] = jpeg[i + 8] = 0;
      break;
    }
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool loads;
    long maxMb;
  } files[] = {
      {"2000-stretches.emf", StretchBomb(2000), false, 100},
      {"1-stretch.emf", StretchBomb(1), true, 1300},
      {"tiles.tif", RepeatedTiles(), false, 100},
      {"text.png", text, true, 50},
      {"claims-16384.jpg", jpeg, false, 100},
  };
  for (const auto& f : files) {
    WriteFileBytes(dir.File(f.name), f.bytes);
    ChildResult r = InChild([&] { LoadPictureFile(dir.File(f.name)); });
    EXPECT_EQ(r.loaded, f.loads) << f.name << ": " << r.message;
    EXPECT_LT(r.peakMb, f.maxMb) << f.name;
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
  // Bytes after the end of image lift the file over the floor of a bit a block, so the scans
  // themselves meet the work budget.
  j.resize(j.size() + (8192 / 8) * (8192 / 8) / 8, 0);
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

// Arithmetic coding has no smallest size for a picture, so where its data ends is what counts:
// a file cut short shows its top and leaves the rest of the canvas as allocated (untouched),
// and one cut within its first row, however large it claims to be, fails, fitted or not.
TEST(HostileFiles, ArithmeticJpegCutShortCostsWhatItHolds) {
  if (!HaveCommand("cjpeg")) GTEST_SKIP() << "needs cjpeg";
  TempDir dir;
  WritePpm(dir.File("g.ppm"), ToRgba(testing::Gradient(256, 384), true));
  ASSERT_EQ(testing::Run("cjpeg -arithmetic -outfile " + ShellQuote(dir.File("g.jpg")) + " " +
                         ShellQuote(dir.File("g.ppm"))),
            0);
  const auto whole = ReadFileBytes(dir.File("g.jpg"));
  Bitmap want, got;
  TJPEGImage a, b;
  a.LoadFromMemory(whole);
  a.AssignTo(want);
  b.LoadFromMemory(std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
  ASSERT_NO_THROW(b.AssignTo(got));
  for (int y = 0; y < 96; ++y)
    ASSERT_EQ(std::memcmp(want.Row(y), got.Row(y), size_t(want.Width()) * 3), 0) << y;
  const uint8_t* last = got.Row(383);
  EXPECT_TRUE(std::all_of(last, last + 256 * 3, [](uint8_t v) { return v == 0; }));
  int blackRows = 0;  // row by row, as a fitted load takes them: the same black
  b.DecodeRows([](int, int) {},
               [&](const uint8_t* row, int) {
                 blackRows += std::all_of(row, row + 256 * 3, [](uint8_t v) { return v == 0; });
               });
  EXPECT_GT(blackRows, 96);

  // A progressive one has read all its scans before the first row comes out: cut short, it
  // shows what its scans made, not black.
  ASSERT_EQ(testing::Run("cjpeg -arithmetic -progressive -outfile " +
                         ShellQuote(dir.File("p.jpg")) + " " + ShellQuote(dir.File("g.ppm"))),
            0);
  const auto scans = ReadFileBytes(dir.File("p.jpg"));
  TJPEGImage c;
  c.LoadFromMemory(std::vector<uint8_t>(scans.begin(), scans.begin() + scans.size() * 2 / 3));
  Bitmap partial;
  ASSERT_NO_THROW(c.AssignTo(partial));
  EXPECT_LE(CompareRgb(ToRgba(partial), ToRgba(want)).meanDiff, 24);

  // Claiming 16384 x 16384, cut within the first row, or a progressive one within its first
  // scan (just past the scan's header): fails, from memory or from the file, before libjpeg's
  // whole-picture buffer of a progressive file (768 MB here) is made.
  auto claimHuge = [](std::vector<uint8_t> bytes, uint8_t sof, size_t keep) {
    for (size_t i = 2; i + 9 < bytes.size(); ++i)
      if (bytes[i] == 0xFF && bytes[i + 1] == sof) {
        bytes[i + 5] = bytes[i + 7] = 0x40, bytes[i + 6] = bytes[i + 8] = 0;
        break;
      }
    for (size_t i = 2; keep == 0 && i + 3 < bytes.size(); ++i)
      if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA)
        keep = i + 2 + (bytes[i + 2] << 8 | bytes[i + 3]) + 16;
    bytes.resize(keep);
    return bytes;
  };
  const std::vector<uint8_t> huge[] = {claimHuge(whole, 0xC9, 400), claimHuge(scans, 0xCA, 0)};
  WriteFileBytes(dir.File("huge.jpg"), huge[1]);
  for (int k = 0; k < 4; ++k) {
    const bool fitted = k == 1, progressive = k >= 2, fromFile = k == 3;
    ChildResult r = InChild([&] {
      TJPEGImage j;
      if (fromFile)
        j.LoadFromFile(dir.File("huge.jpg"));
      else
        j.LoadFromMemory(huge[progressive]);
      if (fitted) {
        j.SetScale(JpegScale::jsEighth);
        j.DecodeRows([](int, int) {}, [](const uint8_t*, int) {});
      } else {
        Bitmap out;
        j.AssignTo(out);
      }
    });
    SCOPED_TRACE(k);
    EXPECT_FALSE(r.loaded);
    EXPECT_TRUE(Contains(r.message, progressive ? "first scan" : "first row")) << r.message;
    EXPECT_LT(r.peakMb, 100 + kSanitizerSlackMb);
  }
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

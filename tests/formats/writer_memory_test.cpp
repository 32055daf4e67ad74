// What the writers hold beyond the bitmap: large pictures stream (PNG, EMF, Targa) or go to the
// codec a tile at a time (JPEG 2000). Measured in a child process as the growth of its peak
// resident memory over the bitmap itself; the bounds are generous, a writer that holds the picture
// once more in any form breaks them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "saving/save_by_extension.h"
#include "support/sanitizer.h"

namespace quendra {
namespace {

struct Growth {
  bool ok = false;
  long bitmapMb = 0, extraMb = 0;
  size_t bytes = 0;
};

long PeakMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Makes the bitmap in a child, then writes it to a sink that only counts.
Growth WriteInChild(const std::function<Bitmap()>& make, SaveFormat format) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Growth g;
    const long before = PeakMb();
    const Bitmap bmp = make();
    const long withBitmap = PeakMb();
    try {
      EncodeForSave(bmp, format, [&](const uint8_t*, size_t n) { g.bytes += n; });
      g.ok = true;
    } catch (...) {
    }
    g.bitmapMb = withBitmap - before;
    g.extraMb = PeakMb() - withBitmap;
    (void)!write(fds[1], &g, sizeof g);
    _exit(0);
  }
  close(fds[1]);
  Growth g;
  const bool got = read(fds[0], &g, sizeof g) == ssize_t(sizeof g);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(got && WIFEXITED(status)) << "the child crashed";
  return g;
}

// Every byte touched, so the bitmap is resident before the writer starts; rows vary so that
// the compressors have work.
Bitmap Filled(int w, int h, bool grainy) {
  Bitmap bmp(w, h, PixelFormat::pf24bit);
  uint32_t seed = 1;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = bmp.Row(y);
    for (size_t i = 0; i < size_t(w) * 3; ++i) {
      seed = seed * 1103515245u + 12345u;
      p[i] = grainy ? uint8_t(i / 7 + y + (seed >> 28)) : uint8_t(y >> 4);
    }
  }
  return bmp;
}

TEST(WriterMemory, LargePicturesCostLittleBeyondTheBitmap) {
  if (testing::kAddressSanitizer)
    GTEST_SKIP() << "peak memory means nothing under AddressSanitizer";
  // 270 MB: beyond what the PNG writer compresses in one piece.
  const auto big = [] { return Filled(9000, 10000, false); };
  for (SaveFormat f : {SaveFormat::Png, SaveFormat::Emf, SaveFormat::Targa}) {
    const Growth g = WriteInChild(big, f);
    ASSERT_TRUE(g.ok);
    EXPECT_GE(g.bitmapMb, 250);
    EXPECT_LT(g.extraMb, 64) << "format " << int(f);
  }
  // JPEG 2000: the codec's own planes and buffers are a tile's, not the picture's.
  const Growth g = WriteInChild([] { return Filled(3000, 2000, true); }, SaveFormat::Jpeg2000);
  ASSERT_TRUE(g.ok);
  EXPECT_GT(g.bytes, 3000u * 2000 * 3 / 4);  // about the rate rule's 1 / 3.24
  EXPECT_LT(g.extraMb, g.bitmapMb / 2 + 48);
}

}  // namespace
}  // namespace quendra

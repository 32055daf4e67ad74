// The resampler's rows are written for the compiler's vector units. These checksums were taken
// from the first, plainly scalar resampler (one pixel and one channel at a time), so any change
// of a single output pixel by the vectorised rows, on either pixel layout, fails here.
#include <gtest/gtest.h>

#include "imaging/resample.h"

namespace quendra {
namespace {

// Shared by the checksum generator and the test: a noisy source picture and a row hash.
Bitmap NoisySource(int w, int h, PixelFormat pf) {
  Bitmap b(w, h, pf);
  const int bpp = pf == PixelFormat::pf32bit ? 4 : 3;
  uint32_t seed = uint32_t(w * 7919 + h);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.Row(y);
    for (int x = 0; x < w * bpp; ++x) {
      seed = seed * 1664525u + 1013904223u;
      p[x] = uint8_t(seed >> 24);
    }
  }
  return b;
}
uint64_t RowHash(const Bitmap& b) {
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* p = b.Row(y);
    for (int x = 0; x < b.Width() * 4; ++x) h = (h ^ p[x]) * 1099511628211ull;
  }
  return h;
}
struct ResampleCase {
  int sw, sh, dw, dh;
};
const ResampleCase kResampleCases[] = {{1920, 1080, 1600, 900}, {1500, 1000, 1350, 900},
                                       {640, 480, 97, 73},      {300, 200, 299, 199},
                                       {100, 80, 250, 190},     {7, 5, 3, 2},
                                       {1000, 800, 431, 345},   {33, 1, 5, 1},
                                       {750, 500, 558, 372},    {401, 301, 100, 75}};

TEST(ResampleHalftone, VectorisedRowsGiveTheScalarResultToTheBit) {
  const uint64_t want[] = {
      0x95577693b0341bdfull, 0x5b029249d6f27894ull, 0x0524e69fd94183d0ull, 0xee0ee34ffeb814aaull,
      0xc3131d1f5c394c67ull, 0xdd35c411c6733117ull, 0x3a7b7c342977d152ull, 0xa935b2ff740170feull,
      0x6d84b2b6a81f779eull, 0x72dc4b4a166f44fbull, 0xbccfdef730eef1d7ull, 0x06af116b215b78c4ull,
      0x4b17ba9e2a4b2b76ull, 0x26bb33f8d79d2781ull, 0x57acd4f08c16a9b8ull, 0x310a4704a34cdf76ull,
      0xc6e6c948159b7254ull, 0x9f24ae370b366a7aull, 0x53bdc88980af7d38ull, 0xe4a29cdbe2da98a1ull};
  size_t i = 0;
  for (const auto& c : kResampleCases)
    for (PixelFormat pf : {PixelFormat::pf24bit, PixelFormat::pf32bit}) {
      Bitmap b = NoisySource(c.sw, c.sh, pf);
      ResampleHalftone(b, TRect{0, 0, c.dw, c.dh});
      ASSERT_EQ(b.Width(), c.dw);
      EXPECT_EQ(RowHash(b), want[i++])
          << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh
          << (pf == PixelFormat::pf24bit ? " from 24 bits" : " from 32 bits");
    }
}

}  // namespace
}  // namespace quendra

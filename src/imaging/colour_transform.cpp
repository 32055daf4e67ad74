#include "imaging/colour_transform.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace quendra {

namespace {

constexpr size_t kBandBytes = 256 << 10;  // a 32-bit band of 24-bit rows stays in cache

// littlecms reports bad profiles through its log; the caller's null result says enough.
void Quiet(cmsContext, cmsUInt32Number, const char*) {}

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct CurveFreer {
  void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

bool Chromaticity(const double xy[2]) {
  return std::isfinite(xy[0]) && std::isfinite(xy[1]) && xy[0] >= 0 && xy[0] <= 1 && xy[1] > 0 &&
         xy[1] <= 1;
}

Curve ToneCurve(const CalibratedRgb& c) {
  switch (c.curve) {
    case CalibratedRgb::Curve::Srgb: {
      // IEC 61966-2-1 as a type 4 parametric curve: (aX + b)^g above d, cX below.
      const cmsFloat64Number p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
      return Curve(cmsBuildParametricToneCurve(nullptr, 4, p));
    }
    case CalibratedRgb::Curve::Gamma:
      if (!std::isfinite(c.gamma) || c.gamma <= 0 || c.gamma > 100) return nullptr;
      return Curve(cmsBuildGamma(nullptr, c.gamma));
    case CalibratedRgb::Curve::Linear:
      return Curve(cmsBuildGamma(nullptr, 1.0));
  }
  return nullptr;
}

Profile CalibratedProfile(const CalibratedRgb& c) {
  for (const double* xy : {c.white, c.red, c.green, c.blue})
    if (!Chromaticity(xy)) return nullptr;
  Curve curve = ToneCurve(c);
  if (!curve) return nullptr;
  const cmsCIExyY white{c.white[0], c.white[1], 1.0};
  const cmsCIExyYTRIPLE primaries{
      {c.red[0], c.red[1], 1.0}, {c.green[0], c.green[1], 1.0}, {c.blue[0], c.blue[1], 1.0}};
  cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
  return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

// An RGB profile that describes a device or a colour space; links, abstract and named-colour
// profiles map colours to colours and cannot stand for the pixels' space.
Profile RgbProfile(std::span<const uint8_t> icc) {
  if (icc.empty() || icc.size() > UINT32_MAX) return nullptr;
  Profile p(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
  if (!p || cmsGetColorSpace(p.get()) != cmsSigRgbData) return nullptr;
  switch (cmsGetDeviceClass(p.get())) {
    case cmsSigInputClass:
    case cmsSigDisplayClass:
    case cmsSigOutputClass:
    case cmsSigColorSpaceClass:
      return p;
    default:
      return nullptr;
  }
}

Profile SourceProfile(const ColourSpace& from) {
  if (!from.icc.empty()) return RgbProfile(from.icc);
  if (from.calibrated) return CalibratedProfile(*from.calibrated);
  return Profile(cmsCreate_sRGBProfile());
}

void SilenceLog() {
  static std::once_flag once;
  std::call_once(once, [] { cmsSetLogErrorHandler(Quiet); });
}

}  // namespace

bool IsRgbProfile(std::span<const uint8_t> icc) {
  SilenceLog();
  return RgbProfile(icc) != nullptr;
}

std::unique_ptr<ColourTransform> ColourTransform::Create(const ColourSpace& from,
                                                         std::span<const uint8_t> outputIcc) {
  SilenceLog();
  Profile source = SourceProfile(from);
  if (!source) return nullptr;
  Profile output = RgbProfile(outputIcc);
  if (!output) output.reset(cmsCreate_sRGBProfile());
  if (!output) return nullptr;
  // The fourth byte is copied through untouched, so padding and alpha both survive.
  cmsHTRANSFORM t = cmsCreateTransform(source.get(), TYPE_BGRA_8, output.get(), TYPE_BGRA_8,
                                       INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
  if (t == nullptr) return nullptr;
  return std::unique_ptr<ColourTransform>(new ColourTransform(t));
}

ColourTransform::~ColourTransform() {
  cmsDeleteTransform(handle_);
}

// 24-bit rows go through a 32-bit scratch band: one transform serves every pixel format.
void ColourTransform::Apply(Bitmap& b) const {
  if (b.Empty()) return;
  const auto width = cmsUInt32Number(b.Width());
  switch (b.Format()) {
    case PixelFormat::pf32bit: {
      const auto stride = cmsUInt32Number(b.Stride());
      cmsDoTransformLineStride(handle_, b.Row(0), b.Row(0), width, cmsUInt32Number(b.Height()),
                               stride, stride, 0, 0);
      break;
    }
    case PixelFormat::pf24bit: {
      const int band = std::max(1, int(kBandBytes / (size_t(width) * 4)));
      std::vector<uint8_t> scratch(size_t(width) * 4 * size_t(std::min(band, b.Height())));
      for (int y0 = 0; y0 < b.Height(); y0 += band) {
        const int rows = std::min(band, b.Height() - y0);
        for (int y = 0; y < rows; ++y) ExpandRowTo32(b, y0 + y, &scratch[size_t(y) * width * 4]);
        cmsDoTransformLineStride(handle_, scratch.data(), scratch.data(), width,
                                 cmsUInt32Number(rows), width * 4, width * 4, 0, 0);
        for (int y = 0; y < rows; ++y) {
          const uint8_t* s = &scratch[size_t(y) * width * 4];
          uint8_t* d = b.Row(y0 + y);
          for (size_t x = 0; x < width; ++x, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
        }
      }
      break;
    }
    case PixelFormat::pf1bit:
    case PixelFormat::pf4bit:
    case PixelFormat::pf8bit:
      // RGBQuad is blue, green, red, reserved: the palette is a row of BGRA pixels.
      cmsDoTransform(handle_, b.Palette().data(), b.Palette().data(),
                     cmsUInt32Number(b.Palette().size()));
      break;
    default:
      return;  // 15- and 16-bit pixels come from formats that carry no colour space
  }
  if (b.Transparent) {
    // The marked colour follows its pixels, which map to the same new colour.
    const Color c = b.TransparentColor;
    uint8_t bgra[4] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0};
    cmsDoTransform(handle_, bgra, bgra, 1);
    b.TransparentColor = RGB(bgra[2], bgra[1], bgra[0]);
  }
}

}  // namespace quendra

#include "imaging/colour_transform.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "base/two_halves.h"

namespace quendra {

namespace {

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
Profile OpenProfile(std::span<const uint8_t> icc, cmsColorSpaceSignature space) {
  if (icc.empty() || icc.size() > UINT32_MAX) return nullptr;
  Profile p(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
  return p && cmsGetColorSpace(p.get()) == space ? std::move(p) : nullptr;
}

Profile RgbProfile(std::span<const uint8_t> icc) {
  Profile p = OpenProfile(icc, cmsSigRgbData);
  if (!p) return nullptr;
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

// A grey profile (a scanner's or a press's dot gain); such a profile says how grey levels look,
// so it stands only for pictures stored as grey levels.
Profile GreyProfile(std::span<const uint8_t> icc) {
  return OpenProfile(icc, cmsSigGrayData);
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
  Profile output = RgbProfile(outputIcc);
  if (!output) output.reset(cmsCreate_sRGBProfile());
  if (!output) return nullptr;
  std::unique_ptr<ColourTransform> t(new ColourTransform);
  if (Profile grey = from.grey ? GreyProfile(from.icc) : nullptr) {
    // Grey pixels have 256 values: the transform is sampled once into a table.
    cmsHTRANSFORM levels = cmsCreateTransform(grey.get(), TYPE_GRAY_8, output.get(), TYPE_BGR_8,
                                              INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    if (levels == nullptr) return nullptr;
    uint8_t ramp[256];
    for (int v = 0; v < 256; ++v) ramp[v] = uint8_t(v);
    t->greyLevels_.resize(256 * 3);
    cmsDoTransform(levels, ramp, t->greyLevels_.data(), 256);
    cmsDeleteTransform(levels);
    return t;
  }
  Profile source = SourceProfile(from);
  if (!source) return nullptr;
  t->shaper_ = MatrixShaper::FromProfiles(source.get(), output.get());
  if (t->shaper_) return t;
  // The fourth byte is copied through untouched, so padding and alpha both survive. Without
  // littlecms's one-pixel cache the transform keeps no state: cached transforms are shared by
  // the loading threads, and one picture's halves are converted at once.
  t->handle_ = cmsCreateTransform(source.get(), TYPE_BGRA_8, output.get(), TYPE_BGRA_8,
                                  INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE);
  if (t->handle_ == nullptr) return nullptr;
  return t;
}

ColourTransform::~ColourTransform() {
  if (handle_ != nullptr) cmsDeleteTransform(handle_);
}

void ColourTransform::Pixels(uint8_t* p, size_t count, size_t step) const {
  if (!greyLevels_.empty()) {
    // Grey pixels carry their level in every channel.
    for (size_t i = 0; i < count; ++i, p += step) std::memcpy(p, &greyLevels_[3 * size_t(p[1])], 3);
    return;
  }
  if (shaper_) return shaper_->Apply(p, count, step);
  if (step == 4) return cmsDoTransform(handle_, p, p, cmsUInt32Number(count));
  // littlecms is set up for 32-bit pixels: 24-bit ones go through a small 32-bit buffer.
  uint8_t quads[1024 * 4];
  for (size_t done = 0; done < count; done += 1024) {
    const size_t n = std::min<size_t>(1024, count - done);
    uint8_t* row = p + done * 3;
    for (size_t i = 0; i < n; ++i) std::memcpy(quads + 4 * i, row + 3 * i, 3);
    cmsDoTransform(handle_, quads, quads, cmsUInt32Number(n));
    for (size_t i = 0; i < n; ++i) std::memcpy(row + 3 * i, quads + 4 * i, 3);
  }
}

void ColourTransform::Apply(Bitmap& b) const {
  if (b.Empty()) return;
  const auto width = size_t(b.Width());
  switch (b.Format()) {
    case PixelFormat::pf32bit:
    case PixelFormat::pf24bit: {
      const size_t step = b.Format() == PixelFormat::pf32bit ? 4 : 3;
      // A fitted photo is a megapixel or more: pictures of a quarter of one and up are
      // converted in two halves at once.
      const int minimum = int(std::min<size_t>((size_t(1) << 18) / width, 1u << 30));
      InTwoHalves(b.Height(), minimum, [&](int from, int to, const std::atomic<bool>&) {
        for (int y = from; y < to; ++y) Pixels(b.Row(y), width, step);
      });
      break;
    }
    case PixelFormat::pf1bit:
    case PixelFormat::pf4bit:
    case PixelFormat::pf8bit:
      // RGBQuad is blue, green, red, reserved: the palette is a row of 32-bit pixels.
      Pixels(&b.Palette().data()->blue, b.Palette().size(), 4);
      break;
    default:
      return;  // 15- and 16-bit pixels come from formats that carry no colour space
  }
  if (b.Transparent) {
    // The marked colour follows its pixels, which map to the same new colour.
    const Color c = b.TransparentColor;
    uint8_t bgrx[4] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0};
    Pixels(bgrx, 1, 4);
    b.TransparentColor = RGB(bgrx[2], bgrx[1], bgrx[0]);
  }
}

}  // namespace quendra

#include "imaging/matrix_shaper.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace quendra {

namespace {

constexpr cmsTagSignature kCurveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
constexpr cmsTagSignature kColourantTags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                               cmsSigBlueColorantTag};

using Matrix = double[3][3];

// Linear RGB to XYZ: the colourants are the columns.
bool ToXyz(cmsHPROFILE p, Matrix m) {
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, kColourantTags[c]));
    if (xyz == nullptr) return false;
    m[0][c] = xyz->X, m[1][c] = xyz->Y, m[2][c] = xyz->Z;
  }
  return true;
}

bool Invert(const Matrix a, Matrix out) {
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-9) return false;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      // The cofactor of a[j][i], by the cyclic rule.
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      out[i][j] = (a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0]) / det;
    }
  return true;
}

// A plain matrix-shaper for the perceptual intent, with black at zero: littlecms then does no
// black point compensation that would change the pipeline.
bool Plain(cmsHPROFILE p, cmsUInt32Number direction) {
  if (!cmsIsMatrixShaper(p) || cmsIsCLUT(p, INTENT_PERCEPTUAL, direction)) return false;
  for (cmsTagSignature tag : kCurveTags) {
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(p, tag));
    if (curve == nullptr || cmsEvalToneCurveFloat(curve, 0) != 0) return false;
  }
  return true;
}

// Curves that evaluate alike: most profiles give all three channels one curve, and the output
// side's table is the costly part of making the pipeline.
bool SameCurve(const cmsToneCurve* a, const cmsToneCurve* b) {
  if (a == b) return true;
  const int type = cmsGetToneCurveParametricType(a);
  if (type != 0 || cmsGetToneCurveParametricType(b) != 0) {
    return type == cmsGetToneCurveParametricType(b) &&
           std::equal(cmsGetToneCurveParams(a), cmsGetToneCurveParams(a) + 10,
                      cmsGetToneCurveParams(b));
  }
  const cmsUInt32Number n = cmsGetToneCurveEstimatedTableEntries(a);
  return n == cmsGetToneCurveEstimatedTableEntries(b) &&
         std::equal(cmsGetToneCurveEstimatedTable(a), cmsGetToneCurveEstimatedTable(a) + n,
                    cmsGetToneCurveEstimatedTable(b));
}

}  // namespace

std::unique_ptr<MatrixShaper> MatrixShaper::FromProfiles(void* source, void* output) {
  if (!Plain(source, LCMS_USED_AS_INPUT) || !Plain(output, LCMS_USED_AS_OUTPUT)) return nullptr;
  Matrix in, out, outInverse;
  if (!ToXyz(source, in) || !ToXyz(output, out) || !Invert(out, outInverse)) return nullptr;
  std::unique_ptr<MatrixShaper> s(new MatrixShaper);
  s->wide_.resize(3 * 3 * 256);
  const auto term = [&s](int o, int c, int i) -> int64_t& {
    return s->wide_[(o * 3 + c) * 256 + i];
  };
  int64_t matrix[3][3];  // linear source to linear output, 1.14 fixed point
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double v = 0;
      for (int k = 0; k < 3; ++k) v += outInverse[i][k] * in[k][j];
      if (!(std::fabs(v) < 1 << 16)) return nullptr;  // no 1.14 number: leave it to littlecms
      matrix[i][j] = int64_t(std::floor(v * 16384 + 0.5));
    }
  for (int c = 0; c < 3; ++c) {
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, kCurveTags[c]));
    for (int i = 0; i < 256; ++i) {
      // Stored value to linear in 1.14 fixed point, as littlecms has it.
      const double y = cmsEvalToneCurveFloat(curve, cmsFloat32Number(i / 255.0));
      const int64_t linear = y < 131072.0 ? int64_t(std::floor(y * 16384 + 0.5)) : 0x7fffffff;
      for (int o = 0; o < 3; ++o) term(o, c, i) = matrix[o][c] * linear + (c == 0 ? 0x2000 : 0);
    }
    const auto* shown = static_cast<const cmsToneCurve*>(cmsReadTag(output, kCurveTags[c]));
    const auto* before =
        c > 0 ? static_cast<const cmsToneCurve*>(cmsReadTag(output, kCurveTags[c - 1])) : nullptr;
    if (before != nullptr && SameCurve(shown, before)) {
      s->shown_[c] = s->shown_[c - 1];
      continue;
    }
    s->shown_[c] = c;
    cmsToneCurve* inverse = cmsReverseToneCurve(shown);
    if (inverse == nullptr) return nullptr;
    for (int i = 0; i <= 16384; ++i) {
      const double y = cmsEvalToneCurveFloat(inverse, cmsFloat32Number(i / 16384.0));
      const double v = y > 0 ? std::min(y, 1.0) : 0.0;  // NaN too: a broken curve gives black
      // To 16 bits, then to 8 the way littlecms rounds 16-bit values down.
      const auto w = uint32_t(std::floor(v * 65535 + 0.5));
      s->out_[c][i] = uint8_t((w * 65281u + 8388608u) >> 24);
    }
    cmsFreeToneCurve(inverse);
  }
  // Narrow when the largest and smallest sum of each channel fit in 32 bits.
  bool narrow = true;
  for (int o = 0; o < 3; ++o) {
    int64_t most = 0, least = 0;
    for (int c = 0; c < 3; ++c) {
      const auto [lo, hi] = std::minmax_element(&term(o, c, 0), &term(o, c, 0) + 256);
      most += *hi, least += *lo;
    }
    narrow = narrow && most <= INT32_MAX && least >= INT32_MIN;
  }
  if (narrow) {
    s->narrow_.assign(s->wide_.begin(), s->wide_.end());
    s->wide_.clear();
  }
  return s;
}

template <typename Term>
void MatrixShaper::ApplyWith(const Term* t, uint8_t* p, size_t count, size_t step) const {
  const auto level = [](Term sum) { return std::clamp<Term>(sum >> 14, 0, 0x4000); };
  const uint8_t *red = out_[shown_[0]], *green = out_[shown_[1]], *blue = out_[shown_[2]];
  for (size_t i = 0; i < count; ++i, p += step) {
    const int r = p[2], g = p[1], b = p[0];
    const Term lr = level(t[r] + t[256 + g] + t[512 + b]);
    const Term lg = level(t[768 + r] + t[1024 + g] + t[1280 + b]);
    const Term lb = level(t[1536 + r] + t[1792 + g] + t[2048 + b]);
    p[2] = red[lr], p[1] = green[lg], p[0] = blue[lb];
  }
}

void MatrixShaper::Apply(uint8_t* p, size_t count, size_t step) const {
  if (!narrow_.empty()) return ApplyWith(narrow_.data(), p, count, step);
  ApplyWith(wide_.data(), p, count, step);
}

}  // namespace quendra

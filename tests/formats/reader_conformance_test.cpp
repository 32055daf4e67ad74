// Runs the shared conformance corpus through the readers the format table gives BMP, JPEG, PNG,
// GIF and TIFF files: files
// marked ok must decode at the listed size and match their reference, reject files must fail
// with EInvalidGraphic, and either/optional files must simply come back (decoded or refused).
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <sstream>

#include "base/errors.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::RgbaImage;

using testing::Decoded;
// Read as the viewer reads it.
Decoded DecodeFile(const std::string& path) {
  return testing::DecodeThroughFormats(path);
}

// "kind:ref (alternatives: a, b)" -> kind and the candidate references, relative to `dir`.
struct Check {
  std::string kind;
  std::vector<std::string> refs;
};

std::vector<Check> ParseChecks(const std::string& text, const std::string& dir) {
  std::vector<Check> out;
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ';')) {
    item.erase(0, item.find_first_not_of(' '));
    if (item.empty()) continue;
    Check c;
    auto colon = item.find(':');
    c.kind = item.substr(0, colon);
    if (colon != std::string::npos) {
      std::string rest = item.substr(colon + 1);
      auto paren = rest.find(" (alternatives: ");
      c.refs.push_back(dir + "/" + rest.substr(0, paren));
      if (paren != std::string::npos) {
        std::stringstream alts(rest.substr(paren + 16, rest.size() - paren - 17));
        std::string a;
        while (std::getline(alts, a, ',')) {
          a.erase(0, a.find_first_not_of(' '));
          c.refs.push_back(dir + "/" + a);
        }
      }
    }
    out.push_back(std::move(c));
  }
  return out;
}

RgbaImage RawRgb(const std::string& path, int w, int h) {
  auto bytes = testing::ReadFileBytes(path);
  RgbaImage img;
  if (bytes.size() != size_t(w) * h * 3) return img;
  img.width = w;
  img.height = h;
  img.rgba.resize(size_t(w) * h * 4);
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    std::copy_n(&bytes[i * 3], 3, &img.rgba[i * 4]);
    img.rgba[i * 4 + 3] = 255;
  }
  return img;
}

struct Tally {
  int okPass = 0, okFail = 0, rejectPass = 0, rejectFail = 0, tolerantDecoded = 0,
      tolerantRefused = 0;
  int checked = 0;
};

class ReaderConformance : public ::testing::TestWithParam<const char*> {};

TEST_P(ReaderConformance, CorpusFilesBehaveAsListed) {
  const std::string root = testing::TestDataDir();
  if (root.empty()) GTEST_SKIP() << "conformance corpus ../shared/testdata not found; skipping";
  const std::string format = GetParam();
  const std::vector<testing::ManifestRow> rows = testing::CorpusInputs(format);
  ASSERT_FALSE(rows.empty());

  // Decode every PNG/JPEG reference in one Pillow run.
  std::map<std::string, std::optional<RgbaImage>> refs;
  if (testing::HavePillow()) {
    std::vector<std::string> wanted;
    for (auto& r : rows)
      for (auto& c : ParseChecks(r.check, root + "/" + testing::DirName(r.path)))
        if (c.kind == "ref" || c.kind == "exact" || c.kind == "exact8" || c.kind == "tol" ||
            c.kind == "first-frame")
          for (auto& ref : c.refs) wanted.push_back(ref);
    // PngSuite has no references: Pillow's own decode (no gamma applied) serves as one.
    if (format == "png")
      for (auto& r : rows)
        if (r.expect == "ok") wanted.push_back(root + "/" + r.path);
    auto decoded = testing::DecodeAllWithPillow(wanted);
    for (size_t i = 0; i < wanted.size(); ++i) refs[wanted[i]] = decoded[i];
  }
  const bool haveDjpeg = testing::HaveCommand("djpeg");
  testing::TempDir tmp;

  Tally t;
  for (auto& r : rows) {
    const std::string path = root + "/" + r.path;
    // A JPEG whose damage djpeg only warns about (exit status 2) shows what it recovers, as the
    // truncated-file rule already has it, whatever the corpus lists.
    const bool recoverableJpeg =
        r.expect == "reject" && format == "jpg" && haveDjpeg &&
        testing::Run("djpeg -outfile /dev/null " + testing::ShellQuote(path)) == 2;
    if (r.expect == "reject" && !recoverableJpeg) {
      try {
        DecodeFile(path);
        ++t.rejectFail;
        ADD_FAILURE() << r.path << ": decoded, but must be rejected";
      } catch (const EInvalidGraphic&) {
        ++t.rejectPass;
      } catch (const std::exception& e) {
        ++t.rejectFail;
        ADD_FAILURE() << r.path << ": refused with a foreign error: " << e.what();
      }
      continue;
    }
    if (r.expect != "ok") {  // either / optional: any clean outcome
      try {
        DecodeFile(path);
        ++t.tolerantDecoded;
      } catch (const std::exception&) {
        ++t.tolerantRefused;
      }
      continue;
    }
    Decoded d;
    try {
      d = DecodeFile(path);
    } catch (const std::exception& e) {
      ++t.okFail;
      ADD_FAILURE() << r.path << ": must decode, failed with: " << e.what();
      continue;
    }
    bool good = true;
    if (d.bitmap.Width() != r.width || d.bitmap.Height() != r.height || d.graphicWidth != r.width ||
        d.graphicHeight != r.height) {
      ADD_FAILURE() << r.path << ": size " << d.bitmap.Width() << "x" << d.bitmap.Height()
                    << ", expected " << r.width << "x" << r.height;
      good = false;
    }
    const RgbaImage actual = testing::ToRgba(d.bitmap);
    std::vector<Check> checks = ParseChecks(r.check, root + "/" + testing::DirName(r.path));
    if (format == "png") checks.push_back({"pillow", {path}});
    for (auto& c : checks) {
      int maxAllowed = 0;
      double meanAllowed = 0;
      bool opaqueOnly = false;
      std::vector<RgbaImage> candidates;
      if (c.kind == "ref" || c.kind == "exact" || c.kind == "exact8" || c.kind == "tol" ||
          c.kind == "first-frame") {
        for (auto& ref : c.refs)
          if (refs[ref]) candidates.push_back(*refs[ref]);
        // 5- and 6-bit channels may widen differently; lossy references get a tolerance.
        maxAllowed = c.kind == "ref" || c.kind == "exact8" ? 1 : 0;
        opaqueOnly = c.kind == "ref" || c.kind == "first-frame";
        if (c.kind == "tol") maxAllowed = 32, meanAllowed = 2;
        if (path.find("cmyk") != std::string::npos)
          maxAllowed = 64, meanAllowed = 6;  // ink conversions differ
      } else if (c.kind == "rgb24raw") {
        candidates.push_back(RawRgb(c.refs[0], r.width, r.height));
      } else if (c.kind == "pnm" || c.kind == "pnm16") {
        if (auto p = testing::ReadPnm(c.refs[0])) candidates.push_back(*p);
        if (c.kind == "pnm16") maxAllowed = 1;  // the reference drops the low byte, we round
      } else if (c.kind == "pillow") {
        if (auto& im = refs[path]) {
          // The reader blends alpha over white unless the picture has one transparent colour.
          RgbaImage expected = *im;
          if (!d.bitmap.Transparent) testing::BlendOverWhite(expected);
          candidates.push_back(expected);
        }
        maxAllowed = 1;  // 16-bit samples: libpng rounds, Pillow drops the low byte
      } else if (c.kind == "djpeg" && haveDjpeg) {
        const std::string out = tmp.File("djpeg.pnm");
        if (testing::Run("djpeg -outfile " + testing::ShellQuote(out) + " " +
                         testing::ShellQuote(path)) <= 2)
          if (auto p = testing::ReadPnm(out)) candidates.push_back(*p);
      } else {
        continue;  // structure dumps, same-pixels groups and probes are covered elsewhere or not at
                   // all
      }
      if (candidates.empty()) continue;
      ++t.checked;
      bool any = false;
      std::string detail;
      for (auto& ref : candidates) {
        auto diff = testing::CompareRgb(actual, ref, opaqueOnly);
        if (diff.maxDiff <= maxAllowed && (meanAllowed == 0 || diff.meanDiff <= meanAllowed)) {
          any = true;
          break;
        }
        detail +=
            " max " + std::to_string(diff.maxDiff) + " mean " + std::to_string(diff.meanDiff) + ";";
      }
      if (!any) {
        ADD_FAILURE() << r.path << ": pixels differ from " << c.kind << " reference:" << detail;
        good = false;
      }
    }
    good ? ++t.okPass : ++t.okFail;
  }
  std::cout << "[ corpus ] " << format << ": ok " << t.okPass << "/" << (t.okPass + t.okFail)
            << " (" << t.checked << " pixel checks), reject " << t.rejectPass << "/"
            << (t.rejectPass + t.rejectFail) << ", either/optional decoded " << t.tolerantDecoded
            << ", refused " << t.tolerantRefused << "\n";
}

INSTANTIATE_TEST_SUITE_P(Corpus, ReaderConformance,
                         ::testing::Values("bmp", "jpg", "png", "gif", "tiff"),
                         [](const auto& p) { return std::string(p.param); });

}  // namespace
}  // namespace quendra

// Pictures carrying colour profiles, written by Pillow, loaded as the viewer loads them and
// compared with what Pillow's own littlecms binding makes of them in sRGB.
#include "imaging/colour_management.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/loader.h"
#include "formats/format_table.h"
#include "formats/tbitmap.h"
#include "support/image_tools.h"

namespace quendra {
namespace {

using testing::RgbaImage;

constexpr const char* kProfiles = "/usr/share/color/icc/colord/";

// Every picture is a card with pure red, green and blue patches in its top-left corner, saved
// with the profile embedded and not converted; beside it `<file>.expected.png` holds Pillow's
// perceptual conversion of the pixels Pillow decodes from that file to sRGB (`.on-swapped.png`:
// to the red-and-green-swapped profile instead).
constexpr const char* kMake = R"(
import io, os, random, struct, zlib
from PIL import ImageCms
d = out
prof = sys.argv[2]
srgb = ImageCms.createProfile('sRGB')
im = card(48, 32)
for i, c in enumerate([(255, 0, 0), (0, 255, 0), (0, 0, 255)]):
    im.paste(c, (4 * i, 0, 4 * i + 4, 4))
def expect(path, icc, to=None, tag='expected'):
    src = ImageCms.ImageCmsProfile(io.BytesIO(icc))
    dst = ImageCms.ImageCmsProfile(io.BytesIO(to)) if to else srgb
    got = Image.open(path).convert('RGB')
    ImageCms.profileToProfile(got, src, dst, renderingIntent=0).save(path + '.' + tag + '.png')
for name in ['SwappedRedAndGreen', 'AdobeRGB1998', 'ProPhotoRGB']:
    icc = open(prof + name + '.icc', 'rb').read()
    for ext in ['png', 'jpg', 'tif']:
        path = '%s/%s.%s' % (d, name, ext)
        im.save(path, icc_profile=icc, quality=95)
        expect(path, icc)
swapped = open(prof + 'SwappedRedAndGreen.icc', 'rb').read()
# A profile that is a table, not curves and a matrix, so littlecms itself converts: ICC v2,
# one 2x2x2 lut8 from RGB to Lab whose corners hold sRGB's with red and green swapped.
corners = Image.new('RGB', (8, 1))
corners.putdata([(g * 255, r * 255, b * 255) for r in (0, 1) for g in (0, 1) for b in (0, 1)])
corner_lab = ImageCms.profileToProfile(corners, srgb, ImageCms.createProfile('LAB'), outputMode='LAB')
def s15(*v):
    return b''.join(struct.pack('>i', round(x * 65536)) for x in v)
ramp = bytes(range(256)) * 3
lut = (b'mft1\0\0\0\0' + bytes([3, 3, 2, 0]) + s15(1, 0, 0, 0, 1, 0, 0, 0, 1) + ramp +
       bytes(v for p in corner_lab.getdata() for v in p) + ramp)
# An ICC v2 display profile of the given colour space and connection space, holding `tags`.
def icc_profile(spaces, tags):
    offset, table, body = 128 + 4 + 12 * len(tags), b'', b''
    for sig, data in tags:
        data += b'\0' * (-len(data) % 4)
        table += sig + struct.pack('>II', offset + len(body), len(data))
        body += data
    size = 128 + 4 + len(table) + len(body)
    header = (struct.pack('>I', size) + b'lcms' + struct.pack('>I', 0x02100000) + b'mntr' +
              spaces + b'\0' * 12 + b'acsp' + b'\0' * 28 + s15(0.9642, 1.0, 0.8249) + b'\0' * 48)
    return header + struct.pack('>I', len(tags)) + table + body
white = (b'wtpt', b'XYZ \0\0\0\0' + s15(0.9642, 1.0, 0.8249))
table_icc = icc_profile(b'RGB Lab ', [(b'A2B0', lut), white])
open(d + '/lut.icc', 'wb').write(table_icc)
im.save(d + '/lut.tif', icc_profile=table_icc)
expect(d + '/lut.tif', table_icc)
# A grey profile for linear grey levels (a one-entry curve of gamma 1.0): it applies to grey
# pictures, and a colour picture carrying it is shown as stored.
grey_icc = icc_profile(b'GRAYXYZ ', [(b'kTRC', b'curv\0\0\0\0' + struct.pack('>IH', 1, 0x100)), white])
grey_im = im.convert('L')
grey_src = ImageCms.ImageCmsProfile(io.BytesIO(grey_icc))
for ext in ['jpg', 'png', 'tif']:
    path = '%s/grey.%s' % (d, ext)
    grey_im.save(path, icc_profile=grey_icc, quality=95)
    ImageCms.profileToProfile(Image.open(path), grey_src, srgb, renderingIntent=0,
                              outputMode='RGB').save(path + '.expected.png')
im.save(d + '/colour-with-grey.jpg', icc_profile=grey_icc, quality=95)
Image.open(d + '/colour-with-grey.jpg').convert('RGB').save(d + '/colour-with-grey.jpg.expected.png')
im.convert('P').save(d + '/palette.png', icc_profile=swapped)
expect(d + '/palette.png', swapped)
im.save(d + '/plain.png')
expect(d + '/plain.png', ImageCms.ImageCmsProfile(srgb).tobytes(), swapped, 'on-swapped')
adobe = open(prof + 'AdobeRGB1998.icc', 'rb').read()
expect(d + '/AdobeRGB1998.png', adobe, swapped, 'on-swapped')
# Profiles that cannot be honoured: random bytes, a profile cut short, one that is not RGB.
lab = ImageCms.ImageCmsProfile(ImageCms.createProfile('LAB')).tobytes()
im.save(d + '/plain.jpg', quality=95)
# Photos large enough to be resampled and converted while they decode, fitted at full size.
wide = card(640, 480)
wide.save(d + '/wide-adobe.jpg', quality=95, icc_profile=adobe)
expect(d + '/wide-adobe.jpg', adobe)
expect(d + '/wide-adobe.jpg', adobe, swapped, 'on-swapped')
wide.save(d + '/wide-lut.jpg', quality=95, icc_profile=table_icc)  # slow to make: caught up
expect(d + '/wide-lut.jpg', table_icc)
wide.save(d + '/wide-plain.jpg', quality=95)
expect(d + '/wide-plain.jpg', ImageCms.ImageCmsProfile(srgb).tobytes(), swapped, 'on-swapped')
for name, icc in [('random', random.Random(7).randbytes(700)), ('cut', adobe[:200]), ('lab', lab)]:
    im.save('%s/%s.jpg' % (d, name), quality=95, icc_profile=icc)
# Linear light (gAMA 1.0) with red and green primaries swapped (cHRM), D65 white, by hand.
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
xy = [0.3127, 0.3290, 0.30, 0.60, 0.64, 0.33, 0.15, 0.06]
rows = b''.join(b'\0' + bytes(v for x in range(64) for v in (x * 4, 255 - x * 4, x * 2))
                for y in range(2))
open(d + '/linear.png', 'wb').write(b'\x89PNG\r\n\x1a\n' +
    chunk(b'IHDR', struct.pack('>IIBBBBB', 64, 2, 8, 2, 0, 0, 0)) +
    chunk(b'gAMA', struct.pack('>I', 100000)) +
    chunk(b'cHRM', struct.pack('>8I', *[round(v * 100000) for v in xy])) +
    chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
def encode(v):
    v /= 255
    return round(255 * (12.92 * v if v <= 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055))
lin = Image.new('RGB', (64, 2))
lin.putdata([(encode(255 - x * 4), encode(x * 4), encode(x * 2)) for y in range(2) for x in range(64)])
lin.save(d + '/linear.png.expected.png')
)";

class ColourManagement : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testing::HavePillow()) return;
    dir_ = new testing::TempDir;
    made_ = testing::RunPython("import sys\n" + std::string(R"(
from PIL import Image, ImageDraw
out = sys.argv[1]
def card(w, h):
    im = Image.new('RGB', (w, h))
    im.putdata([((x * 255) // (w - 1), (y * 255) // (h - 1), ((x + y) * 7) % 256)
                for y in range(h) for x in range(w)])
    ImageDraw.Draw(im).rectangle([w // 4, h // 4, w // 2, h // 2], fill=(255, 255, 255))
    return im
)") + kMake,
                               {dir_->Path(), kProfiles}) == 0;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!testing::HavePillow()) GTEST_SKIP() << "needs Pillow";
    ASSERT_TRUE(made_) << "the pictures could not be made (colord-data installed?)";
    FileFormats();
  }
  void TearDown() override { SetOutputProfile({}); }

  // The file as the viewer shows it: unfitted, or fitted into a window of its own size, which
  // for a JPEG takes the streamed decode into 32-bit pixels.
  static RgbaImage Load(const std::string& name, bool fitted = false, int width = 48,
                        int height = 32) {
    TZoomer z;
    z.SetCenter(true);
    z.SetStretch(fitted);
    z.SetProportional(fitted);
    z.SetClientSize(width, height);
    LoadIntoZoomer(z, dir_->File(name));
    return testing::ToRgba(dynamic_cast<TBitmap&>(*z.Picture().Graphic()).Image(), true);
  }
  static RgbaImage Expected(const std::string& name, const std::string& tag = "expected") {
    return testing::DecodeWithPillow(dir_->File(name + "." + tag + ".png")).value();
  }

  static inline testing::TempDir* dir_ = nullptr;
  static inline bool made_ = false;
};

TEST_F(ColourManagement, EmbeddedProfilesConvertToSrgbAsLittlecmsDoes) {
  for (const char* profile : {"SwappedRedAndGreen", "AdobeRGB1998", "ProPhotoRGB", "lut"})
    for (const char* ext : {"png", "jpg", "tif"}) {
      if (std::string(profile) == "lut" && std::string(ext) != "tif") continue;
      const std::string name = std::string(profile) + "." + ext;
      const bool fitted = std::string(ext) == "jpg";
      const RgbaImage shown = Load(name, fitted), expected = Expected(name);
      EXPECT_LE(testing::CompareRgb(shown, expected).maxDiff, 2) << name;
      if (std::string(profile) == "SwappedRedAndGreen" || std::string(profile) == "lut") {
        const uint8_t* red = shown.At(1, 1);  // stored as pure red, meant as pure green
        EXPECT_TRUE(red[0] < 16 && red[1] > 240 && red[2] < 16) << name;
      }
    }
}

// A grey profile converts grey pictures, and only those.
TEST_F(ColourManagement, GreyProfilesConvertGreyPictures) {
  for (const char* name : {"grey.jpg", "grey.png", "grey.tif", "colour-with-grey.jpg"})
    EXPECT_LE(testing::CompareRgb(Load(name), Expected(name)).maxDiff, 2) << name;
  // Linear levels: a mid grey shows much lighter in sRGB.
  const RgbaImage shown = Load("grey.png");
  const RgbaImage stored = testing::DecodeWithPillow(dir_->File("grey.png")).value();
  EXPECT_GT(shown.At(24, 20)[1], stored.At(24, 20)[1] + 20);
}

// Palette pictures convert through their palette.
TEST_F(ColourManagement, PaletteColoursConvert) {
  EXPECT_LE(testing::CompareRgb(Load("palette.png"), Expected("palette.png")).maxDiff, 2);
}

// The fourth byte of 32-bit pixels, alpha for some readers, passes through every value, on the
// fast path for curves and a matrix and through littlecms for a table.
TEST_F(ColourManagement, TheFourthByteIsKept) {
  for (const std::string& profile :
       {std::string(kProfiles) + "SwappedRedAndGreen.icc", dir_->File("lut.icc")}) {
    Bitmap b(1024, 300, PixelFormat::pf32bit);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        uint8_t* p = b.Row(y) + 4 * x;
        p[0] = 0, p[1] = 0, p[2] = 255, p[3] = uint8_t(x + y);
      }
    ColourSpace swapped;
    swapped.icc = testing::ReadFileBytes(profile);
    ConvertToOutputColours(b, swapped);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const uint8_t* p = b.Row(y) + 4 * x;
        ASSERT_TRUE(p[0] < 16 && p[1] > 240 && p[2] < 16 && p[3] == uint8_t(x + y))
            << profile << " at " << x << ", " << y;
      }
  }
}

// Not taken as sRGB either: under a display profile they still show as stored.
TEST_F(ColourManagement, ProfilesThatCannotBeHonouredLeaveThePictureAlone) {
  const RgbaImage plain = Load("plain.jpg");
  for (bool display : {false, true}) {
    if (display)
      SetOutputProfile(testing::ReadFileBytes(std::string(kProfiles) + "AdobeRGB1998.icc"));
    for (const char* name : {"random.jpg", "cut.jpg", "lab.jpg"})
      for (int again = 0; again < 2; ++again)  // the second time from the cache
        EXPECT_EQ(Load(name).rgba, plain.rgba) << name << (display ? " on a display" : "");
  }
}

TEST_F(ColourManagement, GammaAndPrimariesWithoutAProfile) {
  EXPECT_LE(testing::CompareRgb(Load("linear.png"), Expected("linear.png")).maxDiff, 2);
}

// A display profile: untagged pictures count as sRGB and are converted to it, tagged ones go
// to it and not to sRGB (whose transform is cached), a picture in that very profile is shown
// as stored, and a profile that cannot be used means sRGB.
TEST_F(ColourManagement, TheOutputProfileIsTheDisplays) {
  const RgbaImage plain = Load("plain.png"), adobeOnSrgb = Load("AdobeRGB1998.png");
  SetOutputProfile(testing::ReadFileBytes(std::string(kProfiles) + "SwappedRedAndGreen.icc"));
  EXPECT_LE(testing::CompareRgb(Load("plain.png"), Expected("plain.png", "on-swapped")).maxDiff, 2);
  EXPECT_LE(
      testing::CompareRgb(Load("AdobeRGB1998.png"), Expected("AdobeRGB1998.png", "on-swapped"))
          .maxDiff,
      2);
  EXPECT_EQ(Load("SwappedRedAndGreen.png").rgba, plain.rgba);
  SetOutputProfile({'n', 'o', 'n', 'e'});
  EXPECT_EQ(Load("plain.png").rgba, plain.rgba);
  EXPECT_EQ(Load("AdobeRGB1998.png").rgba, adobeOnSrgb.rgba);
}

// A fitted photo takes its colours row by row as it decodes, whether its transform is new,
// cached, or the display's for an untagged picture: every row exactly once.
TEST_F(ColourManagement, FittedPhotosConvertAsTheyDecode) {
  const auto shown = [](const std::string& name) { return Load(name, true, 640, 480); };
  for (int pass = 0; pass < 2; ++pass)
    for (const char* name : {"wide-adobe.jpg", "wide-lut.jpg"})
      EXPECT_LE(testing::CompareRgb(shown(name), Expected(name)).maxDiff, 2) << name;
  SetOutputProfile(testing::ReadFileBytes(std::string(kProfiles) + "SwappedRedAndGreen.icc"));
  for (const char* name : {"wide-adobe.jpg", "wide-plain.jpg"})
    EXPECT_LE(testing::CompareRgb(shown(name), Expected(name, "on-swapped")).maxDiff, 2) << name;
}

}  // namespace
}  // namespace quendra

// The format table's rules and the container's loading by extension.
#include "formats/format_table.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/errors.h"
#include "formats/gif_image.h"
#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/metafile.h"
#include "formats/pcx_graphic.h"
#include "formats/picture.h"
#include "formats/png_object.h"
#include "formats/targa_graphic.h"
#include "formats/tbitmap.h"
#include "formats/tiff_graphic.h"
#include "support/pictures.h"
#include "support/temp_dir.h"

namespace quendra {
namespace {

TEST(FormatTable, ANewTableHoldsItsOwnFourEntries) {
  TFileFormatsList t;
  ASSERT_EQ(t.Entries().size(), 4u);
  EXPECT_EQ(t.Entries()[0].extension, "wmf");
  EXPECT_EQ(t.Entries()[1].description, "Enhanced Metafiles");
  EXPECT_EQ(t.Entries()[2].extension, "ico");
  EXPECT_EQ(t.Entries()[3].graphicClass, &TBitmap::kClass);
}

TEST(FormatTable, TheNewestRegistrationWinsAndExtensionsAreLowerCased) {
  TFileFormatsList t;
  t.Add("PNG", "one", &kTPNGGraphicClass);
  t.Add("png", "two", &TPNGObject::kClass);
  EXPECT_EQ(t.Entries().back().extension, "png");
  EXPECT_EQ(t.FindExt("PnG"), &TPNGObject::kClass);
  EXPECT_EQ(t.FindExt("webp"), nullptr);
}

TEST(FormatTable, UnregisteringAClassTakesItsDescendants) {
  TFileFormatsList t;
  t.Add("tga", "", &TTargaGraphic::kClass);
  t.Add("pcx", "", &TPCXGraphic::kClass);
  t.Add("jp2", "", &TJpeg2000Bitmap::kClass);
  t.Add("gif", "", &TGIFImage::kClass);
  t.Remove(&TBitmap::kClass);  // Targa, PCX and JPEG 2000 are bitmaps too
  EXPECT_EQ(t.FindExt("tga"), nullptr);
  EXPECT_EQ(t.FindExt("jp2"), nullptr);
  EXPECT_EQ(t.FindExt("bmp"), nullptr);
  EXPECT_EQ(t.FindExt("gif"), &TGIFImage::kClass);
  EXPECT_EQ(t.FindExt("emf"), &TMetafile::kClass);
}

TEST(FormatTable, StartUpOrderDecidesTheReaderOfEveryListedExtension) {
  TFileFormatsList& t = FileFormats();
  EXPECT_EQ(t.FindExt("bmp"), &TBitmap::kClass);
  EXPECT_EQ(t.FindExt("jpg"), &TJPEGImage::kClass);
  EXPECT_EQ(t.FindExt("png"), &TPNGObject::kClass);  // not the general module's reader
  EXPECT_EQ(t.FindExt("gif"), &TGIFImage::kClass);
  EXPECT_EQ(t.FindExt("tga"), &TTargaGraphic::kClass);
  EXPECT_EQ(t.FindExt("jp2"), &TJpeg2000Bitmap::kClass);
  EXPECT_EQ(t.FindExt("emf"), &TMetafile::kClass);
  EXPECT_EQ(t.FindExt("pcx"), &TPCXGraphic::kClass);
  EXPECT_EQ(t.FindExt("tif"), &TTIFFGraphic::kClass);
  // The general module emptied the table first: its own "wmf" entry is the only one left.
  int wmf = 0;
  for (const auto& e : t.Entries()) wmf += e.extension == "wmf";
  EXPECT_EQ(wmf, 1);
  EXPECT_EQ(t.Entries().front().extension, "bmp");
}

TEST(Picture, LoadsByNameNeverByContent) {
  testing::TempDir dir;
  std::string bmp = testing::WriteBmp(dir, "real.bmp", 5, 4);
  std::string renamed = dir / "looks-like.JPG";
  std::ifstream in(bmp, std::ios::binary);
  std::ofstream(renamed, std::ios::binary) << in.rdbuf();
  TTntPicture pic;
  int changes = 0;
  pic.OnChange = [&] { ++changes; };
  pic.LoadFromFile(bmp);
  ASSERT_NE(dynamic_cast<TBitmap*>(pic.Graphic()), nullptr);
  EXPECT_EQ(changes, 1);
  // A BMP named .JPG goes to the JPEG reader, fails there, and the old picture stays.
  EXPECT_THROW(pic.LoadFromFile(renamed), EInvalidGraphic);
  EXPECT_NE(dynamic_cast<TBitmap*>(pic.Graphic()), nullptr);
  EXPECT_EQ(changes, 1);
  try {
    pic.LoadFromFile(dir / "notes.txt");
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Unknown picture file extension (.txt)");
  }
}

TEST(Picture, AMetafileLoadsButCannotBecomeABitmap) {
  testing::TempDir dir;
  std::string emf(88, '\0');
  emf[0] = 1;                  // header record
  emf[16] = 99, emf[20] = 49;  // bounds 0,0 .. 99,49
  emf.replace(40, 4, " EMF");
  std::string path = dir.Write("drawing.emf", emf);
  TTntPicture pic;
  pic.LoadFromFile(path);
  EXPECT_EQ(pic.Width(), 100);
  EXPECT_EQ(pic.Height(), 50);
  Bitmap b;
  try {
    pic.Graphic()->AssignTo(b);
    FAIL();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TMetafile to a TBitmap");
  }
}

}  // namespace
}  // namespace quendra

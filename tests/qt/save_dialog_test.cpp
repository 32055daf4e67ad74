// The save dialog and the capture on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>

#include "formats/format_table.h"
#include "formats/tbitmap.h"
#include "platform/qt/main_window.h"
#include "platform/qt/picture_preview.h"
#include "platform/qt/save_picture_dialog.h"
#include "support/pictures.h"
#include "support/qt_app.h"

namespace quendra::qt {
namespace {

using testing::QtApp;

const std::string kSamples = std::string(QUENDRA_SOURCE_DIR) + "/samples";

TEST(SaveDialog, QtsOwnDialogWithTheFiltersAsWrittenTheNameFilledInAndAPreview) {
  QtApp();
  TSavePictureDialog settings;
  settings.Filter = kSaveFilters;
  settings.FilterIndex = 3;
  settings.InitialDir = kSamples;
  settings.FileName = kSamples + "/round[1].png";
  SavePictureDialog dialog(nullptr, settings, kSamples + "/round.png");
  dialog.show();
  // The new name names no file yet: the picture being saved is previewed at once.
  PicturePreview* preview = dialog.Preview();
  ASSERT_NE(preview, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->Shown().isNull(); }, 10000));
  // The detail columns fit their text.
  auto* tree = dialog.findChild<QTreeView*>("treeView");
  ASSERT_NE(tree, nullptr);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return tree->model()->rowCount(tree->rootIndex()) > 0; }, 5000));
  QApplication::processEvents();
  const QFontMetrics metrics = tree->fontMetrics();
  for (int column = 1; column < tree->header()->count(); ++column)
    for (int row = 0; row < tree->model()->rowCount(tree->rootIndex()); ++row) {
      const QString text = tree->model()->index(row, column, tree->rootIndex()).data().toString();
      EXPECT_GT(tree->header()->sectionSize(column), metrics.horizontalAdvance(text))
          << text.toStdString();
    }

  EXPECT_EQ(dialog.windowTitle(), "Save");
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(dialog.defaultSuffix(), "jpg");
  auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  ASSERT_EQ(types->count(), 8);
  EXPECT_EQ(types->itemText(0), "Graphic Files(*.jpg;*.png;*.bmp;*.jp2;*.tga;*.gif;*.emf}");
  EXPECT_EQ(types->itemText(7), "Enhanced Metafile (*.emf)");
  EXPECT_EQ(types->currentIndex(), 2);
  auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->text(), "round[1].png");

  // Typing a name without extension: the chosen file gets ".jpg"; the filter index reads back.
  name->setText("typed");
  types->setCurrentIndex(5);
  EXPECT_EQ(dialog.ChosenFilterIndex(), 6);

  // Selecting a picture previews it fitted, loaded off the user-interface thread.
  EXPECT_TRUE(preview->isVisible());
  const uint64_t answered = preview->Answered();
  preview->ShowFile(kSamples + "/dawn.jp2");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return preview->Answered() > answered && !preview->Shown().isNull(); }, 10000));
  const QSize shown = preview->Shown().size(), room = preview->size();
  EXPECT_TRUE(shown.width() == room.width() || shown.height() == room.height())
      << shown.width() << "x" << shown.height() << " in " << room.width() << "x" << room.height();
  EXPECT_LE(shown.width(), room.width());
  EXPECT_LE(shown.height(), room.height());
  // A folder or a file that is not a picture clears it.
  preview->ShowFile(kSamples);
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->Shown().isNull(); }, 10000));
}

// Qt shows such a name lossily (U+FFFD for the stray bytes); the name comes back with its bytes.
TEST(SaveDialog, ANameThatIsNotUtf8KeepsItsBytes) {
  QtApp();
  testing::TempDir dir;
  const std::string folder = dir / "f\xe9";
  std::filesystem::create_directory(folder);
  TSavePictureDialog settings;
  settings.Filter = kSaveFilters;
  settings.InitialDir = folder;
  settings.FileName = folder + "/bad\xff\xfename[1].gif";
  {
    SavePictureDialog dialog(nullptr, settings);
    dialog.show();
    EXPECT_EQ(dialog.ChosenFile(), settings.FileName);  // kept as proposed
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(name->text().replace(".gif", ".png"));  // a changed extension
    EXPECT_EQ(dialog.ChosenFile(), folder + "/bad\xff\xfename[1].png");
    name->setText("typed.png");  // a new name in the proposed folder
    EXPECT_EQ(dialog.ChosenFile(), folder + "/typed.png");
  }
}

TEST(Capture, ThePictureAreaAsTheWindowRendersItCentredOnWhite) {
  QtApp();
  // Fitted exactly (276 x 345), so every held pixel is drawn once.
  testing::TempDir dir;
  MainWindow w;
  w.Start({testing::WriteBmp(dir, "tall.bmp", 120, 150)}, "/nowhere/quendra");
  w.show();
  QApplication::processEvents();
  const Bitmap area = w.Form().CapturePictureArea();
  ASSERT_EQ(area.Width(), 557);
  ASSERT_EQ(area.Height(), 345);
  const TRect r = w.Form().IMG.DestRect();
  const Bitmap& held = w.Form().IMG.Picture().AsBitmap().Image();
  ASSERT_EQ(r.Width(), held.Width());
  ASSERT_EQ(r.Height(), held.Height());
  EXPECT_EQ(area.PixelColor(0, 0), (RGBQuad{255, 255, 255, 0}));
  EXPECT_EQ(area.PixelColor(556, 344), (RGBQuad{255, 255, 255, 0}));
  int wrong = 0;
  for (int y = 0; y < held.Height(); ++y)
    for (int x = 0; x < held.Width(); ++x)
      wrong += !(area.PixelColor(r.Left + x, r.Top + y) == held.PixelColor(x, y));
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(area.Row(100)[4 * 100 + 3], 0);
}

}  // namespace
}  // namespace quendra::qt

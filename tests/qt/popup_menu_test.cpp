// The popup menu of the real window on Qt's offscreen platform: the item that switches the
// file manager's verb says what a click will do, and a click does it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "platform/qt/main_window.h"
#include "support/qt_app.h"
#include "support/temp_dir.h"

namespace quendra::qt {
namespace {

using testing::QtApp;

// Opens the window's popup menu, returns the texts of its items and, when an item has the
// text `click`, clicks it.
QStringList OpenPopup(MainWindow& w, const QString& click = {}) {
  QStringList texts;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    for (QAction* a : menu->actions()) {
      texts << a->text();
      if (!click.isEmpty() && a->text() == click) a->trigger();
    }
    menu->close();
  });
  const QPoint at(20, 20);
  QContextMenuEvent e(QContextMenuEvent::Mouse, at, w.mapToGlobal(at));
  QApplication::sendEvent(&w, &e);
  return texts;
}

TEST(PopupMenu, RegisterItemSaysWhatAClickDoesAndTheClickDoesIt) {
  QtApp();
  testing::TempDir data;
  setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
  MainWindow w;
  w.Start({}, "/opt/quendra/quendra");
  w.show();
  const std::string dolphin = data / "kio/servicemenus/quendra-nailer-files.desktop";

  // Register1 is the first item shown.
  EXPECT_EQ(OpenPopup(w, "Add to context menu").value(0).toStdString(), "Add to context menu");
  EXPECT_TRUE(std::filesystem::exists(dolphin));

  EXPECT_EQ(OpenPopup(w, "Remove from context menu").value(0).toStdString(),
            "Remove from context menu");
  EXPECT_FALSE(std::filesystem::exists(dolphin));
  EXPECT_EQ(OpenPopup(w).value(0).toStdString(), "Add to context menu");
}

}  // namespace
}  // namespace quendra::qt

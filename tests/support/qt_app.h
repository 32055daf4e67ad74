#pragma once
// The one QApplication of a Qt test program, made on first use, with the format table filled
// as the viewer's main() fills it before any window exists.
#include <QApplication>

#include "formats/format_table.h"

namespace quendra::testing {

inline QApplication& QtApp() {
  static int argc = 1;
  static char name[] = "quendra_qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = QApplication::instance()
                                 ? static_cast<QApplication*>(QApplication::instance())
                                 : new QApplication(argc, argv);
  FileFormats();
  return *app;
}

}  // namespace quendra::testing

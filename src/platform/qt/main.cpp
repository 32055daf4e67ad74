// The viewer's program body: the application object titled "Quendra", the main window, the
// message loop.
#include <unistd.h>

#include <QApplication>
#include <climits>
#include <clocale>

#include "formats/format_table.h"
#include "imaging/colour_management.h"
#include "platform/linux/session_bus.h"
#include "platform/linux/x11_display_profile.h"
#include "platform/qt/main_window.h"
#include "platform/qt/platform_choice.h"

int main(int argc, char** argv) {
  quendra::desktop::NoteMissingSessionBus();  // before Qt's accessibility bridge asks for one
  quendra::FileFormats();                     // every format registers before any window exists
  quendra::qt::PreferX11OnWaylandSession();
  QApplication app(argc, argv);
  std::setlocale(LC_ALL, "");  // list order and case folding follow the user's locale
  QApplication::setApplicationName(quendra::kApplicationTitle);
  // Pictures are shown in the display's colours when the X server publishes its profile; on
  // native Wayland, and without one, in sRGB.
  if (auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>())
    if (Display* d = x11->display())
      quendra::SetOutputProfile(quendra::desktop::X11DisplayProfile(d));

  char exe[PATH_MAX] = {};
  ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string exePath = n > 0 ? std::string(exe, size_t(n)) : std::string(argv[0]);
  // Raw argument bytes: names that are not valid UTF-8 must still open.
  std::vector<std::string> args(argv + 1, argv + argc);

  quendra::qt::MainWindow window;
  window.Start(args, exePath);
  window.show();
  const int status = QApplication::exec();
  window.FinishSaves();
  return status;
}

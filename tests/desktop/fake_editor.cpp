// Plays a desktop application for the desktop tests. It reports to the FIFO or file named by
// QUENDRA_FAKE_EDITOR_LOG, one line each, prefixed by its process id:
//   "<pid> started"             first
//   "<pid> argv <arg>"          for each argument it was started with
//   "<pid> ready <window>"      once its window is mapped (when a display is there)
//   "<pid> press <keysym>" / "<pid> release <keysym>"   for each key event it receives
// Options: --no-input (its window refuses input), --unmapped (never maps its window),
// --no-window (reports its arguments and ends).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int g_log = -1;
void Report(const std::string& what) {
  const std::string line = std::to_string(getpid()) + " " + what + "\n";
  if (g_log >= 0) (void)!write(g_log, line.data(), line.size());
}
}  // namespace

int main(int argc, char** argv) {
  const char* log = std::getenv("QUENDRA_FAKE_EDITOR_LOG");
  if (log != nullptr) g_log = open(log, O_WRONLY | O_APPEND | O_CLOEXEC);
  Report("started");
  bool input = true, map = true, window = true;
  for (int i = 1; i < argc; ++i) {
    Report(std::string("argv ") + argv[i]);
    if (std::strcmp(argv[i], "--no-input") == 0) input = false;
    if (std::strcmp(argv[i], "--unmapped") == 0) map = false;
    if (std::strcmp(argv[i], "--no-window") == 0) window = false;
  }
  Display* d = window ? XOpenDisplay(nullptr) : nullptr;
  if (d == nullptr) return 0;
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 100, 0, 0, 0);
  const long pid = getpid();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = input ? True : False;
  XSetWMHints(d, w, &hints);
  XSelectInput(d, w, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  if (map) {
    XMapWindow(d, w);
  } else {
    XSync(d, False);
    Report("ready " + std::to_string(w));
  }
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MapNotify) Report("ready " + std::to_string(w));
    if (e.type == KeyPress || e.type == KeyRelease) {
      const KeySym sym = XLookupKeysym(&e.xkey, 0);
      const char* name = XKeysymToString(sym);
      Report(std::string(e.type == KeyPress ? "press " : "release ") + (name ? name : "?"));
    }
  }
}

// Plays a desktop application for the desktop tests. It reports to the FIFO or file named by
// QUENDRA_FAKE_EDITOR_LOG, one line each, prefixed by its process id:
//   "<pid> started"             first
//   "<pid> argv <arg>"          for each argument it was started with
//   "<pid> ready <window>"      once its window is mapped (when a display is there)
//   "<pid> press <keysym>" / "<pid> release <keysym>"   for each key event it receives
// Options: --no-input (its window refuses input), --unmapped (never maps its window),
// --iconic (asks to start minimised), --no-window (reports its arguments and ends),
// --wm (plays a minimal EWMH window manager instead; see RunWindowManager).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
int g_log = -1;
void Report(const std::string& what) {
  const std::string line = std::to_string(getpid()) + " " + what + "\n";
  if (g_log >= 0) (void)!write(g_log, line.data(), line.size());
}
void SetWindows(Display* d, Window on, const char* property, const std::vector<Window>& ws) {
  std::vector<long> items(ws.begin(), ws.end());
  XChangeProperty(d, on, XInternAtom(d, property, False), XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(items.data()),
                  static_cast<int>(items.size()));
}

void SetWmState(Display* d, Window w, long state) {
  const Atom wmState = XInternAtom(d, "WM_STATE", False);
  const long value[2] = {state, None};
  XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(value), 2);
}

// Just enough of a window manager for the EWMH paths: it keeps _NET_CLIENT_LIST and WM_STATE,
// honours a request to start minimised, maps on request, and answers _NET_ACTIVE_WINDOW
// messages by raising, focusing and publishing the window ("activate <window>").
int RunWindowManager(Display* d) {
  const Window root = DefaultRootWindow(d);
  XSelectInput(d, root, SubstructureRedirectMask | SubstructureNotifyMask);
  const Window check = XCreateSimpleWindow(d, root, 0, 0, 1, 1, 0, 0, 0);
  SetWindows(d, check, "_NET_SUPPORTING_WM_CHECK", {check});
  SetWindows(d, root, "_NET_SUPPORTING_WM_CHECK", {check});
  std::vector<Window> clients;
  SetWindows(d, root, "_NET_CLIENT_LIST", clients);
  XSync(d, False);
  Report("ready " + std::to_string(check));
  const Atom activeWindow = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MapRequest) {
      const Window w = e.xmaprequest.window;
      const bool known = std::find(clients.begin(), clients.end(), w) != clients.end();
      XWMHints* hints = XGetWMHints(d, w);
      const bool iconic = !known && hints != nullptr && (hints->flags & StateHint) != 0 &&
                          hints->initial_state == IconicState;
      if (hints != nullptr) XFree(hints);
      if (!known) {
        clients.push_back(w);
        SetWindows(d, root, "_NET_CLIENT_LIST", clients);
      }
      if (!iconic) XMapWindow(d, w);
      SetWmState(d, w, iconic ? IconicState : NormalState);
    } else if (e.type == ConfigureRequest) {
      XWindowChanges c{e.xconfigurerequest.x,
                       e.xconfigurerequest.y,
                       e.xconfigurerequest.width,
                       e.xconfigurerequest.height,
                       e.xconfigurerequest.border_width,
                       e.xconfigurerequest.above,
                       e.xconfigurerequest.detail};
      XConfigureWindow(d, e.xconfigurerequest.window,
                       static_cast<unsigned>(e.xconfigurerequest.value_mask), &c);
    } else if (e.type == DestroyNotify) {
      clients.erase(std::remove(clients.begin(), clients.end(), e.xdestroywindow.window),
                    clients.end());
      SetWindows(d, root, "_NET_CLIENT_LIST", clients);
    } else if (e.type == ClientMessage && e.xclient.message_type == activeWindow) {
      const Window w = e.xclient.window;
      XWindowAttributes a;
      if (XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable) {
        XRaiseWindow(d, w);
        XSetInputFocus(d, w, RevertToParent, CurrentTime);
        SetWindows(d, root, "_NET_ACTIVE_WINDOW", {w});
        XSync(d, False);  // the focus has moved before anyone reads the report
        Report("activate " + std::to_string(w));
      }
    }
    XFlush(d);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* log = std::getenv("QUENDRA_FAKE_EDITOR_LOG");
  if (log != nullptr) g_log = open(log, O_WRONLY | O_APPEND | O_CLOEXEC);
  Report("started");
  bool input = true, map = true, window = true, iconic = false, wm = false;
  for (int i = 1; i < argc; ++i) {
    Report(std::string("argv ") + argv[i]);
    if (std::strcmp(argv[i], "--no-input") == 0) input = false;
    if (std::strcmp(argv[i], "--unmapped") == 0) map = false;
    if (std::strcmp(argv[i], "--no-window") == 0) window = false;
    if (std::strcmp(argv[i], "--iconic") == 0) iconic = true;
    if (std::strcmp(argv[i], "--wm") == 0) wm = true;
  }
  Display* d = window ? XOpenDisplay(nullptr) : nullptr;
  if (d == nullptr) return 0;
  if (wm) return RunWindowManager(d);
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 100, 0, 0, 0);
  const long pid = getpid();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  XWMHints hints{};
  hints.flags = InputHint | StateHint;
  hints.input = input ? True : False;
  hints.initial_state = iconic ? IconicState : NormalState;
  XSetWMHints(d, w, &hints);
  XSelectInput(d, w, KeyPressMask | KeyReleaseMask | StructureNotifyMask | PropertyChangeMask);
  const Atom wmState = XInternAtom(d, "WM_STATE", False);
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
    // A window manager took it in without mapping it: it is minimised, and up all the same.
    if (e.type == PropertyNotify && e.xproperty.atom == wmState && iconic)
      Report("ready " + std::to_string(w));
    if (e.type == KeyPress || e.type == KeyRelease) {
      const KeySym sym = XLookupKeysym(&e.xkey, 0);
      const char* name = XKeysymToString(sym);
      Report(std::string(e.type == KeyPress ? "press " : "release ") + (name ? name : "?"));
    }
  }
}

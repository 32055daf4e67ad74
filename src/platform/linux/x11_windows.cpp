#include "platform/linux/x11_windows.h"

#include "platform/linux/x11_property.h"
#include "platform/linux/x11_window_state.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

#include <chrono>
#include <vector>

#include "platform/linux/proc_processes.h"

namespace quendra::desktop {

namespace {

// X errors (a window that vanished meanwhile, focus on an unviewable window) must not end the
// program, which is what Xlib's default handler does. Installed only around our own requests.
int g_errors = 0;
int CountError(Display*, XErrorEvent*) {
  ++g_errors;
  return 0;
}
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* d) : display_(d), previous_(XSetErrorHandler(CountError)) {
    g_errors = 0;
  }
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  bool Failed() {
    XSync(display_, False);
    return g_errors != 0;
  }

 private:
  Display* display_;
  XErrorHandler previous_;
};

bool HasProperty(Display* d, Window w, Atom property) {
  Atom actualType;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(d, w, property, 0, 0, False, AnyPropertyType, &actualType, &format, &count,
                     &after, &data);
  if (data != nullptr) XFree(data);
  return actualType != None;
}

std::vector<Window> Children(Display* d, Window w) {
  Window rootReturn, parent, *children = nullptr;
  unsigned int n = 0;
  std::vector<Window> out;
  if (XQueryTree(d, w, &rootReturn, &parent, &children, &n) != 0 && children != nullptr) {
    out.assign(children, children + n);
    XFree(children);
  }
  return out;
}

// Top-level client windows: the window manager's list when it keeps one, else the root's
// children in stacking order, looking one level into frames of managers without EWMH.
std::vector<Window> ClientWindows(Display* d) {
  const Window root = DefaultRootWindow(d);
  if (X11WindowManagerPresent(d)) {
    const auto list = Property(d, root, Intern(d, "_NET_CLIENT_LIST"), XA_WINDOW);
    if (!list.empty()) return {list.begin(), list.end()};
  }
  const Atom wmState = Intern(d, "WM_STATE"), netPid = Intern(d, "_NET_WM_PID");
  std::vector<Window> out;
  for (const Window top : Children(d, root)) {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, top, &a) == 0 || a.override_redirect) continue;
    if (HasProperty(d, top, wmState) || HasProperty(d, top, netPid)) {
      out.push_back(top);
      continue;
    }
    for (const Window inner : Children(d, top))
      if (HasProperty(d, inner, wmState)) out.push_back(inner);
  }
  return out;
}

// Shown, or minimised (iconic): a minimised editor is to be restored, not passed over.
bool Shown(Display* d, Window w) {
  XWindowAttributes a;
  if (XGetWindowAttributes(d, w, &a) == 0) return false;
  if (a.map_state == IsViewable) return true;
  const Atom wmState = Intern(d, "WM_STATE");
  const auto state = Property(d, w, wmState, wmState);
  return !state.empty() && state[0] == IconicState;
}

// ICCCM: a window takes input unless its hints refuse it and it does not take focus itself.
bool TakesInput(Display* d, Window w) {
  XWMHints* hints = XGetWMHints(d, w);
  if (hints == nullptr) return true;
  const bool refuses = (hints->flags & InputHint) != 0 && hints->input == False;
  XFree(hints);
  if (!refuses) return true;
  Atom* protocols = nullptr;
  int n = 0;
  bool takeFocus = false;
  if (XGetWMProtocols(d, w, &protocols, &n) != 0) {
    const Atom wanted = Intern(d, "WM_TAKE_FOCUS");
    for (int i = 0; i < n; ++i) takeFocus |= protocols[i] == wanted;
    XFree(protocols);
  }
  return takeFocus;
}

Window ActiveWindow(Display* d) {
  const auto v = Property(d, DefaultRootWindow(d), Intern(d, "_NET_ACTIVE_WINDOW"), XA_WINDOW);
  return v.empty() ? None : v[0];
}

bool FocusIsIn(Display* d, Window w) {
  Window focus;
  int revert;
  XGetInputFocus(d, &focus, &revert);
  const Window root = DefaultRootWindow(d);
  while (focus != None && focus != PointerRoot && focus != root) {
    if (focus == w) return true;
    Window rootReturn, parent, *children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(d, focus, &rootReturn, &parent, &children, &n) == 0) return false;
    if (children != nullptr) XFree(children);
    focus = parent;
  }
  return false;
}

// Waits, at most `ms`, for the window manager to report `w` active; woken by the root's
// property changes rather than by polling.
bool AwaitActive(Display* d, Window w, int ms) {
  const Window root = DefaultRootWindow(d);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (ActiveWindow(d) == w) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    XEvent event;
    if (XCheckWindowEvent(d, root, PropertyChangeMask, &event)) continue;
    pollfd fd{ConnectionNumber(d), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left.count()));
  }
}

}  // namespace

X11WindowProcesses::X11WindowProcesses(std::string display) : displayName_(std::move(display)) {}

X11WindowProcesses::~X11WindowProcesses() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

Display* X11WindowProcesses::Connection() {
  if (!tried_) {
    tried_ = true;
    display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
  }
  return display_;
}

ProcessId X11WindowProcesses::FindProcessByExecutable(const std::string& path) {
  return FindProcessByExecutableIn("/proc", path);
}

WindowHandle X11WindowProcesses::FindWindowOfProcess(ProcessId pid) {
  if (pid == 0) return kNoWindow;
  Display* d = Connection();
  if (d == nullptr) return kNoWindow;
  ErrorTrap trap(d);
  const Atom netPid = Intern(d, "_NET_WM_PID");
  for (const Window w : ClientWindows(d)) {
    const auto owner = Property(d, w, netPid, XA_CARDINAL);
    if (owner.size() == 1 && owner[0] == pid && Shown(d, w) && TakesInput(d, w)) return w;
  }
  return kNoWindow;
}

WindowHandle X11WindowProcesses::FindWindowByClass(const std::string& windowClass) {
  if (windowClass.empty()) return kNoWindow;
  Display* d = Connection();
  if (d == nullptr) return kNoWindow;
  ErrorTrap trap(d);
  for (const Window w : ClientWindows(d)) {
    XClassHint hint{};
    if (XGetClassHint(d, w, &hint) == 0) continue;
    const bool match = (hint.res_name && windowClass == hint.res_name) ||
                       (hint.res_class && windowClass == hint.res_class);
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (match && Shown(d, w) && TakesInput(d, w)) return w;
  }
  return kNoWindow;
}

void X11WindowProcesses::RequestActivation(WindowHandle handle) {
  (void)Activate(handle, false);
}

bool X11WindowProcesses::RestoreAndActivateWindow(WindowHandle handle) {
  return Activate(handle, true);
}

bool X11WindowProcesses::Activate(WindowHandle handle, bool wait) {
  Display* d = Connection();
  if (d == nullptr || handle == kNoWindow) return false;
  const auto w = static_cast<Window>(handle);
  ErrorTrap trap(d);
  if (X11WindowManagerPresent(d)) {
    // Mapping an iconic client asks for its normal state again (ICCCM); the active-window
    // message, sent as a pager would, raises and focuses it past focus-stealing prevention.
    const Window root = DefaultRootWindow(d);
    XSelectInput(d, root, PropertyChangeMask);
    XMapWindow(d, w);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = Intern(d, "_NET_ACTIVE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // source: pager
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d);
    if (!wait) {
      XSelectInput(d, root, NoEventMask);
      XFlush(d);
      return !trap.Failed();
    }
    const bool active = AwaitActive(d, w, kActivationWaitMs);
    XSelectInput(d, root, NoEventMask);
    return active && !trap.Failed();
  }
  XMapRaised(d, w);
  XSync(d, False);
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  return !trap.Failed() && FocusIsIn(d, w);
}

void X11WindowProcesses::SendPasteKeystrokes() {
  Display* d = Connection();
  if (d == nullptr) return;
  int event, error, major, minor;
  if (!XTestQueryExtension(d, &event, &error, &major, &minor)) return;
  const KeyCode ctrl = XKeysymToKeycode(d, XK_Control_L), v = XKeysymToKeycode(d, XK_v);
  if (ctrl == 0 || v == 0) return;  // a keyboard map without them: nothing sensible to type
  XTestFakeKeyEvent(d, ctrl, True, CurrentTime);
  XTestFakeKeyEvent(d, v, True, CurrentTime);
  XTestFakeKeyEvent(d, v, False, CurrentTime);
  XTestFakeKeyEvent(d, ctrl, False, CurrentTime);
  XSync(d, False);
}

}  // namespace quendra::desktop

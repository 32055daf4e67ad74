/* Key press to screen change, measured from outside the viewer: presses a key with XTest and
 * reads a small patch of the screen until it changes.
 *   key_to_screen steps  X Y N PACE_MS   N presses of Down, PACE_MS apart; prints each delay in ms
 *   key_to_screen burst  X Y N           N presses of Down at once, then the time from the last
 *                                        release to the last change of the patch (quiet 1 s)
 *   key_to_screen startup RRGGBB CMD ARGS...
 *                                        starts CMD and prints the ms until the middle of one of
 *                                        its windows shows colour RRGGBB (the picture's middle),
 *                                        and the CPU ms it had used; then ends it
 * X, Y: screen position of the patch (inside the picture). Built by bench/key_to_screen.sh. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

enum { kSide = 24 };

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void Grab(Display* d, int x, int y, unsigned long* out) {
  XImage* img = XGetImage(d, DefaultRootWindow(d), x, y, kSide, kSide, AllPlanes, ZPixmap);
  for (int j = 0; j < kSide; ++j)
    for (int i = 0; i < kSide; ++i) out[j * kSide + i] = XGetPixel(img, i, j);
  XDestroyImage(img);
}

static void Press(Display* d, KeyCode k) {
  XTestFakeKeyEvent(d, k, True, CurrentTime);
  XTestFakeKeyEvent(d, k, False, CurrentTime);
  XFlush(d);
}

enum { kPatch = 6, kTolerance = 24, kMaxWindows = 256 };

/* True when the kPatch square at the middle of w (viewable, at least 64 pixels a side) has the
 * colour within kTolerance on every channel. */
static int ShowsColour(Display* d, Window w, int r, int g, int b) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable || a.width < 64 ||
      a.height < 64)
    return 0;
  int x, y;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), a.width / 2, a.height / 2, &x, &y, &child);
  XImage* img = XGetImage(d, DefaultRootWindow(d), x - kPatch / 2, y - kPatch / 2, kPatch,
                          kPatch, AllPlanes, ZPixmap);
  if (!img) return 0;
  int ok = 1;
  for (int j = 0; j < kPatch && ok; ++j)
    for (int i = 0; i < kPatch && ok; ++i) {
      const unsigned long p = XGetPixel(img, i, j);
      ok = abs((int)(p >> 16 & 255) - r) <= kTolerance &&
           abs((int)(p >> 8 & 255) - g) <= kTolerance && abs((int)(p & 255) - b) <= kTolerance;
    }
  XDestroyImage(img);
  return ok;
}

static int XQuiet(Display* d, XErrorEvent* e) {
  (void)d, (void)e;
  return 0;  // a window may go away between two looks at it
}

/* Start-up to picture: watches the windows created on the root (and reparented there) while
 * the command starts. */
static int Startup(Display* d, const char* colour, char** cmd) {
  const unsigned long rgb = strtoul(colour, NULL, 16);
  const int r = (int)(rgb >> 16 & 255), g = (int)(rgb >> 8 & 255), b = (int)(rgb & 255);
  XSetErrorHandler(XQuiet);
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, False);
  Window windows[kMaxWindows];
  int count = 0;
  const double t0 = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(cmd[0], cmd);
    _exit(127);
  }
  double t = -1;
  while (Now() - t0 < 10000) {
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      Window w = 0;
      if (e.type == CreateNotify) w = e.xcreatewindow.window;
      if (e.type == MapNotify) w = e.xmap.window;
      if (w && count < kMaxWindows) windows[count++] = w;
    }
    for (int i = 0; i < count && t < 0; ++i)
      if (ShowsColour(d, windows[i], r, g, b)) t = Now() - t0;
    if (t >= 0) break;
    usleep(200);
  }
  kill(pid, SIGKILL);
  struct rusage u;
  wait4(pid, NULL, 0, &u);
  /* Wall time to the picture, and the CPU time the command had used by then (a busy machine
   * stretches the one far more than the other). */
  printf("%.1f %.1f\n", t,
         (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
             (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3);
  return t < 0;
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 1;
  if (strcmp(argv[1], "startup") == 0) return Startup(d, argv[2], argv + 3);
  if (argc < 5) return 2;
  const int x = atoi(argv[2]), y = atoi(argv[3]), n = atoi(argv[4]);
  const KeyCode down = XKeysymToKeycode(d, XK_Down);
  unsigned long before[kSide * kSide], now[kSide * kSide];
  if (strcmp(argv[1], "steps") == 0) {
    const int pace = argc > 5 ? atoi(argv[5]) : 400;
    for (int s = 0; s < n; ++s) {
      usleep((useconds_t)pace * 1000);
      Grab(d, x, y, before);
      const double t0 = Now();
      Press(d, down);
      double t;
      do {
        Grab(d, x, y, now);
        t = Now() - t0;
      } while (memcmp(before, now, sizeof now) == 0 && t < 3000);
      printf("%.2f\n", t);
    }
  } else {
    Grab(d, x, y, before);
    for (int s = 0; s < n; ++s) Press(d, down);
    XSync(d, False);
    const double end = Now();
    double last = end;
    while (Now() - last < 1000) {
      Grab(d, x, y, now);
      if (memcmp(before, now, sizeof now) != 0) {
        last = Now();
        memcpy(before, now, sizeof now);
      }
    }
    printf("%.2f\n", last - end);
  }
  XCloseDisplay(d);
  return 0;
}

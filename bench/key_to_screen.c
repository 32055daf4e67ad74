/* Key press to screen change, measured from outside the viewer: presses a key with XTest and
 * reads a small patch of the screen until it changes.
 *   key_to_screen steps  X Y N PACE_MS   N presses of Down, PACE_MS apart; prints each delay in ms
 *   key_to_screen burst  X Y N           N presses of Down at once, then the time from the last
 *                                        release to the last change of the patch (quiet 1 s)
 * X, Y: screen position of the patch (inside the picture). Built by bench/key_to_screen.sh. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
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

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 1;
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

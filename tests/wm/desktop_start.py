#!/usr/bin/env python3
"""The viewer started as the desktop starts it, under a private X server and openbox.

`quendra --browse FILE` (the desktop entry's command) lists the file's folder and steps on
with DOWN; the window asks for a border without maximising (its Motif hints) and the key
reminder cannot be maximised (_NET_WM_ALLOWED_ACTIONS); and at every scale factor given, the screen shows
the fitted photo as exactly the bitmap the viewer copies to the clipboard, and a 300 x 200
picture at 100 % on exactly 300 x 200 screen pixels.

usage: desktop_start.py VIEWER [--scale 1 --scale 1.5 --scale 2]
"""
import argparse
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mode_changes import Failure, run, start_xvfb, stop, wait_for  # noqa: E402

from PIL import Image, ImageChops  # noqa: E402

MAXIMIZE = ("_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT")


def make_pictures(folder):
    """A photo-like picture larger than the window, a small one and one more after it. No
    pixel is white, so whatever is not white in the picture area is the picture."""
    w, h = 1300, 1300  # square: the fitted size has no rounding to lose a pixel to
    photo = Image.merge("RGB", (
        Image.effect_mandelbrot((w, h), (-2.2, -1.2, 1.0, 1.2), 60),
        Image.linear_gradient("L").resize((w, h)),
        Image.radial_gradient("L").resize((w, h)))).point(lambda v: 20 + v * 220 // 255)
    photo.save(os.path.join(folder, "a_photo.bmp"))
    small = Image.new("RGB", (300, 200))
    small.putdata([((x * 5) % 240, (y * 3) % 240, 60 + (x ^ y) % 180)
                   for y in range(200) for x in range(300)])
    small.save(os.path.join(folder, "b_small.bmp"))
    Image.new("RGB", (100, 200), (200, 30, 30)).save(os.path.join(folder, "c_tall.bmp"))
    return small


def caption(env, win):
    out = run(env, "xprop", "-id", win, "_NET_WM_NAME")
    m = re.search(r'= "(.*)"', out)
    return m.group(1) if m else ""


def allowed_actions(env, win):
    return set(re.findall(r"_NET_WM_ACTION_\w+", run(env, "xprop", "-id", win,
                                                      "_NET_WM_ALLOWED_ACTIONS")))


def check_no_maximise(env, win, problems):
    """The window asks for a border without maximising: its Motif hints (flags, functions,
    decorations) hold neither the maximise function (0x10) nor the maximise box (0x40).
    openbox 3.6 ignores that request by design (it lets no Motif hint remove a button) and
    still allows maximising a resizable window; that is reported, not failed."""
    out = run(env, "xprop", "-id", win, "_MOTIF_WM_HINTS")
    hints = [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", out)]
    if len(hints) < 3 or not hints[0] & 1 or hints[1] & 0x10 or hints[2] & 0x40:
        problems.append("the window asks for maximising: %s" % out.strip())
    if any(a in allowed_actions(env, win) for a in MAXIMIZE):
        print("note: the window manager allows maximising all the same")


def screenshot(env, win):
    png = subprocess.run(["import", "-window", win, "png:-"], env=env, capture_output=True,
                         timeout=10).stdout
    return Image.open(io.BytesIO(png)).convert("RGB")


def press(env, win, key):
    def focused():
        if run(env, "xdotool", "getwindowfocus").strip() == win:
            return True
        run(env, "xdotool", "windowactivate", win)
        return False
    wait_for("the viewer's focus", focused)
    run(env, "xdotool", "key", "--clearmodifiers", key)


def picture_box(shot, scale):
    """The box of the picture in the window's screenshot: the non-white pixels of the
    picture area (right of the splitter, above the status line)."""
    def device(logical):  # an edge in device pixels, rounded as Qt rounds it
        return int(logical * scale + 0.5)
    width, height = round(shot.width / scale), round(shot.height / scale)
    left, top = device(8), device(5)  # border, list panel and splitter
    right, bottom = device(width - 5), device(height - 37)  # border, status line
    area = shot.crop((left, top, right, bottom))
    box = ImageChops.difference(area, Image.new("RGB", area.size, "white")).getbbox()
    if not box:
        return None
    return (box[0] + left, box[1] + top, box[2] + left, box[3] + top)


def same(a, b):
    return a.size == b.size and ImageChops.difference(a, b).getbbox() is None


def check_scale(env, viewer, folder, small, scale, first, problems):
    env = dict(env, QT_SCALE_FACTOR=str(scale))
    proc = subprocess.Popen([viewer, "--browse", os.path.join(folder, "a_photo.bmp")], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        win = wait_for("the viewer's window", lambda: run(
            env, "xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)).split(), 30)[0]
        fitted = wait_for("the fitted caption", lambda: re.fullmatch(
            r"Image Size - (\d+) x (\d+) ", caption(env, win)))
        size = (int(fitted.group(1)), int(fitted.group(2)))
        shot = screenshot(env, win)
        if os.environ.get("QUENDRA_SHOTS"):
            shot.save(os.path.join(os.environ["QUENDRA_SHOTS"], "fitted-%g.png" % scale))
        photo_box = picture_box(shot, scale)
        if not photo_box or (photo_box[2] - photo_box[0], photo_box[3] - photo_box[1]) != size:
            problems.append("the fitted photo covers %s, the caption says %s" % (photo_box, size))

        if first:
            actions = allowed_actions(env, win)
            if "_NET_WM_ACTION_MINIMIZE" not in actions or "_NET_WM_ACTION_CLOSE" not in actions:
                problems.append("allowed actions lack minimise or close: %s" % sorted(actions))
            check_no_maximise(env, win, problems)
            # The key reminder, from the popup menu's second item: a message box that cannot
            # be maximised either (it keeps its size).
            run(env, "xdotool", "mousemove", "--window", win, "100", "100", "click", "3")
            time.sleep(0.3)  # the menu maps after the click
            run(env, "xdotool", "key", "Down", "Down", "Return")
            box = wait_for("the key reminder", lambda: [
                w for w in run(env, "xdotool", "search", "--onlyvisible", "--pid",
                               str(proc.pid)).split() if caption(env, w) == "Quendra"])[0]
            if any(a in allowed_actions(env, box) for a in MAXIMIZE):
                problems.append("the key reminder can be maximised")
            run(env, "xdotool", "key", "Return")
            wait_for("the key reminder to close", lambda: box not in run(
                env, "xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)).split())

        # The desktop's start lists the folder: DOWN steps to the next picture.
        press(env, win, "Down")
        wait_for("the next picture", lambda: caption(env, win) != fitted.group(0))
        press(env, win, "ctrl+f")
        full = wait_for("100 %", lambda: re.fullmatch(
            r"Window size - (\d+) x (\d+) \((\d+) x (\d+)\)  (\d+)%", caption(env, win)))
        if full.group(3, 4, 5) != ("300", "200", "100"):
            problems.append("after DOWN and CTRL+F the caption is %r" % full.group(0))
        else:
            time.sleep(0.2)  # the caption is set before the repaint reaches the server
            shot = screenshot(env, win)
            box = picture_box(shot, scale)
            if not box or not same(shot.crop(box), small):
                problems.append("at 100 %% the picture covers %s, not 300 x 200 of its pixels"
                                % (box,))

        press(env, win, "ctrl+Down")  # back to the fitted mode
        wait_for("the fitted mode", lambda: caption(env, win).startswith("Image Size"))
        if first:
            # Through the maximised modes and back: never a maximise action in a normal mode.
            press(env, win, "ctrl+Up")
            wait_for("maximised", lambda: "MAXIMIZED_VERT" in run(
                env, "xprop", "-id", win, "_NET_WM_STATE"))
            press(env, win, "ctrl+Down")
            wait_for("restored", lambda: "MAXIMIZED_VERT" not in run(
                env, "xprop", "-id", win, "_NET_WM_STATE"))
            check_no_maximise(env, win, problems)

        # The fitted photo once more: its screenshot is the copied bitmap, pixel for pixel.
        press(env, win, "Up")
        wait_for("the photo again", lambda: caption(env, win) == fitted.group(0))
        time.sleep(0.2)
        shot = screenshot(env, win)
        press(env, win, "ctrl+c")
        bmp = wait_for("the copied bitmap", lambda: subprocess.run(
            ["xclip", "-selection", "clipboard", "-t", "image/bmp", "-o"], env=env,
            capture_output=True, timeout=5).stdout)
        copied = Image.open(io.BytesIO(bmp)).convert("RGB")
        box = picture_box(shot, scale)
        if copied.size != size or not box or not same(shot.crop(box), copied):
            problems.append("the fitted photo on screen (%s) is not the copied %s bitmap"
                            % (box, copied.size))
    finally:
        proc.terminate()
        proc.wait(timeout=5)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("viewer")
    parser.add_argument("--scale", type=float, action="append")
    args = parser.parse_args()
    for tool in ("Xvfb", "openbox", "xdotool", "xprop", "import", "xclip"):
        if shutil.which(tool) is None:
            print("missing %s: run scripts/setup.sh" % tool)
            return 1
    scales = args.scale or [1.0]
    with tempfile.TemporaryDirectory() as home:
        folder = os.path.join(home, "pictures")
        os.mkdir(folder)
        small = make_pictures(folder)
        # No editor is associated in this private desktop: the copy starts nothing.
        for name in ("data", "config"):
            os.mkdir(os.path.join(home, name))
        server, display = start_xvfb("2048x1536x24")  # room for a window at scale 2
        env = dict(os.environ, DISPLAY=display)
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "QT_SCALE_FACTOR", "XDG_SESSION_TYPE"):
            env.pop(name, None)
        wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        viewer_env = dict(env, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
                          XDG_DATA_DIRS=os.path.join(home, "data"),
                          XDG_CONFIG_HOME=os.path.join(home, "config"),
                          XDG_CONFIG_DIRS=os.path.join(home, "config"))
        failures = 0
        try:
            wait_for("openbox", lambda: "window id" in run(
                env, "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 30)
            # A start that is not counted: openbox finishes starting while the first window
            # comes up.
            warm = subprocess.Popen([args.viewer, folder], env=viewer_env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                wait_for("the first window", lambda: run(
                    env, "xdotool", "search", "--onlyvisible", "--pid", str(warm.pid)), 30)
            except Failure:
                pass
            stop(warm)
            for i, scale in enumerate(scales):
                problems = []
                try:
                    check_scale(viewer_env, args.viewer, folder, small, scale, i == 0, problems)
                except Failure as e:
                    problems.append(str(e))
                failures += bool(problems)
                print("scale %g: %s" % (scale, "; ".join(problems) or "as expected"))
        finally:
            stop(wm)
            stop(server)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

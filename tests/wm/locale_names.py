#!/usr/bin/env python3
"""The real viewer under a Turkish locale, whose case rules differ from ASCII ("I" lower-cases
to dotless "ı"): a folder holding A.GIF must list and show that picture, not the fallback one.

The picture is five times as wide as it is high, so the fitted size in the caption tells the
picture from the fallback picture.

usage: locale_names.py VIEWER
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mode_changes import GUARD, Failure, run, start_xvfb, stop, wait_for  # noqa: E402


def main():
    viewer = sys.argv[1]
    if "tr_TR.utf8" not in subprocess.run(["locale", "-a"], capture_output=True,
                                          text=True).stdout:
        print("the tr_TR.UTF-8 locale is missing (scripts/setup.sh makes it)")
        return 1
    from PIL import Image
    with tempfile.TemporaryDirectory() as folder:
        Image.new("RGB", (500, 100), (200, 30, 30)).save(os.path.join(folder, "A.GIF"))
        server, display = start_xvfb()
        child = None
        try:
            env = dict(os.environ, DISPLAY=display, LC_ALL="tr_TR.UTF-8", LANG="tr_TR.UTF-8")
            env.pop("QT_QPA_PLATFORM", None)
            env.pop("WAYLAND_DISPLAY", None)
            child = subprocess.Popen([viewer, folder], env=env, stderr=subprocess.DEVNULL)
            win = wait_for("the viewer's window", lambda: run(
                env, "xdotool", "search", "--onlyvisible", "--name", "^Image Size").split(),
                4 * GUARD)[0]  # a start on a busy machine may take a while

            def caption():
                props = run(env, "xprop", "-id", win, "_NET_WM_NAME")
                m = re.search(r"Image Size - (\d+) x (\d+)", props)
                return m and (int(m.group(1)), int(m.group(2)))
            width, height = wait_for("the caption", caption)
            if abs(width - 5 * height) > 5:
                raise Failure(f"the caption shows {width} x {height}, not the 5:1 picture A.GIF")
        except Failure as e:
            print("FAIL:", e)
            return 1
        finally:
            if child:
                stop(child)
            stop(server)
    print("A.GIF listed and shown under tr_TR.UTF-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())

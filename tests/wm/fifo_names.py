#!/usr/bin/env python3
"""The real viewer with files that are not regular files but are named like pictures: a FIFO
beside the shown picture (the preloader reaches it at once) and a FIFO as the start path. The
window must come up, and ESC must end the process, whatever its worker is doing: opening a FIFO
blocks until a writer comes, so one that is opened holds the worker for good.

usage: fifo_names.py VIEWER
"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mode_changes import GUARD, Failure, run, start_xvfb, stop, wait_for  # noqa: E402


def escape_ends(env, args, title):
    child = subprocess.Popen(args, env=env, stderr=subprocess.DEVNULL)
    try:
        # A start on a busy machine may take a while; what must not happen is a window that
        # never comes or a process that ESC does not end.
        win = wait_for("the viewer's window " + title, lambda: run(
            env, "xdotool", "search", "--onlyvisible", "--name", "^Image Size").split(), 4 * GUARD)[0]
        deadline = time.monotonic() + 2 * GUARD
        sent = 0.0
        while child.poll() is None:
            if time.monotonic() > deadline:
                raise Failure("ESC did not end the viewer " + title)
            if time.monotonic() - sent >= 1.0:  # again, should the key meet no focus
                run(env, "xdotool", "windowfocus", "--sync", win)
                run(env, "xdotool", "key", "--clearmodifiers", "Escape")
                sent = time.monotonic()
            time.sleep(0.02)
    finally:
        if child.poll() is None:
            stop(child)


def main():
    from PIL import Image
    with tempfile.TemporaryDirectory() as folder:
        Image.new("RGB", (64, 48), (20, 120, 200)).save(os.path.join(folder, "a.bmp"))
        os.mkfifo(os.path.join(folder, "b.jpg"))
        os.mkfifo(os.path.join(folder, "c.png"))
        server, display = start_xvfb()
        try:
            env = dict(os.environ, DISPLAY=display)
            env.pop("QT_QPA_PLATFORM", None)
            env.pop("WAYLAND_DISPLAY", None)
            escape_ends(env, [sys.argv[1], folder], "on a folder with FIFOs")
            escape_ends(env, [sys.argv[1], os.path.join(folder, "b.jpg")], "started on a FIFO")
        except Failure as e:
            print("FAIL:", e)
            return 1
        finally:
            stop(server)
    print("FIFOs named like pictures neither hold the window nor its end")
    return 0


if __name__ == "__main__":
    sys.exit(main())

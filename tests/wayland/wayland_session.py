#!/usr/bin/env python3
"""The real viewer in a Wayland session of weston, both ways: on xcb through weston's XWayland
(chosen by the viewer itself, the user having chosen no Qt platform) and on Qt's native
Wayland platform.

weston runs nested in a private Xvfb (its x11 backend), so that keys typed there with XTest
reach weston's seat and, from there, the focused client; what weston composes is read back
with weston-screenshooter. Everything runs in private mount and network namespaces with a
private /tmp: XWayland takes the first free display and the test must not meet other X servers.

Checked both ways: the first picture of a folder shows in the picture area, DOWN steps to the
next one, CTRL+UP maximises (the fitted picture grows), CTRL+DOWN restores it, ESC ends.

usage: wayland_session.py VIEWER (--xwayland | --native)
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

GUARD = 10.0


class Failure(Exception):
    pass


def wait_for(what, probe, guard=GUARD):
    deadline = time.monotonic() + guard
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


def run(env, *args, check=False):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=GUARD,
                          check=check)


def screenshot_counts(env, folder):
    """Pixels of the output that are pure red and pure blue, from a fresh screenshot."""
    for old in glob.glob(os.path.join(folder, "wayland-screenshot*.png")):
        os.remove(old)
    subprocess.run(["weston-screenshooter"], env=env, cwd=folder, timeout=GUARD,
                   capture_output=True)
    shots = glob.glob(os.path.join(folder, "wayland-screenshot*.png"))
    if not shots:
        return None
    out = subprocess.run(["convert", shots[0], "-depth", "8", "rgb:-"], capture_output=True,
                         timeout=GUARD, check=True).stdout
    red = blue = 0
    for i in range(0, len(out) - 2, 3):
        px = out[i:i + 3]
        if px == b"\xff\x00\x00":
            red += 1
        elif px == b"\x00\x00\xff":
            blue += 1
    shutil.copy(shots[0], os.path.join(folder, "last.png"))
    return red, blue


def session(viewer, native, work):
    pictures = os.path.join(work, "pictures")
    os.mkdir(pictures)
    # Two plain pictures whose colours appear nowhere else on weston's desktop.
    subprocess.run(["convert", "-size", "400x300", "xc:#ff0000", os.path.join(pictures, "a.png")],
                   check=True)
    subprocess.run(["convert", "-size", "400x300", "xc:#0000ff", os.path.join(pictures, "b.png")],
                   check=True)
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env = {k: v for k, v in os.environ.items()
           if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY", "XDG_SESSION_TYPE")}
    env["XDG_RUNTIME_DIR"] = runtime
    children = []
    try:
        xvfb = subprocess.Popen(["Xvfb", ":9", "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
                                env=env, stderr=subprocess.DEVNULL)
        children.append(xvfb)
        host = dict(env, DISPLAY=":9")
        wait_for("Xvfb", lambda: run(host, "xdpyinfo").returncode == 0)
        log = open(os.path.join(work, "weston.log"), "w")
        args = ["weston", "--backend=x11-backend.so", "--use-pixman", "--socket=quendra-test",
                "--debug", "--width=1024", "--height=768", "--idle-time=0"]
        if not native:
            args.append("--xwayland")
        weston = subprocess.Popen(args, env=host, stdout=log, stderr=log)
        children.append(weston)
        wait_for("weston", lambda: os.path.exists(os.path.join(runtime, "quendra-test")))

        def output_window():
            log.flush()
            m = re.search(r"window id (\d+)", open(log.name).read())
            return m and m.group(1)

        output = wait_for("weston's output window", output_window)
        run(host, "xdotool", "mousemove", "1020", "760")  # off the picture
        run(host, "xdotool", "windowfocus", output)

        # A desktop session as GNOME or KDE sets it up; no Qt platform chosen.
        session_env = dict(env, WAYLAND_DISPLAY="quendra-test", XDG_SESSION_TYPE="wayland")
        if native:
            session_env["QT_QPA_PLATFORM"] = "wayland"
        else:
            # weston's XWayland takes the first free display of this private /tmp.
            session_env["DISPLAY"] = ":0"
        viewer_log = open(os.path.join(work, "viewer.log"), "w")
        proc = subprocess.Popen([viewer, pictures], env=session_env, stdout=viewer_log,
                                stderr=viewer_log)
        children.append(proc)
        if not native:
            # The viewer is an X client: it went to xcb by itself.
            wait_for("the viewer's X window", lambda: run(
                session_env, "xdotool", "search", "--pid", str(proc.pid)).stdout.split())

        def seen(what, check):
            last = [None]

            def probe():
                last[0] = screenshot_counts(session_env, work)
                return last[0] is not None and check(*last[0])

            try:
                return wait_for(what, probe) and last[0]
            except Failure:
                raise Failure("%s: red %s, blue %s pixels" % (
                    what, *(last[0] or ("?", "?"))))

        def key(name):
            run(host, "xdotool", "windowfocus", output)
            run(host, "xdotool", "key", name)

        # The fitted 400x300 picture in the 557x345 picture area is 460x345.
        fitted = 460 * 345
        seen("the first picture", lambda red, blue: red == fitted and blue == 0)
        key("Down")
        seen("the second picture", lambda red, blue: blue == fitted and red == 0)
        key("ctrl+Up")
        _, grown = seen("the maximised mode", lambda red, blue: blue > 2 * fitted and red == 0)
        key("ctrl+Down")
        seen("the normal mode", lambda red, blue: blue == fitted and red == 0)
        # The compositor may still be moving the keyboard focus after the state change on a
        # busy machine, so ESC is pressed again each second until the viewer has ended.
        sent = [0.0]

        def ended():
            if proc.poll() is not None:
                return True
            if time.monotonic() - sent[0] >= 1.0:
                key("Escape")
                sent[0] = time.monotonic()
            return False
        wait_for("the viewer's end", ended)
        print("%s: picture shown, stepped, maximised (%d pixels) and restored" % (
            "native wayland" if native else "xcb on XWayland", grown))
    finally:
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
                try:
                    child.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    child.kill()
                    child.wait()


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("--xwayland", "--native"):
        print(__doc__)
        return 2
    viewer, native = os.path.abspath(sys.argv[1]), sys.argv[2] == "--native"
    if os.environ.get("QUENDRA_PRIVATE_NAMESPACE") != "1":
        # Private namespaces: a private /tmp (X sockets and lock files) and no shared abstract
        # sockets, so neither XWayland nor this Xvfb meets another X server on the machine.
        for tool in ("weston", "weston-screenshooter", "Xvfb", "xdotool", "convert", "unshare"):
            if shutil.which(tool) is None:
                print("missing %s: run scripts/setup.sh" % tool)
                return 1
        script = ("mount -t tmpfs tmpfs /tmp && ip link set lo up 2>/dev/null; "
                  "QUENDRA_PRIVATE_NAMESPACE=1 exec \"$0\" \"$@\"")
        return subprocess.call(["unshare", "-m", "-n", "--propagation", "private", "sh", "-c",
                                script, sys.executable, os.path.abspath(__file__), viewer,
                                sys.argv[2]])
    with tempfile.TemporaryDirectory() as work:
        try:
            session(viewer, native, work)
        except Failure as e:
            print("FAILED:", e)
            for name in ("viewer.log", "weston.log"):
                path = os.path.join(work, name)
                if os.path.exists(path):
                    print("--- " + name)
                    print(open(path).read()[-3000:])
            keep = os.environ.get("QUENDRA_KEEP_SHOT")
            if keep and os.path.exists(os.path.join(work, "last.png")):
                shutil.copy(os.path.join(work, "last.png"), keep)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

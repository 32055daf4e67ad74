#!/usr/bin/env python3
"""The real viewer under a private X server and a real window manager, driven through XTest.

Every view-mode change from every mode (CTRL+UP, CTRL+DOWN, CTRL+F) is made on a freshly
started viewer, and after each one the window's real size, its _NET_WM_STATE (always-on-top
kept, maximised exactly in the maximised modes) and its caption are checked against the mode.
The walk is repeated from fresh starts, so that a race between the program and the window
manager shows. Last, a message box (the key reminder) must come up in front of the
always-on-top window: transient for it, always on top itself and stacked above it. Every wait
ends as soon as the awaited state is there, bounded by GUARD.

usage: mode_changes.py VIEWER SAMPLES [--wm openbox] [--runs 10] [--screenshot FILE]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

GUARD = 5.0  # seconds any single wait may take at most
NORMAL = (570, 387)  # the window's client size at start

# (key, mode before, mode after) for every mode and every command, walked in this order from
# the start mode WindowFit; each edge of the mode table appears once at least.
WALK = [
    ("ctrl+Up", "WindowFit", "MaxFit"),  # first, right after start-up, where races were seen
    ("ctrl+Down", "MaxFit", "WindowFit"),
    ("ctrl+Down", "WindowFit", "WindowFit"),
    ("ctrl+f", "WindowFit", "WindowFullSize"),
    ("ctrl+f", "WindowFullSize", "WindowFullSize"),
    ("ctrl+Down", "WindowFullSize", "WindowFit"),
    ("ctrl+f", "WindowFit", "WindowFullSize"),
    ("ctrl+Up", "WindowFullSize", "MaxFit"),
    ("ctrl+f", "MaxFit", "MaxFit"),
    ("ctrl+Up", "MaxFit", "MaxFullSize"),
    ("ctrl+Up", "MaxFullSize", "MaxFullSize"),
    ("ctrl+f", "MaxFullSize", "MaxFullSize"),
    ("ctrl+Down", "MaxFullSize", "MaxFit"),
    ("ctrl+Down", "MaxFit", "WindowFit"),
]


class Failure(Exception):
    pass


def run(env, *args):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=GUARD).stdout


def wait_for(what, probe, guard=GUARD):
    """Calls probe() until it returns a true value; raises Failure after guard seconds."""
    deadline = time.monotonic() + guard
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.02)  # polling interval of the probe, not a wait for the program


def start_xvfb(screen="1024x768x24"):
    r, w = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-nolisten", "tcp", "-screen", "0",
                               screen], pass_fds=(w,), stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    deadline = time.monotonic() + GUARD
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    if not number.strip():
        server.kill()
        raise Failure("Xvfb did not start")
    return server, ":" + number.decode().strip()


def window_state(env, win):
    """(client width, client height, set of _NET_WM_STATE atoms, caption) of the window."""
    info = run(env, "xwininfo", "-id", win)
    width = re.search(r"Width: (\d+)", info)
    height = re.search(r"Height: (\d+)", info)
    mapped = "IsViewable" in info
    props = run(env, "xprop", "-id", win, "_NET_WM_STATE", "_NET_WM_NAME")
    state = set(re.findall(r"_NET_WM_STATE_\w+", props.split("_NET_WM_NAME")[0]))
    name = re.search(r'_NET_WM_NAME\(UTF8_STRING\) = "(.*)"', props)
    if not (width and height and name and mapped):
        return None
    return int(width.group(1)), int(height.group(1)), state, name.group(1)


def matches(mode, observed, screen):
    """None when the observed window fits the mode, else what is wrong."""
    if observed is None:
        return "the window is not shown"
    width, height, state, caption = observed
    maximized = mode.startswith("Max")
    problems = []
    if "_NET_WM_STATE_ABOVE" not in state:
        problems.append("always-on-top lost")
    for atom in ("_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"):
        if (atom in state) != maximized:
            problems.append(atom + (" missing" if maximized else " set"))
    if maximized:
        if width < screen[0] - 40 or height < screen[1] - 120:
            problems.append("size %dx%d is not maximised" % (width, height))
    elif (width, height) != NORMAL:
        problems.append("size %dx%d is not the normal %dx%d" % (width, height, *NORMAL))
    area = (width - 13, height - 42)  # the picture area: border, splitter, status line
    if mode.endswith("Fit"):
        m = re.fullmatch(r"Image Size - (\d+) x (\d+) ", caption)
        if not m:
            problems.append("caption %r is not the fitted one" % caption)
        else:
            w, h = int(m.group(1)), int(m.group(2))
            if w > area[0] or h > area[1] or (w != area[0] and h != area[1]):
                problems.append("caption %r is not fitted to %dx%d" % (caption, *area))
    else:
        m = re.fullmatch(r"Window size - (\d+) x (\d+) \((\d+) x (\d+)\)  (\d+)%", caption)
        if not m:
            problems.append("caption %r is not the full-size one" % caption)
        elif (int(m.group(1)), int(m.group(2))) != area:
            problems.append("caption %r does not match the picture area %dx%d" % (caption, *area))
    return "; ".join(problems) or None


def one_run(env, viewer, samples, screen, shot, walk=WALK):
    proc = subprocess.Popen([viewer, samples], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        win = wait_for("the viewer's window", lambda: run(
            env, "xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)).split(), 30)[0]

        def activated():
            if run(env, "xdotool", "getwindowfocus").strip() == win:
                return True
            run(env, "xdotool", "windowactivate", win)
            return False

        wait_for("the viewer's activation", activated, 30)
        mode = "WindowFit"
        wait_for("the start mode", lambda: matches(mode, window_state(env, win), screen) is None)
        for step, (key, before, after) in enumerate(walk):
            assert before == mode
            # XTest keys go to the focused window. The window keeps the focus through mode
            # changes, but a window manager that is still starting (fluxbox under load) may
            # take it for a moment: the viewer is activated again then.
            wait_for("the viewer's focus", activated)
            run(env, "xdotool", "key", "--clearmodifiers", key)
            mode = after
            last = [None]

            def reached():
                last[0] = matches(mode, window_state(env, win), screen)
                return last[0] is None

            try:
                wait_for(mode, reached)
            except Failure:
                focus = run(env, "xdotool", "getwindowfocus").strip()
                raise Failure("step %d, %s from %s to %s: %s (focus on %s, the viewer is %s)" % (
                    step + 1, key, before, after, last[0], focus, win))
            if shot and step == 9:  # MaxFullSize: the picture at 100 % in a maximised window
                run(env, "import", "-window", "root", shot)
                shot = None
    finally:
        proc.terminate()
        proc.wait(timeout=GUARD)


def message_box_check(env, viewer, samples):
    """The key reminder, chosen from the popup menu, is shown in front of the main window."""
    proc = subprocess.Popen([viewer, samples], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        def windows():
            return run(env, "xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)).split()

        win = wait_for("the viewer's window", windows, 30)[0]

        def activated():
            if run(env, "xdotool", "getwindowfocus").strip() == win:
                return True
            run(env, "xdotool", "windowactivate", win)
            return False

        wait_for("the viewer's focus", activated, 30)
        run(env, "xdotool", "mousemove", "--window", win, "300", "150", "click", "3")
        wait_for("the popup menu", lambda: len(windows()) > 1)
        run(env, "xdotool", "key", "Down", "Down", "Return")  # "Key reminder"

        def box():
            for w in windows():
                if w != win and '"Quendra"' in run(env, "xprop", "-id", w, "_NET_WM_NAME"):
                    return w
            return None

        found = wait_for("the key reminder", box)
        hexes = {w: "0x%x" % int(w) for w in (win, found)}
        problem = [None]

        def in_front():
            props = run(env, "xprop", "-id", found, "_NET_WM_STATE", "WM_TRANSIENT_FOR")
            order = re.findall(r"0x[0-9a-f]+", run(env, "xprop", "-root",
                                                   "_NET_CLIENT_LIST_STACKING"))
            if "_NET_WM_STATE_ABOVE" not in props:
                problem[0] = "it is not always on top: " + props
            elif hexes[win] not in props.split("WM_TRANSIENT_FOR")[-1]:
                problem[0] = "it is not transient for the window: " + props
            elif hexes[found] not in order or hexes[win] not in order or \
                    order.index(hexes[found]) < order.index(hexes[win]):
                problem[0] = "it is stacked under the window: %s" % order
            else:
                return True
            return False

        try:
            wait_for("the message box in front", in_front)
        except Failure:
            raise Failure(problem[0])
    finally:
        proc.terminate()
        proc.wait(timeout=GUARD)


def stop(child):
    child.terminate()
    try:
        child.wait(timeout=GUARD)
    except subprocess.TimeoutExpired:
        child.kill()
        child.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("viewer")
    parser.add_argument("samples")
    parser.add_argument("--wm", default="openbox")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    for tool in ("Xvfb", args.wm, "xdotool", "xprop", "xwininfo"):
        if shutil.which(tool) is None:
            print("missing %s: run scripts/setup.sh" % tool)
            return 1
    # Other X servers come and go on a shared machine; a window manager that cannot reach the
    # one just started gets a fresh server.
    for attempt in range(3):
        server, display = start_xvfb()
        env = dict(os.environ, DISPLAY=display)
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("WAYLAND_DISPLAY", None)
        wm_log = tempfile.TemporaryFile()
        wm = subprocess.Popen([args.wm], env=env, stdout=wm_log, stderr=wm_log)
        try:
            wait_for(args.wm, lambda: wm.poll() is not None or "window id" in run(
                env, "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 30)
        except Failure:
            pass
        if wm.poll() is None:
            break
        wm_log.seek(0)
        print("%s did not start on %s: %s" % (args.wm, display,
                                              wm_log.read().decode(errors="replace")))
        stop(server)
    else:
        return 1
    failures = 0
    try:
        screen = (1024, 768)
        # A start that is not counted: a window manager finishes starting (panels, focus)
        # while the first window comes up.
        try:
            one_run(env, args.viewer, args.samples, screen, None, walk=[])
        except Failure:
            pass
        for i in range(args.runs):
            try:
                one_run(env, args.viewer, args.samples, screen, args.screenshot if i == 0 else None)
                print("run %d: every mode change reached its mode" % (i + 1))
            except Failure as e:
                failures += 1
                print("run %d: %s" % (i + 1, e))
        try:
            message_box_check(env, args.viewer, args.samples)
            print("the message box is in front of the window")
        except Failure as e:
            failures += 1
            print("message box: %s" % e)
    finally:
        stop(wm)
        stop(server)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Times checks of the real program in an X session (Xvfb + openbox) against a private
Dovecot behind a delaying relay, next to a bare socket client sending the same commands.

    scripts/bench/xcheck.py BUILD_DIR [--counts 100,1000,5000] [--delays 0,25] [--runs 1]

For each message count and one-way delay: Ctrl+C in the main window starts a check; it is
done when the last message's ID is in Mailvane.ini. The clock starts when the key press
is handed to the X server (XTest on a connection opened beforehand, so that starting a
helper program is not counted) and stops when the settings file that holds the ID is
put in place (inotify). Right before each of the program's checks the bare client runs
the same session once, and the ratio sets the two side by side; with --runs N every
scenario is run N times afresh and the median ratios are printed as well. The repeat check runs with nothing new
on the server (the last ID is taken out of the seen list first so that the list is
written again and its end can be seen). The GUI thread's longest stall comes from the
program's own probe (MAILVANE_STALL_LOG). Needs root (Dovecot) and a free port 110 on
127.0.0.18. Not part of the test suite.
"""
import argparse
import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ADDRESS = "127.0.0.18"
DISPLAY = ":57"


class XKeys:
    """Presses keys through XTest on one open connection to the X server."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)

    def code(self, name):
        return self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(name.encode()))

    def chord(self, modifier, key):
        """Presses modifier+key and returns the monotonic time the presses were sent."""
        mod, k = self.code(modifier), self.code(key)
        self.xtst.XTestFakeKeyEvent(self.dpy, mod, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, k, 1, 0)
        sent = time.monotonic()
        self.x11.XFlush(self.dpy)
        self.xtst.XTestFakeKeyEvent(self.dpy, k, 0, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, mod, 0, 0)
        self.x11.XSync(self.dpy, 0)
        return sent

    def prime(self):
        """The first fake key of a connection makes the server switch keymaps and every client
        fetch its keymap again; a real keyboard does not do that at each press."""
        shift = self.code("Shift_L")
        self.xtst.XTestFakeKeyEvent(self.dpy, shift, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, shift, 0, 0)
        self.x11.XSync(self.dpy, 0)
        time.sleep(0.5)

    def close(self):
        self.x11.XCloseDisplay(self.dpy)


class FileWatch:
    """Wakes when a file is written or renamed into a folder (inotify)."""
    IN_CLOSE_WRITE = 0x08
    IN_MOVED_TO = 0x80
    IN_NONBLOCK = 0o4000

    def __init__(self, folder):
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = self.libc.inotify_init1(self.IN_NONBLOCK)
        if self.fd < 0 or self.libc.inotify_add_watch(self.fd, folder.encode(),
                                                      self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify")

    def drain(self):
        try:
            while os.read(self.fd, 65536):
                pass
        except BlockingIOError:
            pass

    def wait(self, predicate, timeout):
        """Returns the monotonic time of the change after which predicate() held."""
        import select
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            ready, _, _ = select.select([self.fd], [], [], end - time.monotonic())
            woke = time.monotonic()
            if ready:
                self.drain()
                if predicate():
                    return woke
        return None

    def close(self):
        os.close(self.fd)


def seen_ids(ini):
    try:
        with open(ini, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return {}
    m = re.search(r"^\[IDs:Box\]\s*$(.*?)(^\[|\Z)", text, re.M | re.S)
    if not m:
        return {}
    return dict(re.findall(r"^(\d+)=(.*)$", m.group(1), re.M))


def drop_last_id(ini, count):
    with open(ini, "rb") as f:
        text = f.read().decode("utf-8")
    text = re.sub(r"^%d=.*\r?\n" % count, "", text, count=1, flags=re.M)
    tmp = ini + ".bench"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(tmp, 0o600)
    os.replace(tmp, ini)


def stall_lines(path):
    try:
        with open(path) as f:
            return [int(line.split()[1]) for line in f if line.strip()]
    except OSError:
        return []


def raw_time(helper, which):
    """Times the bare client's session once now, in seconds."""
    helper.stdin.write(which + "\n")
    helper.stdin.flush()
    key, _, value = helper.stdout.readline().strip().partition("=")
    if key != "raw_%s_us" % which:
        raise RuntimeError("bench helper answered %r" % key)
    return int(value) / 1e6


def timed_check(win, ini, count, stall_log, keys):
    env = dict(os.environ, DISPLAY=DISPLAY)
    # The window is made active first: the timing covers the key press and the check only.
    subprocess.run(["xdotool", "windowactivate", "--sync", win], check=True, env=env)
    time.sleep(0.3)
    before = len(stall_lines(stall_log))
    # Writes other programs left dirty would be flushed by the check's synced settings write.
    os.sync()
    time.sleep(0.2)
    watch = FileWatch(os.path.dirname(ini))
    try:
        watch.drain()
        start = keys.chord("Control_L", "c")
        done = watch.wait(lambda: str(count) in seen_ids(ini), 600)
    finally:
        watch.close()
    if done is None:
        raise RuntimeError("check did not finish")
    elapsed = done - start
    stalls = stall_lines(stall_log)[before:]
    return elapsed, max(stalls) if stalls else 0


def scenario(build, count, delay):
    work = tempfile.mkdtemp(prefix="mv-bench-")
    try:
        for name in os.listdir(os.path.join(build, "src/app")):
            path = os.path.join(build, "src/app", name)
            if os.path.isfile(path):
                shutil.copy2(path, work)
        ini = os.path.join(work, "Mailvane.ini")
        helper = subprocess.Popen(
            [os.path.join(build, "tests/mailbox/mailbox_bench_CheckLink"), str(count), str(delay), ADDRESS,
             "110", ini], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        raw = {}
        for line in helper.stdout:
            line = line.strip()
            if line == "READY":
                break
            key, _, value = line.partition("=")
            raw[key] = int(value) / 1e6
        # The program was just copied: its pages would otherwise be flushed by the first
        # synced write of the settings file and be counted as the check's.
        os.sync()
        stall_log = os.path.join(work, "stall.log")
        env = dict(os.environ, DISPLAY=DISPLAY, MAILVANE_STALL_LOG=stall_log, LANG="C.UTF-8")
        env.pop("QT_QPA_PLATFORM", None)
        program = subprocess.Popen([os.path.join(work, "mailvane")], env=env, cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            win = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(program.pid)],
                                 env=env, capture_output=True, text=True, timeout=60).stdout.split()[0]
            time.sleep(1.0)
            keys = XKeys(DISPLAY)
            keys.prime()
            raw["raw_first"] = raw_time(helper, "first")
            first, first_stall = timed_check(win, ini, count, stall_log, keys)
            time.sleep(0.5)
            drop_last_id(ini, count)
            raw["raw_repeat"] = raw_time(helper, "repeat")
            repeat, repeat_stall = timed_check(win, ini, count, stall_log, keys)
            keys.close()
        finally:
            program.send_signal(signal.SIGTERM)
            program.wait(timeout=30)
            helper.stdin.close()
            helper.wait(timeout=60)
        return raw, first, repeat, max(first_stall, repeat_stall)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--counts", default="100,1000,5000")
    parser.add_argument("--delays", default="0,25")
    parser.add_argument("--runs", type=int, default=1)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    wm = subprocess.Popen(["openbox"], env=dict(os.environ, DISPLAY=DISPLAY),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    try:
        print("%6s %8s %10s %10s %7s %10s %10s %7s %9s" % ("count", "rtt_ms", "raw_first", "first_s", "ratio",
                                                            "raw_rep", "repeat_s", "ratio", "stall_ms"))
        for delay in [int(d) for d in args.delays.split(",")]:
            for count in [int(c) for c in args.counts.split(",")]:
                ratios = []
                for _ in range(args.runs):
                    raw, first, repeat, stall = scenario(build, count, delay)
                    ratios.append((first / raw["raw_first"], repeat / raw["raw_repeat"]))
                    print("%6d %8d %10.3f %10.3f %7.2f %10.3f %10.3f %7.2f %9d" % (
                        count, 2 * delay, raw["raw_first"], first, ratios[-1][0], raw["raw_repeat"], repeat,
                        ratios[-1][1], stall), flush=True)
                    if "raw_sequential_us" in raw:
                        print("       (bare client one command at a time, old sequence: %.3f s)"
                              % raw["raw_sequential_us"], flush=True)
                if args.runs > 1:
                    print("%6d %8d  median ratio: first %.2f, repeat %.2f" % (
                        count, 2 * delay, statistics.median(r[0] for r in ratios),
                        statistics.median(r[1] for r in ratios)), flush=True)
    finally:
        wm.terminate()
        xvfb.terminate()
        wm.wait()
        xvfb.wait()


if __name__ == "__main__":
    sys.exit(main())

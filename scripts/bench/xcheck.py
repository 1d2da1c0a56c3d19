#!/usr/bin/env python3
"""Times checks of the real program in an X session (Xvfb + openbox) against a private
Dovecot behind a delaying relay, next to a bare socket client sending the same commands.

    scripts/bench/xcheck.py BUILD_DIR [--counts 100,1000,5000] [--delays 0,25]

For each message count and one-way delay: Ctrl+C in the main window starts a check; it is
done when the last message's ID is in Mailvane.ini. The repeat check runs with nothing new
on the server (the last ID is taken out of the seen list first so that the list is
written again and its end can be seen). The GUI thread's longest stall comes from the
program's own probe (MAILVANE_STALL_LOG). Needs root (Dovecot) and a free port 110 on
127.0.0.18. Not part of the test suite.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ADDRESS = "127.0.0.18"
DISPLAY = ":57"


def wait_for(predicate, timeout, step=0.002):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return False


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


def timed_check(win, ini, count, stall_log):
    env = dict(os.environ, DISPLAY=DISPLAY)
    # The window is made active first: the timing covers the key press and the check only.
    subprocess.run(["xdotool", "windowactivate", "--sync", win], check=True, env=env)
    time.sleep(0.3)
    before = len(stall_lines(stall_log))
    start = time.monotonic()
    subprocess.run(["xdotool", "key", "ctrl+c"], check=True, env=env)
    if not wait_for(lambda: str(count) in seen_ids(ini), 600):
        raise RuntimeError("check did not finish")
    elapsed = time.monotonic() - start
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
            raw[key] = int(value)
        stall_log = os.path.join(work, "stall.log")
        env = dict(os.environ, DISPLAY=DISPLAY, MAILVANE_STALL_LOG=stall_log, LANG="C.UTF-8")
        env.pop("QT_QPA_PLATFORM", None)
        program = subprocess.Popen([os.path.join(work, "mailvane")], env=env, cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            win = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(program.pid)],
                                 env=env, capture_output=True, text=True, timeout=60).stdout.split()[0]
            time.sleep(1.0)
            first, first_stall = timed_check(win, ini, count, stall_log)
            time.sleep(0.5)
            drop_last_id(ini, count)
            repeat, repeat_stall = timed_check(win, ini, count, stall_log)
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
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    wm = subprocess.Popen(["openbox"], env=dict(os.environ, DISPLAY=DISPLAY),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    try:
        print("%6s %8s %10s %10s %10s %10s %8s %10s" % ("count", "rtt_ms", "raw_first", "first_s", "ratio",
                                                        "repeat_s", "raw_rep", "stall_ms"))
        for delay in [int(d) for d in args.delays.split(",")]:
            for count in [int(c) for c in args.counts.split(",")]:
                raw, first, repeat, stall = scenario(build, count, delay)
                raw_first = raw.get("raw_first_ms", -1) / 1000.0
                print("%6d %8d %10.3f %10.3f %10.2f %10.3f %8.3f %10d" % (
                    count, 2 * delay, raw_first, first, first / raw_first if raw_first > 0 else 0, repeat,
                    raw.get("raw_repeat_ms", -1) / 1000.0, stall), flush=True)
                if "raw_sequential_ms" in raw:
                    print("       (bare client one command at a time, old sequence: %.3f s)"
                          % (raw["raw_sequential_ms"] / 1000.0), flush=True)
    finally:
        wm.terminate()
        xvfb.terminate()
        wm.wait()
        xvfb.wait()


if __name__ == "__main__":
    sys.exit(main())

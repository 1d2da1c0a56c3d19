#!/usr/bin/env python3
"""Times the real program against a hostile POP3 server that never ends a line.

    scripts/bench/hostile_server.py BUILD_DIR [--mb 32] [--runs 3] [--body]

The server on 127.0.0.24 greets, lists UIDL in its capabilities, accepts any login,
answers STAT with "+OK 1000000 0" (the most messages a listing accepts, so the UIDL reply
may be long) and answers UIDL with "+OK " and then MB megabytes of "x" without CR LF; with
--body the status line ends ("+OK" CR LF), the megabytes follow as a listing that never
ends, and the server closes once they are out (the reply stays within its bound, so the
program reads all of it while the server keeps sending). The
program (offscreen, from a copy of build/src/app, StartupCheck=1) checks the mailbox at
start. Printed for each run: the time from the UIDL command until the program closed the
connection (the check failed), how much the server got out, and the longest stall of the
GUI thread in that time as the program's own probe logs it (MAILVANE_STALL_LOG, gaps over
20 ms; 0 means none that long). Loopback only. Not part of the test suite.
"""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tls_blackbox import LineServer, program_dir, stop_program, wait_for, write_ini  # noqa: E402

ADDRESS = "127.0.0.24"
BLOCK = b"x" * (64 * 1024)


class HostileServer(LineServer):
    greeting = b"+OK hostile\r\n"

    def __init__(self, size, body):
        super().__init__(ADDRESS)
        self.size = size
        self.body = body
        self.started = None
        self.ended = None
        self.sent = 0
        self.done = threading.Event()

    def answer(self, conn, line):
        verb = line.split(b" ")[0].upper()
        if verb == b"CAPA":
            conn.sendall(b"+OK\r\nUIDL\r\n.\r\n")
        elif verb in (b"USER", b"PASS"):
            conn.sendall(b"+OK\r\n")
        elif verb == b"STAT":
            conn.sendall(b"+OK 1000000 0\r\n")
        elif verb == b"UIDL":
            self.flood(conn)
        else:
            return False
        return True

    def flood(self, conn):
        self.started = time.monotonic()
        try:
            conn.sendall(b"+OK\r\n" if self.body else b"+OK ")
            while self.sent < self.size:
                n = min(len(BLOCK), self.size - self.sent)
                conn.sendall(BLOCK[:n])
                self.sent += n
            if self.body:
                conn.shutdown(socket.SHUT_WR)
            # All of it went out: the check ends when the program gives up and closes.
            conn.settimeout(600)
            while conn.recv(4096):
                pass
        except OSError:
            pass
        self.ended = time.monotonic()
        self.done.set()


def stall_gaps(path):
    """(ms since the probe started, gap ms) of every logged stall."""
    try:
        with open(path) as f:
            return [tuple(int(v) for v in line.split()) for line in f if line.strip()]
    except OSError:
        return []


def one_run(build, size, body):
    server = HostileServer(size, body)
    server.start()
    work = program_dir(build)
    try:
        write_ini(work, ADDRESS, server.port, "None", "pw")
        stall_log = os.path.join(work, "stall.log")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LANG="C.UTF-8", MAILVANE_STALL_LOG=stall_log)
        program = subprocess.Popen([os.path.join(work, "mailvane")], cwd=work, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # The probe opens its log when it starts: that instant is its time zero.
            wait_for(lambda: os.path.exists(stall_log), 30, step=0.002)
            probe_zero = time.monotonic()
            finished = server.done.wait(900)
            time.sleep(0.3)
        finally:
            stop_program(program)
        if not finished or server.started is None:
            return None
        window = ((server.started - probe_zero) * 1000, (server.ended - probe_zero) * 1000)
        # A gap is logged when it ends: those ending inside the check (and a little after).
        gaps = [gap for at, gap in stall_gaps(stall_log) if window[0] < at <= window[1] + 100]
        return server.ended - server.started, server.sent, max(gaps) if gaps else 0
    finally:
        server.stop()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--mb", type=int, default=32)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--body", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    print("%8s %12s %12s %14s" % ("run", "fail_s", "sent_MB", "max_stall_ms"))
    for run in range(1, args.runs + 1):
        result = one_run(build, args.mb * 1024 * 1024, args.body)
        if result is None:
            print("%8d  the check did not reach UIDL or did not end" % run)
            return 1
        seconds, sent, stall = result
        print("%8d %12.3f %12.2f %14d" % (run, seconds, sent / 1048576.0, stall), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Installs the build into a temporary prefix and runs the installed program with an empty
HOME: it must create ~/.config/mailvane/Mailvane.ini (0600 in a 0700 folder) and, once a
mailbox is written there, check it and store the IDs of its messages.

    scripts/bench/installed_check.py BUILD_DIR

Loopback only: the mailbox is a small POP3 server of this script on 127.0.0.23.
"""
import os
import shutil
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tls_blackbox import (BOX, USER, LineServer, check, results, scramble, seen_ids,  # noqa: E402
                          stop_program, wait_for)

ADDRESS = "127.0.0.23"
MESSAGES = [b"Message-ID: <inst-%d@mailvane.invalid>\r\nFrom: a@b\r\nSubject: s%d\r\n\r\nbody %d\r\n" % (n, n, n)
            for n in range(1, 4)]


class Pop3Server(LineServer):
    """Just enough POP3 for one check: USER, PASS, CAPA, STAT, LIST n, TOP n k, UIDL, QUIT."""

    greeting = b"+OK ready\r\n"

    def __init__(self, password):
        super().__init__(ADDRESS)
        self.password = password
        self.logins = 0

    def answer(self, conn, line):
        words = line.split(b" ")
        verb = words[0].upper()
        if verb == b"CAPA":
            conn.sendall(b"-ERR no\r\n")
        elif verb == b"USER":
            conn.sendall(b"+OK\r\n")
        elif verb == b"PASS":
            ok = b" ".join(words[1:]) == self.password.encode()
            self.logins += ok
            conn.sendall(b"+OK\r\n" if ok else b"-ERR\r\n")
        elif verb == b"STAT":
            conn.sendall(b"+OK %d %d\r\n" % (len(MESSAGES), sum(map(len, MESSAGES))))
        elif verb == b"LIST" and len(words) == 2:
            n = int(words[1])
            conn.sendall(b"+OK %d %d\r\n" % (n, len(MESSAGES[n - 1])))
        elif verb == b"TOP" and len(words) == 3:
            conn.sendall(b"+OK\r\n" + MESSAGES[int(words[1]) - 1] + b".\r\n")
        else:
            return False
        return True


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    root = tempfile.mkdtemp(prefix="mv-installed-")
    try:
        prefix = os.path.join(root, "prefix")
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, capture_output=True)
        home = os.path.join(root, "home")
        os.makedirs(home)
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env.update(HOME=home, QT_QPA_PLATFORM="offscreen", LANG="C.UTF-8")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        exe = os.path.join(prefix, "bin", "mailvane")
        ini = os.path.join(home, ".config", "mailvane", "Mailvane.ini")

        program = subprocess.Popen([exe], env=env, cwd=home, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        created = wait_for(lambda: os.path.exists(ini), 30)
        stop_program(program)
        check("installed program creates ~/.config/mailvane/Mailvane.ini", created)
        if not created:
            return 1
        check("settings file is 0600", stat.S_IMODE(os.stat(ini).st_mode) == 0o600,
              oct(stat.S_IMODE(os.stat(ini).st_mode)))
        folder_mode = stat.S_IMODE(os.stat(os.path.dirname(ini)).st_mode)
        check("settings folder is 0700", folder_mode == 0o700, oct(folder_mode))

        password = "pw-" + os.urandom(6).hex()
        server = Pop3Server(password)
        server.start()
        with open(ini, "a", encoding="utf-8") as f:
            f.write("\n[Option]\nStartupCheck=1\nShowWelcome=0\n\n[Server]\n0=%s\n\n[%s]\nHost=%s\nPort=%d\n"
                    "Login=%s\nPassword=%s\n" % (BOX, BOX, ADDRESS, server.port, USER, scramble(password)))
        program = subprocess.Popen([exe], env=env, cwd=home, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        want = [m.split(b"\r\n")[0].split(b" ", 1)[1].decode() for m in MESSAGES]
        stored = wait_for(lambda: seen_ids(ini) == want, 60)
        stop_program(program)
        server.stop()
        check("installed program checks the mailbox written in that file", stored,
              "%s of %d IDs" % (len(seen_ids(ini) or []), len(want)))
        check("it logged in with the stored password", server.logins >= 1)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())

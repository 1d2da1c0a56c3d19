#!/usr/bin/env python3
"""Black-box checks of the real program's encrypted connections, on loopback only.

    scripts/bench/tls_blackbox.py BUILD_DIR [--messages 20]

Case tls:      a private Dovecot that speaks POP3 only over TLS (ssl = required, a pop3s
               listener and no plain one, a self-signed certificate made here with openssl).
               The mailbox uses Security=TLS and pins the certificate's SHA-256 fingerprint;
               every message's Message-ID must end up in [IDs:Box] of Mailvane.ini.
Case starttls: a tiny plain POP3 server whose CAPA has no STLS, recording every line it
               receives. With Security=STARTTLS the program must give up before login: no
               USER, PASS, APOP or AUTH line, no password bytes, no IDs written.

The program runs with QT_QPA_PLATFORM=offscreen from a copy of build/src/app and is stopped
with SIGTERM. Needs root (Dovecot switches to the mail user). Prints one PASS/FAIL line per
check and exits non-zero when any check fails. Not part of the test suite.
"""
import argparse
import os
import pwd
import re
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import privdovecot

TLS_ADDRESS = "127.0.0.21"
PLAIN_ADDRESS = "127.0.0.22"
BOX = "Box"
USER = "tlsuser"
KEY = b"Q-Lumen"  # the program's scrambling key for stored passwords

results = []


def check(name, ok, detail=""):
    results.append(ok)
    print("%s %s%s" % ("PASS" if ok else "FAIL", name, (" (" + detail + ")") if detail else ""), flush=True)


def scramble(clear, start=None):
    """The program's stored-password form: a start byte, then each byte chained and keyed."""
    prev = secrets.randbelow(256) if start is None else start & 0xFF
    out = "%02X" % prev
    for i, b in enumerate(clear.encode("utf-8")):
        c = ((b + prev) % 255) ^ KEY[i % len(KEY)]
        out += "%02X" % c
        prev = c
    return out


def free_port(address):
    with socket.socket() as s:
        s.bind((address, 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def seen_ids(ini):
    try:
        with open(ini, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return None
    m = re.search(r"^\[IDs:%s\]\s*$(.*?)(^\[|\Z)" % re.escape(BOX), text, re.M | re.S)
    if not m:
        return None
    return [v.strip() for _, v in re.findall(r"^(\d+)=(.*)$", m.group(1), re.M)]


def write_ini(work, host, port, security, password, pin=""):
    lines = [
        "[Option]", "StartupCheck=1", "UseKeyring=0", "DesktopNotify=0", "ShowWelcome=0", "",
        "[Server]", "0=" + BOX, "",
        "[" + BOX + "]", "Host=" + host, "Port=%d" % port, "Security=" + security,
        "Login=" + USER, "Password=" + scramble(password),
    ]
    if pin:
        lines.append("CertSha256=" + pin)
    path = os.path.join(work, "Mailvane.ini")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    os.chmod(path, 0o600)
    return path


def program_dir(build):
    work = tempfile.mkdtemp(prefix="mv-tls-app-")
    app = os.path.join(build, "src/app")
    for name in os.listdir(app):
        path = os.path.join(app, name)
        if os.path.isfile(path):
            shutil.copy2(path, work)
    return work


def start_program(work):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LANG="C.UTF-8")
    return subprocess.Popen([os.path.join(work, "mailvane")], cwd=work, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop_program(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw)


def case_tls(build, count):
    root = tempfile.mkdtemp(prefix="mv-tls-dovecot-")
    os.chmod(root, 0o755)
    nobody = pwd.getpwnam("nobody")
    nogroup = nobody.pw_gid
    try:
        import grp
        nogroup = grp.getgrnam("nogroup").gr_gid
    except KeyError:
        pass
    master = None
    work = None
    proc = None
    try:
        run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", "server.key", "-out", "server.pem", "-days", "2", "-subj", "/CN=localhost",
             "-addext", "subjectAltName=DNS:localhost,IP:" + TLS_ADDRESS], cwd=root)
        fp = run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", "server.pem"], cwd=root).stdout
        pin = fp.strip().split("=", 1)[1]
        check("tls: certificate fingerprint has 64 hex digits", len(pin.replace(":", "")) == 64, pin[:11] + "...")

        password = secrets.token_urlsafe(12)
        maildir = os.path.join(root, "mail", USER, "Maildir")
        for sub in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(maildir, sub))
        for d in ("run", "state"):
            os.makedirs(os.path.join(root, d))
        for p in (os.path.join(root, "mail"), os.path.join(root, "mail", USER), maildir,
                  *[os.path.join(maildir, s) for s in ("new", "cur", "tmp")]):
            os.chown(p, nobody.pw_uid, nogroup)
        with open(os.path.join(root, "passwd"), "w") as f:
            f.write("%s:{PLAIN}%s\n" % (USER, password))
        tag = secrets.token_hex(4)
        expected = []
        for i in range(1, count + 1):
            mid = "<tls-%d-%s@mailvane.test>" % (i, tag)
            expected.append(mid)
            name = os.path.join(maildir, "new", "%d.M%dP1.mailvane" % (1700000000 + i, i))
            with open(name, "w") as f:
                f.write("Message-ID: %s\nDate: Mon, 1 Jan 2024 10:00:00 +0000\nFrom: a@example.test\n"
                        "Subject: message %d\n\nbody %d\n" % (mid, i, i))
            os.chown(name, nobody.pw_uid, nogroup)

        port = free_port(TLS_ADDRESS)
        conf = os.path.join(root, "dovecot.conf")
        with open(conf, "w") as f:
            f.write(privdovecot.config(root, TLS_ADDRESS, {"pop3": port}))
        # The daemon keeps its output descriptors: none may be a pipe waited on here.
        subprocess.run(["dovecot", "-c", conf], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        pidfile = os.path.join(root, "run", "master.pid")
        wait_for(lambda: os.path.exists(pidfile), 10)
        with open(pidfile) as f:
            master = int(f.read().strip())

        def answers():
            try:
                with socket.create_connection((TLS_ADDRESS, port), timeout=1):
                    return True
            except OSError:
                return False
        check("tls: dovecot listens on the pop3s port", wait_for(answers, 10))

        # The listener must be TLS from the first byte: a plain client gets no POP3 greeting.
        with socket.create_connection((TLS_ADDRESS, port), timeout=3) as s:
            try:
                first = s.recv(64)
            except socket.timeout:
                first = b""
        check("tls: no plain greeting on the pop3s port", not first.startswith(b"+OK"), repr(first[:16]))
        listening = run(["ss", "-ltnp"]).stdout if shutil.which("ss") else ""
        own = [l for l in listening.splitlines() if "pid=%d," % master in l]
        if listening:
            check("tls: dovecot has exactly one TCP listener", len(own) == 1, "%d listener(s)" % len(own))

        work = program_dir(build)
        ini = write_ini(work, TLS_ADDRESS, port, "TLS", password, pin)
        proc = start_program(work)
        got = wait_for(lambda: (seen_ids(ini) or []) and set(expected) <= set(seen_ids(ini)), 60)
        ids = seen_ids(ini) or []
        stop_program(proc)
        present = len(set(expected) & set(ids))
        check("tls: every Message-ID stored in [IDs:%s]" % BOX, got and present == count,
              "%d of %d" % (present, count))
        check("tls: no foreign IDs stored", set(ids) <= set(expected), "%d stored" % len(ids))
        with open(os.path.join(root, "dovecot.log"), errors="replace") as f:
            log = f.read()
        logins = re.findall(r"pop3-login: Info: Login: user=<%s>.*" % USER, log)
        check("tls: the program logged in over TLS", bool(logins) and all(", TLS" in l for l in logins),
              "%d login(s)" % len(logins))
    finally:
        if proc is not None:
            stop_program(proc)
        if master:
            os.kill(master, signal.SIGTERM)
            wait_for(lambda: not os.path.exists("/proc/%d" % master), 5)
        if work:
            shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(root, ignore_errors=True)


class LineServer(threading.Thread):
    """A small line-based server on loopback: greets each connection, records every line
    received, ends the connection at QUIT and hands other lines to answer(), which returns
    False for a command it does not know (answered with -ERR)."""

    greeting = b"+OK POP3 ready\r\n"

    def __init__(self, address):
        super().__init__(daemon=True)
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((address, 0))
        self.sock.listen(8)
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.raw = b""
        self.lines = []
        self.connections = 0
        self.stopping = False

    def run(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            self.connections += 1
            threading.Thread(target=self.serve, args=(conn,), daemon=True).start()

    def serve(self, conn):
        conn.settimeout(30)
        buf = b""
        try:
            conn.sendall(self.greeting)
            while True:
                data = conn.recv(4096)
                if not data:
                    break
                self.raw += data
                buf += data
                while b"\n" in buf:
                    line, buf = buf.split(b"\n", 1)
                    line = line.rstrip(b"\r")
                    self.lines.append(line)
                    if line.split(b" ")[0].upper() == b"QUIT":
                        conn.sendall(b"+OK bye\r\n")
                        return
                    if not self.answer(conn, line):
                        conn.sendall(b"-ERR no\r\n")
        except (OSError, ValueError, IndexError):
            pass
        finally:
            conn.close()

    def answer(self, conn, line):
        raise NotImplementedError

    def stop(self):
        self.stopping = True
        self.join(5)
        self.sock.close()


class PlainServer(LineServer):
    """POP3 greeting and a CAPA without STLS; every received line is recorded."""

    def answer(self, conn, line):
        verb = line.split(b" ")[0].upper()
        if verb != b"CAPA":
            return False
        conn.sendall(b"+OK\r\nTOP\r\nUIDL\r\nUSER\r\n.\r\n")
        return True


def case_starttls(build, wait):
    server = PlainServer(PLAIN_ADDRESS)
    server.start()
    password = "pw-" + secrets.token_hex(8)
    work = program_dir(build)
    proc = None
    try:
        ini = write_ini(work, PLAIN_ADDRESS, server.port, "STARTTLS", password)
        proc = start_program(work)
        wait_for(lambda: any(l.upper().startswith(b"CAPA") for l in server.lines), wait)
        time.sleep(wait / 3)  # room for any late command after the CAPA reply
        running = proc.poll() is None
        stop_program(proc)
        verbs = [l.split(b" ")[0].upper().decode("ascii", "replace") for l in server.lines]
        check("starttls: the program connected and asked CAPA", "CAPA" in verbs,
              "%d connection(s), lines: %s" % (server.connections, " ".join(verbs) or "-"))
        check("starttls: no STLS sent to a server without it", "STLS" not in verbs)
        check("starttls: no USER/PASS/APOP/AUTH received",
              not any(v in ("USER", "PASS", "APOP", "AUTH") for v in verbs))
        check("starttls: the password text never reached the server", password.encode() not in server.raw,
              "%d bytes received" % len(server.raw))
        check("starttls: no IDs written", seen_ids(ini) is None)
        check("starttls: the program was still up (failure shown, not a crash)", running)
    finally:
        if proc is not None:
            stop_program(proc)
        server.stop()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--messages", type=int, default=20)
    parser.add_argument("--wait", type=float, default=15.0, help="seconds to watch the STARTTLS case")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if os.geteuid() != 0 or not shutil.which("dovecot"):
        print("FAIL needs root and dovecot")
        return 2
    case_tls(build, args.messages)
    case_starttls(build, args.wait)
    passed = sum(results)
    print("%d passed, %d failed" % (passed, len(results) - passed))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())

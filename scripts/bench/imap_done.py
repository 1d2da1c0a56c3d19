#!/usr/bin/env python3
"""The real program with an IMAP mailbox beside a POP3 mailbox, in an X session (Xvfb +
openbox), against a private Dovecot on loopback that takes both protocols over TLS only.

    scripts/bench/imap_done.py BUILD_DIR [--messages 10] [--wakeups 60] [--idle-notify '10 mins']

The IMAP mailbox has Protocol=IMAP, Security=TLS and the server's fingerprint in CertSha256;
the POP3 mailbox beside it is set up as before (Security=TLS, pinned). The program starts
from a copy of build/src/app with its settings file beside it, on a private D-Bus session
where build/tests/testsupport/mv_notify_recorder stands in for the desktop's notification
service. The check interval is an hour; only the start-up check runs by itself.

Items, one PASS/FAIL line each:
  list      every message of both mailboxes listed and its Message-ID stored
  push      a message delivered into the IMAP Maildir while the program sits idle (no key
            pressed) is announced within 5 s by exactly one notification that names it as
            the newest new message (the notification lists the rows marked "*"), and its ID
            is stored
  delete    a row of the IMAP mailbox marked with Ctrl+D is gone from the server after the
            next check (Ctrl+C), and every other message of both mailboxes is still there
  pop3      the POP3 mailbox logged in over TLS and lists a message delivered before Ctrl+C
  wakeups   (with --wakeups S > 0) ten IMAP mailboxes, idle for S seconds once their check
            is done: the main thread's wake-ups (voluntary context switches) with Push=1 no
            more than with Push=0

Needs root (Dovecot switches to the mail user), Xvfb, openbox and xdotool. Not part of the
test suite.
"""
import argparse
import os
import pwd
import re
import secrets
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tls_blackbox import free_port, program_dir, run, scramble, stop_program, wait_for  # noqa: E402
from xcheck import XKeys  # noqa: E402
import privdovecot  # noqa: E402

ADDRESS = "127.0.0.23"
DISPLAY = ":58"
HOUR = "60"

results = []


def check(name, ok, detail=""):
    results.append(ok)
    print("%s %s%s" % ("PASS" if ok else "FAIL", name, (" (" + detail + ")") if detail else ""), flush=True)


def seen_ids(ini, box):
    try:
        with open(ini, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return []
    m = re.search(r"^\[IDs:%s\]\s*$(.*?)(^\[|\Z)" % re.escape(box), text, re.M | re.S)
    if not m:
        return []
    return [v.strip() for _, v in re.findall(r"^(\d+)=(.*)$", m.group(1), re.M)]


class Dovecot:
    """A private Dovecot with IMAPS and POP3S listeners only, one Maildir per user."""

    def __init__(self, users, idle_notify=""):
        self.root = tempfile.mkdtemp(prefix="mv-imap-done-")
        os.chmod(self.root, 0o755)
        self.nobody = pwd.getpwnam("nobody")
        import grp
        self.gid = grp.getgrnam("nogroup").gr_gid
        self.passwords = {u: secrets.token_urlsafe(12) for u in users}
        self.stamp = 1700000000
        self.master = None
        run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", "server.key", "-out", "server.pem", "-days", "2", "-subj", "/CN=localhost",
             "-addext", "subjectAltName=DNS:localhost,IP:" + ADDRESS], cwd=self.root)
        fp = run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", "server.pem"], cwd=self.root).stdout
        self.pin = fp.strip().split("=", 1)[1]
        for d in ("run", "state", "mail"):
            os.makedirs(os.path.join(self.root, d))
        os.chown(os.path.join(self.root, "mail"), self.nobody.pw_uid, self.gid)
        for user in users:
            home = os.path.join(self.root, "mail", user)
            os.makedirs(home)
            os.chown(home, self.nobody.pw_uid, self.gid)
            for sub in ("", "new", "cur", "tmp"):
                path = os.path.join(home, "Maildir", sub)
                os.makedirs(path, exist_ok=True)
                os.chown(path, self.nobody.pw_uid, self.gid)
        with open(os.path.join(self.root, "passwd"), "w") as f:
            for user, password in self.passwords.items():
                f.write("%s:{PLAIN}%s\n" % (user, password))
        self.imaps = free_port(ADDRESS)
        self.pop3s = free_port(ADDRESS)
        self.conf = os.path.join(self.root, "dovecot.conf")
        root = self.root
        with open(self.conf, "w") as f:
            f.write(privdovecot.config(root, ADDRESS, {"imap": self.imaps, "pop3": self.pop3s}))
            if idle_notify:
                # How often the server says "still here" to a client in IDLE (default 2 mins).
                f.write("imap_idle_notify_interval = %s\n" % idle_notify)

    def start(self):
        # The daemon keeps its output descriptors: none may be a pipe waited on here.
        subprocess.run(["dovecot", "-c", self.conf], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        pidfile = os.path.join(self.root, "run", "master.pid")
        wait_for(lambda: os.path.exists(pidfile), 10)
        with open(pidfile) as f:
            self.master = int(f.read().strip())

    def stop(self):
        if self.master:
            os.kill(self.master, signal.SIGTERM)
            wait_for(lambda: not os.path.exists("/proc/%d" % self.master), 5)
        shutil.rmtree(self.root, ignore_errors=True)

    def deliver(self, user, mid, subject, sender="someone@example.test"):
        """Puts a message into new/ as a delivery agent does (written in tmp/, then moved);
        returns the monotonic time of the move."""
        self.stamp += 1
        maildir = os.path.join(self.root, "mail", user, "Maildir")
        name = "%d.M%dP%d.mailvane" % (self.stamp, self.stamp, os.getpid())
        tmp = os.path.join(maildir, "tmp", name)
        with open(tmp, "w") as f:
            f.write("Message-ID: %s\nDate: Mon, 1 Jan 2024 10:00:00 +0000\nFrom: %s\nSubject: %s\n\nbody\n"
                    % (mid, sender, subject))
        os.chown(tmp, self.nobody.pw_uid, self.gid)
        os.rename(tmp, os.path.join(maildir, "new", name))
        return time.monotonic()

    def stored_ids(self, user):
        """The Message-IDs of every message the server holds for user."""
        ids = []
        maildir = os.path.join(self.root, "mail", user, "Maildir")
        for sub in ("new", "cur"):
            for name in sorted(os.listdir(os.path.join(maildir, sub))):
                try:
                    with open(os.path.join(maildir, sub, name), errors="replace") as f:
                        m = re.search(r"^Message-ID:\s*(\S+)", f.read(4096), re.M | re.I)
                except FileNotFoundError:
                    continue
                if m:
                    ids.append(m.group(1))
        return ids

    def log(self):
        with open(os.path.join(self.root, "dovecot.log"), errors="replace") as f:
            return f.read()

    def logins(self, protocol, user):
        return re.findall(r"%s-login: Info: Login: user=<%s>.*" % (protocol, re.escape(user)), self.log())

    def connected(self, user):
        """The user's open IMAP connections, as doveadm who counts them."""
        out = subprocess.run(["doveadm", "-c", self.conf, "who", "-1", user], capture_output=True, text=True)
        return sum(1 for line in out.stdout.splitlines() if line.startswith(user + " ") and "imap" in line)


class Notifications:
    """The stand-in notification service; collects (monotonic time, summary, body)."""

    def __init__(self, build, env):
        self.calls = []
        self.proc = subprocess.Popen([os.path.join(build, "tests/testsupport/mv_notify_recorder")], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if self.proc.stdout.readline().strip() != "READY":
            raise RuntimeError("the notification service did not start")
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for line in self.proc.stdout:
            m = re.match(r"notify (\S+) (.*?)\t(.*)$", line.rstrip("\n"))
            if m:
                self.calls.append((float(m.group(1)), m.group(2), m.group(3)))

    def since(self, t):
        return [c for c in list(self.calls) if c[0] >= t]

    def stop(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=10)


class Session:
    """Xvfb, openbox and a private D-Bus session bus."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="mv-imap-bus-")
        conf = os.path.join(self.dir, "bus.conf")
        with open(conf, "w") as f:
            f.write('<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"\n'
                    ' "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">\n'
                    "<busconfig><type>session</type><listen>unix:dir=%s</listen><auth>EXTERNAL</auth>"
                    '<policy context="default"><allow send_destination="*" eavesdrop="true"/>'
                    '<allow eavesdrop="true"/><allow own="*"/></policy>'
                    "</busconfig>\n" % self.dir)
        self.bus = subprocess.Popen(["dbus-daemon", "--config-file=" + conf, "--nofork", "--print-address"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.bus.stdout.readline().strip()
        self.xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        self.wm = subprocess.Popen(["openbox"], env=dict(os.environ, DISPLAY=DISPLAY),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)

    def env(self, home):
        env = dict(os.environ, DISPLAY=DISPLAY, DBUS_SESSION_BUS_ADDRESS=self.address, LANG="C.UTF-8",
                   HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_DATA_HOME=os.path.join(home, "data"), XDG_CACHE_HOME=os.path.join(home, "cache"))
        env.pop("QT_QPA_PLATFORM", None)
        return env

    def stop(self):
        for p in (self.wm, self.xvfb, self.bus):
            p.terminate()
            p.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


def write_ini(work, boxes):
    """boxes: (name, protocol, port, user, password, extra lines)."""
    lines = ["[Option]", "StartupCheck=1", "UseKeyring=0", "DesktopNotify=1", "ShowWelcome=0", "NoSound=1", "",
             "[Schedule]", "IntervalCheck=1", "ScheduleCheck=0", "AutoCheck=" + HOUR, "",
             "[General]", "Timeout=15", "", "[Server]"]
    lines += ["%d=%s" % (i, b[0]) for i, b in enumerate(boxes)]
    for name, protocol, port, user, password, extra in boxes:
        lines += ["", "[%s]" % name, "Host=" + ADDRESS, "Port=%d" % port, "Security=TLS",
                  "Protocol=" + protocol, "Login=" + user, "Password=" + scramble(password)] + extra
    path = os.path.join(work, "Mailvane.ini")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    os.chmod(path, 0o600)
    return path


def start_program(work, env):
    return subprocess.Popen([os.path.join(work, "mailvane")], cwd=work, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main_window(proc, env):
    out = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(proc.pid), "--name",
                          "^Mailvane$"], env=env, capture_output=True, text=True, timeout=60).stdout.split()
    return out[0] if out else None


def done_run(build, server, session, count):
    imap_ids = ["<imap-%d-%s@mailvane.test>" % (i, secrets.token_hex(3)) for i in range(1, count + 1)]
    pop_ids = ["<pop-%d-%s@mailvane.test>" % (i, secrets.token_hex(3)) for i in range(1, count // 2 + 2)]
    for i, mid in enumerate(imap_ids, 1):
        server.deliver("imapuser", mid, "imap message %d" % i)
    for i, mid in enumerate(pop_ids, 1):
        server.deliver("popuser", mid, "pop message %d" % i)
    pin = server.pin
    work = program_dir(build)
    ini = write_ini(work, [
        ("Pop", "POP3", server.pop3s, "popuser", server.passwords["popuser"], ["CertSha256=" + pin]),
        ("Imap", "IMAP", server.imaps, "imapuser", server.passwords["imapuser"], ["CertSha256=" + pin]),
    ])
    env = session.env(work)
    notes = None
    proc = None
    try:
        notes = Notifications(build, env)
        proc = start_program(work, env)
        # list: the start-up check, no key pressed.
        listed = wait_for(lambda: set(imap_ids) <= set(seen_ids(ini, "Imap")) and
                          set(pop_ids) <= set(seen_ids(ini, "Pop")), 60)
        check("list: every IMAP message's ID stored", set(imap_ids) <= set(seen_ids(ini, "Imap")),
              "%d of %d" % (len(set(imap_ids) & set(seen_ids(ini, "Imap"))), len(imap_ids)))
        check("list: every POP3 message's ID stored", listed and set(pop_ids) <= set(seen_ids(ini, "Pop")),
              "%d of %d" % (len(set(pop_ids) & set(seen_ids(ini, "Pop"))), len(pop_ids)))
        logins = server.logins("imap", "imapuser")
        check("list: the IMAP mailbox logged in over TLS", bool(logins) and all(", TLS" in l for l in logins),
              "%d login(s)" % len(logins))

        # push: the waiting connection is up (the check's own connection has logged out).
        up = wait_for(lambda: server.connected("imapuser") == 1 and len(server.logins("imap", "imapuser")) >= 2,
                      20)
        check("push: one IMAP connection stays open after the check", up,
              "%d open" % server.connected("imapuser"))
        time.sleep(2.0)
        quiet_from = time.monotonic()
        new_id = "<pushed-%s@mailvane.test>" % secrets.token_hex(3)
        subject = "pushed while idle"
        delivered = server.deliver("imapuser", new_id, subject, "Pusher <push@example.test>")
        announced = wait_for(lambda: any(subject in c[2] for c in notes.since(delivered)), 5.0, 0.02)
        window_end = delivered + 5.0
        if time.monotonic() < window_end:
            time.sleep(window_end - time.monotonic())
        during = [c for c in notes.since(delivered) if c[0] <= window_end]
        first = next((c for c in during if subject in c[2]), None)
        for c in during:
            print("  notification %+.3f s: %s / %s" % (c[0] - delivered, c[1], c[2]), flush=True)
        latency = (first[0] - delivered) if first else None
        check("push: announced within 5 s of the delivery, no key pressed", announced and first is not None,
              "%.3f s" % latency if latency is not None else "no notification naming it")
        check("push: exactly one notification for it", len(during) == 1,
              "%d in the 5 s after the delivery, %d before it since start-up" %
              (len(during), len([c for c in notes.calls if c[0] < quiet_from])))
        newest = first[2].split(" | ")[0] if first else ""
        check("push: named first among the rows marked new ('*')", subject in newest, newest or "-")
        check("push: its ID stored", new_id in seen_ids(ini, "Imap"))

        # delete: the IMAP mailbox's window is the active one; its second row is marked.
        win = main_window(proc, env)
        subprocess.run(["xdotool", "windowactivate", "--sync", win], env=env, check=True)
        time.sleep(0.5)
        keys = XKeys(DISPLAY)
        keys.prime()
        pop_new = "<pop-late-%s@mailvane.test>" % secrets.token_hex(3)
        server.deliver("popuser", pop_new, "pop message late")
        before_imap = server.stored_ids("imapuser")
        before_pop = server.stored_ids("popuser")
        mark = keys_mark_second_row(keys)
        keys.chord("Control_L", "c")
        gone = wait_for(lambda: len(server.stored_ids("imapuser")) < len(before_imap) and
                        pop_new in seen_ids(ini, "Pop"), 30)
        time.sleep(1.0)
        after_imap = server.stored_ids("imapuser")
        removed = [i for i in before_imap if i not in after_imap]
        keys.close()
        check("delete: one IMAP message gone after the next check", gone and len(removed) == 1,
              "removed: %s (keys: %s)" % (" ".join(removed) or "none", mark))
        check("delete: it is the marked (second) row",
              len(removed) == 1 and removed[0] == before_imap[1], "second row was %s" % before_imap[1])
        check("delete: every other IMAP message still on the server",
              set(after_imap) == set(before_imap) - set(removed), "%d left" % len(after_imap))
        check("delete: every POP3 message still on the server", set(server.stored_ids("popuser")) == set(before_pop))
        check("delete: the deleted ID is no longer listed", all(r not in seen_ids(ini, "Imap") for r in removed))

        pop_logins = server.logins("pop3", "popuser")
        check("pop3: logged in over TLS at each check",
              len(pop_logins) >= 2 and all(", TLS" in l for l in pop_logins), "%d login(s)" % len(pop_logins))
        check("pop3: the message delivered before Ctrl+C listed", pop_new in seen_ids(ini, "Pop"))
        check("program still running", proc.poll() is None)
        return latency
    finally:
        if proc is not None:
            stop_program(proc)
        if notes is not None:
            notes.stop()
        shutil.rmtree(work, ignore_errors=True)


def keys_mark_second_row(keys):
    """Home, Down and Ctrl+D in the active mailbox window's list: the second row marked."""
    for name in ("Home", "Down"):
        code = keys.code(name)
        keys.xtst.XTestFakeKeyEvent(keys.dpy, code, 1, 0)
        keys.xtst.XTestFakeKeyEvent(keys.dpy, code, 0, 0)
        keys.x11.XSync(keys.dpy, 0)
        time.sleep(0.2)
    keys.chord("Control_L", "d")
    time.sleep(0.5)
    return "Home Down Ctrl+D"


def thread_switches(pid):
    """Voluntary context switches so far (each a wait that ended: a wake-up) of each thread
    of pid, by thread id. Switches forced by other programs' load are not counted."""
    counts = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                text = f.read()
        except OSError:
            continue
        m = re.search(r"^voluntary_ctxt_switches:\s*(\d+)", text, re.M)
        if m:
            counts[int(tid)] = int(m.group(1))
    return counts


def wakeups(build, server, session, seconds, push):
    users = ["wake%d" % i for i in range(10)]
    work = program_dir(build)
    boxes = [("Box%d" % i, "IMAP", server.imaps, u, server.passwords[u], ["CertSha256=" + server.pin, "Push=" + push])
             for i, u in enumerate(users)]
    ini = write_ini(work, boxes)
    env = session.env(work)
    notes = None
    proc = None
    try:
        notes = Notifications(build, env)
        proc = start_program(work, env)
        ok = wait_for(lambda: all(len(seen_ids(ini, "Box%d" % i)) == 3 for i in range(10)), 60)
        if push == "1":
            ok = ok and wait_for(lambda: sum(server.connected(u) for u in users) == 10, 30)
        else:
            ok = ok and wait_for(lambda: sum(server.connected(u) for u in users) == 0, 30)
        time.sleep(3.0)
        open_connections = sum(server.connected(u) for u in users)
        before = thread_switches(proc.pid)
        time.sleep(seconds)
        after = thread_switches(proc.pid)
        # Threads that ended meanwhile (a pool's idle workers) are left out of the sum.
        others = sum(after[t] - before.get(t, 0) for t in after if t != proc.pid)
        return ok, after[proc.pid] - before[proc.pid], others, open_connections
    finally:
        if proc is not None:
            stop_program(proc)
        if notes is not None:
            notes.stop()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--messages", type=int, default=10)
    parser.add_argument("--wakeups", type=int, default=60, help="idle seconds per state, 0 to skip")
    parser.add_argument("--idle-notify", default="", help="the server's imap_idle_notify_interval, e.g. '10 mins'")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if os.geteuid() != 0 or not shutil.which("dovecot"):
        print("FAIL needs root and dovecot")
        return 2
    users = ["imapuser", "popuser"] + ["wake%d" % i for i in range(10)]
    server = Dovecot(users, args.idle_notify)
    session = None
    try:
        for u in users[2:]:
            for i in range(3):
                server.deliver(u, "<%s-%d@mailvane.test>" % (u, i), "idle %d" % i)
        server.start()
        session = Session()
        latency = done_run(build, server, session, args.messages)
        if latency is not None:
            print("figure: delivery to notification %.3f s" % latency)
        if args.wakeups > 0:
            figures = {}
            for push in ("0", "1"):
                ok, main_sw, all_sw, open_connections = wakeups(build, server, session, args.wakeups, push)
                figures[push] = main_sw
                print("figure: ten IMAP mailboxes, Push=%s, idle %d s: main thread %d wake-ups, "
                      "other threads %d, %d IDLE connection(s) open" % (push, args.wakeups, main_sw, all_sw,
                                                                       open_connections), flush=True)
                check("wakeups: Push=%s state reached (all listed, connections as expected)" % push, ok)
            check("wakeups: main thread with push no busier than without", figures["1"] <= figures["0"],
                  "%d with push, %d without" % (figures["1"], figures["0"]))
    finally:
        if session:
            session.stop()
        server.stop()
    passed = sum(results)
    print("%d passed, %d failed" % (passed, len(results) - passed))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())

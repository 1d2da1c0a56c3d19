#!/usr/bin/env python3
"""Signing in through the browser (OAuth2), end to end with the real program, loopback only.

    scripts/bench/oauth_done.py BUILD_DIR

A private Dovecot (POP3S and IMAPS, a self-signed certificate pinned by the mailboxes) takes
XOAUTH2 through an oauth2 passdb that asks this script's small authorization server whether
a token is live. The program runs in Xvfb with openbox, from a copy of build/src/app, with
two mailboxes (POP3 and IMAP) set to Auth=OAuth2 and a provider given by hand that points at
the local server, and BROWSER set to a script that counts its calls, fetches the address it
is given and follows the redirects. Ctrl+C (through XTest) must authorize each mailbox in
the browser, log in and store the messages' IDs; after the access tokens have expired a
second Ctrl+C must refresh them without the browser and fetch a new message; Mailvane.ini
must hold no token. Needs root (Dovecot). Prints one PASS/FAIL line per item and exits
non-zero when any fails. Not part of the test suite.
"""
import base64
import hashlib
import http.server
import json
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
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tls_blackbox import check, free_port, results, run, wait_for  # noqa: E402
from xcheck import XKeys  # noqa: E402
import privdovecot  # noqa: E402

ADDRESS = "127.0.0.24"
DISPLAY = ":58"
USER = "oauthuser@mailvane.test"
CLIENT = "mailvane-done"
# Short, so that the second check finds the first access tokens expired (the program
# stops using a token at half its lifetime at the latest).
ACCESS_LIFETIME = 6


class AuthServer(http.server.ThreadingHTTPServer):
    """Authorize (approves at once and redirects), token (PKCE S256 checked, rotating
    refresh tokens) and userinfo (introspection for Dovecot)."""

    daemon_threads = True

    def __init__(self):
        super().__init__((ADDRESS, 0), AuthHandler)
        self.lock = threading.Lock()
        self.codes = {}        # code -> (challenge, redirect_uri)
        self.access = {}       # token -> expiry (monotonic)
        self.refresh = set()
        self.issued = []       # every token handed out
        self.grants = []       # grant_type of every token request
        self.bad_verifier = 0
        self.introspections = 0

    def url(self, path):
        return "http://%s:%d%s" % (ADDRESS, self.server_address[1], path)

    def issue(self):
        access = secrets.token_urlsafe(24)
        refresh = secrets.token_urlsafe(24)
        self.access[access] = time.monotonic() + ACCESS_LIFETIME
        self.refresh.add(refresh)
        self.issued += [access, refresh]
        return {"access_token": access, "refresh_token": refresh, "token_type": "Bearer",
                "expires_in": ACCESS_LIFETIME}


class AuthHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, code, body=b"", headers=()):
        self.send_response(code)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def json(self, code, obj):
        self.reply(code, json.dumps(obj).encode(), [("Content-Type", "application/json")])

    def do_GET(self):
        s = self.server
        url = urllib.parse.urlsplit(self.path)
        q = dict(urllib.parse.parse_qsl(url.query))
        if url.path == "/authorize":
            redirect = q.get("redirect_uri", "")
            host = urllib.parse.urlsplit(redirect).hostname
            if (q.get("client_id") != CLIENT or host != "127.0.0.1" or q.get("code_challenge_method") != "S256"
                    or not q.get("code_challenge") or not q.get("state")):
                return self.reply(400, b"bad authorize request")
            code = secrets.token_urlsafe(16)
            with s.lock:
                s.codes[code] = (q["code_challenge"], redirect)
            target = redirect + "?" + urllib.parse.urlencode({"code": code, "state": q["state"]})
            return self.reply(302, headers=[("Location", target)])
        if url.path == "/userinfo":
            with s.lock:
                s.introspections += 1
                auth = self.headers.get("Authorization", "")
                token = auth[7:].strip() if auth.startswith("Bearer ") else ""
                live = s.access.get(token, 0) > time.monotonic()
            return self.json(200, {"active": True, "email": USER} if live else {"active": False})
        return self.reply(404)

    def do_POST(self):
        s = self.server
        length = int(self.headers.get("Content-Length", "0"))
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        if urllib.parse.urlsplit(self.path).path != "/token":
            return self.reply(404)
        with s.lock:
            grant = form.get("grant_type", "")
            s.grants.append(grant)
            if form.get("client_id") != CLIENT:
                return self.json(401, {"error": "invalid_client"})
            if grant == "authorization_code":
                entry = s.codes.pop(form.get("code", ""), None)
                if not entry or entry[1] != form.get("redirect_uri"):
                    return self.json(400, {"error": "invalid_grant"})
                digest = hashlib.sha256(form.get("code_verifier", "").encode()).digest()
                if base64.urlsafe_b64encode(digest).rstrip(b"=").decode() != entry[0]:
                    s.bad_verifier += 1
                    return self.json(400, {"error": "invalid_grant"})
                return self.json(200, s.issue())
            if grant == "refresh_token":
                old = form.get("refresh_token", "")
                if old not in s.refresh:
                    return self.json(400, {"error": "invalid_grant"})
                s.refresh.discard(old)
                return self.json(200, s.issue())
        return self.json(400, {"error": "unsupported_grant_type"})


def make_dovecot(root, auth, pop3s, imaps):
    nobody = pwd.getpwnam("nobody")
    gid = nobody.pw_gid
    try:
        import grp
        gid = grp.getgrnam("nogroup").gr_gid
    except KeyError:
        pass
    run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", "server.key", "-out", "server.pem", "-days", "2", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=DNS:localhost,IP:" + ADDRESS], cwd=root)
    fp = run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", "server.pem"], cwd=root).stdout
    pin = fp.strip().split("=", 1)[1]
    maildir = os.path.join(root, "mail", USER, "Maildir")
    for sub in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(maildir, sub))
    for d in ("run", "state"):
        os.makedirs(os.path.join(root, d))
    for p in (os.path.join(root, "mail"), os.path.join(root, "mail", USER), maildir,
              *[os.path.join(maildir, s) for s in ("new", "cur", "tmp")]):
        os.chown(p, nobody.pw_uid, gid)
    with open(os.path.join(root, "oauth2.conf.ext"), "w") as f:
        f.write("introspection_mode = auth\nintrospection_url = %s\nusername_attribute = email\n"
                "force_introspection = yes\nactive_attribute = active\nactive_value = true\n" % auth.url("/userinfo"))
    conf = os.path.join(root, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(privdovecot.config(root, ADDRESS, {"pop3": pop3s, "imap": imaps},
                                       mechanisms="plain xoauth2 oauthbearer", passdb=privdovecot.OAUTH2,
                                       head="auth_verbose = yes\n"))
    return conf, pin, maildir, (nobody.pw_uid, gid)


def add_message(maildir, owner, n, tag):
    mid = "<oauth-%d-%s@mailvane.test>" % (n, tag)
    name = os.path.join(maildir, "new", "%d.M%dP1.mailvane" % (1700000000 + n, n))
    with open(name, "w") as f:
        f.write("Message-ID: %s\nDate: Mon, 1 Jan 2024 10:00:00 +0000\nFrom: a@example.test\n"
                "Subject: message %d\n\nbody %d\n" % (mid, n, n))
    os.chown(name, *owner)
    return mid


def section(ini, name):
    try:
        with open(ini, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return {}
    m = re.search(r"^\[%s\]\s*$(.*?)(^\[|\Z)" % re.escape(name), text, re.M | re.S)
    return dict(re.findall(r"^([^=\n]+)=(.*)$", m.group(1), re.M)) if m else {}


BROWSER = """#!/usr/bin/env python3
import sys, urllib.request
with open(%r, "a") as f:
    f.write("call\\n")
opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
opener.open(sys.argv[1], timeout=30).read()
"""


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    if os.geteuid() != 0 or not shutil.which("dovecot") or not shutil.which("Xvfb"):
        print("FAIL needs root, dovecot and Xvfb")
        return 1
    root = tempfile.mkdtemp(prefix="mv-oauth-")
    os.chmod(root, 0o755)
    auth = AuthServer()
    threading.Thread(target=auth.serve_forever, daemon=True).start()
    master = xvfb = wm = program = None
    try:
        pop3s, imaps = free_port(ADDRESS), free_port(ADDRESS)
        conf, pin, maildir, owner = make_dovecot(root, auth, pop3s, imaps)
        tag = secrets.token_hex(4)
        expected = [add_message(maildir, owner, n, tag) for n in (1, 2, 3)]
        subprocess.run(["dovecot", "-c", conf], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        pidfile = os.path.join(root, "run", "master.pid")
        wait_for(lambda: os.path.exists(pidfile), 10)
        with open(pidfile) as f:
            master = int(f.read().strip())

        work = os.path.join(root, "program")
        os.makedirs(work)
        for name in os.listdir(os.path.join(build, "src/app")):
            path = os.path.join(build, "src/app", name)
            if os.path.isfile(path):
                shutil.copy2(path, work)
        calls = os.path.join(root, "browser-calls")
        browser = os.path.join(root, "browser.py")
        with open(browser, "w") as f:
            f.write(BROWSER % calls)
        os.chmod(browser, 0o755)
        ini = os.path.join(work, "Mailvane.ini")
        provider = ("Security=TLS\nCertSha256=%s\nLogin=%s\nAuth=OAuth2\nOAuthAuthorizeUrl=%s\nOAuthTokenUrl=%s\n"
                    "OAuthScope=mail\nOAuthClientId=%s\nOAuthMechanism=XOAUTH2\n"
                    % (pin, USER, auth.url("/authorize"), auth.url("/token"), CLIENT))
        with open(ini, "w", encoding="utf-8") as f:
            f.write("[Option]\nStartupCheck=0\nShowWelcome=0\nUseKeyring=0\n[Server]\n0=PopBox\n1=ImapBox\n"
                    "[PopBox]\nHost=%s\nPort=%d\n%s[ImapBox]\nHost=%s\nPort=%d\nProtocol=IMAP\nPush=0\n%s"
                    % (ADDRESS, pop3s, provider, ADDRESS, imaps, provider))
        os.chmod(ini, 0o600)

        xvfb = subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_") and "proxy" not in k.lower()}
        env.update(DISPLAY=DISPLAY, LANG="C.UTF-8", BROWSER=browser, HOME=root)
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        program = subprocess.Popen([os.path.join(work, "mailvane")], env=env, cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        win = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(program.pid)],
                             env=env, capture_output=True, text=True, timeout=60).stdout.split()[0]
        time.sleep(1.5)
        keys = XKeys(DISPLAY)
        keys.prime()

        def browser_calls():
            try:
                with open(calls) as f:
                    return len(f.readlines())
            except OSError:
                return 0

        def stored(box, mids):
            ids = set(section(ini, "IDs:" + box).values())
            return len(ids) >= len(mids) if box == "ImapBox" else set(mids) <= ids

        def ctrl_c():
            subprocess.run(["xdotool", "windowactivate", "--sync", win], env=env, check=False)
            time.sleep(0.3)
            keys.chord("Control_L", "c")

        ctrl_c()
        both = wait_for(lambda: stored("PopBox", expected) and stored("ImapBox", expected), 90)
        check("Ctrl+C authorizes both mailboxes in the browser", browser_calls() == 2 and
              auth.grants.count("authorization_code") == 2,
              "%d browser call(s), grants %s" % (browser_calls(), auth.grants))
        check("the PKCE verifier matched the challenge", auth.bad_verifier == 0)
        with open(os.path.join(root, "dovecot.log"), errors="replace") as f:
            log = f.read()
        check("POP3 login with XOAUTH2", re.search(r"pop3-login: Info: Login: user=<%s>, method=XOAUTH2" %
                                                   re.escape(USER), log) is not None)
        check("IMAP login with XOAUTH2", re.search(r"imap-login: Info: Login: user=<%s>, method=XOAUTH2" %
                                                   re.escape(USER), log) is not None)
        check("the IDs are stored", both, "PopBox %d, ImapBox %d" % (len(section(ini, "IDs:PopBox")),
                                                                      len(section(ini, "IDs:ImapBox"))))

        # Past the access tokens' lifetime: the next check refreshes them, no browser.
        time.sleep(ACCESS_LIFETIME + 2)
        expected.append(add_message(maildir, owner, 4, tag))
        refreshes = auth.grants.count("refresh_token")
        ctrl_c()
        again = wait_for(lambda: stored("PopBox", expected) and stored("ImapBox", expected), 60)
        check("an expired token is refreshed without the browser", again and browser_calls() == 2 and
              auth.grants.count("refresh_token") >= refreshes + 2,
              "%d browser call(s), %d refresh(es)" % (browser_calls(), auth.grants.count("refresh_token") - refreshes))
        with open(ini, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        leaked = [t for t in auth.issued if t in text]
        check("Mailvane.ini holds no token", not leaked and "token=" not in text.lower(),
              "%d of %d tokens found" % (len(leaked), len(auth.issued)))
        keys.close()
    finally:
        if program is not None:
            program.send_signal(signal.SIGTERM)
            try:
                program.wait(timeout=30)
            except subprocess.TimeoutExpired:
                program.kill()
                program.wait()
        for p in (wm, xvfb):
            if p is not None:
                p.terminate()
                p.wait()
        if master:
            os.kill(master, signal.SIGTERM)
            wait_for(lambda: not os.path.exists("/proc/%d" % master), 5)
        auth.shutdown()
        shutil.rmtree(root, ignore_errors=True)
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main())

"""The configuration of a private Dovecot on a loopback address, TLS only, for the scripts
that run the real program against it."""

PASSWD_FILE = """passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {root}/passwd
}}
"""

OAUTH2 = """passdb {{
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = {root}/oauth2.conf.ext
}}
"""


def _listener(protocol, address, port):
    # The plain listener is closed: nothing but TLS is served.
    return f"""service {protocol}-login {{
  chroot =
  inet_listener {protocol} {{
    port = 0
  }}
  inet_listener {protocol}s {{
    address = {address}
    port = {port}
    ssl = yes
  }}
}}
"""


def config(root, address, ports, mechanisms="plain", passdb=PASSWD_FILE, head=""):
    """ports: protocol ("pop3", "imap") -> its TLS port, in the order served."""
    text = f"""base_dir = {root}/run
state_dir = {root}/state
log_path = {root}/dovecot.log
info_log_path = {root}/dovecot.log
{head}listen = {address}
protocols = {" ".join(ports)}
ssl = required
ssl_cert = <{root}/server.pem
ssl_key = <{root}/server.key
disable_plaintext_auth = yes
auth_mechanisms = {mechanisms}
auth_failure_delay = 0
mail_location = maildir:{root}/mail/%u/Maildir
mail_uid = nobody
mail_gid = nogroup
first_valid_uid = 0
default_login_user = nobody
default_internal_user = nobody
default_internal_group = nogroup
"""
    text += passdb.format(root=root)
    text += f"""userdb {{
  driver = static
  args = uid=nobody gid=nogroup home={root}/mail/%u
}}
"""
    for protocol, port in ports.items():
        text += _listener(protocol, address, port)
    text += """service anvil {
  chroot =
}
"""
    return text

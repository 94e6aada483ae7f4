#!/usr/bin/python3
"""Real mail servers for tests and the demo, on 127.0.0.1.

    mail_servers.py smtp --dir DIR [--port P] [--user U --password W]
                         [--auth-required] [--tls-cert C --tls-key K]
    mail_servers.py pop3 --dir DIR [--port P] [--user U --password W]
                         [--no-apop] [--tls-cert C --tls-key K]
    mail_servers.py ca --dir DIR     (a test CA and a certificate for 127.0.0.1)

smtp runs aiosmtpd: every mail it takes is written to DIR/NNNN.eml as the
client sent it, and DIR/sessions.log gets one line per event ("EHLO",
"AUTH ok LOGIN tester", "AUTH refused PLAIN tester", "MAIL ok", "MAIL
refused"; "EHLO TLS" after STARTTLS). With a user, AUTH LOGIN and PLAIN are offered; --auth-required
refuses mail from a client that did not log in. With a certificate, STARTTLS
is offered.

pop3 runs Dovecot as a child with a private configuration under DIR, one
user with an empty mailbox, APOP offered unless --no-apop. With a
certificate, the port speaks TLS from the start.

Both print "READY <port>" on stdout once they answer and stop when stdin
closes (the test that started them went away) or on SIGTERM; with
--parent-watch they ignore stdin and stop when their parent ends instead
(for scripts such as the demo).
"""

import argparse
import asyncio
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return True
        except OSError:
            time.sleep(0.02)
    return False


def wait_for_end(stop, parent_watch=False):
    """Returns when stdin closes (or the parent ends) or a SIGTERM arrives."""
    done = threading.Event()
    parent = os.getppid()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        except OSError:
            pass
        done.set()

    if not parent_watch:
        threading.Thread(target=watch_stdin, daemon=True).start()
    while not done.wait(0.2):
        if parent_watch and os.getppid() != parent:
            break
    stop()


def run_smtp(args):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult

    os.makedirs(args.dir, exist_ok=True)
    log_path = os.path.join(args.dir, "sessions.log")
    lock = threading.Lock()

    def log(line):
        with lock, open(log_path, "a", encoding="utf-8") as f:
            f.write(line + "\n")

    class Handler:
        count = 0

        async def handle_EHLO(self, server, session, envelope, hostname, responses):
            session.host_name = hostname
            log("EHLO TLS" if session.ssl else "EHLO")
            return responses

        async def handle_MAIL(self, server, session, envelope, address, mail_options):
            if args.auth_required and not session.authenticated:
                log("MAIL refused")
                return "530 5.7.0 Authentication required"
            envelope.mail_from = address
            envelope.mail_options.extend(mail_options)
            log("MAIL ok")
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            with lock:
                Handler.count += 1
                name = os.path.join(args.dir, "%04d.eml" % Handler.count)
            with open(name + ".part", "wb") as f:
                f.write(envelope.original_content)
            os.rename(name + ".part", name)
            log("DATA " + " ".join(envelope.rcpt_tos))
            return "250 Message accepted for delivery"

    def authenticator(server, session, envelope, mechanism, auth_data):
        login = auth_data.login.decode("utf-8", "replace")
        password = auth_data.password.decode("utf-8", "replace")
        ok = login == args.user and password == args.password
        log("AUTH %s %s %s" % ("ok" if ok else "refused", mechanism, login))
        # handled=False: aiosmtpd answers 535 itself; True would leave the client waiting.
        return AuthResult(success=ok, handled=False)

    tls = None
    if args.tls_cert:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.tls_cert, args.tls_key)
    port = args.port or free_port()
    kwargs = dict(hostname="127.0.0.1", port=port, auth_require_tls=False,
                  auth_required=False)
    if args.user:
        kwargs["authenticator"] = authenticator
    if tls:
        kwargs["tls_context"] = tls
    controller = Controller(Handler(), **kwargs)
    controller.start()
    print("READY %d" % port, flush=True)
    wait_for_end(controller.stop, args.parent_watch)


DOVECOT_CONF = """protocols = pop3
listen = 127.0.0.1
ssl = {ssl}
{ssl_files}
disable_plaintext_auth = no
auth_mechanisms = {mechanisms}
base_dir = {dir}/run
log_path = {dir}/dovecot.log
mail_location = maildir:{dir}/mail/%u
service pop3-login {{
  inet_listener pop3 {{
    port = {port}
    {ssl_listener}
  }}
}}
passdb {{
  driver = passwd-file
  args = {dir}/users
}}
userdb {{
  driver = passwd-file
  args = {dir}/users
}}
"""


def run_pop3(args):
    folder = os.path.abspath(args.dir)
    os.makedirs(os.path.join(folder, "run"), exist_ok=True)
    mailbox = os.path.join(folder, "mail", args.user)
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(mailbox, sub), exist_ok=True)
    # Dovecot refuses uid 0 for a mailbox; nobody owns it.
    for root, dirs, _ in os.walk(os.path.join(folder, "mail")):
        os.chown(root, 65534, 65534)
        for d in dirs:
            os.chown(os.path.join(root, d), 65534, 65534)
    os.makedirs(os.path.join(folder, "home", args.user), exist_ok=True)
    with open(os.path.join(folder, "users"), "w") as f:
        f.write("%s:{PLAIN}%s:65534:65534::%s/home/%s::\n"
                % (args.user, args.password, folder, args.user))
    port = args.port or free_port()
    tls = bool(args.tls_cert)
    conf = DOVECOT_CONF.format(
        dir=folder, port=port,
        ssl="required" if tls else "no",
        ssl_files=("ssl_cert = <%s\nssl_key = <%s" % (args.tls_cert, args.tls_key)) if tls else "",
        ssl_listener="ssl = yes" if tls else "",
        mechanisms="plain login" if args.no_apop else "plain login apop")
    conf_path = os.path.join(folder, "dovecot.conf")
    with open(conf_path, "w") as f:
        f.write(conf)
    child = subprocess.Popen(["dovecot", "-c", conf_path, "-F"],
                             stdin=subprocess.DEVNULL)
    if not wait_for_port(port):
        child.terminate()
        child.wait()
        log = os.path.join(folder, "dovecot.log")
        sys.stderr.write(open(log).read() if os.path.exists(log) else "dovecot did not start\n")
        sys.exit(1)
    print("READY %d" % port, flush=True)

    def stop():
        child.terminate()
        try:
            child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()

    wait_for_end(stop, args.parent_watch)


def run_ca(args):
    """A test CA and a server certificate for 127.0.0.1 signed by it."""
    d = os.path.abspath(args.dir)
    os.makedirs(d, exist_ok=True)

    def openssl(*a):
        subprocess.run(["openssl", *a], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
            "-subj", "/CN=Yagura Test CA", "-keyout", d + "/ca.key", "-out", d + "/ca.pem")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
            "-keyout", d + "/server.key", "-out", d + "/server.csr")
    with open(d + "/ext.cnf", "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    openssl("x509", "-req", "-in", d + "/server.csr", "-CA", d + "/ca.pem", "-CAkey",
            d + "/ca.key", "-CAcreateserial", "-days", "2", "-extfile", d + "/ext.cnf",
            "-out", d + "/server.pem")
    print("READY 0", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["smtp", "pop3", "ca"])
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--auth-required", action="store_true")
    parser.add_argument("--no-apop", action="store_true")
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    parser.add_argument("--parent-watch", action="store_true")
    args = parser.parse_args()
    {"smtp": run_smtp, "pop3": run_pop3, "ca": run_ca}[args.kind](args)


if __name__ == "__main__":
    main()

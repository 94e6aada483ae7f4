#!/usr/bin/python3
"""The real monitor mails a thread it finds on the demo board, end to end.

A private nginx serves a board kept by tools/demo/board_sim.py with a new
thread whose title holds pair A's words and characters outside ISO-2022-JP;
Dovecot (POP before SMTP) and aiosmtpd (AUTH LOGIN) run on 127.0.0.1; the
real `yagura --headless /autorun` runs one cycle from a program folder of its
own. The test reads the mail aiosmtpd received with Python's email package
and checks its subject, the thread's block with the first post, the X-Mailer
line, the POP3 login and the mailed list.

    mail_e2e.py PROGRAM_DIR BOARD_SIM MAIL_SERVERS [tls]

With "tls", aiosmtpd offers STARTTLS with a certificate of a test CA that
the monitor is given through YAGURA_TEST_MAIL_CA_FILE, and the mail must go
over TLS.

Prints one line per check and "N passed, N failed" at the end.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from email import policy
from email.parser import BytesParser

PROGRAM_DIR, BOARD_SIM, MAIL_SERVERS = sys.argv[1], sys.argv[2], sys.argv[3]
TLS = len(sys.argv) > 4 and sys.argv[4] == "tls"
PYTHON = "/usr/bin/python3"
WAITING = "実行待機中...("
TITLE = "ねこ画像①㈱髙﨑スレ"

passed = failed = 0


def check(ok, what, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"ok   {what}", flush=True)
    else:
        failed += 1
        print(f"FAIL {what}" + (f": {detail}" if detail else ""), flush=True)
    return ok


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_mail_server(kind, folder, extra=()):
    process = subprocess.Popen([PYTHON, MAIL_SERVERS, kind, "--dir", folder, "--user", "tester",
                                "--password", "secret", *extra],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    line = process.stdout.readline().decode()
    if not line.startswith("READY "):
        raise RuntimeError(f"{kind} server did not start: {line!r}")
    return process, int(line.split()[1])


def stop(process):
    if process.poll() is None:
        try:
            process.stdin.close()
            process.wait(15)
        except (OSError, subprocess.TimeoutExpired):
            process.kill()
            process.wait()


def scrambled(password):
    # The settings file keeps passwords with every byte shifted down by 10.
    return "".join(chr(ord(c) - 10) for c in password)


def main():
    for tool in ("nginx", "dovecot"):
        if shutil.which(tool) is None:
            print(f"mail_e2e: {tool} is missing (tools/install_packages.sh installs it)")
            return 1
    folder = tempfile.mkdtemp(prefix="yagura_mail_e2e_")
    os.chmod(folder, 0o755)  # nginx's workers and Dovecot's auth run as other users
    server = os.path.join(folder, "server")
    www = os.path.join(server, "www")
    os.makedirs(os.path.join(server, "tmp"))
    os.makedirs(www)
    for d in (server, www):
        os.chmod(d, 0o755)
    port = free_port()
    with open(os.path.join(server, "nginx.conf"), "w") as f:
        f.write(f"""daemon off;
pid nginx.pid;
error_log error.log;
worker_processes 1;
events {{ worker_connections 64; }}
http {{
  access_log access.log;
  client_body_temp_path tmp/body; proxy_temp_path tmp/proxy; fastcgi_temp_path tmp/fastcgi;
  uwsgi_temp_path tmp/uwsgi; scgi_temp_path tmp/scgi;
  types {{ text/plain txt dat; text/html html; }}
  server {{ listen 127.0.0.1:{port}; root {www}; }}
}}
""")
    state = os.path.join(server, "board_state.json")

    def sim(*args):
        return subprocess.run([PYTHON, BOARD_SIM, "--root", www, "--state", state, *args],
                              check=True, capture_output=True, text=True).stdout

    sim("init", "--board", "demo", "--threads", "3")
    key = sim("new", TITLE, "--posts", "3").split('"key": "')[1].split('"')[0]
    first_line = open(os.path.join(www, "demo", "dat", key + ".dat"), "rb").read()
    first_line = first_line.split(b"\n")[0].decode("cp932")

    nginx = subprocess.Popen(["nginx", "-p", server + "/", "-c", "nginx.conf", "-e", "error.log"])
    pop, pop_port = start_mail_server("pop3", os.path.join(folder, "pop3"))
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    tls_args = ()
    if TLS:
        ca = os.path.join(folder, "ca")
        subprocess.run([PYTHON, MAIL_SERVERS, "ca", "--dir", ca], check=True,
                       stdout=subprocess.DEVNULL)
        tls_args = ("--tls-cert", ca + "/server.pem", "--tls-key", ca + "/server.key")
        env["YAGURA_TEST_MAIL_CA_FILE"] = ca + "/ca.pem"
    smtp, smtp_port = start_mail_server("smtp", os.path.join(folder, "smtp"), tls_args)
    monitor = None
    try:
        program = os.path.join(folder, "program")
        os.makedirs(program)
        shutil.copy(os.path.join(PROGRAM_DIR, "yagura"), program)
        lines = [
            ";---Yagura 設定ファイル", ";板URL", f"brdurl=http://127.0.0.1:{port}/demo/",
            ";更新確認間隔", "checktime= 0",
            ";ワードAの設定", "worda1=ねこ", "worda2=画像",
            "checka1=1", "checka2=0", "checka3=0", "checka4=0", "checka5=0",
            ";メールの設定", "mailfrom=yagura@example.com", "mailto=me@example.com",
            f"mailpop3hostport=127.0.0.1:{pop_port}", "mailpop3user=tester",
            "mailpop3pass=" + scrambled("secret"),
            f"mailsmtphostport=127.0.0.1:{smtp_port}", "mailsmtpuser=tester",
            "mailsmtppass=" + scrambled("secret"), ";---Yagura 設定ファイル",
        ]
        with open(os.path.join(program, "yagura.ini"), "wb") as f:
            f.write("".join(line + "\r\n" for line in lines).encode("cp932"))
        out_path = os.path.join(program, "stdout.txt")
        with open(out_path, "wb") as out:
            monitor = subprocess.Popen([os.path.join(program, "yagura"), "--headless", "/autorun"],
                                       cwd=program, stdout=out, stderr=subprocess.STDOUT, env=env)
            deadline = time.monotonic() + 60
            text = ""
            while time.monotonic() < deadline and monitor.poll() is None:
                text = open(out_path, "rb").read().decode("utf-8", "replace")
                if text.count(WAITING) >= 2:
                    break
                time.sleep(0.2)
        check(text.count(WAITING) >= 2, "one cycle ran", text[-2000:])

        mails = sorted(n for n in os.listdir(os.path.join(folder, "smtp")) if n.endswith(".eml"))
        if not check(len(mails) == 1, "aiosmtpd received one mail", repr(mails) + text[-2000:]):
            return 1
        raw = open(os.path.join(folder, "smtp", mails[0]), "rb").read()
        mail = BytesParser(policy=policy.default).parsebytes(raw)
        subject = str(mail["subject"])
        check("スレッドを発見@" in subject and subject.endswith(" - Yagura"),
              "the subject counts the threads found, with date and program", subject)
        check(mail["x-mailer"] == "Yagura Version 0.3.86", "X-Mailer names the program",
              str(mail["x-mailer"]))
        body = mail.get_body(preferencelist=("plain",)).get_content()
        check(f":{TITLE}\r\nhttp://127.0.0.1:{port}/test/read.cgi/demo/{key}/\r\n" in body,
              "the thread's block holds its title and page address, characters intact", body)
        name, mail_field, date, post = first_line.split("<>")[:4]
        check(f"1 名前:{name}\r\n" in body and f"投稿日、ID:{date}\r\n" in body,
              "the first post's name and date are in the mail")
        pieces = [p.strip() for p in post.split("<br>") if p.strip()]
        check(all(p in body for p in pieces), "the first post's text is in the mail",
              repr(pieces))
        sessions = open(os.path.join(folder, "smtp", "sessions.log"), "rb").read()
        check(b"AUTH ok LOGIN tester" in sessions, "the SMTP login was LOGIN")
        if TLS:
            check(sessions.startswith(b"EHLO\nEHLO TLS\nAUTH ok"),
                  "STARTTLS came before the login", repr(sessions))
        dovecot_log = open(os.path.join(folder, "pop3", "dovecot.log"), "rb").read()
        check(b"pop3-login: Info: Login: user=<tester>" in dovecot_log,
              "POP before SMTP logged in to Dovecot")
    finally:
        if monitor is not None and monitor.poll() is None:
            monitor.terminate()
            try:
                monitor.wait(20)
            except subprocess.TimeoutExpired:
                monitor.kill()
                monitor.wait()
        stop(smtp)
        stop(pop)
        if nginx.poll() is None:
            nginx.terminate()
            nginx.wait()
    mailed = open(os.path.join(program, "yagura_Thread.lst"), "rb").read().decode("cp932")
    check(f"{key}.dat<>{TITLE} (3)" in mailed, "the mailed list holds the thread after the exit",
          mailed)
    shutil.rmtree(folder, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

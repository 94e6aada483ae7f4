"""Shared parts of the monitor's end-to-end tests: a tally of checks, a board
kept by tools/demo/board_sim.py behind a private nginx (plain or https with a
test certificate authority made at run time), a program folder holding the
real yagura and shoin, and the headless monitor running in it."""

import glob
import os
import re
import shutil
import signal
import socket
import subprocess
import time

PYTHON = "/usr/bin/python3"
WAITING = "実行待機中...("  # logged at the start and at the end of every cycle


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def __call__(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print(f"ok   {what}", flush=True)
        else:
            self.failed += 1
            print(f"FAIL {what}" + (f": {detail}" if detail else ""), flush=True)
        return ok

    def summary(self):
        print(f"{self.passed} passed, {self.failed} failed", flush=True)
        return 0 if self.failed == 0 else 1


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_test_ca(folder):
    """A CA and a certificate for 127.0.0.1 signed by it: (ca.pem, cert, key)."""
    os.makedirs(folder, exist_ok=True)

    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    ca, cert, key = (os.path.join(folder, n) for n in ("ca.pem", "server.pem", "server.key"))
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
            "/CN=Yagura Test CA", "-keyout", os.path.join(folder, "ca.key"), "-out", ca)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", key,
            "-out", os.path.join(folder, "server.csr"))
    with open(os.path.join(folder, "ext.cnf"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    openssl("x509", "-req", "-in", os.path.join(folder, "server.csr"), "-CA", ca, "-CAkey",
            os.path.join(folder, "ca.key"), "-CAcreateserial", "-days", "2", "-extfile",
            os.path.join(folder, "ext.cnf"), "-out", cert)
    return ca, cert, key


class Board:
    """nginx on 127.0.0.1 serving the simulator's board folder `demo`."""

    def __init__(self, folder, board_sim, tls=None, rate=None):
        """tls: (certificate, key) for an https listener; rate: bytes a
        second nginx sends each answer at (slows downloads down)."""
        self.board_sim = board_sim
        self.server = os.path.join(folder, "server")
        self.www = os.path.join(self.server, "www")
        self.state = os.path.join(self.server, "board_state.json")
        os.makedirs(os.path.join(self.server, "tmp"))
        os.makedirs(self.www)
        for d in (folder, self.server, self.www):
            os.chmod(d, 0o755)  # nginx's workers run as nobody
        self.port = free_port()
        scheme = "https" if tls else "http"
        self.url = f"{scheme}://127.0.0.1:{self.port}/demo/"
        listen = f"127.0.0.1:{self.port}" + (" ssl" if tls else "")
        extra = f"ssl_certificate {tls[0]}; ssl_certificate_key {tls[1]};" if tls else ""
        if rate:
            extra += f" limit_rate {rate};"
        with open(os.path.join(self.server, "nginx.conf"), "w") as f:
            f.write(f"""daemon off;
pid nginx.pid;
error_log error.log;
worker_processes 1;
events {{ worker_connections 64; }}
http {{
  log_format probe '$request|$status|$http_user_agent|$http_range|$http_if_modified_since';
  access_log access.log probe;
  client_body_temp_path tmp/body; proxy_temp_path tmp/proxy; fastcgi_temp_path tmp/fastcgi;
  uwsgi_temp_path tmp/uwsgi; scgi_temp_path tmp/scgi;
  types {{ text/plain txt dat; text/html html; }}
  server {{ listen {listen}; root {self.www}; {extra} }}
}}
""")
        self.nginx = subprocess.Popen(["nginx", "-p", self.server + "/", "-c", "nginx.conf",
                                       "-e", "error.log"])
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                break
            except OSError:
                time.sleep(0.05)

    def sim(self, *args):
        return subprocess.run([PYTHON, self.board_sim, "--root", self.www, "--state",
                               self.state, *args], check=True, capture_output=True,
                              text=True).stdout

    def new(self, title, posts):
        return self.sim("new", title, "--posts", str(posts)).split('"key": "')[1].split('"')[0]

    def dat_path(self, key):
        return os.path.join(self.www, "demo", "dat", key + ".dat")

    def dat(self, key):
        return read(self.dat_path(key))

    def requests(self):
        path = os.path.join(self.server, "access.log")
        if not os.path.exists(path):
            return []
        return read(path).decode("utf-8", "replace").splitlines()

    def stop(self):
        if self.nginx.poll() is None:
            self.nginx.terminate()
            try:
                self.nginx.wait(5)
            except subprocess.TimeoutExpired:
                self.nginx.kill()
                self.nginx.wait()


def make_program(folder, program_dir, shoin=True):
    """A program folder with the real yagura (and shoin beside it)."""
    program = os.path.join(folder, "program")
    os.makedirs(program, exist_ok=True)
    shutil.copy2(os.path.join(program_dir, "yagura"), os.path.join(program, "yagura"))
    if shoin:
        shutil.copytree(os.path.join(program_dir, "shoin"), os.path.join(program, "shoin"))
    return program


def write_settings(program, board_url, words_a=("ネコ", "画像"), twitter=True):
    """Settings with word pair A (downloads; Twitter announcements when
    `twitter`) and no mail."""
    lines = [
        ";---Yagura 設定ファイル", ";板URL", "brdurl=" + board_url, ";更新確認間隔",
        "checktime= 0", ";ワードAの設定", "worda1=" + words_a[0], "worda2=" + words_a[1],
        "checka1=0", "checka2=1", "checka3=0", "checka4=0", "checka5=" + ("1" if twitter else "0"),
        ";メールの設定", "mailto=%none%", ";---Yagura 設定ファイル",
    ]
    with open(os.path.join(program, "yagura.ini"), "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("cp932"))


class Monitor:
    """`yagura --headless /autorun /ownermode` in its program folder, its
    output appended to stdout.txt there (or to out_path)."""

    def __init__(self, program, env_extra=None, out_path=None):
        self.program = program
        self.out_path = out_path or os.path.join(program, "stdout.txt")
        self.start_offset = os.path.getsize(self.out_path) if os.path.exists(self.out_path) else 0
        self.out = open(self.out_path, "ab")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(env_extra or {})
        self.process = subprocess.Popen(
            [os.path.join(program, "yagura"), "--headless", "/autorun", "/ownermode"],
            cwd=program, stdout=self.out, stderr=subprocess.STDOUT, env=env)

    def text(self):
        """The output of this run."""
        with open(self.out_path, "rb") as f:
            f.seek(self.start_offset)
            return f.read().decode("utf-8", "replace")

    def wait_for(self, predicate, limit):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if predicate(self.text()):
                return True
            if self.process.poll() is not None:
                return predicate(self.text())
            time.sleep(0.05)
        return False

    def wait_for_cycle_end(self, cycles, limit=60):
        """Waits until `cycles` cycles of this run have ended."""
        return self.wait_for(lambda t: t.count(WAITING) >= cycles + 1, limit)

    def terminate(self, limit=20):
        """SIGTERM; the exit code, or None when it did not end in time."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(limit)
        except subprocess.TimeoutExpired:
            code = None
        self.stop()
        return code

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.out.close()

    stop = kill


def missing_tool(tools):
    """The name of the first missing tool, or None."""
    for tool in tools:
        if shutil.which(tool) is None:
            return tool
    return None


LIST_ENDS = {  # list file: (first line holds, last line holds)
    "yagura_Thread.lst": ("メール送信済みスレッド情報リスト", "メール送信済みスレッド情報リスト"),
    "yagura_Dat1001.lst": ("dat落ちスレッド情報リスト", "dat落ちスレッド情報リスト"),
    "yagura_Gumtape.lst": ("メール送信済みガムテパスリスト", "メール送信済みガムテパスリスト"),
    "yagura_dat.lst": ("ダウンロード予定datリスト(", "終わり"),
}


def content_length(head):
    found = re.search(rb"Content-Length: *(\d+)", head)
    return int(found.group(1)) if found else None


def state_faults(program, server_logs):
    """What is wrong with the monitor's files after a kill (empty: nothing).
    server_logs: key -> the server's log (for a dropped thread, as it was),
    or a tuple of the logs it may be a prefix of."""
    faults = []
    settings = read(os.path.join(program, "yagura.ini"))
    lines = settings.count(b"\r\n")
    if lines != 44 or not settings.endswith(b"\r\n"):
        faults.append(f"yagura.ini has {lines} lines")
    for name, (first, last) in LIST_ENDS.items():
        path = os.path.join(program, name)
        if not os.path.exists(path):
            continue
        lines = read(path).decode("cp932", "replace").split("\r\n")
        if len(lines) < 3 or first not in lines[0] or last not in lines[-2] or lines[-1] != "":
            faults.append(f"{name} lacks its first or last line: {lines[:1]} ... {lines[-2:]}")
    queue = os.path.join(program, "yagura_Twitter.dat")
    if os.path.exists(queue) and not read(queue).endswith(b"\t"):
        faults.append(f"the Twitter queue does not end with a TAB: {read(queue)[-80:]!r}")
    for path in glob.glob(os.path.join(program, "dat", "*.dat")):
        key = os.path.basename(path)[:-4]
        log = read(path)
        server = server_logs.get(key)
        # A tuple: the log may be a prefix of any of them (a thread with a
        # deleted post, while the log from before is still kept).
        servers = server if isinstance(server, tuple) else (server,)
        if not any(s is not None and s.startswith(log) for s in servers):
            faults.append(f"{key}.dat ({len(log)} bytes) is no prefix of the server's log")
        head = path + ".head"
        if os.path.exists(head) and content_length(read(head)) != len(log):
            faults.append(f"{key}.dat.head says {content_length(read(head))} bytes, "
                          f"the log has {len(log)}")
    return faults

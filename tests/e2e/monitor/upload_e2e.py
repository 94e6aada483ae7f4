#!/usr/bin/python3
"""The real monitor uploads a dropped thread's archive and page, end to end.

A private nginx serves the demo board (tools/demo/board_sim.py) and a private
lighttpd runs the uploader CGI (tests/servers/uploader) on a port of its own,
asking for an upload key. The real `yagura --headless /autorun /ownermode`
follows one thread with pair A, whose upload box is checked, and the
uploader box is checked too. The thread drops off the board after the first
cycle; in the second the monitor archives it, converts it and uploads both
files: they must arrive byte for byte, with the fields the uploader expects.

    upload_e2e.py PROGRAM_DIR BOARD_SIM UPLOADER_SERVER

Prints one line per check and "N passed, N failed" at the end.
"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import monitor_e2e  # noqa: E402  (Board, Monitor and check come from there)
from monitor_e2e import Board, Monitor, check, read  # noqa: E402
from board_server import free_port  # noqa: E402

PROGRAM_DIR, BOARD_SIM, UPLOADER_SERVER = sys.argv[1], sys.argv[2], sys.argv[3]
DETAIL = "\uff08\uff1b\u00b4\u03c9\u0060\uff09"
KEY = "demo-key"
PASS = "delpw"


def scrambled(text):
    """A password as the settings file keeps it."""
    return bytes(b - 10 for b in text.encode("ascii"))


def write_settings(program, board_url, uploader_url):
    lines = [
        ";---Yagura 設定ファイル", ";板URL", "brdurl=" + board_url, ";更新確認間隔", "checktime= 0",
        ";ワードAの設定", "worda1=ネコ", "worda2=画像",
        "checka1=0", "checka2=1", "checka3=0", "checka4=1", "checka5=0",
        ";CGIの設定", "cgitype=1", f"cgiurl=postkey={KEY}&cgiurl={uploader_url}",
        ";メールの設定", "mailto=%none%",
    ]
    data = "".join(line + "\r\n" for line in lines).encode("cp932")
    data += b"cgipass=" + scrambled(PASS) + b"\r\n"
    data += ";---Yagura 設定ファイル\r\n".encode("cp932")
    with open(os.path.join(program, "yagura.ini"), "wb") as f:
        f.write(data)


class Uploader:
    def __init__(self, folder):
        self.folder = folder
        self.port = free_port()
        self.url = f"http://127.0.0.1:{self.port}/up.cgi"
        self.process = subprocess.Popen(["bash", UPLOADER_SERVER, folder, str(self.port),
                                         "--key", KEY], stdout=subprocess.DEVNULL)
        self.wait()

    def wait(self):
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return
            except OSError:
                time.sleep(0.05)

    def stored(self):
        store = os.path.join(self.folder, "store")
        return {n: read(os.path.join(store, n)) for n in sorted(os.listdir(store))}

    def log(self):
        path = os.path.join(self.folder, "uploads.log")
        return read(path).decode("utf-8", "replace") if os.path.exists(path) else ""

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def main():
    for tool in ("nginx", "lighttpd"):
        if shutil.which(tool) is None:
            print(f"upload_e2e: {tool} is missing (tools/install_packages.sh installs it)")
            return 1
    folder = tempfile.mkdtemp(prefix="yagura_upload_e2e_")
    board = monitor = uploader = None
    try:
        board = Board(folder, BOARD_SIM)
        uploader = Uploader(os.path.join(folder, "uploader"))
        check(board.nginx.poll() is None and uploader.process.poll() is None,
              "nginx and the uploader are up")
        program = os.path.join(folder, "program")
        dat_folder = os.path.join(program, "dat")
        os.makedirs(program)
        shutil.copy2(os.path.join(PROGRAM_DIR, "yagura"), os.path.join(program, "yagura"))
        shutil.copytree(os.path.join(PROGRAM_DIR, "shoin"), os.path.join(program, "shoin"))
        write_settings(program, board.url, uploader.url)

        board.sim("init", "--board", "demo", "--threads", "0")
        dropping = board.new("ネコの画像を貼るスレ Part1", 5)
        board.new("雑談スレ＠のんびり 4", 3)

        monitor = Monitor(program)
        if not check(monitor.wait_for_cycle_end(1), "cycle 1 ends", monitor.text()[-2000:]):
            return 1
        check(uploader.stored() == {}, "nothing is uploaded while the thread is on the board")
        board.sim("drop", dropping)
        if not check(monitor.wait_for_cycle_end(2), "cycle 2 ends", monitor.text()[-2000:]):
            return 1

        log = monitor.text()
        for kind in ("LZHファイル", "htmlファイル"):
            check(f"{DETAIL}\"{dropping}.dat\"の{kind}をSn Uploaderへアップロードしています...("
                  in log and f"{DETAIL}{kind}をアップロードしました(" in log,
                  f"the log says the {kind} was uploaded", log[-3000:])
        archive = read(os.path.join(dat_folder, dropping + ".lzh"))
        page = read(os.path.join(dat_folder, dropping + ".html"))
        stored = uploader.stored()
        check(list(stored.values()) == [archive, page],
              "the archive, then the page, arrived byte for byte", str(list(stored)))
        address = f"http://127.0.0.1:{board.port}/test/read.cgi/demo/{dropping}/"
        sent = uploader.log()
        check(f"field pass={PASS}\nfield comment=dat {address}\nfield jcode=??\n"
              f"field postkey={KEY}\nfile upfile={dropping}.lzh size={len(archive)}" in sent,
              "the archive went with its fields and the upload key", sent)
        check(f"field comment=html {address}\n" in sent and f"upfile={dropping}.html" in sent,
              "the page went with its comment", sent)

        monitor.process.send_signal(signal.SIGTERM)
        try:
            code = monitor.process.wait(20)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, "SIGTERM ends the monitor with exit code 0", str(code))
    finally:
        if monitor:
            monitor.stop()
        if uploader:
            uploader.stop()
        if board:
            board.stop()
        if monitor_e2e.failed == 0:
            shutil.rmtree(folder, ignore_errors=True)
        else:
            print(f"upload_e2e: files kept in {folder}")
    print(f"{monitor_e2e.passed} passed, {monitor_e2e.failed} failed")
    return 0 if monitor_e2e.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

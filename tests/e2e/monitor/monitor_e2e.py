#!/usr/bin/python3
"""The real monitor against the demo board, end to end.

A private nginx on 127.0.0.1 serves a board kept by tools/demo/board_sim.py;
the real `yagura --headless /autorun /ownermode` runs from a program folder of
its own (beside a copy of shoin) with the 30-second interval. Over three
cycles the board changes (new posts, a deleted post, a new thread, a drop)
and then stays still; the test checks the monitor's files, the archive and
page of the dropped thread, the Twitter queue, the requests nginx logged, and
a clean exit on SIGTERM with the settings and lists saved.

    monitor_e2e.py PROGRAM_DIR BOARD_SIM

Prints one line per check and "N passed, N failed" at the end.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from board_server import Board, read

PROGRAM_DIR, BOARD_SIM = sys.argv[1], sys.argv[2]
PYTHON = "/usr/bin/python3"
DETAIL = "\uff08\uff1b\u00b4\u03c9\u0060\uff09"
WAITING = "実行待機中...("
CYCLE_LIMIT = 60  # seconds one cycle may take before the test gives up

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


def write_settings(program, board_url):
    # Pair A downloads and queues Twitter announcements; pair B only downloads.
    # One dropping thread holds pair A's words as written here, another in
    # half-width form, which only the folded matching finds.
    lines = [
        ";---Yagura 設定ファイル", ";板URL", "brdurl=" + board_url, ";更新確認間隔", "checktime= 0",
        ";ワードAの設定", "worda1=ネコ", "worda2=画像",
        "checka1=0", "checka2=1", "checka3=0", "checka4=0", "checka5=1",
        ";ワードBの設定", "wordb1=ニュース", "wordb2=速報",
        "checkb1=0", "checkb2=1", "checkb3=0", "checkb4=0", "checkb5=0",
        ";メールの設定", "mailto=%none%", ";---Yagura 設定ファイル",
    ]
    with open(os.path.join(program, "yagura.ini"), "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("cp932"))


class Monitor:
    def __init__(self, program):
        self.program = program
        self.out_path = os.path.join(program, "stdout.txt")
        self.out = open(self.out_path, "wb")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.process = subprocess.Popen(
            [os.path.join(program, "yagura"), "--headless", "/autorun", "/ownermode"],
            cwd=program, stdout=self.out, stderr=subprocess.STDOUT, env=env)

    def text(self):
        return read(self.out_path).decode("utf-8", "replace")

    def wait_for_cycle_end(self, cycles):
        """Waits until `cycles` cycles have ended (the start logs one
        waiting line, each cycle's end another)."""
        deadline = time.monotonic() + CYCLE_LIMIT
        while time.monotonic() < deadline:
            if self.text().count(WAITING) >= cycles + 1:
                time.sleep(0.3)  # nginx writes its log line after answering
                return True
            if self.process.poll() is not None:
                return False
            time.sleep(0.1)
        return False

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.out.close()


def check_logs_match(board, dat_folder, keys, when):
    for key in keys:
        local = os.path.join(dat_folder, key + ".dat")
        same = os.path.exists(local) and read(local) == board.dat(key)
        check(same, f"{when}: {key}.dat is byte-identical to the board's")


def check_archive(dat_folder, key, original):
    archive = os.path.join(dat_folder, key + ".lzh")
    if not check(os.path.exists(archive), f"{key}.lzh beside the log of the dropped thread"):
        return
    listing = subprocess.run(["lhasa", "t", archive], capture_output=True).stdout
    # lhasa rewrites its progress line with CR and pads the last one.
    records = [r.rstrip(b" ") for r in listing.replace(b"\n", b"\r").split(b"\r")]
    check(f"{key}.dat\t- Tested".encode() in records, "lhasa t tests the archive",
          repr(listing))
    unpacked = subprocess.run(["lhasa", "pq", archive], capture_output=True).stdout
    check(unpacked == original, "lhasa pq gives the log back byte for byte")
    seven = subprocess.run(["7z", "t", archive], capture_output=True, text=True)
    check(seven.returncode == 0 and "Everything is Ok" in seven.stdout, "7z t tests the archive",
          seven.stdout[-300:])


def main():
    for tool in ("nginx", "lhasa", "7z"):
        if shutil.which(tool) is None:
            print(f"monitor_e2e: {tool} is missing (tools/install_packages.sh installs it)")
            return 1
    if not os.access(os.path.join(PROGRAM_DIR, "yagura"), os.X_OK):
        print(f"monitor_e2e: {PROGRAM_DIR}/yagura is missing; build it first")
        return 1

    folder = tempfile.mkdtemp(prefix="yagura_e2e_")
    board = monitor = None
    try:
        board = Board(folder, BOARD_SIM)
        check(board.nginx.poll() is None, "nginx is up")
        program = os.path.join(folder, "program")
        dat_folder = os.path.join(program, "dat")
        os.makedirs(program)
        try:
            os.link(os.path.join(PROGRAM_DIR, "yagura"), os.path.join(program, "yagura"))
        except OSError:
            shutil.copy2(os.path.join(PROGRAM_DIR, "yagura"), os.path.join(program, "yagura"))
        shutil.copytree(os.path.join(PROGRAM_DIR, "shoin"), os.path.join(program, "shoin"))
        write_settings(program, board.url)

        board.sim("init", "--board", "demo", "--threads", "0")
        dropping = board.new("ネコの画像を貼るスレ Part1", 5)   # pair A, drops later
        posting = board.new("ﾈｺ画像スレ【癒し】その2", 8)       # pair A, gets new posts
        deleting = board.new("【速報】ニュース実況スレ 3", 6)   # pair B, a post is deleted
        folding = board.new("ﾈｺ画像スレ【癒し】その7", 2)     # pair A only when folded, drops
        others = [board.new("雑談スレ＠のんびり 4", 3), board.new("将棋観戦スレ 5局目", 2)]

        started = time.monotonic()
        monitor = Monitor(program)

        # Cycle 1: every followed thread is downloaded whole.
        if not check(monitor.wait_for_cycle_end(1), "cycle 1 ends", monitor.text()[-2000:]):
            return 1
        check_logs_match(board, dat_folder, [dropping, posting, deleting, folding], "cycle 1")
        check(not any(os.path.exists(os.path.join(dat_folder, k + ".dat")) for k in others),
              "cycle 1: threads no pair matches are not downloaded")

        # The board changes: new posts, a deleted post, a new thread, a drop.
        original = board.dat(dropping)
        board.sim("post", posting, "3")
        board.sim("abone", deleting, "2")
        arriving = board.new("ネコ画像スレ その6", 4)
        board.sim("drop", dropping)
        board.sim("drop", folding)

        if not check(monitor.wait_for_cycle_end(2), "cycle 2 ends", monitor.text()[-2000:]):
            return 1
        log = monitor.text()
        check(DETAIL + "新着 3件をダウンロードしました(" in log, "cycle 2: the new posts are counted")
        check(DETAIL + "あぼーんを検出したっぽいのでdatを全部取得します(" in log,
              "cycle 2: the deleted post leads to a full download")
        check(f"[{dropping}.dat]はdat落ちしています(" in log, "cycle 2: the drop is logged")
        check_logs_match(board, dat_folder, [posting, deleting, arriving], "cycle 2")
        check(read(os.path.join(dat_folder, dropping + ".dat")) == original,
              "cycle 2: the dropped thread's log stays as it was")
        check_archive(dat_folder, dropping, original)
        page = os.path.join(dat_folder, dropping + ".html")
        if check(os.path.exists(page), f"{dropping}.html beside the log of the dropped thread"):
            check(read(page).count(b"<dt") == original.count(b"\n"),
                  "the page has one <dt per post", str(read(page).count(b"<dt")))
        queue_path = os.path.join(program, "yagura_Twitter.dat")
        queue = read(queue_path) if os.path.exists(queue_path) else b""
        text = queue.decode("cp932", "replace")
        announcement = (f"dat落ち ネコの画像を貼るスレ Part1(5レス) #2ch\r\n"
                        f"http://127.0.0.1:{board.port}/test/read.cgi/demo/{dropping}/\t")
        check(text.endswith("\t") and text.split("\r\n")[0].endswith(" #2ch"),
              "the Twitter queue ends with a TAB and its first line with \" #2ch\"", repr(text))
        check(announcement in text, "the drop is announced in the Twitter queue", repr(text))
        check(f"dat落ち ﾈｺ画像スレ【癒し】その7(2レス) #2ch\r\n"
              f"http://127.0.0.1:{board.port}/test/read.cgi/demo/{folding}/\t" in text,
              "a thread found through folded words is announced too", repr(text))

        # Cycle 3: the board stays still.
        before = len(board.requests())
        if not check(monitor.wait_for_cycle_end(3), "cycle 3 ends", monitor.text()[-2000:]):
            return 1
        cycle3 = board.requests()[before:]
        # The list is asked with the Last-Modified of the one kept: 304.
        expected = sorted(["GET /demo/subject.txt HTTP/1.0|304"] +
                          [f"HEAD /demo/dat/{k}.dat HTTP/1.0|304"
                           for k in (posting, deleting, arriving)])
        got = sorted("|".join(r.split("|")[:2]) for r in cycle3)
        check(got == expected, "cycle 3 (nothing changed): one GET of subject.txt and one HEAD "
              "per followed thread", "\n".join(cycle3))

        agents = {r.split("|")[2] for r in board.requests()}
        check(len(agents) == 1 and agents.pop().startswith("Monazilla/1.00 (Yagura/"),
              "every request names the monitor as its User-Agent")

        monitor.process.send_signal(signal.SIGTERM)
        try:
            code = monitor.process.wait(20)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, "SIGTERM ends the monitor with exit code 0", str(code))
        check(DETAIL.replace("\uff1b", "\u30fd") + "お休み中(" in monitor.text(),
              "the run is stopped at exit")
        dat1001 = read(os.path.join(program, "yagura_Dat1001.lst")).decode("cp932")
        lines = dat1001.split("\r\n")
        check(f"{dropping}.dat<5レス>ネコの画像を貼るスレ Part1 (5)" in lines[1:-2] and
              dat1001.endswith("dat落ちスレッド情報リスト\r\n"),
              "the dropped thread is saved in the dat-fall list", repr(dat1001))
        # The scrambled passwords need not be CP932 text.
        settings = read(os.path.join(program, "yagura.ini")).decode("cp932", "replace")
        check("wordc1=\r\n" in settings and "checka5=1\r\n" in settings and
              f"brdurl={board.url}\r\n" in settings, "the settings are saved at exit", settings)
        leftovers = [n for n in ("yagura_subject.txt", "yagura_subject.txt.head", "yagura_dat.head",
                                 "yagura_dat206.dat", "yagura_dat206.head")
                     if os.path.exists(os.path.join(program, n))]
        check(not leftovers, "no temporary file is left at exit", str(leftovers))
        log_bytes = read(os.path.join(program, "yagura.log"))
        try:
            log_bytes.decode("cp932")
            decoded = True
        except UnicodeDecodeError:
            decoded = False
        check(decoded and log_bytes.endswith(b"\r\n") and
              log_bytes.count(b"\n") == log_bytes.count(b"\r\n"),
              "the log file is CP932 text with CR LF line ends")
        print(f"monitor_e2e: {time.monotonic() - started:.1f} s from start to exit", flush=True)
    finally:
        if monitor:
            monitor.stop()
        if board:
            board.stop()
        if failed == 0:
            shutil.rmtree(folder, ignore_errors=True)
        else:
            print(f"monitor_e2e: files kept in {folder}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

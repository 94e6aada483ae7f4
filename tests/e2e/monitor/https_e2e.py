#!/usr/bin/python3
"""The real monitor follows a board served over https, end to end.

A private nginx with an https listener (a certificate signed by a test
authority made at run time with openssl, handed to the monitor through
YAGURA_TEST_CA_FILE) serves a board kept by tools/demo/board_sim.py. The real
`yagura --headless /autorun` downloads two followed threads over TLS; the
board then gets new posts and one thread drops; after a restart the monitor
fetches the new posts with a range request, archives and converts the dropped
thread, and announces it with its https address.

    https_e2e.py PROGRAM_DIR BOARD_SIM
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from board_server import Board, Checks, Monitor, make_program, make_test_ca, missing_tool, read
from board_server import write_settings

PROGRAM_DIR, BOARD_SIM = sys.argv[1], sys.argv[2]
check = Checks()


def logs_match(board, dat_folder, keys):
    return all(os.path.exists(os.path.join(dat_folder, k + ".dat")) and
               read(os.path.join(dat_folder, k + ".dat")) == board.dat(k) for k in keys)


def main():
    tool = missing_tool(("nginx", "openssl", "lhasa"))
    if tool:
        print(f"https_e2e: {tool} is missing (tools/install_packages.sh installs it)")
        return 1
    folder = tempfile.mkdtemp(prefix="yagura_https_")
    board = monitor = None
    try:
        ca, cert, key = make_test_ca(os.path.join(folder, "ca"))
        board = Board(folder, BOARD_SIM, tls=(cert, key))
        check(board.url.startswith("https://"), "the board is served over https")
        program = make_program(folder, PROGRAM_DIR)
        dat_folder = os.path.join(program, "dat")
        write_settings(program, board.url)
        board.sim("init", "--board", "demo", "--threads", "0")
        dropping = board.new("ネコの画像を貼るスレ Part1", 40)
        growing = board.new("ﾈｺ画像スレ【癒し】その2", 30)
        board.new("雑談スレ＠のんびり 4", 3)
        env = {"YAGURA_TEST_CA_FILE": ca}

        # Without the test authority the certificate is refused: nothing is
        # downloaded from a server the monitor cannot trust.
        monitor = Monitor(program)
        check(monitor.wait_for_cycle_end(1), "untrusted: the cycle ends", monitor.text()[-1500:])
        monitor.terminate()
        check(not os.path.exists(os.path.join(dat_folder, dropping + ".dat")),
              "untrusted: no log is downloaded from a server with an unknown authority")
        check("サーバの証明書を確認できない" in monitor.text(),
              "untrusted: the log says the certificate did not verify", monitor.text()[-800:])

        monitor = Monitor(program, env)
        if not check(monitor.wait_for_cycle_end(1), "cycle 1 ends", monitor.text()[-2000:]):
            return 1
        check(logs_match(board, dat_folder, [dropping, growing]),
              "cycle 1: both followed logs are downloaded over https byte for byte")
        check(monitor.terminate() == 0, "SIGTERM ends the monitor")

        original = board.dat(dropping)
        board.sim("post", growing, "5")
        board.sim("drop", dropping)
        before = len(board.requests())
        monitor = Monitor(program, env)
        if not check(monitor.wait_for_cycle_end(1), "after the restart a cycle ends",
                     monitor.text()[-2000:]):
            return 1
        log = monitor.text()
        check(logs_match(board, dat_folder, [growing]),
              "the new posts are fetched and the log equals the board's")
        ranges = [r for r in board.requests()[before:] if f"/{growing}.dat" in r]
        check(any("|206|" in r and "|bytes=" in r for r in ranges),
              "the new posts come as a range answer (206) over https", "\n".join(ranges))
        check(f"[{dropping}.dat]はdat落ちしています(" in log, "the drop is logged", log[-2000:])
        kept = os.path.join(dat_folder, dropping + ".dat")
        check(os.path.exists(kept) and read(kept) == original,
              "the dropped thread's log stays as it was")
        archive = os.path.join(dat_folder, dropping + ".lzh")
        unpacked = subprocess.run(["lhasa", "pq", archive], capture_output=True).stdout \
            if os.path.exists(archive) else b""
        check(unpacked == original, "the archive gives the log back byte for byte (lhasa)")
        page = os.path.join(dat_folder, dropping + ".html")
        check(os.path.exists(page) and read(page).count(b"<dt") == original.count(b"\n"),
              "the page has one <dt per post")
        queue_path = os.path.join(program, "yagura_Twitter.dat")
        queue = read(queue_path).decode("cp932", "replace") if os.path.exists(queue_path) else ""
        check(f"https://127.0.0.1:{board.port}/test/read.cgi/demo/{dropping}/\t" in queue,
              "the announcement carries the https thread address", repr(queue))
        check(not any("http://" in line for line in log.splitlines() if "127.0.0.1" in line),
              "no log line names a plain http address of the board")
        check(monitor.terminate() == 0, "SIGTERM ends the monitor after the drop")
    finally:
        if monitor:
            monitor.stop()
        if board:
            board.stop()
        if check.failed == 0:
            shutil.rmtree(folder, ignore_errors=True)
        else:
            print(f"https_e2e: files kept in {folder}")
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())

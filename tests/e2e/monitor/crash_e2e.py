#!/usr/bin/python3
"""The real monitor killed with SIGKILL at random moments loses nothing.

A private nginx (answers slowed down, so that kills land inside downloads)
serves a board of many large threads kept by tools/demo/board_sim.py. The
headless monitor is started again and again and killed: at a random moment
of its first cycle (downloads), while a dropped thread is archived and
converted, and while it saves at exit after SIGTERM. Between the runs the
board gets new posts, new threads and drops. After every kill:

  - the settings file has its 44 lines;
  - every list file has its first and last line, the Twitter queue ends with
    a TAB;
  - every log in dat/ is a byte prefix of the server's file, and a header
    file beside it states the log's size.

At the end one undisturbed run finishes the work: every followed thread's log
equals the server's, and every dropped one has its archive (tested by lhasa),
its page, its entry in the dat-fall list and its announcement, once each.

    crash_e2e.py PROGRAM_DIR BOARD_SIM [SECONDS] [SEED]
"""

import glob
import importlib.util
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from board_server import Board, Checks, Monitor, make_program, missing_tool, read, state_faults
from board_server import write_settings

PROGRAM_DIR, BOARD_SIM = sys.argv[1], sys.argv[2]
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 55
SEED = int(sys.argv[4]) if len(sys.argv) > 4 else int(time.time())
check = Checks()


class Run:
    """One run of the monitor that ends in SIGKILL."""

    def __init__(self, program, rng):
        self.monitor = Monitor(program)
        self.rng = rng

    def last_line(self):
        lines = [l for l in self.monitor.text().splitlines() if l and not l[0].isdigit()]
        return lines[-1] if lines else "(nothing logged)"

    def kill_in_downloads(self):
        # Soon after a request of the first cycle went out: nginx sends
        # slowly, so most kills land inside a transfer or just after it.
        request = self.rng.choice(["GET http", "GET(差分)", "HEAD http", "subject.txtを"])
        self.monitor.wait_for(lambda t: request in t, 5)
        time.sleep(self.rng.uniform(0, 0.4))
        doing = self.last_line()
        self.monitor.kill()
        return "during the first cycle: " + doing

    def kill_in_drop(self):
        steps = ["LZH圧縮しています", "html化しています", "html化しました"]
        step = self.rng.choice(steps)
        seen = self.monitor.wait_for(lambda t: step in t, 8)
        time.sleep(self.rng.uniform(0, 0.5))
        self.monitor.kill()
        return f"during the drop processing (after {step})" if seen else "(no drop seen)"

    def kill_in_exit(self):
        time.sleep(self.rng.uniform(0.3, 2.0))
        if self.monitor.process.poll() is None:
            self.monitor.process.send_signal(signal.SIGTERM)
        time.sleep(self.rng.uniform(0, 0.05))
        self.monitor.kill()
        return "while saving at exit"


def main():
    tool = missing_tool(("nginx", "lhasa"))
    if tool:
        print(f"crash_e2e: {tool} is missing (tools/install_packages.sh installs it)")
        return 1
    print(f"crash_e2e: seed {SEED}", flush=True)
    rng = random.Random(SEED)
    folder = tempfile.mkdtemp(prefix="yagura_crash_")
    board = monitor = None
    started = time.monotonic()
    try:
        board = Board(folder, BOARD_SIM, rate="100k")
        program = make_program(folder, PROGRAM_DIR)
        dat_folder = os.path.join(program, "dat")
        write_settings(program, board.url)
        # The simulator runs in this process: many small changes, each
        # without a start of Python.
        found = importlib.util.spec_from_file_location("board_sim", BOARD_SIM)
        board_sim = importlib.util.module_from_spec(found)
        found.loader.exec_module(board_sim)
        sim = board_sim.Board(board.www, board.state)
        sim.init("demo", SEED % 1000, 0)

        def new(title, posts):
            return sim.new_thread(title, posts)[0]["key"]

        alive = [new(f"ネコの画像を貼るスレ Part{n}", rng.randrange(200, 600))
                 for n in range(1, 13)]
        for n in range(1, 16):
            new(f"雑談スレ＠のんびり {n}", rng.randrange(5, 50))
        dropped = {}  # key -> the log as it was when the thread dropped

        def server_logs():
            logs = {k: board.dat(k) for k in alive}
            logs.update(dropped)
            return logs

        # One clean run first, so that the settings file is the monitor's own.
        monitor = Monitor(program)
        check(monitor.wait_for_cycle_end(1, 60), "the first run ends its cycle",
              monitor.text()[-1500:])
        check(monitor.terminate() == 0, "the first run ends on SIGTERM")
        faults = state_faults(program, server_logs())
        check(not faults, "after the first run the files are sound", "; ".join(faults))

        kills = {"during the first cycle": 0, "during the drop processing": 0,
                 "while saving at exit": 0}
        bad = 0
        number = in_transfer = 0
        n = 13
        while time.monotonic() - started < SECONDS:
            number += 1
            # The board changes while the monitor is down.
            for key in rng.sample(alive, 3):
                sim.add_posts(key, rng.randrange(1, 40))
            way = ["downloads", "drop", "downloads", "exit"][number % 4]
            if way == "drop" and len(alive) > 4:
                key = rng.choice(alive)
                alive.remove(key)
                dropped[key] = board.dat(key)
                sim.drop(key)
            elif way == "drop":
                way = "downloads"
            if rng.random() < 0.5:
                alive.append(new(f"ネコの画像を貼るスレ Part{n}", rng.randrange(100, 900)))
                n += 1
            run = Run(program, rng)
            monitor = run.monitor
            when = {"downloads": run.kill_in_downloads, "drop": run.kill_in_drop,
                    "exit": run.kill_in_exit}[way]()
            for name in kills:
                if when.startswith(name):
                    kills[name] += 1
            if "GET" in when or "HEAD" in when or "ダウンロード" in when:
                in_transfer += 1
            print(f"kill {number} {when}", flush=True)
            faults = state_faults(program, server_logs())
            if faults:
                bad += 1
                check(False, f"kill {number} {when}: the files are sound", "; ".join(faults))
        check(bad == 0, f"{number} kills leave sound files ({kills})")
        check(all(kills.values()), "kills landed in every phase", str(kills))
        print(f"crash_e2e: {in_transfer} kills in a transfer", flush=True)

        # An undisturbed run finishes the work.
        monitor = Monitor(program)
        done = monitor.wait_for_cycle_end(1, 90)
        check(done, "a run after the kills ends its cycle", monitor.text()[-1500:])
        check(monitor.terminate() == 0, "and ends on SIGTERM")
        faults = state_faults(program, server_logs())
        check(not faults, "the files are sound after the last run", "; ".join(faults))
        missing = [k for k in alive
                   if not os.path.exists(os.path.join(dat_folder, k + ".dat")) or
                   read(os.path.join(dat_folder, k + ".dat")) != board.dat(k)]
        check(not missing, f"all {len(alive)} followed logs equal the server's", str(missing))
        dat1001 = read(os.path.join(program, "yagura_Dat1001.lst")).decode("cp932", "replace")
        queue_path = os.path.join(program, "yagura_Twitter.dat")
        queue = read(queue_path).decode("cp932", "replace") if os.path.exists(queue_path) else ""
        never = []
        for key, original in dropped.items():
            log_path = os.path.join(dat_folder, key + ".dat")
            if not os.path.exists(log_path):
                never.append(key)  # dropped before its first download
                continue
            # Posts written while the monitor was down are lost with the drop:
            # the archive holds the log as the monitor had it.
            log = read(log_path)
            archive = os.path.join(dat_folder, key + ".lzh")
            unpacked = subprocess.run(["lhasa", "pq", archive], capture_output=True).stdout \
                if os.path.exists(archive) else b""
            page = os.path.join(dat_folder, key + ".html")
            check(original.startswith(log) and unpacked == log and os.path.exists(page) and
                  dat1001.count(f"\r\n{key}.dat<") == 1 and queue.count(f"/demo/{key}/\t") == 1,
                  f"dropped {key}: archive, page, one dat-fall entry, one announcement",
                  f"archive ok {unpacked == log}, page {os.path.exists(page)}, "
                  f"entries {dat1001.count(key + '.dat<')}, "
                  f"announcements {queue.count(f'/demo/{key}/')}")
        leftovers = glob.glob(os.path.join(program, "**", "*.tmp*"), recursive=True)
        check(not leftovers, "no temporary file is left", str(leftovers))
        print(f"crash_e2e: {number} kills, {len(dropped)} drops "
              f"({len(never)} before their first download), "
              f"{time.monotonic() - started:.1f} s", flush=True)
    finally:
        if monitor:
            monitor.stop()
        if board:
            board.stop()
        if check.failed == 0:
            shutil.rmtree(folder, ignore_errors=True)
        else:
            print(f"crash_e2e: files kept in {folder} (seed {SEED})")
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())

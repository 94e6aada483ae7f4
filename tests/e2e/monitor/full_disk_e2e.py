#!/usr/bin/python3
"""The real monitor and the real converter on a disk that fills up.

The program folder lies on a small tmpfs of its own (mounted in a private
mount namespace, so it goes away with the test; mounting needs root, else
the test is skipped with exit code 77). A private nginx serves a board kept
by tools/demo/board_sim.py.

Monitor: a first run downloads the followed threads. Then a filler file
leaves only a little room and the threads grow beyond it: in the next cycle
the downloads fail part way; nothing is reported as downloaded that is not
in its log, every log stays a prefix of the server's with a header file that
states its size, no state file is cut, and the monitor keeps running and
says what failed. Once the filler is gone the next cycle brings every log up
to the server's. An exit on the full disk keeps the saved files whole.

Converter: shoin writing a page into a full folder says so and leaves no
page and no temporary file; with room again it writes the page.

    full_disk_e2e.py PROGRAM_DIR BOARD_SIM
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

from board_server import PYTHON, Board, Checks, Monitor, missing_tool, read, state_faults
from board_server import write_settings

PROGRAM_DIR, BOARD_SIM = sys.argv[1], sys.argv[2]
SKIP = 77
check = Checks()
NOT_WRITTEN = "に書き込めません"  # the monitor's message for a file it could not store


def in_private_namespace():
    """Runs this script again in a mount namespace of its own; returns its
    exit code, or None when this already is that run."""
    if os.environ.get("FULL_DISK_E2E_INSIDE") == "1":
        return None
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        print("full_disk_e2e: SKIPPED: mounting a small tmpfs needs root and unshare")
        return SKIP
    env = dict(os.environ, FULL_DISK_E2E_INSIDE="1")
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                           capture_output=True)
    if probe.returncode != 0:
        print("full_disk_e2e: SKIPPED: no private mount namespace here "
              f"({probe.stderr.decode(errors='replace').strip()})")
        return SKIP
    return subprocess.run(["unshare", "--mount", "--propagation", "private", sys.executable,
                           *sys.argv], env=env).returncode


def mount_tmpfs(path, size):
    os.makedirs(path, exist_ok=True)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tmpfs",
                             path], capture_output=True, text=True)
    return result.returncode == 0, result.stderr.strip()


def fill(folder, leave):
    """A filler file that leaves about `leave` bytes free."""
    filler = os.path.join(folder, "filler")
    st = os.statvfs(folder)
    free = st.f_bavail * st.f_frsize
    with open(filler, "ab") as f:
        f.write(b"\0" * max(0, free - leave))
    return filler


def free_bytes(folder):
    st = os.statvfs(folder)
    return st.f_bavail * st.f_frsize


def snapshot(program):
    return {name: read(os.path.join(program, name))
            for name in ("yagura.ini", "yagura_Dat1001.lst", "yagura_Thread.lst", "yagura_dat.lst")
            if os.path.exists(os.path.join(program, name))}


def same_saved(name, before, after):
    """The plan is rewritten in place at exit when only the time in its first
    line changed (no new room needed); every other byte must stay."""
    if name == "yagura_dat.lst" and after is not None:
        return before.split(b"\r\n", 1)[1:] == after.split(b"\r\n", 1)[1:]
    return before == after


def segments(text, url_part):
    """The log lines after each request for url_part, up to the next request."""
    lines = text.splitlines()
    found = []
    for i, line in enumerate(lines):
        if url_part in line and ("GET" in line or "HEAD" in line):
            part = []
            for follow in lines[i + 1:]:
                if "HEAD http" in follow or "GET http" in follow or "GET(差分)" in follow:
                    break
                part.append(follow)
            found.append("\n".join(part))
    return found


def monitor_part(folder):
    program = os.path.join(folder, "program")
    # A stripped copy in the program folder (it is the executable's), with
    # 8 MB of room beside it.
    stripped = os.path.join(folder, "yagura")
    subprocess.run(["strip", "-o", stripped, os.path.join(PROGRAM_DIR, "yagura")], check=True)
    ok, why = mount_tmpfs(program, os.path.getsize(stripped) + 8 * 1024 * 1024)
    if not ok:
        print(f"full_disk_e2e: SKIPPED: cannot mount a tmpfs ({why})")
        return SKIP
    board = monitor = None
    try:
        board = Board(folder, BOARD_SIM)
        shutil.move(stripped, os.path.join(program, "yagura"))
        dat_folder = os.path.join(program, "dat")
        out_path = os.path.join(folder, "stdout.txt")  # off the full disk
        write_settings(program, board.url, twitter=False)
        board.sim("init", "--board", "demo", "--threads", "0")
        keys = [board.new(f"ネコの画像を貼るスレ Part{n}", 200) for n in range(1, 7)]
        board.new("雑談スレ＠のんびり 1", 5)

        deleted = {}  # key -> the log before a post was deleted

        def server_logs():
            return {k: (board.dat(k), deleted[k]) if k in deleted else board.dat(k) for k in keys}

        monitor = Monitor(program, out_path=out_path)
        check(monitor.wait_for_cycle_end(1), "first run: the cycle ends", monitor.text()[-1500:])
        check(monitor.terminate() == 0, "first run: SIGTERM ends it")
        check(all(read(os.path.join(dat_folder, k + ".dat")) == board.dat(k) for k in keys),
              "first run: every followed log equals the server's")

        # The disk fills: less room than the new posts need. A deleted post
        # makes one log come whole again (a full download over a kept log).
        filler = fill(program, 64 * 1024)
        deleted[keys[0]] = board.dat(keys[0])
        board.sim("abone", keys[0], "3")
        board.sim("post", keys[0], "800")  # more than the room left
        for key in keys[1:]:
            board.sim("post", key, "300")
        new_key = board.new("ネコの画像を貼るスレ Part7", 900)
        keys.append(new_key)
        before = {k: read(os.path.join(dat_folder, k + ".dat")) for k in keys
                  if os.path.exists(os.path.join(dat_folder, k + ".dat"))}
        monitor = Monitor(program, out_path=out_path)
        check(monitor.wait_for_cycle_end(1), "full disk: the cycle ends", monitor.text()[-1500:])
        time.sleep(0.5)
        log = monitor.text()
        check(monitor.process.poll() is None, "full disk: the monitor keeps running")
        check(NOT_WRITTEN in log, "full disk: the log says which file could not be written",
              log[-1500:])
        faults = state_faults(program, server_logs())
        check(not faults, "full disk: every log is a prefix of the server's with a header "
              "file that states its size; the state files are whole", "; ".join(faults))
        grown = [k for k in keys if os.path.exists(os.path.join(dat_folder, k + ".dat")) and
                 read(os.path.join(dat_folder, k + ".dat")) != before.get(k)]
        short = [k for k in keys if k not in grown]
        check(short, "full disk: some downloads failed for want of room", str(grown))
        false_news = [k for k in short if any("新着" in s for s in segments(log, f"/{k}.dat"))]
        check(not false_news, "full disk: no new posts are told for a log that did not grow",
              str(false_news))

        # Room again: the next cycle (30 s later) catches up.
        os.remove(filler)
        if check(monitor.wait_for_cycle_end(2, 60), "room again: the next cycle ends",
                 monitor.text()[-1500:]):
            missing = [k for k in keys if not os.path.exists(os.path.join(dat_folder, k + ".dat"))
                       or read(os.path.join(dat_folder, k + ".dat")) != board.dat(k)]
            check(not missing, "room again: every followed log equals the server's", str(missing))
            faults = state_faults(program, server_logs())
            check(not faults, "room again: the files are sound", "; ".join(faults))

        # An exit on a full disk: the settings and lists cannot be saved, and
        # the files saved before stay whole.
        saved = snapshot(program)
        filler = fill(program, 0)
        time.sleep(1.1)  # a later second: the plan gets a new time line in place
        code = monitor.terminate()
        check(code is not None, "full disk at exit: the monitor ends", str(code))
        check("could not be saved" in monitor.text() or "settings:" in monitor.text(),
              "full disk at exit: it says what could not be saved", monitor.text()[-800:])
        changed = [n for n, b in saved.items() if not same_saved(n, b, read(os.path.join(program, n)))]
        check(not changed, "full disk at exit: the saved files stay whole", str(changed))
        faults = state_faults(program, server_logs())
        check(not faults, "full disk at exit: the files are sound", "; ".join(faults))
        os.remove(filler)
        leftovers = glob.glob(os.path.join(program, "**", "*.tmp*"), recursive=True)
        check(not leftovers, "no temporary file is left", str(leftovers))
    finally:
        if monitor:
            monitor.stop()
        if board:
            board.stop()
    return 0


def converter_part(folder):
    out = os.path.join(folder, "pages")
    ok, why = mount_tmpfs(out, "1m")
    if not ok:
        print(f"full_disk_e2e: SKIPPED: cannot mount a tmpfs ({why})")
        return SKIP
    # A log of 600 posts from the board simulator.
    board_root = os.path.join(folder, "log_board")
    sim = [PYTHON, BOARD_SIM, "--root", board_root, "--state", board_root + ".json"]
    subprocess.run(sim + ["init", "--board", "b", "--threads", "0"], check=True,
                   capture_output=True)
    key = subprocess.run(sim + ["new", "ネコの画像を貼るスレ", "--posts", "600"], check=True,
                         capture_output=True, text=True).stdout.split('"key": "')[1].split('"')[0]
    log = os.path.join(board_root, "b", "dat", key + ".dat")
    shoin = os.path.join(PROGRAM_DIR, "shoin", "shoin")
    filler = fill(out, 4096)
    run = subprocess.run([shoin, log, out + "/"], capture_output=True, timeout=60)
    said = (run.stdout + run.stderr).decode("utf-8", "replace")
    pages = [n for n in os.listdir(out) if n != "filler"]
    check("書き込みに失敗しました" in said or "作成に失敗しました" in said,
          "converter, full folder: it says the page could not be written", said[-800:])
    check(not [n for n in pages if n.endswith(".html") or ".tmp" in n],
          "converter, full folder: no page and no temporary file is left", str(pages))
    os.remove(filler)
    run = subprocess.run([shoin, log, out + "/"], capture_output=True, timeout=60)
    pages = [n for n in os.listdir(out) if n.endswith(".html")]
    check(pages, "converter, room again: the page is written",
          (run.stdout + run.stderr).decode("utf-8", "replace")[-800:])
    return 0


def main():
    outer = in_private_namespace()
    if outer is not None:
        return outer
    tool = missing_tool(("nginx", "strip", "mount"))
    if tool:
        print(f"full_disk_e2e: {tool} is missing (tools/install_packages.sh installs it)")
        return 1
    folder = tempfile.mkdtemp(prefix="yagura_full_")
    try:
        for part in (lambda: converter_part(folder), lambda: monitor_part(folder)):
            code = part()
            if code == SKIP:
                return SKIP
    finally:
        for mounted in (os.path.join(folder, "program"), os.path.join(folder, "pages")):
            subprocess.run(["umount", mounted], capture_output=True)
        if check.failed == 0:
            shutil.rmtree(folder, ignore_errors=True)
        else:
            print(f"full_disk_e2e: files kept in {folder}")
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())

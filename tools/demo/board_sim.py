#!/usr/bin/python3
"""A board simulator: keeps a 2ch-style board folder that nginx serves and
changes it the way a real board changes.

The board folder ROOT/BOARD holds subject.txt (the thread list, newest post
first), dat/KEY.dat (one log per thread) and index.html (the top page), all
in Shift_JIS (CP932) with LF line ends, as a real board serves them. Every
change gives the files it touches a later modification time than any before,
since nginx compares If-Modified-Since to the second.

Commands (each prints one JSON object per change on stdout):
  init [--seed N] [--threads N]  a fresh board
  new TITLE [--posts N]          a new thread
  post KEY [N]                   N new posts appended (default 1)
  abone KEY [NUMBER]             post NUMBER (default 2) deleted: the log is
                                 rewritten shorter, a range request gets 416
  drop KEY                       the thread falls off the list; its dat URL
                                 answers an HTML page
  move NEWBOARD --base-url URL   the board moves: old subject.txt empty, old
                                 top page links to URL + NEWBOARD + "/"
  step                           one round of random changes
  run [--interval S] [--rounds N] rounds of random changes until stopped
  story KEY [--interval S]       the demo's story for thread KEY: new posts
                                 after 12 s, a new matching thread, the
                                 thread dropping off after 45 s; then rounds
                                 of random changes that leave KEY alone
  show                           the state as JSON

With --say, run and story print one readable line per change, marked
"[board]", instead of JSON.
"""

import argparse
import json
import os
import random
import signal
import sys
import tempfile
import time

MAX_POSTS = 1001
FIRST_KEY = 1700000000

# Titles: some match the demo's word pairs, written in the forms a user would
# not type (full width, half-width katakana, katakana for hiragana).
MATCHING_TITLES = [
    "ネコの画像を貼るスレ Part{n}",
    "ﾈｺ画像スレ【癒し】その{n}",
    "【速報】ニュース実況スレ {n}",
    "ＬＩＮＵＸ初心者質問スレ Part{n}",
]
OTHER_TITLES = [
    "今日の晩ごはん報告スレ {n}皿目",
    "雑談スレ＠のんびり {n}",
    "競馬予想スレ 第{n}レース",
    "鉄道写真を語るスレ {n}両目",
    "ラーメン食べ歩き Part{n}",
    "天気の話題 {n}日目",
    "将棋観戦スレ {n}局目",
]
NAMES = ["名無しさん", "名無しさん", "名無しさん", "風吹けば名無し", "◆Trip.abc"]
BODIES = [
    "こんにちは",
    "&gt;&gt;{a} それな",
    "ｷﾀ━━━━(ﾟ∀ﾟ)━━━━!!",
    "今日は寒いですね <br> 明日も寒いらしい",
    "ソースは？ <br> ttp://example.jp/news/{a}",
    "わかる",
    "画像はよ",
    "ワロタ",
]
ABONE_LINE = "あぼーん<>あぼーん<>あぼーん<>あぼーん<>\n"
DROPPED_PAGE = (
    "<html>\n<head><title>dat落ち</title></head>\n<body>\n"
    "<div class=\"message\">このスレッドは過去ログ倉庫に格納されています</div>\n"
    "</body>\n</html>\n"
)


class Board:
    def __init__(self, root, state_path):
        self.root = root
        self.state_path = state_path
        self.state = None

    # --- state ---------------------------------------------------------
    def load(self):
        with open(self.state_path, encoding="utf-8") as f:
            self.state = json.load(f)

    def save(self):
        write_atomically(self.state_path, json.dumps(self.state, ensure_ascii=False, indent=1)
                         .encode("utf-8"))

    def folder(self):
        return os.path.join(self.root, self.state["board"])

    def thread(self, key):
        for t in self.state["threads"]:
            if t["key"] == str(key):
                return t
        raise SystemExit(f"board_sim: no thread {key}")

    def next_mtime(self):
        # Later than every change before, and not before the wall clock.
        t = max(int(time.time()), self.state["last_mtime"] + 1)
        self.state["last_mtime"] = t
        return t

    def rng(self):
        self.state["round"] += 1
        return random.Random(self.state["seed"] * 100003 + self.state["round"])

    # --- texts ---------------------------------------------------------
    def post_line(self, thread, number, rng):
        when = time.strftime("%Y/%m/%d", time.localtime(self.state["last_mtime"]))
        stamp = "%s %02d:%02d:%02d.%02d" % (when, rng.randrange(24), rng.randrange(60),
                                             rng.randrange(60), rng.randrange(100))
        ident = "".join(rng.choice("abcdefghijkLMNOP0123456789+/") for _ in range(8))
        body = rng.choice(BODIES).format(a=max(1, number - 1))
        title = thread["title"] if number == 1 else ""
        return f"{rng.choice(NAMES)}<>sage<>{stamp} ID:{ident}<> {body} <>{title}\n"

    # --- files ---------------------------------------------------------
    def write_dat(self, thread, mtime):
        path = os.path.join(self.folder(), "dat", thread["key"] + ".dat")
        if thread["alive"]:
            data = "".join(thread["posts"])
        else:
            data = DROPPED_PAGE
        write_atomically(path, data.encode("cp932"), mtime)

    def write_lists(self, mtime):
        alive = [t for t in self.state["threads"] if t["alive"]]
        alive.sort(key=lambda t: (t["last_post"], t["key"]), reverse=True)
        subject = "".join(f"{t['key']}.dat<>{t['title']} ({len(t['posts'])})\n" for t in alive)
        folder = self.folder()
        write_atomically(os.path.join(folder, "subject.txt"), subject.encode("cp932"), mtime)
        links = "".join(
            f"<a href=\"../test/read.cgi/{self.state['board']}/{t['key']}/l50\">"
            f"{t['title']} ({len(t['posts'])})</a><br>\n" for t in alive)
        page = (f"<html>\n<head><title>デモ板</title></head>\n<body>\n<h1>デモ板</h1>\n"
                f"{links}</body>\n</html>\n")
        write_atomically(os.path.join(folder, "index.html"), page.encode("cp932"), mtime)

    # --- changes ---------------------------------------------------------
    def init(self, board, seed, threads):
        self.state = {"board": board, "seed": seed, "round": 0, "next_key": FIRST_KEY,
                      "last_mtime": int(time.time()) - 3600, "threads": [], "serial": 0}
        os.makedirs(os.path.join(self.folder(), "dat"), exist_ok=True)
        rng = self.rng()
        events = []
        for i in range(threads):
            pool = MATCHING_TITLES if i % 2 == 0 else OTHER_TITLES
            events += self.new_thread(self.title_from(pool, rng), rng.randrange(1, 20), rng)
        return events

    def title_from(self, pool, rng):
        self.state["serial"] += 1
        return rng.choice(pool).format(n=self.state["serial"] + 1)

    def new_thread(self, title, posts, rng=None):
        rng = rng or self.rng()
        key = str(self.state["next_key"])
        self.state["next_key"] += rng.randrange(7, 400)
        thread = {"key": key, "title": title, "posts": [], "alive": True, "last_post": 0}
        self.state["threads"].append(thread)
        for n in range(1, posts + 1):
            thread["posts"].append(self.post_line(thread, n, rng))
        mtime = self.next_mtime()
        thread["last_post"] = mtime
        self.write_dat(thread, mtime)
        self.write_lists(mtime)
        return [{"event": "new", "key": key, "title": title, "posts": posts}]

    def add_posts(self, key, count, rng=None):
        rng = rng or self.rng()
        thread = self.thread(key)
        if not thread["alive"]:
            raise SystemExit(f"board_sim: thread {key} has dropped")
        count = min(count, MAX_POSTS - len(thread["posts"]))
        for _ in range(count):
            thread["posts"].append(self.post_line(thread, len(thread["posts"]) + 1, rng))
        mtime = self.next_mtime()
        thread["last_post"] = mtime
        self.write_dat(thread, mtime)
        self.write_lists(mtime)
        return [{"event": "post", "key": thread["key"], "added": count,
                 "posts": len(thread["posts"])}]

    def abone(self, key, number):
        thread = self.thread(key)
        if not 1 <= number <= len(thread["posts"]):
            raise SystemExit(f"board_sim: thread {key} has no post {number}")
        # The deleted post must be longer than its replacement, so that the log
        # shrinks and a range request from the old end is refused: take the
        # first such post from NUMBER on.
        for n in range(number, len(thread["posts"]) + 1):
            new = ABONE_LINE if n > 1 else ABONE_LINE[:-1] + thread["title"] + "\n"
            if len(new.encode("cp932")) < len(thread["posts"][n - 1].encode("cp932")):
                break
        else:
            raise SystemExit(f"board_sim: no post of {key} from {number} on is long enough")
        number = n
        thread["posts"][number - 1] = new
        mtime = self.next_mtime()
        self.write_dat(thread, mtime)
        self.write_lists(mtime)
        return [{"event": "abone", "key": thread["key"], "number": number,
                 "posts": len(thread["posts"])}]

    def drop(self, key):
        thread = self.thread(key)
        thread["alive"] = False
        mtime = self.next_mtime()
        self.write_dat(thread, mtime)
        self.write_lists(mtime)
        return [{"event": "drop", "key": thread["key"], "title": thread["title"]}]

    def move(self, new_board, base_url):
        old_folder = self.folder()
        old_board = self.state["board"]
        self.state["board"] = new_board
        os.makedirs(os.path.join(self.folder(), "dat"), exist_ok=True)
        mtime = self.next_mtime()
        for t in self.state["threads"]:
            self.write_dat(t, mtime)
        self.write_lists(mtime)
        # The old server answers an empty thread list and a page that links
        # to the new address.
        write_atomically(os.path.join(old_folder, "subject.txt"), b"", mtime)
        page = (f"<html>\n<head><title>移転しました</title></head>\n<body>\n"
                f"<a href=\"{base_url}{new_board}/\">{base_url}{new_board}/</a>\n"
                f"</body>\n</html>\n")
        write_atomically(os.path.join(old_folder, "index.html"), page.encode("cp932"), mtime)
        return [{"event": "move", "from": old_board, "to": new_board,
                 "url": f"{base_url}{new_board}/"}]

    def step(self, spare=()):
        """One round: usually new posts, sometimes a new thread, a deletion or
        a drop. The threads of `spare` are not touched."""
        rng = self.rng()
        events = []
        alive = [t for t in self.state["threads"] if t["alive"] and t["key"] not in spare]
        for t in rng.sample(alive, min(len(alive), rng.randrange(1, 4))):
            if len(t["posts"]) < MAX_POSTS:
                events += self.add_posts(t["key"], rng.randrange(1, 6), rng)
        if rng.random() < 0.35:
            pool = MATCHING_TITLES if rng.random() < 0.5 else OTHER_TITLES
            events += self.new_thread(self.title_from(pool, rng), rng.randrange(1, 10), rng)
        touched = {e["key"] for e in events}
        if rng.random() < 0.25:
            candidates = [t for t in alive if len(t["posts"]) >= 3 and t["key"] not in touched]
            if candidates:
                t = rng.choice(candidates)
                events += self.abone(t["key"], rng.randrange(2, len(t["posts"]) + 1))
                touched.add(t["key"])
        if rng.random() < 0.2 and len(alive) > 4:
            # The thread with the oldest last post falls off first.
            oldest = min((t for t in alive if t["key"] not in touched),
                         key=lambda t: t["last_post"], default=None)
            if oldest:
                events += self.drop(oldest["key"])
        return events


def write_atomically(path, data, mtime=None):
    folder = os.path.dirname(path) or "."
    os.makedirs(folder, exist_ok=True)
    fd, temp = tempfile.mkstemp(dir=folder, prefix=".sim")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        # nginx's workers run as another user: everything must be readable.
        os.chmod(temp, 0o644)
        if mtime is not None:
            os.utime(temp, (mtime, mtime))
        os.replace(temp, path)
    except BaseException:
        if os.path.exists(temp):
            os.remove(temp)
        raise


def say(event):
    """One change as a reader of the demo's console follows it."""
    kind = event["event"]
    key = event.get("key", "")
    if kind == "new":
        text = f"new thread {key} 「{event['title']}」 ({event['posts']} posts)"
    elif kind == "post":
        text = f"thread {key}: {event['added']} new post(s), {event['posts']} now"
    elif kind == "abone":
        text = f"thread {key}: post {event['number']} deleted (the log got shorter)"
    elif kind == "drop":
        text = f"thread {key} 「{event['title']}」 dropped off the board"
    elif kind == "move":
        text = f"the board moved to {event['url']}"
    else:
        text = json.dumps(event, ensure_ascii=False)
    return time.strftime("[board] %H:%M:%S ") + text


def print_events(events, readable=False):
    for e in events:
        print(say(e) if readable else json.dumps(e, ensure_ascii=False), flush=True)


# The demo's story, in seconds from its start: the followed thread grows, a
# new matching thread appears, then the followed thread drops off, between
# the monitor's second and third look at the board (every 30 s).
STORY = [
    (12, "grow"),
    (20, "newcomer"),
    (45, "drop"),
]


def tell_story(board, key, interval, readable):
    start = time.monotonic()
    for at, what in STORY:
        time.sleep(max(0.0, start + at - time.monotonic()))
        board.load()
        if what == "grow":
            events = board.add_posts(key, 4)
        elif what == "newcomer":
            events = board.new_thread("ﾈｺ画像スレ【新着】その%d" % (board.state["serial"] + 2), 3)
        else:
            events = board.drop(key)
        board.save()
        print_events(events, readable)
    while True:
        time.sleep(interval)
        board.load()
        print_events(board.step(spare={key}), readable)
        board.save()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True, help="the folder nginx serves")
    parser.add_argument("--state", help="state file (default: ROOT/../board_state.json)")
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("init")
    p.add_argument("--board", default="demo")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--threads", type=int, default=10)
    p = sub.add_parser("new")
    p.add_argument("title")
    p.add_argument("--posts", type=int, default=1)
    p = sub.add_parser("post")
    p.add_argument("key")
    p.add_argument("count", type=int, nargs="?", default=1)
    p = sub.add_parser("abone")
    p.add_argument("key")
    p.add_argument("number", type=int, nargs="?", default=2)
    p = sub.add_parser("drop")
    p.add_argument("key")
    p = sub.add_parser("move")
    p.add_argument("new_board")
    p.add_argument("--base-url", required=True)
    sub.add_parser("step")
    p = sub.add_parser("run")
    p.add_argument("--interval", type=float, default=20)
    p.add_argument("--rounds", type=int, default=0, help="0: until stopped")
    p = sub.add_parser("story")
    p.add_argument("key")
    p.add_argument("--interval", type=float, default=20)
    sub.add_parser("show")
    parser.add_argument("--say", action="store_true",
                        help="run and story: readable lines marked [board], not JSON")
    args = parser.parse_args()

    root = os.path.abspath(args.root)
    state = args.state or os.path.join(os.path.dirname(root), "board_state.json")
    board = Board(root, state)
    if args.command == "init":
        print_events(board.init(args.board, args.seed, args.threads))
        board.save()
        return
    board.load()
    if args.command == "show":
        print(json.dumps(board.state, ensure_ascii=False, indent=1))
        return
    if args.command == "run":
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
        rounds = 0
        try:
            while args.rounds == 0 or rounds < args.rounds:
                time.sleep(args.interval)
                print_events(board.step(), args.say)
                board.save()
                rounds += 1
        except KeyboardInterrupt:
            pass
        return
    if args.command == "story":
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
        try:
            tell_story(board, args.key, args.interval, args.say)
        except KeyboardInterrupt:
            pass
        return
    actions = {
        "new": lambda: board.new_thread(args.title, args.posts),
        "post": lambda: board.add_posts(args.key, args.count),
        "abone": lambda: board.abone(args.key, args.number),
        "drop": lambda: board.drop(args.key),
        "move": lambda: board.move(args.new_board, args.base_url),
        "step": board.step,
    }
    print_events(actions[args.command]())
    board.save()


if __name__ == "__main__":
    main()

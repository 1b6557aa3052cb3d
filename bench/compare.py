#!/usr/bin/env python3
"""Side-by-side comparison of vesk-koi8 with the editors installed beside it.

One generated text (24,575 lines of about 60 ASCII characters, the same bytes
every time), one pseudo-terminal of 80x25 per run (TERM=xterm-256color), and
for every program the same six figures, each the median of --runs runs:

  open -> first full screen (ms)      spawn to the output that completed it
  open + quit (ms)                    first screen plus quit key to exit
  search to the last line (ms)        Enter of the search prompt to the
                                      screen showing the match on the last line
  replace e by ea, no questions (ms)  the key that starts the run to the
                                      program's "done" message
  save after it (ms)                  the save key to the "written" message
  peak memory after open (KiB)        VmHWM of the process after the first screen

Results are checked: after the replace and the save the program is quit and
the file it wrote is compared byte for byte with the expected text.  A
program that is not installed is skipped with a line saying so.

    bench/compare.py [build-dir] [--runs N] [--only vesk,vim,...] [--show]

Standard library only; the pty session and the terminal model are
startup.py's.
"""

import argparse
import os
import re
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import startup  # noqa: E402
from startup import COLS, ROWS, RunError, Session  # noqa: E402

LINES = 24575
MARK = "zqxjv"  # occurs on the last line only
TIMEOUT = 30.0

# ---------------------------------------------------------------------------
# The text.
# ---------------------------------------------------------------------------

WORDS = ("the of and to in is was for that with on as by at from his her are this had not be "
         "which have one you were they but all their there been has when who more will would "
         "them some into time only new these two may then first any like over such our "
         "editor line screen text memory search replace table window cursor paper "
         "river stone sheet box cup dog fox hat ink jam lamp map nut pot rug sun "
         "tin van wax yak zoo rock hill mountain road car train ship plan work book "
         "also about could just most said word four long down day did out many").split()


def make_lines(count=LINES):
    """Deterministic lines of 56..64 characters: a line number and words, no
    upper-case letters, no trailing blanks; the last holds MARK."""
    state = 20261207
    lines = []
    for i in range(1, count + 1):
        target = 56 + i % 9
        s = "%05d" % i
        while len(s) < target:
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            w = WORDS[(state >> 8) % len(WORDS)]
            if len(s) + 1 + len(w) > 64:
                break
            s += " " + w
        lines.append(s)
    lines[-1] = lines[-1][:50] + " " + MARK
    return lines


def text_bytes(lines):
    return ("\n".join(lines) + "\n").encode("ascii")


# ---------------------------------------------------------------------------
# Screen tests.
# ---------------------------------------------------------------------------


def row(scr, y):
    return scr.row_text(y).rstrip()


def rows_from(scr, y0, lines, first, count):
    """Rows y0.. show lines first.. (1-based), count of them, each from the
    row's first column and cut at the screen's width."""
    for k in range(count):
        want = lines[first - 1 + k][:COLS] if first - 1 + k < len(lines) else ""
        if row(scr, y0 + k) != want:
            return False
    return True


def any_row(scr, text, rows=None):
    return any(text in scr.row_text(y) for y in (rows if rows is not None else range(scr.rows)))


def cursor_on_mark(scr, lines):
    """The cursor is on a row that shows the last line."""
    x, y = scr.cursor()
    return lines[-1][:40] in scr.row_text(y - 1)


# ---------------------------------------------------------------------------
# The programs.  Each says how it is started, what its first screen is, and
# the keys of search, replace-all, save and quit with what shows each is done.
# Steps are (keys, predicate or None, timed): the keys are sent, then the
# program's output is read until the predicate holds and it goes quiet.
# ---------------------------------------------------------------------------


class Program:
    name = "?"
    binary = None
    quit_key = b""

    def quit_keys(self, s):
        return self.quit_key

    def available(self):
        return self.binary is not None and (os.path.isfile(self.binary) or shutil.which(self.binary))

    def env(self, home):
        return startup.child_env(home)


class Vesk(Program):
    name = "vesk"
    quit_key = b"\x1b"

    def quit_keys(self, s):
        return s.esc()

    def __init__(self, build_dir, lines):
        self.binary = os.path.join(build_dir, "vesk-koi8")
        self.lines = lines

    def argv(self, d, f):
        return [self.binary, "-W", "-P", "-I%s/" % d, "-X%s/" % d, f]

    def first_screen(self, scr):
        return scr.cursor_visible and scr.cursor() == (1, 3) and "size=%d" % LINES in scr.row_text(0) \
            and rows_from(scr, 2, self.lines, 1, ROWS - 2)

    def search(self):
        # F7: search ignoring case; the prompt takes the string; Enter searches.
        return [(b"\x1b[18~", lambda s: "поиск" in s.row_text(1).lower() or "Поиск" in s.row_text(0), False),
                (MARK.encode(), lambda s: MARK in s.row_text(1) or MARK in s.row_text(0), False),
                (b"\r", lambda s: rows_from(s, 2, self.lines, LINES, 1) and s.cursor()[1] == 3, True)]

    def replace(self):
        # F6: search string, replacement; no block so no scope question;
        # "no questions" (2), then the case question (2: match case).
        return [(b"\x1b[17~", None, False), (b"e\r", None, False),
                (b"ea\r", lambda s: "С подтверждением" in s.row_text(0), False),
                (b"2", lambda s: "Величину" in s.row_text(0), False),
                (b"2", lambda s: "Все замены осуществлены" in s.row_text(1), True)]

    def save(self):
        return [(b"\x1bOQ", lambda s: "Все замены" not in s.row_text(1) and "Записывается" not in s.row_text(1)
                 and "memory=" in s.row_text(0), True)]


class Vim(Program):
    name = "vim"
    binary = "vim"
    quit_key = b":qa!\r"

    def __init__(self, lines):
        self.lines = lines

    def argv(self, d, f):
        return [shutil.which("vim"), "-u", "NONE", "-N", "-n", f]

    def first_screen(self, scr):
        return rows_from(scr, 0, self.lines, 1, ROWS - 1) and '"text.txt"' in scr.row_text(ROWS - 1) \
            and scr.cursor() == (1, 1)

    def search(self):
        return [(b"/" + MARK.encode(), lambda s: s.row_text(ROWS - 1).startswith("/" + MARK), False),
                (b"\r", lambda s: cursor_on_mark(s, self.lines), True)]

    def replace(self):
        return [(b":%s/e/ea/g", lambda s: s.row_text(ROWS - 1).startswith(":%s/e/ea/g"), False),
                (b"\r", lambda s: "substitutions on" in s.row_text(ROWS - 1), True)]

    def save(self):
        return [(b":w", lambda s: s.row_text(ROWS - 1).startswith(":w"), False),
                (b"\r", lambda s: "written" in s.row_text(ROWS - 1), True)]


class Nano(Program):
    name = "nano"
    binary = "nano"
    quit_key = b"\x18"

    def __init__(self, lines):
        self.lines = lines

    def argv(self, d, f):
        return [shutil.which("nano"), f]

    def first_screen(self, scr):
        return rows_from(scr, 1, self.lines, 1, ROWS - 4) and "Read" in scr.row_text(ROWS - 3) \
            and scr.cursor() == (1, 2)

    def search(self):
        return [(b"\x17", lambda s: "Search" in s.row_text(ROWS - 3), False),
                (MARK.encode(), lambda s: MARK in s.row_text(ROWS - 3), False),
                (b"\r", lambda s: cursor_on_mark(s, self.lines), True)]

    def replace(self):
        return [(b"\x1c", lambda s: "Search (to replace)" in s.row_text(ROWS - 3), False),
                (b"e\r", lambda s: "Replace with" in s.row_text(ROWS - 3), False),
                (b"ea\r", lambda s: "Replace this instance" in s.row_text(ROWS - 3), False),
                (b"a", lambda s: "Replaced" in s.row_text(ROWS - 3), True)]

    def save(self):
        return [(b"\x0f", lambda s: "File Name to Write" in s.row_text(ROWS - 3), False),
                (b"\r", lambda s: "Wrote" in s.row_text(ROWS - 3), True)]


class Joe(Program):
    name = "joe"
    binary = "joe"
    quit_key = b"\x0bq"

    def __init__(self, lines):
        self.lines = lines

    def argv(self, d, f):
        return [shutil.which("joe"), f]

    def first_screen(self, scr):
        return rows_from(scr, 1, self.lines, 1, ROWS - 2) and scr.cursor() == (1, 2)

    def search(self):
        return [(b"\x0bf", lambda s: "Find" in s.screen_text(), False),
                (MARK.encode() + b"\r", lambda s: "(I)gnore" in s.screen_text(), False),
                (b"\r", lambda s: cursor_on_mark(s, self.lines), True)]

    def replace(self):
        return [(b"\x0bf", lambda s: "Find" in s.screen_text(), False),
                (b"e\r", lambda s: "(I)gnore" in s.screen_text(), False),
                (b"r\r", lambda s: "Replace with" in s.screen_text(), False),
                (b"ea\r", lambda s: "(R)est" in s.screen_text(), False),
                (b"r", lambda s: "(R)est" not in s.screen_text() and "Modified" in s.row_text(0), True)]

    def save(self):
        return [(b"\x0bd", lambda s: "Name of file to save" in s.screen_text(), False),
                (b"\r", lambda s: "saved" in s.screen_text() or "Modified" not in s.row_text(0), True)]


class Mcedit(Program):
    name = "mcedit"
    binary = "mcedit"
    quit_key = b"\x1b[21~"

    def __init__(self, lines):
        self.lines = lines

    def argv(self, d, f):
        return [shutil.which("mcedit"), f]

    def env(self, home):
        e = startup.child_env(home)
        e["MC_SKIN"] = "default"
        return e

    def first_screen(self, scr):
        return rows_from(scr, 1, self.lines, 1, ROWS - 2)

    def search(self):
        return [(b"\x1b[18~", lambda s: "Search" in s.screen_text(), False),
                (MARK.encode(), lambda s: MARK in s.screen_text(), False),
                (b"\r", lambda s: cursor_on_mark(s, self.lines), True)]

    def replace(self):
        return [(b"\x1bOS", lambda s: "Replace" in s.screen_text(), False),
                (b"e\t", None, False),
                (b"ea\r", lambda s: "Confirm replace" in s.screen_text(), False),
                (b"\t\r", self.replaced, True)]


    def replaced(self, s):
        return "replacements made" in s.screen_text()

    def save(self):
        return [(b"\r", lambda s: "replacements made" not in s.screen_text(), False),
                (b"\x1bOQ", lambda s: "Confirm save" in s.screen_text(), False),
                (b"\r", lambda s: "[----]" in s.row_text(0), True)]


class Pty(Session):
    """startup.Session answering what a real xterm answers beside the
    cursor and device-attribute queries: the secondary device attributes
    (vim waits for them when it quits), the colour queries OSC 10/11 and the
    keyboard-protocol query CSI ? u.  A program that pushes the keyboard
    protocol (CSI > flags u) gets Esc as CSI 27 u, with no need to wait."""

    def __init__(self, *a, **k):
        self.scanned = 0
        self.kitty = False
        super().__init__(*a, **k)

    def _read_once(self, timeout):
        got = super()._read_once(timeout)
        if got:
            self._scan()
        return got

    ANSWERS = ((b"\x1b[>c", b"\x1b[>41;367;0c"), (b"\x1b[>0c", b"\x1b[>41;367;0c"),
               (b"\x1b]10;?", b"\x1b]10;rgb:0000/0000/0000\x1b\\"),
               (b"\x1b]11;?", b"\x1b]11;rgb:ffff/ffff/ffff\x1b\\"),
               (b"\x1b[?u", b"\x1b[?0u"))

    def _scan(self):
        # Queries may be split between reads: look again at a few bytes
        # before the new ones, answering each query once by where it ends.
        start = max(0, self.scanned - 8)
        tail = bytes(self.raw[start:])
        for q, a in self.ANSWERS:
            i = tail.find(q)
            while i >= 0:
                end = start + i + len(q)
                if end > self.scanned:
                    self.send(a)
                i = tail.find(q, i + 1)
        # Terminal capability requests (XTGETTCAP): "not known" to each.
        for m in re.finditer(rb"\x1bP\+q([0-9A-Fa-f;]+)\x1b\\", tail):
            if start + m.end() > self.scanned:
                self.send(b"\x1bP0+r" + m.group(1) + b"\x1b\\")
        self.scanned = len(self.raw)
        if re.search(rb"\x1b\[>\d*[13579]u", tail):
            self.kitty = True

    def esc(self):
        return b"\x1b[27u" if self.kitty else b"\x1b"


def screen_text(self):
    return "\n".join(self.row_text(y) for y in range(self.rows))


startup.Screen.screen_text = screen_text


# ---------------------------------------------------------------------------
# Runs.
# ---------------------------------------------------------------------------


class Run:
    def __init__(self, prog, text, show=False):
        self.prog = prog
        self.dir = tempfile.mkdtemp(prefix="vesk-compare-")
        self.file = os.path.join(self.dir, "text.txt")
        with open(self.file, "wb") as f:
            f.write(text)
        self.show = show
        os.chdir(self.dir)
        self.s = Pty(prog.name, prog.argv(self.dir, "text.txt"), prog.env(self.dir))

    def wait(self, pred, what, quiet=0.03):
        if pred is None:
            t, _ = self.s.wait_for(lambda s: True, quiet, TIMEOUT, what)
        else:
            t, _ = self.s.wait_for(pred, quiet, TIMEOUT, what)
        if self.show:
            print("--- %s: %s\n%s" % (self.prog.name, what, self.s.describe()), file=sys.stderr)
        return t

    def steps(self, steps, what):
        """Sends each step's keys and waits for its screen; returns the time
        from sending the timed step's keys to the output that completed it."""
        took = None
        for keys, pred, timed in steps:
            t0 = time.monotonic()
            self.s.send(keys)
            t = self.wait(pred, what)
            if timed:
                took = 1000 * (t - t0)
        return took

    def quit(self):
        t0 = time.monotonic()
        self.s.send(self.prog.quit_keys(self.s))
        t = self.s.wait_exit(TIMEOUT)
        return 1000 * (t - t0)

    def close(self):
        try:
            self.s.kill()
        finally:
            os.chdir(HERE)
            shutil.rmtree(self.dir, ignore_errors=True)


def open_quit_run(prog, text, show):
    r = Run(prog, text, show)
    try:
        t = r.wait(prog.first_screen, "first screen")
        first = 1000 * r.s.elapsed(t)
        hwm = startup.vm_hwm_kib(r.s.pid)
        # Quit as soon as the screen is complete, as a user would.
        t0 = time.monotonic()
        r.s.send(prog.quit_keys(r.s))
        end = r.s.wait_exit(TIMEOUT)
        return {"first": first, "quit": first + 1000 * (end - t0), "kib": hwm}
    finally:
        r.close()


def search_run(prog, text, show):
    r = Run(prog, text, show)
    try:
        r.wait(prog.first_screen, "first screen")
        took = r.steps(prog.search(), "search")
        r.s.send(prog.quit_keys(r.s))
        r.s.wait_exit(TIMEOUT)
        return {"search": took}
    finally:
        r.close()


def replace_run(prog, text, expected, show):
    r = Run(prog, text, show)
    try:
        r.wait(prog.first_screen, "first screen")
        out = {"replace": r.steps(prog.replace(), "replace")}
        out["save"] = r.steps(prog.save(), "save")
        r.s.send(prog.quit_keys(r.s))
        r.s.wait_exit(TIMEOUT)
        with open(r.file, "rb") as f:
            got = f.read()
        out["ok"] = got == expected
        if not out["ok"]:
            bad = os.path.join(tempfile.gettempdir(), "vesk-compare-%s.txt" % prog.name)
            with open(bad, "wb") as f:
                f.write(got)
            out["bad"] = bad
        return out
    finally:
        r.close()


# ---------------------------------------------------------------------------
# The table.
# ---------------------------------------------------------------------------

METRICS = [
    ("first", "open -> first full screen (ms)"),
    ("quit", "open + quit (ms)"),
    ("search", "search from the top to the last line (ms)"),
    ("replace", "replace every e by ea, no questions (ms)"),
    ("save", "save after it (ms)"),
    ("kib", "peak memory after open (KiB)"),
]


def fmt(v):
    if v is None:
        return "-"
    return "{:,.0f}".format(v) if v >= 100 else "%.1f" % v


def print_table(results, out=sys.stdout, title=None):
    names = list(results)
    peers = [n for n in names if n != "vesk"]
    head = [title or "metric"] + names + (["vesk / best peer"] if "vesk" in results and peers else [])
    print("| " + " | ".join(head) + " |", file=out)
    print("|" + "---|" * len(head), file=out)
    for key, label in METRICS:
        vals = {n: results[n].get(key) for n in names}
        cells = [label] + [fmt(vals[n]) for n in names]
        if len(head) > len(names) + 1:
            pv = [(vals[n], n) for n in peers if vals[n]]
            if pv and vals["vesk"]:
                best, who = min(pv)
                cells.append("%.2f x %s" % (vals["vesk"] / best, who))
            else:
                cells.append("-")
        print("| " + " | ".join(cells) + " |", file=out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build_dir", nargs="?", default=None,
                    help="where vesk-koi8 is (default: build-release if it has one, else build)")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--only", default="", help="comma-separated program names (vesk,vim,nano,joe,mcedit)")
    ap.add_argument("--show", action="store_true", help="print the model's screen after every step (stderr)")
    a = ap.parse_args()
    build = a.build_dir
    if build is None:
        build = next((os.path.join(startup.REPO, d) for d in ("build-release", "build")
                      if os.path.isfile(os.path.join(startup.REPO, d, "vesk-koi8"))), "build")
    build = os.path.abspath(build)

    lines = make_lines()
    text = text_bytes(lines)
    expected = text.replace(b"e", b"ea")
    progs = [Vesk(build, lines), Vim(lines), Nano(lines), Joe(lines), Mcedit(lines)]
    only = [n for n in a.only.split(",") if n]
    if only:
        progs = [p for p in progs if p.name in only]
    avail = []
    for p in progs:
        if p.available():
            avail.append(p)
        else:
            print("%s: not installed, skipped" % p.name)
    print("text: %d lines, %d bytes, %d e; %d runs each, median; 80x25 pty, TERM=xterm-256color; vesk: %s"
          % (len(lines), len(text), text.count(b"e"), a.runs, build))
    samples = {p.name: {k: [] for k, _ in METRICS} for p in avail}
    failures = {}
    for i in range(a.runs):
        for p in avail:  # runs alternate between programs
            try:
                o = open_quit_run(p, text, a.show)
                o.update(search_run(p, text, a.show))
                o.update(replace_run(p, text, expected, a.show))
            except RunError as e:
                failures.setdefault(p.name, str(e))
                continue
            if not o.pop("ok"):
                failures.setdefault(p.name, "the saved file differs from the expected one (kept in %s)" % o["bad"])
                o.pop("bad")
            for k, v in o.items():
                if v is not None:
                    samples[p.name][k].append(v)
    results = {n: {k: (statistics.median(v) if v else None) for k, v in m.items()} for n, m in samples.items()}
    print_table(results, title="median")
    # The least of the runs is less disturbed by other work on the machine.
    print()
    print_table({n: {k: (min(v) if v else None) for k, v in m.items()} for n, m in samples.items()}, title="least")
    print("load average: %.2f %.2f %.2f" % os.getloadavg())
    for n, why in failures.items():
        print("%s: FAILED: %s" % (n, why))
    return 1 if failures else 0


if __name__ == "__main__":
    startup.become_subreaper()
    sys.exit(main())

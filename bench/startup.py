#!/usr/bin/env python3
"""Start-up and output benchmark for the four editor programs.

Each program runs in a pseudo-terminal of 80x25 (TERM=xterm-256color,
LANG=C.UTF-8) on a generated file of 60-character lines, Cyrillic mixed with
ASCII, in KOI8-R for the koi8 builds and in CP866 for the 866 builds.  Every
byte the program writes goes through a small terminal model written here, so
"the first screen is complete" means: the model shows every text row with its
expected line, the status line and the message line, and the cursor in its
place.

Measured per program:
  * time from spawn to the complete first screen (median of --runs runs),
  * time to exit: first screen plus the time from Esc to the process's end,
  * peak memory (ru_maxrss of the child, from os.wait4),
  * bytes written for the first screen, for one Down key and for one PgDn
    (the text window is redrawn whole), and the fewest bytes that could
    draw the cells each of them changes.
vim (-u NONE -N -n) runs beside them on the KOI8-R file when installed, with
j and Ctrl-F for Down and PgDn.

Standard library only.  Run `startup.py --help` for the options.
"""

import argparse
import codecs
import errno
import fcntl
import json
import os
import random
import re
import select
import shutil
import signal
import statistics
import struct
import sys
import tempfile
import termios
import time

ROWS, COLS = 25, 80
LINE_CHARS = 60
HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
ALL_BUILDS = ["vesk-koi8", "vesk-866", "vesk-866-rkbd", "vesk-koi8-rkbd"]

# ---------------------------------------------------------------------------
# Terminal model: just enough of xterm for what full-screen programs send.
# ---------------------------------------------------------------------------

BOLD, DIM, ITALIC, UNDER, BLINK, REVERSE, INVIS, STRIKE = (1 << i for i in range(8))
DEFAULT_PEN = (None, None, 0)  # foreground, background, flags


class Screen:
    """A grid of (character, pen) cells fed with the bytes a program writes.

    Handles C0 controls, UTF-8 text with xterm's delayed autowrap, CSI
    sequences for cursor motion, erasing, inserting and deleting, scrolling
    regions and SGR, the alternate screen, cursor visibility, and skips OSC,
    DCS and other strings.  Queries (cursor position, device attributes) are
    collected in `replies` so that the caller can answer them.
    """

    def __init__(self, rows, cols):
        self.rows, self.cols = rows, cols
        self.decoder = codecs.getincrementaldecoder("utf-8")("replace")
        self.state = "ground"
        self.seq = ""
        self.pen = DEFAULT_PEN
        self.x = self.y = 0
        self.wrap_pending = False
        self.cursor_visible = True
        self.app_cursor_keys = False
        self.top, self.bottom = 0, rows - 1
        self.saved = (0, 0, DEFAULT_PEN)
        self.replies = []
        self.reset_cells()

    # -- cells -------------------------------------------------------------
    def blank(self):
        return (" ", (None, self.pen[1], 0))

    def reset_cells(self):
        b = (" ", DEFAULT_PEN)
        self.cells = [[b] * self.cols for _ in range(self.rows)]

    def snapshot(self):
        return {
            "cells": [row[:] for row in self.cells],
            "x": self.x,
            "y": self.y,
            "wrap": self.wrap_pending,
            "visible": self.cursor_visible,
            "pen": self.pen,
        }

    def row_text(self, y):
        return "".join(c for c, _ in self.cells[y])

    def cursor(self):
        """(column, row) counted from 1."""
        return self.x + 1, self.y + 1

    # -- feeding -----------------------------------------------------------
    def feed(self, data):
        text = self.decoder.decode(data)
        for ch in text:
            self.put(ch)

    def put(self, ch):
        st = self.state
        if st == "ground":
            o = ord(ch)
            if o >= 0x20 and o != 0x7F:
                self.print_char(ch)
            elif ch == "\x1b":
                self.state = "esc"
            else:
                self.control(ch)
        elif st == "esc":
            self.escape(ch)
        elif st == "csi":
            o = ord(ch)
            if 0x40 <= o <= 0x7E:
                self.state = "ground"
                self.csi(self.seq, ch)
            elif ch == "\x1b":
                self.state = "esc"
            elif o < 0x20:
                self.control(ch)
            else:
                self.seq += ch
        elif st == "string":  # OSC, DCS, APC, PM, SOS: up to BEL or ST
            if ch == "\x07":
                self.state = "ground"
            elif ch == "\x1b":
                self.state = "string-esc"
        elif st == "string-esc":
            self.state = "ground" if ch == "\\" else "string"
        elif st == "skip1":  # the designator after ESC ( ) * + #
            self.state = "ground"

    def control(self, ch):
        if ch == "\r":
            self.x = 0
            self.wrap_pending = False
        elif ch in "\n\x0b\x0c":
            self.index()
        elif ch == "\b":
            self.wrap_pending = False
            if self.x > 0:
                self.x -= 1
        elif ch == "\t":
            self.x = min(self.cols - 1, (self.x // 8 + 1) * 8)
            self.wrap_pending = False

    def escape(self, ch):
        self.state = "ground"
        if ch == "[":
            self.state = "csi"
            self.seq = ""
        elif ch in "]PX^_":
            self.state = "string"
        elif ch in "()*+#%":
            self.state = "skip1"
        elif ch == "7":
            self.saved = (self.x, self.y, self.pen)
        elif ch == "8":
            self.x, self.y, self.pen = self.saved
            self.wrap_pending = False
        elif ch == "D":
            self.index()
        elif ch == "E":
            self.x = 0
            self.index()
        elif ch == "M":
            self.reverse_index()
        elif ch == "c":
            self.__init__(self.rows, self.cols)
        # ESC = and ESC > (keypad modes) change nothing on the screen.

    def print_char(self, ch):
        if self.wrap_pending:
            self.x = 0
            self.index()
        self.cells[self.y][self.x] = (ch, self.pen)
        if self.x == self.cols - 1:
            self.wrap_pending = True
        else:
            self.x += 1

    def index(self):
        self.wrap_pending = False
        if self.y == self.bottom:
            self.scroll_up(1)
        elif self.y < self.rows - 1:
            self.y += 1

    def reverse_index(self):
        self.wrap_pending = False
        if self.y == self.top:
            self.scroll_down(1)
        elif self.y > 0:
            self.y -= 1

    def scroll_up(self, n, top=None):
        top = self.top if top is None else top
        for _ in range(n):
            del self.cells[top]
            self.cells.insert(self.bottom, [self.blank()] * self.cols)

    def scroll_down(self, n, top=None):
        top = self.top if top is None else top
        for _ in range(n):
            del self.cells[self.bottom]
            self.cells.insert(top, [self.blank()] * self.cols)

    def erase(self, y, x0, x1):
        b = self.blank()
        row = self.cells[y]
        for x in range(max(0, x0), min(self.cols, x1)):
            row[x] = b

    def csi(self, seq, final):
        private = ""
        while seq and seq[0] in "?<=>":
            private += seq[0]
            seq = seq[1:]
        inter = ""
        while seq and 0x20 <= ord(seq[-1]) <= 0x2F:
            inter = seq[-1] + inter
            seq = seq[:-1]
        params = []
        for p in seq.split(";") if seq else []:
            p = p.split(":")[0]
            params.append(int(p) if p.isdigit() else None)

        def arg(i, default=1):
            v = params[i] if i < len(params) else None
            return default if v is None or (v == 0 and default == 1) else v

        if inter:
            return  # DECSCUSR, DECRQM and the like: nothing on the screen
        if final == "m" and not private:
            self.sgr(params)
            return
        if final in "hl":
            on = final == "h"
            if private == "?":
                for p in params:
                    if p == 25:
                        self.cursor_visible = on
                    elif p == 1:
                        self.app_cursor_keys = on
                    elif p in (47, 1047, 1049):
                        if on and p == 1049:
                            self.saved = (self.x, self.y, self.pen)
                        self.reset_cells()
                        if not on and p == 1049:
                            self.x, self.y, self.pen = self.saved
            return
        if private:
            if final == "n" or final == "c":
                self.replies.append(private + seq + final)
            return
        self.wrap_pending = False
        x, y = self.x, self.y
        if final in "Hf":
            self.y = min(self.rows, arg(0)) - 1
            self.x = min(self.cols, arg(1)) - 1
        elif final == "A":
            self.y = max(self.top if y >= self.top else 0, y - arg(0))
        elif final in "Be":
            self.y = min(self.bottom if y <= self.bottom else self.rows - 1, y + arg(0))
        elif final in "Ca":
            self.x = min(self.cols - 1, x + arg(0))
        elif final == "D":
            self.x = max(0, x - arg(0))
        elif final == "E":
            self.y = min(self.rows - 1, y + arg(0))
            self.x = 0
        elif final == "F":
            self.y = max(0, y - arg(0))
            self.x = 0
        elif final in "G`":
            self.x = min(self.cols, arg(0)) - 1
        elif final == "d":
            self.y = min(self.rows, arg(0)) - 1
        elif final == "I":
            for _ in range(arg(0)):
                self.x = min(self.cols - 1, (self.x // 8 + 1) * 8)
        elif final == "Z":
            for _ in range(arg(0)):
                self.x = max(0, (self.x - 1) // 8 * 8)
        elif final == "J":
            mode = arg(0, 0)
            if mode == 0:
                self.erase(y, x, self.cols)
                for r in range(y + 1, self.rows):
                    self.erase(r, 0, self.cols)
            elif mode == 1:
                self.erase(y, 0, x + 1)
                for r in range(0, y):
                    self.erase(r, 0, self.cols)
            elif mode in (2, 3):
                for r in range(self.rows):
                    self.erase(r, 0, self.cols)
        elif final == "K":
            mode = arg(0, 0)
            if mode == 0:
                self.erase(y, x, self.cols)
            elif mode == 1:
                self.erase(y, 0, x + 1)
            elif mode == 2:
                self.erase(y, 0, self.cols)
        elif final == "X":
            self.erase(y, x, x + arg(0))
        elif final == "@":
            n = min(arg(0), self.cols - x)
            row = self.cells[y]
            self.cells[y] = row[:x] + [self.blank()] * n + row[x:self.cols - n]
        elif final == "P":
            n = min(arg(0), self.cols - x)
            row = self.cells[y]
            self.cells[y] = row[:x] + row[x + n:] + [self.blank()] * n
        elif final == "L":
            if self.top <= y <= self.bottom:
                self.scroll_down(min(arg(0), self.bottom - y + 1), top=y)
                self.x = 0
        elif final == "M":
            if self.top <= y <= self.bottom:
                self.scroll_up(min(arg(0), self.bottom - y + 1), top=y)
                self.x = 0
        elif final == "S":
            self.scroll_up(arg(0))
        elif final == "T":
            self.scroll_down(arg(0))
        elif final == "b":
            if x > 0:
                last = self.cells[y][x - 1][0]
                for _ in range(arg(0)):
                    self.print_char(last)
        elif final == "r":
            top = arg(0) - 1
            bottom = arg(1, self.rows) - 1 if len(params) > 1 and params[1] else self.rows - 1
            if 0 <= top < bottom < self.rows:
                self.top, self.bottom = top, bottom
            self.x = self.y = 0
        elif final == "s":
            self.saved = (self.x, self.y, self.pen)
        elif final == "u":
            self.x, self.y, self.pen = self.saved
        elif final in "nc":
            self.replies.append(seq + final)
        # Anything else (window operations, modifyOtherKeys ...) is ignored.

    def sgr(self, params):
        fg, bg, fl = self.pen
        if not params:
            params = [0]
        i = 0
        while i < len(params):
            p = params[i] if params[i] is not None else 0
            if p == 0:
                fg, bg, fl = DEFAULT_PEN
            elif p == 1:
                fl |= BOLD
            elif p == 2:
                fl |= DIM
            elif p == 3:
                fl |= ITALIC
            elif p == 4:
                fl |= UNDER
            elif p in (5, 6):
                fl |= BLINK
            elif p == 7:
                fl |= REVERSE
            elif p == 8:
                fl |= INVIS
            elif p == 9:
                fl |= STRIKE
            elif p == 22:
                fl &= ~(BOLD | DIM)
            elif p == 23:
                fl &= ~ITALIC
            elif p == 24:
                fl &= ~UNDER
            elif p == 25:
                fl &= ~BLINK
            elif p == 27:
                fl &= ~REVERSE
            elif p == 28:
                fl &= ~INVIS
            elif p == 29:
                fl &= ~STRIKE
            elif 30 <= p <= 37:
                fg = p - 30
            elif 40 <= p <= 47:
                bg = p - 40
            elif 90 <= p <= 97:
                fg = p - 90 + 8
            elif 100 <= p <= 107:
                bg = p - 100 + 8
            elif p == 39:
                fg = None
            elif p == 49:
                bg = None
            elif p in (38, 48) and i + 1 < len(params):
                if params[i + 1] == 5 and i + 2 < len(params):
                    c = params[i + 2]
                    i += 2
                elif params[i + 1] == 2 and i + 4 < len(params):
                    c = ("rgb",) + tuple(params[i + 2:i + 5])
                    i += 4
                else:
                    c = None
                    i += 1
                if p == 38:
                    fg = c
                else:
                    bg = c
            i += 1
        self.pen = (fg, bg, fl)


# ---------------------------------------------------------------------------
# The fewest bytes that could turn one screen into another.
# ---------------------------------------------------------------------------


def looks(cell):
    """What a person sees in a cell: a blank's foreground colour is invisible."""
    ch, (fg, bg, fl) = cell
    if ch == " " and not fl & (UNDER | STRIKE | REVERSE):
        return (ch, None, bg, fl & ~(BOLD | DIM | ITALIC | BLINK))
    return (ch, fg, bg, fl)


def colour_param(base, c):
    if isinstance(c, tuple):
        return ["%d" % (base + 8), "2"] + ["%d" % v for v in c[1:]]
    if c < 8:
        return ["%d" % (base + c)]
    if c < 16:
        return ["%d" % (base + 60 + c - 8)]
    return ["%d" % (base + 8), "5", "%d" % c]


FLAG_ON = [(BOLD, "1"), (DIM, "2"), (ITALIC, "3"), (UNDER, "4"), (BLINK, "5"),
           (REVERSE, "7"), (INVIS, "8"), (STRIKE, "9")]
FLAG_OFF = {ITALIC: "23", UNDER: "24", BLINK: "25", REVERSE: "27", INVIS: "28", STRIKE: "29"}


def sgr_bytes(cur, want):
    """Length of the shortest SGR (of two forms) that turns pen cur into want."""
    if cur == want:
        return 0
    fg, bg, fl = want

    def length(params):
        return len("\x1b[" + ";".join(params) + "m")

    # From a reset: "ESC [ m" then everything the pen needs.
    reset = ["0"] if (fg is None and bg is None and fl == 0) else []
    for bit, code in FLAG_ON:
        if fl & bit:
            reset.append(code)
    if fg is not None:
        reset += colour_param(30, fg)
    if bg is not None:
        reset += colour_param(40, bg)
    if reset and reset[0] != "0":
        reset.insert(0, "")  # "ESC [ ; 1 ; 3 4 m": the empty first value resets
    best = length(reset) if reset != ["0"] else 3
    # Changing only what differs.
    cfg, cbg, cfl = cur
    delta = []
    off = cfl & ~fl
    if off & (BOLD | DIM):
        delta.append("22")
        off &= ~(BOLD | DIM)
        fl_needed = fl
    else:
        fl_needed = fl & ~cfl
    for bit, code in FLAG_OFF.items():
        if off & bit:
            delta.append(code)
    for bit, code in FLAG_ON:
        if fl_needed & bit:
            delta.append(code)
    if fg != cfg:
        delta += ["39"] if fg is None else colour_param(30, fg)
    if bg != cbg:
        delta += ["49"] if bg is None else colour_param(40, bg)
    if delta:
        best = min(best, length(delta))
    return best


def _num(n):
    return "" if n == 1 else str(n)


def move_bytes(cur, to, cells, pen):
    """Fewest bytes to move the cursor from cur to `to`.  Positions are
    (x, y, pending_wrap), 0-based; cur is None when unknown.  `cells` is what
    the terminal shows left of `to` on its row (cells are drawn in screen
    order, so that is their final state).  Tries the cursor address, and
    from a known place: a row move (LF, cursor down/up, row address) then a
    column move (column address, cursor forward/back, backspaces, CR, or
    rewriting the cells in between in the current pen)."""
    x, y = to[0], to[1]
    best = len("\x1b[%d;%dH" % (y + 1, x + 1)) if (x, y) != (0, 0) else 3
    if cur is None:
        return best
    cx, cy, wrap = cur
    if (cx, cy, wrap) == (x, y, False):
        return 0

    def rewrite(x0, x1):  # redraw cells x0..x1-1 of row y as they are
        n = 0
        for gx in range(x0, x1):
            ch = cells[y][gx][0]
            if looks(cells[y][gx]) != looks((ch, pen)):
                return 1 << 30
            n += len(ch.encode())
        return n

    if cy == y:
        vert = 0
    elif y > cy:
        vert = min(y - cy, len("\x1b[%sB" % _num(y - cy)), len("\x1b[%sd" % _num(y + 1)))
    else:
        vert = min(len("\x1b[%sA" % _num(cy - y)), len("\x1b[%sd" % _num(y + 1)))
    horiz = [len("\x1b[%sG" % _num(x + 1)),
             1 + (0 if x == 0 else min(len("\x1b[%sC" % _num(x)), rewrite(0, x)))]  # CR first
    if not wrap:
        if x == cx:
            horiz.append(0)
        elif x > cx:
            horiz += [len("\x1b[%sC" % _num(x - cx)), rewrite(cx, x)]
        else:
            horiz += [cx - x, len("\x1b[%sD" % _num(cx - x))]  # backspaces or cursor back
    return min(best, vert + min(horiz))


def draw_bytes(before, after, cols):
    """Bytes to draw every cell of `after` that looks different in `before`:
    for each, in screen order, the cheapest move there, the SGR its pen
    needs and its glyph; then the move to the final cursor place and a
    change of cursor visibility.  Returns (bytes, changed cells)."""
    b, a = before["cells"], after["cells"]
    total = 0
    changed = 0
    cur = (before["x"], before["y"], before["wrap"])
    pen = before["pen"]
    shown = [row[:] for row in b]
    for y in range(len(a)):
        for x in range(cols):
            if looks(a[y][x]) == looks(b[y][x]):
                continue
            changed += 1
            total += move_bytes(cur, (x, y), shown, pen)
            ch, want = a[y][x]
            if looks((ch, pen)) != looks((ch, want)):
                total += sgr_bytes(pen, want)
                pen = want
            total += len(ch.encode())
            shown[y][x] = a[y][x]
            cur = (x + 1, y, False) if x + 1 < cols else (x, y, True)
    if after["visible"]:
        total += move_bytes(cur, (after["x"], after["y"]), shown, pen)
    if after["visible"] != before["visible"]:
        total += len("\x1b[?25h")
    return total, changed


def fewest_bytes(before, after, cols):
    """The fewest bytes that could turn snapshot `before` into `after`: the
    changed cells drawn one by one (draw_bytes), or the screen cleared in the
    background most of `after`'s blanks have (xterm fills with the current
    background) and what is not blank drawn on it.  Returns (bytes, cells
    that change)."""
    direct, changed = draw_bytes(before, after, cols)
    backgrounds = {}
    for row in after["cells"]:
        for ch, (fg, bg, fl) in row:
            if ch == " " and not fl & (UNDER | STRIKE | REVERSE):
                backgrounds[bg] = backgrounds.get(bg, 0) + 1
    if not backgrounds:
        return direct, changed
    bg = max(backgrounds, key=backgrounds.get)
    pen = (before["pen"][0], bg, 0) if before["pen"][1] == bg else (None, bg, 0)
    cleared = dict(before)
    cleared["cells"] = [[(" ", (None, bg, 0))] * cols for _ in after["cells"]]
    cleared["pen"] = pen
    clear_cost = sgr_bytes(before["pen"], pen) + len("\x1b[2J")
    via_clear, _ = draw_bytes(cleared, after, cols)
    return min(direct, clear_cost + via_clear), changed


# ---------------------------------------------------------------------------
# The test text.
# ---------------------------------------------------------------------------

RUSSIAN = ("редактор строка текст файл экран курсор буква слово абзац страница "
           "клавиша запись чтение память таблица кодировка русский язык ответ "
           "вопрос начало конец строки блок поиск замена меню окно ЁЛКА ёжик "
           "Москва Россия ПРИВЕТ МИР объём съезд щука жизнь эхо юг я").split()
LATIN = ("the quick brown fox jumps over lazy dog editor line text file KOI8 "
         "CP866 Unicode ASCII 0123 4567 89 x=1; y+2 (a,b) [c] {d} <e> #f @g").split()


def make_lines(count, seed=866):
    """count lines of exactly LINE_CHARS characters: a line number, then
    Cyrillic and ASCII words mixed; no line ends in a blank."""
    rnd = random.Random(seed)
    lines = []
    for n in range(1, count + 1):
        s = "%05d" % n
        while len(s) < LINE_CHARS:
            words = RUSSIAN if rnd.random() < 0.65 else LATIN
            s += " " + rnd.choice(words)
        s = s[:LINE_CHARS]
        if s.endswith(" "):
            s = s[:-1] + "."
        lines.append(s)
    return lines


def write_text(path, lines, encoding):
    with open(path, "wb") as f:
        f.write(("\n".join(lines) + "\n").encode(encoding))


# ---------------------------------------------------------------------------
# Running a program in a pseudo-terminal.
# ---------------------------------------------------------------------------


class RunError(Exception):
    pass


class Session:
    def __init__(self, label, argv, env, answer_queries=True, clean_rusage=False):
        """Starts argv in a new pseudo-terminal, in the current directory."""
        self.label = label
        self.screen = Screen(ROWS, COLS)
        self.answer_queries = answer_queries
        self.pending = []  # (time, bytes) read but not yet fed to the model
        self.predicate = None
        self.hit = None
        self.first_output = None
        self.total_bytes = 0
        self.raw = bytearray()
        self.eof = False
        self.exit_time = None
        self.status = None
        self.rusage = None
        master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLS, 0, 0))
        tty = os.ttyname(slave)
        self.t0 = time.monotonic()
        if clean_rusage:
            pid = self._spawn_via_shell(argv, env, tty)
        else:
            # posix_spawn rather than fork: forking this large Python process
            # costs more than starting the program itself.  A session leader
            # that opens a terminal gets it as its controlling terminal.
            pid = os.posix_spawn(argv[0], argv, env, setsid=True, setsigdef=self.DEFAULT_SIGNALS,
                                 file_actions=self._terminal_actions(tty))
        os.close(slave)
        self.pid, self.fd = pid, master
        try:
            self.pidfd = os.pidfd_open(pid)
        except (AttributeError, OSError):
            self.pidfd = None

    DEFAULT_SIGNALS = (signal.SIGPIPE, signal.SIGXFSZ)  # Python ignores these

    @staticmethod
    def _terminal_actions(tty):
        return [(os.POSIX_SPAWN_OPEN, 0, tty, os.O_RDWR, 0),
                (os.POSIX_SPAWN_DUP2, 0, 1),
                (os.POSIX_SPAWN_DUP2, 0, 2)]

    # Linux keeps a process's peak RSS across exec, and a program started
    # straight from this (large) Python process would report Python's peak
    # as its own ru_maxrss.  For a clean figure the program is started by a
    # shell instead: the shell backgrounds it through setsid (new session,
    # the pty as its controlling terminal), prints its pid and ends; this
    # process, a child subreaper, inherits the program and reaps it with
    # wait4.  Its recorded peak is then at least the small shell's.
    SPAWN_SCRIPT = 'exec 4<&0; setsid -c "$@" <&4 4<&- 3>&- & echo $! >&3'

    def _spawn_via_shell(self, argv, env, tty):
        r, w = os.pipe()
        shell = os.posix_spawn("/bin/sh", ["sh", "-c", self.SPAWN_SCRIPT, "sh"] + argv, env,
                               setsigdef=self.DEFAULT_SIGNALS,
                               file_actions=self._terminal_actions(tty) + [(os.POSIX_SPAWN_DUP2, w, 3)])
        os.close(w)
        text = b""
        while True:
            part = os.read(r, 64)
            if not part:
                break
            text += part
        os.close(r)
        os.waitpid(shell, 0)
        try:
            return int(text)
        except ValueError:
            raise RunError("%s: the shell did not start the program" % self.label)

    def elapsed(self, t):
        return t - self.t0

    QUERIES = (b"\x1b[6n", b"\x1b[c", b"\x1b[0c")

    def _read_once(self, timeout):
        """Waits up to timeout for output; returns False when nothing came.
        Output is only stored here, with its arrival time; the model is fed
        later, in quiet gaps, so that its work does not delay the reading.
        A query the program waits on (cursor position, device attributes) is
        answered at once."""
        if self.eof:
            time.sleep(max(0.0, timeout))
            return False
        r, _, _ = select.select([self.fd], [], [], max(0.0, timeout))
        if not r:
            return False
        try:
            data = os.read(self.fd, 65536)
        except OSError as e:
            if e.errno != errno.EIO:
                raise
            data = b""
        now = time.monotonic()
        if not data:
            self.eof = True
            return False
        if self.first_output is None:
            self.first_output = now
        self.pending.append((now, data))
        self.total_bytes += len(data)
        self.raw += data
        if self.answer_queries and any(q in self.raw[-len(data) - 4:] for q in self.QUERIES):
            self._digest()
        return True

    def _digest(self):
        """Feeds the pending output to the model chunk by chunk, noting the
        arrival time of the chunk after which the predicate first holds."""
        while self.pending:
            t, data = self.pending.pop(0)
            self.screen.feed(data)
            self._answer()
            if self.hit is None and self.predicate is not None and self.predicate(self.screen):
                self.hit = t

    def _answer(self):
        replies = self.screen.replies
        self.screen.replies = []
        if not self.answer_queries:
            return
        for q in replies:
            if q == "6n":  # cursor position report
                self.send(("\x1b[%d;%dR" % (self.screen.y + 1, self.screen.x + 1)).encode())
            elif q in ("c", "0c"):  # primary device attributes: a VT220 with colour
                self.send(b"\x1b[?62;22c")

    def wait_for(self, predicate, quiet, timeout, what):
        """Reads until the model satisfies predicate and then nothing more
        comes for `quiet` seconds.  Returns (arrival time of the output that
        completed the screen, bytes read from the call to the end)."""
        self._digest()
        start_bytes = self.total_bytes
        deadline = time.monotonic() + timeout
        self.predicate, self.hit = predicate, None
        while True:
            if self._read_once(quiet) and time.monotonic() < deadline:
                continue
            self._digest()
            if self.hit is not None and not self.pending:
                self.predicate = None
                return self.hit, self.total_bytes - start_bytes
            if self.eof:
                raise RunError("%s: the program ended before %s; the screen:\n%s"
                               % (self.name(), what, self.describe()))
            if time.monotonic() > deadline:
                raise RunError("%s: no %s within %.0f s; the screen:\n%s"
                               % (self.name(), what, timeout, self.describe()))

    def name(self):
        return self.label

    def describe(self):
        """The model's screen, for error messages."""
        scr = self.screen
        rows = ["  |%s|" % scr.row_text(y).rstrip() for y in range(scr.rows)]
        return "\n".join(rows + ["  cursor %s, %s" % (scr.cursor(), "visible" if scr.cursor_visible else "hidden")])

    def send(self, data):
        os.write(self.fd, data)

    def wait_exit(self, timeout):
        """Waits for the process to end while draining its output; returns
        the time it ended (seen on a pidfd where there is one, else as the
        end of the terminal's output)."""
        deadline = time.monotonic() + timeout
        while self.exit_time is None:
            left = deadline - time.monotonic()
            if left <= 0:
                raise RunError("%s did not exit within %.0f s" % (self.name(), timeout))
            fds = ([] if self.eof else [self.fd]) + ([] if self.pidfd is None else [self.pidfd])
            if not fds:  # no pidfd and the terminal closed: the process has ended
                self.exit_time = time.monotonic()
                break
            r, _, _ = select.select(fds, [], [], min(left, 0.05))
            now = time.monotonic()
            if self.pidfd is not None and self.pidfd in r:
                self.exit_time = now
            elif self.fd in r:
                self._read_once(0)
        self._reap()
        return self.exit_time

    def _reap(self):
        _, status, ru = os.wait4(self.pid, 0)
        self.status = os.waitstatus_to_exitcode(status)
        self.rusage = ru
        while not self.eof and self._read_once(0):
            pass
        self.close()

    def kill(self):
        if self.status is None:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.exit_time = time.monotonic()
            self._reap()

    def close(self):
        for fd in (self.fd, self.pidfd):
            if fd is not None:
                try:
                    os.close(fd)
                except OSError:
                    pass
        self.fd = self.pidfd = None
        self.eof = True


# ---------------------------------------------------------------------------
# What each program should show.
# ---------------------------------------------------------------------------


def rows_show(scr, first_row, first_line, lines, count):
    """True when `count` screen rows from first_row (0-based) show the lines
    from first_line (1-based) on, blanks past the end of the text."""
    for k in range(count):
        n = first_line + k
        want = lines[n - 1] if 1 <= n <= len(lines) else ""
        if scr.row_text(first_row + k).rstrip() != want.rstrip():
            return False
    return True


def status_shows(status, cur_line, count):
    """True when the status line names the cursor line and the line count:
    "line=N ... size=M" (the fixed-column form) or "Line=N/M"."""
    m = re.search(r"line=(\d+)", status, re.IGNORECASE)
    if not m or int(m.group(1)) != cur_line:
        return False
    # The size field may run straight into the next one ("size=24575memory=").
    return re.search(r"(?:size=|line=%d/)%d(?!\d)" % (cur_line, count), status, re.IGNORECASE) is not None


class Editor:
    """One of the editor's programs.  Row 1 status line, row 2 message line,
    text from row 3; the text window holds ROWS - 2 lines and PgDn moves
    ROWS - 3 lines."""

    kind = "editor"

    def __init__(self, build, bin_dir, text_path, lines):
        self.name = build
        self.path = os.path.join(bin_dir, build)
        self.text_path = text_path
        self.lines = lines
        self.fill = "▒" if "koi8" in build else "░"
        self.window = ROWS - 2
        self.page = ROWS - 3

    def argv(self):
        return [self.path, "-w", "-I./", os.path.basename(self.text_path)]

    def prepare(self, cwd):
        state = os.path.join(cwd, os.path.basename(self.text_path) + ".VkIni")
        if os.path.exists(state):
            os.unlink(state)

    def shows(self, top, cur_line):
        n = len(self.lines)
        base = os.path.basename(self.text_path)

        def pred(scr):
            if not scr.cursor_visible or scr.cursor() != (1, cur_line - top + 3):
                return False
            status = scr.row_text(0)
            if base not in status or not status_shows(status, cur_line, n):
                return False
            if scr.row_text(1) != self.fill * COLS:
                return False
            return rows_show(scr, 2, top, self.lines, self.window)

        return pred

    def first_screen(self):
        return self.shows(1, 1)

    def down_key(self, scr):
        return b"\x1bOB" if scr.app_cursor_keys else b"\x1b[B"

    def after_down(self):
        return self.shows(1, 2)

    def page_key(self, scr):
        return b"\x1b[6~"

    def after_page(self):  # PgDn after Down: window and cursor move a page
        return self.shows(1 + self.page, 2 + self.page)

    quit_key = b"\x1b"


class Vim:
    kind = "vim"

    def __init__(self, path, text_path, lines, fenc):
        self.name = "vim"
        self.path = path
        self.text_path = text_path
        self.lines = lines
        self.fenc = fenc
        self.window = ROWS - 1
        if not fenc:  # vim's own 'fileencodings' take KOI8-R for Latin-1
            self.lines = [l.encode("koi8_r").decode("latin-1") for l in lines]

    def argv(self):
        a = [self.path, "-u", "NONE", "-N", "-n"]
        if self.fenc:
            a += ["--cmd", "set fileencodings=" + self.fenc]
        return a + [os.path.basename(self.text_path)]

    def prepare(self, cwd):
        pass

    def shows(self, top, cur_line, need_message):
        n = len(self.lines)

        def pred(scr):
            if not scr.cursor_visible or scr.cursor() != (1, cur_line - top + 1):
                return False
            if need_message and "%dL" % n not in scr.row_text(ROWS - 1):
                return False
            return rows_show(scr, 0, top, self.lines, self.window)

        return pred

    def first_screen(self):
        return self.shows(1, 1, True)

    def down_key(self, scr):
        return b"j"

    def after_down(self):
        return self.shows(1, 2, False)

    def page_key(self, scr):
        return b"\x06"  # Ctrl-F

    def after_page(self):  # Ctrl-F keeps two lines; the cursor goes to the top
        top = 1 + self.window - 2
        return self.shows(top, top, False)

    quit_key = b":qa!\r"


def become_subreaper():
    """Makes orphaned descendants this process's children (Linux); False
    where that is not possible."""
    try:
        import ctypes
        libc = ctypes.CDLL(None, use_errno=True)
        return libc.prctl(36, 1, 0, 0, 0) == 0  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        return False


def vm_hwm_kib(pid):
    """The peak RSS of a running process's current program, or None."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def child_env(home):
    return {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": home,
        "TERM": "xterm-256color",
        "LANG": "C.UTF-8",
    }


def timing_run(prog, cwd, quiet, timeout):
    """Spawn, wait for the complete first screen, quit, wait for the end."""
    prog.prepare(cwd)
    s = Session(prog.name, prog.argv(), child_env(cwd))
    try:
        t_screen, _ = s.wait_for(prog.first_screen(), quiet, timeout, "first screen")
        t_first = s.first_output
        hwm = vm_hwm_kib(s.pid)
        t_quit = time.monotonic()
        s.send(prog.quit_key)
        t_end = s.wait_exit(timeout)
    except BaseException:
        s.kill()
        raise
    return {
        "first_byte_ms": 1000 * s.elapsed(t_first),
        "first_screen_ms": 1000 * s.elapsed(t_screen),
        "quit_to_exit_ms": 1000 * (t_end - t_quit),
        "exit_ms": 1000 * (s.elapsed(t_screen) + t_end - t_quit),
        "vm_hwm_kib": hwm,
        "status": s.status,
    }


def bytes_run(prog, cwd, timeout, clean_rusage, dump_dir=None):
    """First screen, then Down, then PgDn: the bytes of each until the output
    goes quiet for 50 ms, and the fewest bytes for the same change; the
    program's peak memory from wait4."""
    quiet = 0.05
    prog.prepare(cwd)
    s = Session(prog.name, prog.argv(), child_env(cwd), clean_rusage=clean_rusage)
    out = {}
    marks = []
    try:
        blank = s.screen.snapshot()
        _, n = s.wait_for(prog.first_screen(), quiet, timeout, "first screen")
        shot = s.screen.snapshot()
        few, cells = fewest_bytes(blank, shot, COLS)
        out["first_screen"] = {"bytes": n, "fewest": few, "cells": cells}
        marks.append(len(s.raw))
        for step, key, pred in (("down", prog.down_key, prog.after_down),
                                ("page", prog.page_key, prog.after_page)):
            before = s.screen.snapshot()
            s.send(key(s.screen))
            _, n = s.wait_for(pred(), quiet, timeout, "screen after " + step)
            after = s.screen.snapshot()
            few, cells = fewest_bytes(before, after, COLS)
            out[step] = {"bytes": n, "fewest": few, "cells": cells}
            if n <= 120:
                out[step]["sent"] = escaped(bytes(s.raw[len(s.raw) - n:]))
            marks.append(len(s.raw))
        out["vm_hwm_kib"] = vm_hwm_kib(s.pid)
        s.send(prog.quit_key)
        s.wait_exit(timeout)
        out["maxrss_kib"] = s.rusage.ru_maxrss if clean_rusage else None
        out["minor_faults"] = s.rusage.ru_minflt
        out["cpu_ms"] = 1000 * (s.rusage.ru_utime + s.rusage.ru_stime)
        out["status"] = s.status
    except BaseException:
        s.kill()
        raise
    finally:
        if dump_dir:
            os.makedirs(dump_dir, exist_ok=True)
            parts = [0] + marks + [len(s.raw)]
            names = ["first-screen", "down", "page", "exit"]
            for k in range(len(parts) - 1):
                with open(os.path.join(dump_dir, "%s.%s.bytes" % (prog.name, names[k])), "wb") as f:
                    f.write(bytes(s.raw[parts[k]:parts[k + 1]]))
    return out


# ---------------------------------------------------------------------------
# Report.
# ---------------------------------------------------------------------------


def escaped(data):
    """Terminal output in a readable form: ESC as \\e, other controls as \\xNN."""
    text = data.decode("utf-8", "replace")
    out = []
    for ch in text:
        if ch == "\x1b":
            out.append("\\e")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\n":
            out.append("\\n")
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            out.append("\\x%02x" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


def pct_over(n, few):
    return 100.0 * (n - few) / few if few else None


def summarise(times):
    def med(key):
        return statistics.median(r[key] for r in times)

    def low(key):
        return min(r[key] for r in times)

    return {
        "first_byte_ms": {"median": med("first_byte_ms"), "min": low("first_byte_ms")},
        "first_screen_ms": {"median": med("first_screen_ms"), "min": low("first_screen_ms")},
        "exit_ms": {"median": med("exit_ms"), "min": low("exit_ms")},
        "quit_to_exit_ms": {"median": med("quit_to_exit_ms"), "min": low("quit_to_exit_ms")},
        "vm_hwm_kib": max((r["vm_hwm_kib"] or 0) for r in times),
        "statuses": sorted(set(r["status"] for r in times)),
    }


def print_table(result):
    st = result["settings"]
    print("Start-up and output: %d lines of %d characters, %dx%d pty, TERM=%s, LANG=%s"
          % (st["lines"], st["line_chars"], st["cols"], st["rows"], st["term"], st["lang"]))
    print("programs from %s; %d timed runs each: median (min)" % (st["bin_dir"], st["runs"]))
    print()
    fmt = "%-15s %15s %17s %17s %13s %11s %10s %5s"
    print(fmt % ("program", "first byte ms", "first screen ms", "exit ms", "Esc->exit ms", "maxrss KiB",
                 "VmHWM KiB", "exit"))
    errors = []
    for name, r in result["programs"].items():
        if "timing" not in r:
            print("%-15s failed (below)" % name)
            errors.append(r.get("error", "no timed run"))
            continue
        t = r["timing"]
        b = r.get("bytes", {})
        print(fmt % (name,
                     "%.1f (%.1f)" % (t["first_byte_ms"]["median"], t["first_byte_ms"]["min"]),
                     "%.1f (%.1f)" % (t["first_screen_ms"]["median"], t["first_screen_ms"]["min"]),
                     "%.1f (%.1f)" % (t["exit_ms"]["median"], t["exit_ms"]["min"]),
                     "%.1f" % t["quit_to_exit_ms"]["median"],
                     "-" if b.get("maxrss_kib") is None else b["maxrss_kib"],
                     t["vm_hwm_kib"] or "-",
                     ",".join(str(x) for x in t["statuses"])))
        if "error" in r:
            errors.append(r["error"])
    print()
    print("Bytes written: bytes (fewest that could draw the changed cells; over fewest)")
    fmt = "%-15s %22s %22s %22s"
    print(fmt % ("program", "first screen", "Down (vim: j)", "PgDn (vim: Ctrl-F)"))

    def cell(b):
        p = pct_over(b["bytes"], b["fewest"])
        return "%d (%d; %s)" % (b["bytes"], b["fewest"], "-" if p is None else "%+.0f%%" % p)

    for name, r in result["programs"].items():
        if "bytes" not in r:
            continue
        b = r["bytes"]
        print(fmt % (name, cell(b["first_screen"]), cell(b["down"]), cell(b["page"])))
    for name, r in result["programs"].items():
        if "sent" in r.get("bytes", {}).get("down", {}):
            print("%-15s Down sent: %s" % (name, r["bytes"]["down"]["sent"]))
    print()
    for note in result["notes"]:
        print("note: " + note)
    for e in errors:
        print("error: " + e)
    if result["targets"]:
        print()
        print("Targets:")
        for t in result["targets"]:
            print("  %-4s %s" % ("met" if t["met"] else "MISS", t["text"]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    default_bin = os.path.join(REPO, "build-release")
    if not os.path.exists(os.path.join(default_bin, ALL_BUILDS[0])):
        default_bin = os.path.join(REPO, "build")
    ap.add_argument("--bin-dir", default=default_bin, help="where the programs are (default %(default)s)")
    ap.add_argument("--builds", default=",".join(ALL_BUILDS), help="comma-separated program names")
    ap.add_argument("--runs", type=int, default=10, help="timed runs per program (default %(default)s)")
    ap.add_argument("--lines", type=int, default=24575,
                    help="lines in the test file, at least 100 (default %(default)s)")
    ap.add_argument("--json", action="store_true", help="print the results as JSON instead of a table")
    ap.add_argument("--no-vim", action="store_true", help="leave vim out")
    ap.add_argument("--vim-fenc", default="koi8-r",
                    help="vim's 'fileencodings' for the KOI8-R file ('' for vim's own default)")
    ap.add_argument("--quiet-ms", type=float, default=100,
                    help="silence that ends the first screen in timed runs (default %(default)s)")
    ap.add_argument("--timeout", type=float, default=20, help="seconds before a run is given up")
    ap.add_argument("--dump", metavar="DIR", help="write the raw bytes of the byte-count runs to DIR")
    args = ap.parse_args()
    if args.runs < 1:
        ap.error("--runs must be at least 1")
    if args.lines < 100:
        ap.error("--lines must be at least 100, so that Down and a page down stay inside the text")

    args.bin_dir = os.path.abspath(args.bin_dir)
    tmp = tempfile.mkdtemp(prefix="vesk-bench-")
    home = os.getcwd()
    os.chdir(tmp)  # the programs start in the current directory
    notes = []
    try:
        lines = make_lines(args.lines)
        koi8 = os.path.join(tmp, "bench-koi8.txt")
        cp866 = os.path.join(tmp, "bench-866.txt")
        write_text(koi8, lines, "koi8_r")
        write_text(cp866, lines, "cp866")

        progs = []
        for b in [x for x in args.builds.split(",") if x]:
            p = Editor(b, args.bin_dir, koi8 if "koi8" in b else cp866, lines)
            if not os.access(p.path, os.X_OK):
                notes.append("%s: not found in %s, skipped" % (b, args.bin_dir))
                continue
            progs.append(p)
        vim = shutil.which("vim")
        if not args.no_vim:
            if vim:
                progs.append(Vim(vim, koi8, lines, args.vim_fenc))
                notes.append("vim runs as `vim -u NONE -N -n%s` on the KOI8-R file with HOME set to the "
                             "temporary directory; its window is %d text rows (ours %d)"
                             % (" --cmd 'set fileencodings=%s'" % args.vim_fenc if args.vim_fenc else "",
                                ROWS - 1, ROWS - 2))
            else:
                notes.append("vim is not installed: no comparison")
        if not shutil.which("nano"):
            notes.append("nano is not installed: left out")
        notes.append("exit ms = first screen + time from sending Esc (vim: ':qa!' Enter) to the "
                     "process's end; the editor's part includes its lone-Esc wait (VESK_ESC_TIMEOUT, "
                     "default 35 ms)")
        notes.append("one untimed warm-up run per program; runs alternate between programs")
        clean = shutil.which("setsid") is not None and become_subreaper()
        notes.append("maxrss: ru_maxrss from wait4 in the byte-count run, the program started through "
                     "a shell so that this Python process's own peak is not inherited; VmHWM: "
                     "/proc/<pid>/status just before quitting (largest of the timed runs)"
                     if clean else
                     "maxrss not measured: this system cannot adopt orphaned processes, and "
                     "ru_maxrss of a program forked from Python carries Python's own peak")
        if not progs:
            raise SystemExit("no program to run: " + "; ".join(notes[:1]))

        results = {p.name: {"times": []} for p in progs}
        quiet = args.quiet_ms / 1000.0
        for p in progs:  # warm-up: binaries and text into the page cache
            try:
                timing_run(p, tmp, quiet, args.timeout)
            except RunError as e:
                results[p.name]["error"] = str(e)
        for i in range(args.runs):
            for p in progs:
                if "error" in results[p.name]:
                    continue
                try:
                    results[p.name]["times"].append(timing_run(p, tmp, quiet, args.timeout))
                except RunError as e:
                    results[p.name]["error"] = str(e)
            if not args.json:
                print("run %d/%d done" % (i + 1, args.runs), file=sys.stderr)
        for p in progs:
            r = results[p.name]
            if r["times"]:
                r["timing"] = summarise(r["times"])
            if "error" in r:
                continue
            try:
                r["bytes"] = bytes_run(p, tmp, args.timeout, clean, args.dump)
            except RunError as e:
                r["error"] = str(e)
                continue
            if p.kind == "editor" and any(t["status"] != 0 for t in r["times"]):
                notes.append("%s: exit status not 0 in some runs: %s"
                             % (p.name, sorted(set(t["status"] for t in r["times"]))))

        targets = []
        vr = results.get("vim")
        for p in progs:
            if p.kind != "editor":
                continue
            r = results[p.name]
            if "timing" in r and vr and "timing" in vr:
                ours = r["timing"]["first_screen_ms"]["median"]
                theirs = vr["timing"]["first_screen_ms"]["median"]
                targets.append({
                    "program": p.name, "target": "first_screen_half_of_vim",
                    "met": ours <= theirs / 2,
                    "text": "%s first screen %.1f ms = %.0f%% of vim's %.1f ms (target <= 50%%)"
                            % (p.name, ours, 100 * ours / theirs, theirs)})
            if "bytes" in r:
                d = r["bytes"]["down"]
                p_over = pct_over(d["bytes"], d["fewest"])
                targets.append({
                    "program": p.name, "target": "cursor_move_within_10pct",
                    "met": p_over is not None and p_over <= 10,
                    "text": "%s Down: %d bytes, fewest %d: %s over (target <= 10%%)"
                            % (p.name, d["bytes"], d["fewest"],
                               "-" if p_over is None else "%+.0f%%" % p_over)})

        result = {
            "settings": {"lines": args.lines, "line_chars": LINE_CHARS, "rows": ROWS, "cols": COLS,
                         "runs": args.runs, "bin_dir": os.path.abspath(args.bin_dir),
                         "term": "xterm-256color", "lang": "C.UTF-8", "quiet_ms": args.quiet_ms},
            "programs": results,
            "notes": notes,
            "targets": targets,
        }
        if args.json:
            json.dump(result, sys.stdout, indent=2)
            print()
        else:
            print_table(result)
    finally:
        os.chdir(home)
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()

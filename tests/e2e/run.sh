#!/usr/bin/env bash
# End-to-end cases: the real programs run inside a private tmux server each,
# keys go in as the terminal would send them, and the cases look at what
# reached the terminal (text and colours), the exit status, the terminal
# modes left behind and the files written.
#
#   tests/e2e/run.sh <build-dir>            every case
#   tests/e2e/run.sh <build-dir> NAME...    only the named cases
#
# VESK_E2E_TIMEOUT: seconds any one wait for the screen may take (default 5).
# Exit status 0 when every case passed, 1 otherwise.

set -u
export LC_ALL=C.UTF-8
unset TMUX

if [[ $# -lt 1 ]]; then
  echo "usage: $0 <build-dir> [case...]" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd) || exit 2
shift
PROGRAMS=(vesk-koi8 vesk-866 vesk-866-rkbd vesk-koi8-rkbd)
TIMEOUT=${VESK_E2E_TIMEOUT:-5}
SESSION=e2e

command -v tmux >/dev/null || { echo "FAIL  e2e: tmux is not installed"; exit 1; }
command -v python3 >/dev/null || { echo "FAIL  e2e: python3 is not installed"; exit 1; }
command -v iconv >/dev/null || { echo "FAIL  e2e: iconv is not installed"; exit 1; }

missing=0
for p in "${PROGRAMS[@]}"; do [[ -x $BUILD/$p ]] || missing=1; done
if ((missing)); then
  echo "e2e: building the programs in $BUILD"
  if ! flock -w 900 /tmp/vesk-build.lock ninja -C "$BUILD" -j2 "${PROGRAMS[@]}"; then
    echo "FAIL  e2e: the programs do not build"
    exit 1
  fi
fi

# ---------------------------------------------------------------------------
# Cell colours of the screen.  Reads `capture-pane -p -e -N` output on stdin
# and keeps track of the SGR state, giving each cell a foreground and a
# background: a colour number 0..255 (a bold 0..7 foreground counts as the
# bright 8..15, as terminals show it), "d" for the terminal's default or "rgb".
# tmux writes only the changes from cell to cell, across line ends too, so a
# row starts in the state the row above ended in.
#
#   cells CHECK...  each CHECK is "ROW FROM TO FGS BGS [CHAR]": every cell
#                   FROM..TO of ROW has a foreground in FGS and a background
#                   in BGS (comma-separated lists) and, if given, is CHAR
#   bgruns ROW      "first last background" per run of one background
read -r -d '' PY_CELLS <<'PYEOF'
import re, sys

SGR = re.compile(r'\x1b\[([0-9;:]*)m')
OTHER = re.compile(r'\x1b(\[[0-9;:?]*[ -/]*[@-~]|\][^\x07\x1b]*(\x07|\x1b\\)|.)')

def row_cells(text, row):
    lines = text.split('\n')
    state = ['d', 'd', False, False]
    cells = []
    for n in range(1, row + 1):
        line = lines[n - 1] if n <= len(lines) else ''
        cells = line_cells(line, state)
    return cells

def line_cells(line, state):
    fg, bg, bold, rev = state
    cells, i = [], 0
    while i < len(line):
        m = SGR.match(line, i)
        if m:
            ps = re.split('[;:]', m.group(1)) if m.group(1) else ['0']
            ps = [int(p) if p else 0 for p in ps]
            j = 0
            while j < len(ps):
                p = ps[j]
                if p == 0: fg, bg, bold, rev = 'd', 'd', False, False
                elif p == 1: bold = True
                elif p == 22: bold = False
                elif p == 7: rev = True
                elif p == 27: rev = False
                elif 30 <= p <= 37: fg = p - 30
                elif p == 39: fg = 'd'
                elif 40 <= p <= 47: bg = p - 40
                elif p == 49: bg = 'd'
                elif 90 <= p <= 97: fg = p - 90 + 8
                elif 100 <= p <= 107: bg = p - 100 + 8
                elif p in (38, 48) and j + 1 < len(ps):
                    if ps[j + 1] == 5 and j + 2 < len(ps):
                        v = ps[j + 2]; j += 2
                    elif ps[j + 1] == 2:
                        v = 'rgb'; j += 4
                    else:
                        v = 'd'; j += 1
                    if p == 38: fg = v
                    else: bg = v
                j += 1
            i = m.end()
            continue
        m = OTHER.match(line, i)
        if m and line[i] == '\x1b':
            i = m.end()
            continue
        f, b = fg, bg
        if bold and isinstance(f, int) and f < 8: f += 8
        if rev: f, b = b, f
        cells.append((line[i], str(f), str(b)))
        i += 1
    state[:] = [fg, bg, bold, rev]
    return cells

def main():
    text = sys.stdin.read()
    if sys.argv[1] == 'cells':
        for check in sys.argv[2:]:
            words = check.split()
            row, first, last = int(words[0]), int(words[1]), int(words[2])
            fgs, bgs = words[3].split(','), words[4].split(',')
            char = words[5] if len(words) > 5 else None
            cells = row_cells(text, row)
            if len(cells) < last:
                print('row %d has only %d cells, expected at least %d' % (row, len(cells), last))
                return 1
            for col in range(first, last + 1):
                ch, f, b = cells[col - 1]
                if f not in fgs or b not in bgs or (char is not None and ch != char):
                    want = repr(char) if char else 'any character'
                    print('row %d column %d: %r foreground %s background %s; expected %s foreground %s '
                          'background %s' % (row, col, ch, f, b, want, '|'.join(fgs), '|'.join(bgs)))
                    return 1
        return 0
    if sys.argv[1] == 'bgruns':
        cells = row_cells(text, int(sys.argv[2]))
        start = 1
        for col in range(2, len(cells) + 2):
            if col > len(cells) or cells[col - 1][2] != cells[col - 2][2]:
                print(start, col - 1, cells[col - 2][2])
                start = col
        return 0
    return 2

sys.exit(main())
PYEOF

# ---------------------------------------------------------------------------
# Helpers of one case.  A case runs in a subshell; it owns the tmux socket
# $SOCK, the directory $T (the editor's working directory) and one directory
# $R per program run holding the pane script, the exit status and the
# terminal modes before and after.

tm() { tmux -L "$SOCK" -f /dev/null "$@"; }

screen() { tm capture-pane -p -t "$SESSION" 2>/dev/null; }
screen_e() { tm capture-pane -p -e -N -t "$SESSION" 2>/dev/null; }
pane_format() { tm display-message -p -t "$SESSION" "$1" 2>/dev/null; }

dump_screen() {
  echo "      --- screen ---"
  screen | awk '{ printf "      %2d|%s\n", NR, $0 }'
  echo "      --- cursor $(pane_format '#{cursor_x},#{cursor_y}') (0-based)"
}

fail() {
  echo "FAIL  $CASE: $*"
  if tm has-session -t "$SESSION" 2>/dev/null; then dump_screen; fi
  if [[ -n ${R:-} && -s $R/status ]]; then
    local rc
    rc=$(sed -n 's/^EXIT=//p' "$R/status")
    if [[ $rc =~ ^[0-9]+$ ]] && ((rc > 128)); then
      echo "      program ended: EXIT=$rc, killed by SIG$(kill -l $((rc - 128)) 2>/dev/null)"
    else
      echo "      program ended: $(cat "$R/status")"
    fi
  fi
  if [[ -n ${R:-} && -s $R/stderr ]]; then sed 's/^/      stderr: /' "$R/stderr"; fi
  exit 1
}

# Ends the current tmux server.  An editor still running is killed outright
# first: a case that is over needs nothing more from it, and the emergency
# save that a hangup would start (with its fsync) only costs time.  Then it
# waits until every editor the case ran is gone, so that nothing writes
# into $T while it is removed.
stop_server() {
  local f pid i
  local -a pids=()
  for f in "$T"/r*/pid; do
    [[ -s $f ]] || continue
    pid=$(cat "$f")
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$BUILD"/vesk-* ]] || continue
    # A second editor (edit another file) runs as a child of the first.
    pids+=($(cat /proc/"$pid"/task/*/children 2>/dev/null) "$pid")
  done
  for pid in "${pids[@]}"; do
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$BUILD"/vesk-* ]] && kill -KILL "$pid" 2>/dev/null
  done
  tm kill-server 2>/dev/null
  for f in "$T"/r*/pid; do
    [[ -s $f ]] && pids+=("$(cat "$f")")
  done
  for pid in "${pids[@]}"; do
    for ((i = 0; i < 100; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
  done
  return 0
}

end_case() {
  stop_server
  # tmux leaves its socket file behind when the server is killed.
  rm -f -- "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$SOCK"
  local f
  for f in "${CLEANUP[@]}"; do rm -f -- "$f"; done
  rm -rf -- "$T"
}

# start_prog COLSxROWS PROGRAM ARGS...: a fresh tmux server with one pane of
# that size running the program in $T.  The pane prints a marker before the
# program and its exit status after it, records the terminal modes around it
# and then stays open so that the screen can still be read.
# FSIZE_LIMIT=N limits the files the program writes to N KiB (ulimit -f);
# the pane's own files and the program's stderr are not limited.  The array
# PROG_PREFIX, when set, goes before the program (a command that ends by
# running it in the same process: env, setpriv, unshare).
start_prog() {
  local size=$1 prog=$2
  shift 2
  stop_server
  RUN_N=$((RUN_N + 1))
  R=$T/r$RUN_N
  mkdir -p "$R"
  local args="" a run
  for a in "${PROG_PREFIX[@]}" "$BUILD/$prog" "$@"; do args+=" $(printf '%q' "$a")"; done
  if [[ -n ${FSIZE_LIMIT:-} ]]; then
    run="bash -c 'echo \$\$ > \"\$0\"; ulimit -f $FSIZE_LIMIT || exit 125; exec \"\$@\"' $R/pid$args 2> >(exec cat > $R/stderr)"
  else
    run="sh -c 'echo \$\$ > \"\$0\"; exec \"\$@\"' $R/pid$args 2> $R/stderr"
  fi
  cat >"$R/pane.sh" <<EOF
cd $(printf '%q' "$T") || exit 1
stty -g > $R/stty.before
echo BEFORE-EDITOR-MARK
$run
rc=\$?
stty -g > $R/stty.after
stty -a > $R/stty.all
echo "EXIT=\$rc" > $R/status.tmp && mv $R/status.tmp $R/status
echo "AFTER-EDITOR-MARK status=\$rc"
exec sleep 3600
EOF
  tm new-session -d -s "$SESSION" -x "${size%x*}" -y "${size#*x}" \
    "env -u VESK_ESC_TIMEOUT -u VESK_HEAP_BUDGET TERM=xterm-256color LANG=C.UTF-8 LC_ALL=C.UTF-8 bash $R/pane.sh" ||
    fail "tmux did not start"
}

key() { tm send-keys -t "$SESSION" "$@"; }
hexkeys() { tm send-keys -t "$SESSION" -H "$@"; }

# wait_screen COND...: polls the screen every 50 ms until every COND holds,
# failing the case after $TIMEOUT seconds.  COND forms:
#   REGEX       some row matches        !REGEX     no row matches
#   N:REGEX     row N matches           N!REGEX    row N does not match
#   @COL,ROW    the cursor is there (both counted from 1)
wait_screen() {
  local deadline=$((SECONDS + TIMEOUT + 1)) start_ns now_ns
  start_ns=$(date +%s%N)
  local lines cond n re ok bad cursor running=0
  # A program that ends while its screen is awaited fails the wait at once.
  [[ -n ${R:-} && ! -e $R/status ]] && running=1
  while :; do
    mapfile -t lines < <(screen)
    cursor=""
    ok=1
    for cond in "$@"; do
      if [[ $cond =~ ^@([0-9]+),([0-9]+)$ ]]; then
        [[ -z $cursor ]] && cursor=$(pane_format '#{cursor_x},#{cursor_y}')
        [[ $cursor == "$((BASH_REMATCH[1] - 1)),$((BASH_REMATCH[2] - 1))" ]] || { ok=0; bad=$cond; break; }
      elif [[ $cond =~ ^([0-9]+)([:!])(.*)$ ]]; then
        n=${BASH_REMATCH[1]}
        re=${BASH_REMATCH[3]}
        if [[ ${BASH_REMATCH[2]} == ":" ]]; then
          [[ ${lines[n - 1]-} =~ $re ]] || { ok=0; bad=$cond; break; }
        else
          [[ ${lines[n - 1]-} =~ $re ]] && { ok=0; bad=$cond; break; }
        fi
      elif [[ ${cond:0:1} == "!" ]]; then
        re=${cond:1}
        for n in "${lines[@]}"; do
          [[ $n =~ $re ]] && { ok=0; bad=$cond; break 2; }
        done
      else
        local found=0
        for n in "${lines[@]}"; do
          [[ $n =~ $cond ]] && { found=1; break; }
        done
        ((found)) || { ok=0; bad=$cond; break; }
      fi
    done
    ((ok)) && return 0
    if ((running)) && [[ -s $R/status ]]; then
      fail "the program ended ($(cat "$R/status")) while the screen was awaited to show [$bad] (${WHAT:-})"
    fi
    now_ns=$(date +%s%N)
    if ((now_ns - start_ns > TIMEOUT * 1000000000)) || ((SECONDS > deadline)); then
      # A program that ended before the wait began is only noticed here.
      local ended=""
      [[ -n ${R:-} && -s $R/status ]] && ended=", the program had ended ($(cat "$R/status"))"
      fail "timed out after ${TIMEOUT}s waiting for the screen to show [$bad] (${WHAT:-})$ended"
    fi
    sleep 0.05
  done
}

# wait_exit STATUS [SECONDS]: waits for the program to end and checks its
# exit status ("any" takes every status).
wait_exit() {
  local want=$1 limit=${2:-$TIMEOUT} start_ns now_ns
  start_ns=$(date +%s%N)
  until [[ -s $R/status ]]; do
    now_ns=$(date +%s%N)
    ((now_ns - start_ns > limit * 1000000000)) && fail "the program did not end within ${limit}s (${WHAT:-})"
    sleep 0.05
  done
  EXIT_STATUS=$(sed -n 's/^EXIT=//p' "$R/status")
  if [[ $want != any && $EXIT_STATUS != "$want" ]]; then
    fail "exit status $EXIT_STATUS, expected $want (${WHAT:-})"
  fi
}

# colours CHECK...: see PY_CELLS.  The numbers are the terminal's colours
# (1 red, 3 yellow, 4 blue, 6 cyan, +8 bright), so an attribute's PC colours
# swap: PC blue 1 is 4, cyan 3 is 6, red 4 is 1, brown 6 is 3.
colours() {
  local out
  out=$(screen_e | python3 -S -E -c "$PY_CELLS" cells "$@") || fail "colours: $out (${WHAT:-})"
}

# The status line of the cursor line and the line count.  Two layouts are
# accepted: "Line=N/M" and the long one with "line=N ... size=M".
status_re() { echo "(Line=$1/$2([^0-9]|\$)|line=$1 .*size=$2([^0-9]|\$))"; }
STATUS_ANY='(Line=[0-9]+/[0-9]+|line=[0-9]+ .*size=[0-9]+)'

# The message line at rest: the fill character over the whole width.
fill_char() { case $1 in *koi8*) echo "▒" ;; *) echo "░" ;; esac; }
fill_re() { echo "^($(fill_char "$1")){$2}\$"; }

file_mode() { stat -c %a "$1"; }

# The terminal is the shell's again: normal screen with what was on it
# before, the same modes as before, cursor shown, keypad mode off.
check_restored() {
  WHAT="the shell's normal screen after the program" wait_screen "AFTER-EDITOR-MARK" "BEFORE-EDITOR-MARK" "!$STATUS_ANY"
  [[ $(pane_format '#{alternate_on}') == 0 ]] || fail "the alternate screen is still on ($1)"
  [[ $(pane_format '#{cursor_flag}') == 1 ]] || fail "the cursor is still hidden ($1)"
  [[ $(pane_format '#{keypad_flag}') == 0 ]] || fail "keypad mode is still on ($1)"
  local w
  for w in icanon echo isig; do
    grep -Eq "(^|[ ;])$w([ ;]|\$)" "$R/stty.all" || fail "stty shows -$w after the program ($1): $(cat "$R/stty.all")"
  done
  cmp -s "$R/stty.before" "$R/stty.after" ||
    fail "terminal modes differ from before the program ($1): $(cat "$R/stty.before") / $(cat "$R/stty.after")"
}

# Text files of the cases.
lines_text() {  # COUNT: "line 1" .. "line COUNT" on stdout
  local i
  for ((i = 1; i <= $1; i++)); do echo "line $i"; done
}
make_lines() { lines_text "$2" >"$1"; }  # FILE COUNT

CYRILLIC="Привет, мир! Съешь же ещё этих мягких французских булок"

# utf8_to SET FILE LINE...: the lines in a code page (KOI8-R, CP866,
# CP1251), each ending in LF.
utf8_to() {
  local set=$1 file=$2
  shift 2
  printf '%s\n' "$@" | iconv -f UTF-8 -t "$set" >"$file" || fail "iconv $set"
}

# What the recode check of loading computes: the average of the bytes above
# 127 in the first 25 lines (each cut at 255 bytes), or nothing when there
# are fewer than 20 of them.
high_byte_average() {
  python3 -S -E -c '
import re, sys
data = open(sys.argv[1], "rb").read()
lines = re.split(rb"\r\n|\r|\n", data)[:25]
high = [b for line in lines for b in line[:255] if b > 127]
if len(high) >= 20: print(sum(high) // len(high))
' "$1"
}

# The files the editor left in $T, apart from the run directories, the
# state files and $T/expect (the cases' reference copies): names separated
# by blanks, sorted.
dir_files() {
  local f names=()
  for f in "$T"/* "$T"/.[!.]*; do
    [[ -e $f || -L $f ]] || continue
    f=${f##*/}
    [[ $f =~ ^(r[0-9]+|expect|.*\.VkIni)$ ]] || names+=("$f")
  done
  printf '%s\n' "${names[@]}" | LC_ALL=C sort | paste -sd ' '
}

# type_x ROW: types "x" at column 1 of the cursor line, shown in ROW, which
# changes the text.
type_x() {
  key x
  WHAT="typing x (${WHAT:-})" wait_screen "1:column=2 " "$1:^x"
}

# check_status_line NAME LINE COLUMN SIZE CHAR HEX DEC: row 1 has each field
# at its column: the name in 1-21, "line=" at 22, "column=" at 32, "size="
# at 43, "memory=" at 53 with the KiB figure from column 60, then 'CHAR'=HEX
# and /DEC from column 66 and the mark digits 123 in 77-79.
check_status_line() {
  local row want memory rest
  row=$(screen | head -n 1)
  want=$(printf '%-21.21s%-10s%-11s%-10s' "$1" "line=$2" "column=$3" "size=$4")
  [[ ${row:0:52} == "$want" ]] || fail "status line columns 1-52 are [${row:0:52}], expected [$want] (${WHAT:-})"
  memory=${row:52:13}
  [[ $memory =~ ^memory=(([0-9]{3}|[0-9]{2}\ |[0-9]\ \ )K\ \ |[0-9]{4}K\ |[0-9]{5}K|[0-9]{6})$ ]] ||
    fail "status line columns 53-65 are [$memory], expected memory= and the KiB figure from column 60 (${WHAT:-})"
  rest=$(printf "'%s'=%s%-5s123" "$5" "$6" "/$7")
  [[ ${row:65} == "$rest" ]] || fail "status line from column 66 is [${row:65}], expected [$rest] (${WHAT:-})"
}

# The code page a build keeps its files in.
code_page() { case $1 in *koi8*) echo KOI8-R ;; *) echo CP866 ;; esac; }

# pos_re LINE COLUMN: the status line's cursor line and column.
pos_re() { echo "line=$1 +column=$2 "; }

# re_quote TEXT: an extended regular expression matching TEXT literally.
re_quote() { printf '%s' "$1" | sed 's/[][\\.*^$(){}?+|]/\\&/g'; }

# rows_are FIRST LINE...: sets ROW_CONDS to wait_screen conditions saying
# that the rows from FIRST on show exactly these lines.
rows_are() {
  local row=$1 line
  shift
  ROW_CONDS=()
  for line; do
    ROW_CONDS+=("$row:^$(re_quote "$line")\$")
    row=$((row + 1))
  done
}

# wait_file FILE EXPECTED: polls until FILE holds the bytes of EXPECTED.
wait_file() {
  local start_ns now_ns
  start_ns=$(date +%s%N)
  until cmp -s "$1" "$2"; do
    now_ns=$(date +%s%N)
    if ((now_ns - start_ns > TIMEOUT * 1000000000)); then
      fail "${1##*/} holds [$(od -An -tx1 "$1" 2>&1 | tr -s ' \n' ' ')], expected [$(od -An -tx1 "$2" | tr -s ' \n' ' ')] (${WHAT:-})"
    fi
    sleep 0.05
  done
}

# ---------------------------------------------------------------------------
# The cases.

# The start screen waits for a key and drops it; -w goes straight to the
# text.  The layout follows the width: 80 and 132 columns.
case_start_screen() {
  local long
  long="alpha-$(printf '%s' {0..9}{0..9} | cut -c1-134)"  # 140 characters
  { echo "$long"; echo "beta"; lines_text 28; } >"$T/text.txt"
  local run size prog press menu w
  for run in "80x25 vesk-koi8 32 34" "132x43 vesk-866-rkbd 42 44"; do
    read -r size prog press menu <<<"$run"
    w=${size%x*}
    WHAT="$prog $size start screen"
    start_prog "$size" "$prog" "-I$T/" text.txt
    wait_screen "16:^ {$((press - 1))} Press any key\.( |\$)" "6:^ {$((menu - 1))}Menu - F10" \
      "!$STATUS_ANY" "!alpha-"
    # The key that ends the start screen is dropped: Down leaves line 1.
    key Down
    WHAT="$prog $size after the start screen"
    wait_screen "1:$(status_re 1 30)" "3:^alpha-" "4:^beta" "!Press any key" "!Menu - F10" @1,3
    key Escape
    wait_exit 0

    WHAT="$prog $size with -w"
    start_prog "$size" "$prog" -w "-I$T/" text.txt
    wait_screen "1:$(status_re 1 30)" "3:^alpha-" "!Press any key"
    # The window is as wide as the terminal: the long line fills row 3
    # exactly, the message line is filled across, nothing wraps.
    local lines
    mapfile -t lines < <(screen)
    [[ ${lines[2]} == "${long:0:w}" ]] || fail "row 3 is [${lines[2]}], expected the first $w characters of line 1"
    [[ ${lines[3]} == beta ]] || fail "row 4 is [${lines[3]}], expected line 2"
    [[ ${lines[1]} =~ $(fill_re "$prog" "$w") ]] || fail "the message line is not $w fill characters"
    ((${#lines[0]} <= w)) || fail "the status line is longer than $w columns"
    # A status line drawn for 80 columns would end its colour at column 80.
    if ((w > 80)); then
      local last bg
      while read -r _ last bg; do
        [[ $bg != d && $bg != 0 && $last == 80 ]] && fail "the status line colour stops at column 80 of $w"
      done < <(screen_e | python3 -S -E -c "$PY_CELLS" bgruns 1)
    fi
    key Escape
    wait_exit 0
  done
}

# A missing file is created at once and announced; the key that clears the
# announcement is then carried out.
case_new_file() {
  WHAT="new file"
  start_prog 80x25 vesk-866 -w "-I$T/" new.txt
  wait_screen "2:^Новый файл\.( *)\$"
  [[ -f $T/new.txt ]] || fail "new.txt was not created while the announcement shows"
  [[ ! -s $T/new.txt ]] || fail "the created new.txt is not empty"
  key Right
  WHAT="new file, after a key"
  wait_screen "2:$(fill_re vesk-866 80)" "1:$(status_re 1 1)" "!Новый файл" @2,3
}

# Exit statuses: 0 unchanged, 3 changes dropped, 1 saved.
case_exit_status() {
  printf 'one\ntwo\n' >"$T/kept.txt"
  cp "$T/kept.txt" "$T/kept.orig"
  WHAT="Esc on an unchanged text"
  start_prog 80x25 vesk-koi8 -w "-I$T/" kept.txt
  wait_screen "1:$(status_re 1 2)" "3:^one"
  key Escape
  wait_exit 0
  cmp -s "$T/kept.txt" "$T/kept.orig" || fail "the unchanged file was rewritten"

  # A new file is an empty text of one line, which counts as changed.
  WHAT="new file, answer 2"
  start_prog 80x25 vesk-koi8 -w "-I$T/" drop.txt
  wait_screen "2:^Новый файл\."
  key Right
  wait_screen "1:$(status_re 1 1)" @2,3
  key Escape
  WHAT="new file, Esc asks"
  wait_screen "1:^ Записать в файл \?"
  key 2
  WHAT="new file, answer 2"
  wait_exit 3
  [[ -f $T/drop.txt && ! -s $T/drop.txt ]] || fail "answer 2 changed drop.txt"

  # Esc at the question goes back to the text; 1 then saves and exits.
  WHAT="new file, answer Esc"
  start_prog 80x25 vesk-866-rkbd -w "-I$T/" save.txt
  wait_screen "2:^Новый файл\."
  key Right
  wait_screen "1:$(status_re 1 1)" @2,3
  key Escape
  wait_screen "1:^ Записать в файл \?"
  key Escape
  wait_screen "1:$(status_re 1 1)" "!Записать в файл" @2,3
  WHAT="new file, answer 1"
  key Escape
  wait_screen "1:^ Записать в файл \?"
  key 1
  wait_exit 1
  [[ $(od -An -c "$T/save.txt" | tr -d ' ') == '\n' ]] ||
    fail "save.txt holds [$(od -An -c "$T/save.txt")], expected one empty line"
}

# The state file keeps the cursor line: in /tmp by default, in the -I
# directory when one is given.
case_state_file() {
  local base="vesk-e2e-$$-state.txt" other="vesk-e2e-$$-other.txt" statefile i
  statefile="/tmp/$base.VkIni"
  CLEANUP+=("$statefile")
  rm -f "$statefile"
  make_lines "$T/$base" 60
  make_lines "$T/$other" 60
  local run prog file switch
  for run in "vesk-koi8 $base -" "vesk-866-rkbd $other -I$T/"; do
    read -r prog file switch <<<"$run"
    local -a sw=()
    if [[ $switch == - ]]; then switch=""; else sw=("$switch"); fi
    WHAT="$prog state file, first run"
    start_prog 80x25 "$prog" -w "${sw[@]}" "$file"
    wait_screen "1:$(status_re 1 60)"
    for ((i = 2; i <= 11; i++)); do
      key Down
      wait_screen "1:$(status_re "$i" 60)"
    done
    key Escape
    wait_exit 0
    if [[ -n $switch ]]; then statefile="$T/$file.VkIni"; fi
    [[ -f $statefile ]] || fail "no state file $statefile"
    [[ $(wc -l <"$statefile") == 16 ]] || fail "the state file has $(wc -l <"$statefile") lines, expected 16"
    [[ $(sed -n 2p "$statefile") == 11 ]] || fail "line 2 of the state file is $(sed -n 2p "$statefile"), expected 11"
    if [[ -n $switch && -e /tmp/$file.VkIni ]]; then
      CLEANUP+=("/tmp/$file.VkIni")
      fail "-I$T/ still wrote /tmp/$file.VkIni"
    fi
    WHAT="$prog state file, second run"
    start_prog 80x25 "$prog" -w "${sw[@]}" "$file"
    wait_screen "1:$(status_re 11 60)" "13:^line 11\$" @1,13
    key Escape
    wait_exit 0
  done
}

# Cyrillic text in each build's own code page reaches the terminal as the
# right letters, and the message line shows the build's fill character.
case_cyrillic() {
  printf '%s\n' "$CYRILLIC" | iconv -f UTF-8 -t KOI8-R >"$T/koi8.txt" || fail "iconv KOI8-R"
  printf '%s\n' "$CYRILLIC" | iconv -f UTF-8 -t CP866 >"$T/cp866.txt" || fail "iconv CP866"
  local prog file
  for prog in "${PROGRAMS[@]}"; do
    case $prog in *koi8*) file=koi8.txt ;; *) file=cp866.txt ;; esac
    cp "$T/$file" "$T/orig.txt"
    WHAT="$prog on $file"
    start_prog 80x25 "$prog" -w "-I$T/" "$file"
    wait_screen "3:^$CYRILLIC\$" "1:$(status_re 1 1)" "2:$(fill_re "$prog" 80)"
    key Escape
    wait_exit 0
    cmp -s "$T/$file" "$T/orig.txt" || fail "$prog changed $file"
  done
}

# The terminal is given back after Esc and after closing signals; a changed
# text is kept in <file>.save (mode 600) when the editor is told to close.
case_terminal_restored() {
  make_lines "$T/text.txt" 5
  WHAT="Esc"
  start_prog 80x25 vesk-koi8 -w "-I$T/" text.txt
  wait_screen "1:$(status_re 1 5)"
  [[ $(pane_format '#{alternate_on}') == 1 ]] || fail "the editor does not use the alternate screen"
  key Escape
  wait_exit 0
  check_restored "after Esc"

  WHAT="SIGTERM on an unchanged text"
  start_prog 132x43 vesk-866 -w "-I$T/" text.txt
  wait_screen "1:$(status_re 1 5)"
  kill -TERM "$(cat "$R/pid")"
  wait_exit any $((3 * TIMEOUT))
  [[ $EXIT_STATUS != 0 ]] || fail "killed by SIGTERM yet exit status 0"
  check_restored "after SIGTERM"
  [[ ! -e $T/text.txt.save ]] || fail "text.txt.save written for an unchanged text"

  WHAT="SIGTERM on a changed text"
  start_prog 80x25 vesk-koi8 -w "-I$T/" fresh.txt
  wait_screen "2:^Новый файл\."
  key Right
  wait_screen "1:$(status_re 1 1)" @2,3
  kill -TERM "$(cat "$R/pid")"
  wait_exit any $((3 * TIMEOUT))
  [[ $EXIT_STATUS != 0 ]] || fail "killed by SIGTERM yet exit status 0"
  check_restored "after SIGTERM with a changed text"
  [[ -f $T/fresh.txt.save ]] || fail "no fresh.txt.save after SIGTERM on a changed text (files: $(ls "$T" | tr "\n" " "))"
  [[ $(file_mode "$T/fresh.txt.save") == 600 ]] || fail "fresh.txt.save has mode $(file_mode "$T/fresh.txt.save")"
  [[ $(od -An -c "$T/fresh.txt.save" | tr -d ' ') == '\n' ]] ||
    fail "fresh.txt.save holds [$(od -An -c "$T/fresh.txt.save")], expected one empty line"

  WHAT="SIGHUP on a changed text"
  start_prog 80x25 vesk-866-rkbd -w "-I$T/" hup.txt
  wait_screen "2:^Новый файл\."
  key Right
  wait_screen "1:$(status_re 1 1)" @2,3
  kill -HUP "$(cat "$R/pid")"
  wait_exit any $((3 * TIMEOUT))
  [[ $EXIT_STATUS != 0 ]] || fail "killed by SIGHUP yet exit status 0"
  check_restored "after SIGHUP"
  [[ -f $T/hup.txt.save ]] || fail "no hup.txt.save after SIGHUP on a changed text (files: $(ls "$T" | tr "\n" " "))"
  [[ $(file_mode "$T/hup.txt.save") == 600 ]] || fail "hup.txt.save has mode $(file_mode "$T/hup.txt.save")"

  # A signal also ends a wait for a key inside start-up (the new-file
  # announcement), not only the main loop's.
  WHAT="SIGTERM during the announcement"
  start_prog 80x25 vesk-koi8 -w "-I$T/" early.txt
  wait_screen "2:^Новый файл\."
  kill -TERM "$(cat "$R/pid")"
  wait_exit any $((3 * TIMEOUT))
  [[ $EXIT_STATUS != 0 ]] || fail "killed by SIGTERM yet exit status 0"
  check_restored "after SIGTERM during the announcement"
}

# Attributes reach the terminal as colours: the start screen's fixed
# colours, a message, the message line fill and the status line.
case_colours() {
  WHAT="start screen colours"
  start_prog 80x25 vesk-koi8 "-I$T/" new.txt
  wait_screen "16:Press any key\."
  # The ends of the author line, the contact line and the appeal, whose
  # texts are the editor's own.
  local lines e12 e14 e20
  mapfile -t lines < <(screen)
  e12=$(printf '%s' "${lines[11]}" | sed 's/ *$//' | wc -m)
  e14=$(printf '%s' "${lines[13]}" | sed 's/ *$//' | wc -m)
  e20=$(printf '%s' "${lines[19]}" | sed 's/ *$//' | wc -m)
  ((e12 > 8)) || fail "no author line on row 12"
  ((e14 > 27)) || fail "no contact line on row 14"
  ((e20 > 11)) || fail "no appeal on row 20"
  # " Press any key. " light magenta, "Menu - F10" light red, the author
  # line yellow on blue, the contact line blue on brown, the appeal grey.
  colours "16 32 47 13 0,d" "6 34 43 9 0,d" "12 8 $e12 11 4" "14 27 $e14 4 3" "20 11 $e20 8 0,d"

  key Down
  WHAT="message colours"
  wait_screen "2:^Новый файл\."
  colours "2 1 11 11 0,d"                   # a notice: yellow

  key Right
  WHAT="message line and status line colours"
  wait_screen "1:$(status_re 1 1)" "2:$(fill_re vesk-koi8 80)"
  colours "2 1 80 7,d 0,d ▒"
  local bg coloured=0
  while read -r _ _ bg; do
    [[ $bg != d && $bg != 0 ]] && coloured=1
  done < <(screen_e | python3 -S -E -c "$PY_CELLS" bgruns 1)
  ((coloured)) || fail "the status line has no background colour anywhere"
}

# Fewer than 3 rows: a message on stderr, exit status 2, terminal untouched.
# 3 rows are enough.
case_few_rows() {
  make_lines "$T/text.txt" 3
  WHAT="2 rows"
  start_prog 80x2 vesk-koi8 -w "-I$T/" text.txt
  wait_exit 2
  [[ -s $R/stderr ]] || fail "nothing on stderr with 2 rows"
  cmp -s "$R/stty.before" "$R/stty.after" || fail "terminal modes changed by a refused start"
  [[ $(pane_format '#{alternate_on}') == 0 ]] || fail "the alternate screen is on after a refused start"

  WHAT="3 rows"
  start_prog 80x3 vesk-866 -w "-I$T/" text.txt
  wait_screen "1:$(status_re 1 3)" "2:$(fill_re vesk-866 80)" "3:^line 1\$"
  key Down
  wait_screen "1:$(status_re 2 3)" "3:^line 2\$" @1,3
  key Escape
  wait_exit 0
}

# Several keys arriving in one read are all carried out, a trailing lone Esc
# included.
case_key_burst() {
  make_lines "$T/text.txt" 10
  WHAT="key burst"
  start_prog 80x25 vesk-866-rkbd -w "-I$T/" text.txt
  wait_screen "1:$(status_re 1 10)" @1,3
  # The editor switches the keypad to application mode, so the terminal
  # sends cursor keys as SS3 sequences: Down is 1b 4f 42.
  [[ $(pane_format '#{keypad_flag}') == 1 ]] || fail "keypad application mode is not on"
  hexkeys 1b 4f 42 1b 4f 42 1b 4f 42
  wait_screen "1:$(status_re 4 10)" "6:^line 4\$" @1,6
  # Down, Up, Right, Right.
  hexkeys 1b 4f 42 1b 4f 41 1b 4f 43 1b 4f 43
  wait_screen "1:$(status_re 4 10)" @3,6
  # Down and a lone Esc: the Down is carried out, then the Esc ends the
  # program, which keeps line 5 in its state file.
  hexkeys 1b 4f 42 1b
  wait_exit 0
  [[ $(sed -n 2p "$T/text.txt.VkIni") == 5 ]] ||
    fail "the state file keeps line $(sed -n 2p "$T/text.txt.VkIni"), expected 5"
}

# A paste arrives bracketed (the editor turns the mode on and off again) and
# goes in as text: its line ends (CR from tmux, LF with -r) start new lines
# with the rest of the cursor line after the pasted text, no byte of it runs
# a command (Esc, Tab, pseudo-graphics that are keys in some builds), and a
# character the set lacks becomes "?" with a message that counts it.
case_bracketed_paste() {
  local prog
  for prog in vesk-koi8 vesk-866-rkbd; do
    printf 'first line\nsecond\n' >"$T/text.txt"
    rm -f "$T"/*.VkIni
    WHAT="$prog: bracketed paste"
    start_prog 80x25 "$prog" -w "-I$T/" text.txt
    wait_screen "1:$(status_re 1 2)" @1,3
    key Right Right Right Right Right Right
    wait_screen @7,3
    tm set-buffer -b p1 -- "$(printf 'ONE\n  two │ ║ ┼ €\nthree ')" || fail "set-buffer"
    tm paste-buffer -p -b p1 -t "$SESSION" || fail "paste-buffer"
    wait_screen "3:^first ONE\$" "4:^  two │ ║ ┼ \\?\$" "5:^three line\$" "6:^second\$" \
      "2:Вставлено символов, которых нет в кодировке: 1 \\(заменены на \\?\\)" "1:$(status_re 3 4)" @7,5
    key Home
    wait_screen "2:$(fill_re "$prog" 80)" @1,5
    tm set-buffer -b p2 -- "$(printf 'a\tb\nc')" || fail "set-buffer"
    tm paste-buffer -p -r -b p2 -t "$SESSION" || fail "paste-buffer"
    wait_screen "5:^a       b\$" "6:^cthree line\$" "1:$(status_re 4 5)" @2,6
    # Into a prompt a paste types its first line.
    key F4
    wait_screen "2:[^$(fill_char "$prog")]"
    tm set-buffer -b p3 -- "$(printf '2\nnot this')" || fail "set-buffer"
    tm paste-buffer -p -b p3 -t "$SESSION" || fail "paste-buffer"
    key Enter
    wait_screen "1:$(status_re 2 5)" "2:$(fill_re "$prog" 80)" "3:^  two"
    key F2
    wait_screen "2:$(fill_re "$prog" 80)"
    key Escape
    wait_exit 0
    check_restored "$prog after a paste"
    [[ $(tr -d '\r' <"$T/text.txt" | sed -n 4p) == "cthree line" ]] || fail "$prog: saved text: $(cat "$T/text.txt")"
  done
}

# The Keystrokes screen ends on the key its first line names, in both forms
# xterm sends it (modifyOtherKeys and Esc Tab), and on Alt+Shift+K, which
# every terminal sends.  In the builds with the Russian keyboard option
# Ctrl+Alt+Q abandons a question, as Ctrl+Q does in the others.
case_keystrokes_exit() {
  make_lines "$T/text.txt" 3
  local prog form
  for prog in vesk-koi8 vesk-866-rkbd; do
    for form in "1b 5b 32 37 3b 37 3b 39 7e" "1b 09" "1b 4b"; do
      WHAT="$prog: Keystrokes screen, exit key $form"
      start_prog 80x25 "$prog" -w "-I$T/" text.txt
      wait_screen "1:$(status_re 1 3)"
      key F10
      wait_screen "Keystrokes"
      key 6
      wait_screen "1:^  To get back, press Alt\+Ctrl\+Tab or Alt\+Shift\+K\. Now press any key\."
      key a
      wait_screen "1:^a   97 "
      hexkeys $form
      wait_screen "1:$(status_re 1 3)" "3:^line 1\$"
      key Escape
      wait_exit 0
    done
  done
  for prog in vesk-866-rkbd vesk-koi8-rkbd; do
    WHAT="$prog: Ctrl+Alt+Q abandons the exit question"
    rm -f "$T"/*.VkIni
    start_prog 80x25 "$prog" -w "-I$T/" text.txt
    wait_screen "1:$(status_re 1 3)"
    key x
    wait_screen "3:^xline 1\$"
    key Escape
    wait_screen "Записать в файл"
    hexkeys 1b 11
    wait_screen "1:$(status_re 1 3)" "!Записать в файл"
    key Escape
    wait_screen "Записать в файл"
    key 2
    wait_exit 3
  done
}

# A sample of documented keys as tmux sends them (its own encoding of
# modified keys, Alt as an Esc prefix) reaches the commands: Ctrl+Right,
# Alt+S, Alt+J, Alt+L with Shift+F5, Ctrl+Y, Shift+F7.
case_tmux_keys() {
  printf 'alpha beta\ngamma\n' >"$T/text.txt"
  WHAT="keys through tmux"
  start_prog 80x25 vesk-koi8 -w "-I$T/" text.txt
  wait_screen "1:$(status_re 1 2)" @1,3
  key C-Right
  wait_screen @7,3
  key M-s
  wait_screen "3:^alpha *\$" "4:^beta\$" "1:$(status_re 1 3)"
  key M-j
  wait_screen "3:^alpha beta\$" "1:$(status_re 1 2)"
  key M-l S-F5
  wait_screen "3:^ALPHA BETA\$"
  key C-y
  wait_screen "1:$(status_re 1 1)" "3:^gamma"
  key S-F7
  wait_screen "2:[^▒ ]"
  key Escape
  wait_screen "2:$(fill_re vesk-koi8 80)"
}

# The same Cyrillic text and pseudo-graphics, stored in KOI8-R for the koi8
# build and in 866 for the other, reach the terminal as the same characters.
# The status line shows the character under the cursor with its own code in
# each set.  There is enough Cyrillic for neither file to look foreign.
BOTH_SETS=(
  "Съешь же ещё этих мягких французских булок, да выпей же чаю."
  "СЪЕШЬ ЖЕ ЕЩЁ ЭТИХ МЯГКИХ ФРАНЦУЗСКИХ БУЛОК, ДА ВЫПЕЙ ЖЕ ЧАЮ!"
  "┌──────┐ ├─┼─┤ ┬ ┴ ╔═╗ ░▒▓█"
  "│ Ёжик │ ║ ╚═╝"
  "└──────┘"
  "ШИРОКАЯ ЭЛЕКТРИФИКАЦИЯ ЮЖНЫХ ГУБЕРНИЙ"
)
case_cyrillic_both_sets() {
  utf8_to KOI8-R "$T/koi8.txt" "${BOTH_SETS[@]}"
  utf8_to CP866 "$T/cp866.txt" "${BOTH_SETS[@]}"
  local run prog file hex dec i first_prog="" lines
  local -a first=()
  for run in "vesk-koi8 koi8.txt F3 243" "vesk-866 cp866.txt 91 145"; do
    read -r prog file hex dec <<<"$run"
    WHAT="$prog on $file"
    start_prog 80x25 "$prog" -w "-I$T/" "$file"
    wait_screen "1:$(status_re 1 6)" "3:^Съешь" "8:^ШИРОКАЯ" "!X = "
    mapfile -t lines < <(screen)
    for ((i = 0; i < ${#BOTH_SETS[@]}; i++)); do
      [[ ${lines[i + 2]} == "${BOTH_SETS[i]}" ]] ||
        fail "row $((i + 3)) is [${lines[i + 2]}], expected [${BOTH_SETS[i]}] ($WHAT)"
    done
    if ((${#first[@]})); then
      for ((i = 2; i < 2 + ${#BOTH_SETS[@]}; i++)); do
        [[ ${lines[i]} == "${first[i]}" ]] ||
          fail "row $((i + 1)) differs: [${lines[i]}] here, [${first[i]}] in $first_prog"
      done
    else
      first=("${lines[@]}")
      first_prog=$prog
    fi
    check_status_line "$file" 1 1 6 С "$hex" "$dec"
    key Escape
    wait_exit 0
  done
}

# Colours stored in the text: a line colour mark ([bg] fg TAB at the line
# end) colours the whole row, a NUL at the end makes it yellow on blue, a NUL
# inside shows as "0" in black on green, a mark giving 1 is shown as 13.
# First without the cross-hair, then with it on the cursor line and column.
case_colour_mark() {
  printf 'first line\nabc\001\004\011\ndef\000\nx\000y\njkl\001\011\nmno\014\011  \n' >"$T/marks.txt"
  mkdir -p "$T/expect" && cp "$T/marks.txt" "$T/expect/marks.txt"
  WHAT="colour marks, no cross-hair"
  start_prog 80x25 vesk-866 -w -+ "-I$T/" marks.txt
  wait_screen "1:$(status_re 1 6)" "3:^first line\$" "4:^abc\$" "5:^def\$" "6:^x0y\$" "7:^jkl\$" "8:^mno\$" @1,3
  # Terminal colours: PC blue 1 is 4, red 4 is 1, yellow 14 is 11, light
  # magenta 13 stays 13, light red 12 is 9.  Blanks in 0x07 after the text
  # may be left to the terminal's erase, so only coloured rows are checked
  # to the last column.  The NUL shows as a '0' in black on green with
  # the blink bit: bright green on this 256-colour terminal, no blinking.
  colours "3 1 10 7,d 0,d" "4 1 80 1 4" "5 1 80 11 4" \
    "6 1 1 7,d 0,d x" "6 2 2 0 10 0" "6 3 3 7,d 0,d y" "7 1 80 13 0,d" "8 1 80 9 0,d"
  key Escape
  wait_exit 0

  WHAT="colour marks, cross-hair at line 1 column 2"
  start_prog 80x25 vesk-866 -w "-I$T/" marks.txt
  wait_screen "1:$(status_re 1 6)" "3:^first line\$" "8:^mno\$" @1,3
  key Right
  wait_screen "1:column=2 " @2,3
  # The cursor line and the cursor column gain the blue background where
  # the attribute had none; coloured cells keep theirs.
  # The cursor cell has the blink bit as well: a bright blue background.
  colours "3 1 1 7 4" "3 2 2 7 12" "3 3 80 7 4" "4 1 80 1 4" "5 1 80 11 4" "6 1 1 7,d 0,d" "6 2 2 0 10" "6 3 3 7,d 0,d" \
    "7 1 1 13 0,d" "7 2 2 13 4" "7 3 80 13 0,d" "8 1 1 9 0,d" "8 2 2 9 4" "8 3 80 9 0,d" "1 2 2 0 7,15"
  key Escape
  wait_exit 0
  cmp -s "$T/marks.txt" "$T/expect/marks.txt" || fail "marks.txt changed: $(od -An -c "$T/marks.txt")"
}

# Saving.  F2 leaves an unchanged text's file alone but still writes the
# "{" copy: every line without trailing blanks and NULs, control bytes
# blanked, LF ends, in the code page the file came in.  A changed text is
# written the same way with its control bytes kept.  An empty file counts as
# changed: F2 writes one empty line, keeping the file's mode and a symlink
# to it.
case_save_f2() {
  local name='r{t.txt'
  mkdir -p "$T/expect"
  python3 -S -E -c '
import sys
lines = ["Съешь же ещё этих мягких французских булок,   ", "да выпей\tже чаю.  ", "", "ШИРОКАЯ ЭЛЕКТРИФИКАЦИЯ ЮЖНЫХ ГУБЕРНИЙ \0"]
def write(path, lines, end):
    open(path, "wb").write(b"".join(l.encode("cp866") + end for l in lines))
write(sys.argv[1], lines, b"\r\n")
typed = lines[:1] + ["x" + lines[1]] + lines[2:]
write(sys.argv[2], [l.rstrip(" \0").replace("\t", " ") for l in lines], b"\n")
write(sys.argv[3], [l.rstrip(" \0") for l in typed], b"\n")
write(sys.argv[4], [l.rstrip(" \0").replace("\t", " ") for l in typed], b"\n")
' "$T/$name" "$T/expect/copy" "$T/expect/typed" "$T/expect/typed.copy" || fail "python3"
  cp "$T/$name" "$T/expect/orig"
  local inode
  inode=$(stat -c %i "$T/$name")
  WHAT="866 file in vesk-koi8, recoded"
  start_prog 80x25 vesk-koi8 -w "-I$T/" "$name"
  wait_screen "1:^ X = [0-9]+: recode FROM .*1 - ASCII"
  key 1
  wait_screen "1:$(status_re 1 4)" "3:^Съешь же ещё этих мягких французских булок,\$" "4:^да выпей.же чаю\.\$" \
    "6:^ШИРОКАЯ ЭЛЕКТРИФИКАЦИЯ ЮЖНЫХ ГУБЕРНИЙ\$"
  WHAT="F2 on the unchanged text"
  key F2 Down
  wait_screen "1:$(status_re 2 4)" "2:$(fill_re vesk-koi8 80)"
  [[ -f $T/rt.txt ]] || fail "F2 wrote no rt.txt (files: $(dir_files))"
  cmp -s "$T/rt.txt" "$T/expect/copy" ||
    fail "rt.txt holds [$(od -An -tx1 "$T/rt.txt")], expected [$(od -An -tx1 "$T/expect/copy")]"
  cmp -s "$T/$name" "$T/expect/orig" || fail "F2 rewrote the unchanged $name"
  [[ $(stat -c %i "$T/$name") == "$inode" ]] || fail "F2 replaced the unchanged $name"
  [[ $(dir_files) == "rt.txt $name" ]] || fail "files after F2: $(dir_files)"
  WHAT="F2 on the text changed by typing"
  type_x 4
  key F2 Down
  wait_screen "1:$(status_re 3 4)" "2:$(fill_re vesk-koi8 80)"
  cmp -s "$T/$name" "$T/expect/typed" ||
    fail "$name holds [$(od -An -tx1 "$T/$name")], expected [$(od -An -tx1 "$T/expect/typed")]"
  cmp -s "$T/rt.txt" "$T/expect/typed.copy" ||
    fail "rt.txt holds [$(od -An -tx1 "$T/rt.txt")], expected [$(od -An -tx1 "$T/expect/typed.copy")]"
  [[ $(dir_files) == "rt.txt $name" ]] || fail "files after F2: $(dir_files)"
  # Saved, the text is unchanged again: Esc leaves with status 0.
  WHAT="Esc after F2"
  key Escape
  wait_exit 0
  cmp -s "$T/$name" "$T/expect/typed" || fail "$name changed on leaving"

  # Neither recoding on loading nor the copy makes the text changed.
  cp "$T/expect/orig" "$T/$name"
  WHAT="866 file in vesk-koi8, recoded, Esc"
  start_prog 80x25 vesk-koi8 -w "-I$T/" "$name"
  wait_screen "1:^ X = [0-9]+: recode FROM .*1 - ASCII"
  key 1
  wait_screen "1:$STATUS_ANY" "3:^Съешь"
  key Escape
  wait_exit 0
  cmp -s "$T/$name" "$T/expect/orig" || fail "$name changed on leaving"

  : >"$T/empty.txt"
  chmod 640 "$T/empty.txt"
  ln -s empty.txt "$T/link.txt"
  WHAT="F2 on an empty file through a symlink"
  start_prog 80x25 vesk-866 -w "-I$T/" link.txt
  wait_screen "1:$(status_re 1 1)" "2:$(fill_re vesk-866 80)"
  key F2 Right
  wait_screen "1:column=2 " "2:$(fill_re vesk-866 80)"
  [[ $(od -An -c "$T/empty.txt" | tr -d ' ') == '\n' ]] ||
    fail "empty.txt holds [$(od -An -c "$T/empty.txt")], expected one empty line"
  [[ -L $T/link.txt && $(readlink "$T/link.txt") == empty.txt ]] || fail "link.txt is no longer a symlink to empty.txt"
  [[ $(file_mode "$T/empty.txt") == 640 ]] || fail "empty.txt has mode $(file_mode "$T/empty.txt") after F2, expected 640"
  # Saved: Esc leaves without asking, with status 0.
  key Escape
  wait_exit 0
}

# Writing into a file-size limit (ulimit -f) fails like a full disk: the
# editor reports it and keeps going, the old file stays as it was and no
# partial file is left behind.
case_full_disk() {
  make_lines "$T/a{b.txt" 4000  # 39 KB
  mkdir -p "$T/expect" && cp "$T/a{b.txt" "$T/expect/"
  WHAT="the \"{\" copy of 39 KB with a 1 KiB limit"
  FSIZE_LIMIT=1 start_prog 80x25 vesk-koi8 -w "-I$T/" "a{b.txt"
  wait_screen "1:$(status_re 1 4000)" "3:^line 1\$"
  key F2
  wait_screen "2:^Ошибка записи или файл - только для чтения!"
  [[ $(dir_files) == "a{b.txt" ]] || fail "files after the failed write: $(dir_files)"
  key Home
  wait_screen "2:$(fill_re vesk-koi8 80)" "1:$(status_re 1 4000)"
  key Escape
  wait_exit 0
  cmp -s "$T/a{b.txt" "$T/expect/a{b.txt" || fail "a{b.txt changed"

  # The save of a changed big text fails: the old file stays whole.
  make_lines "$T/big.txt" 4000
  cp "$T/big.txt" "$T/expect/"
  WHAT="big.txt with a 1 KiB limit"
  FSIZE_LIMIT=1 start_prog 80x25 vesk-866 -w "-I$T/" big.txt
  wait_screen "1:$(status_re 1 4000)" "3:^line 1\$"
  type_x 3
  WHAT="F2 on the changed big.txt with a 1 KiB limit"
  key F2
  wait_screen "2:^Ошибка записи или файл - только для чтения!"
  [[ $(dir_files) == "a{b.txt big.txt" ]] || fail "files after the failed save: $(dir_files)"
  # The key that ends the message goes to the name prompt, which Home
  # leaves as it is; Esc there gives up, and the text stays changed.
  key Home
  wait_screen "2:^Введите имя файла или Esc: "
  key Escape
  wait_screen "2:$(fill_re vesk-866 80)" "1:$(status_re 1 4000)" "3:^xline 1\$"
  key Escape
  wait_screen "1:^ Записать в файл \?"
  key 2
  wait_exit 3
  cmp -s "$T/big.txt" "$T/expect/big.txt" || fail "big.txt changed by the failed save"
  [[ $(dir_files) == "a{b.txt big.txt" ]] || fail "files after the failed save: $(dir_files)"
  rm -f "$T/big.txt"

  # No file may grow at all: even one empty line cannot be saved, and the
  # state file written on leaving fails quietly.
  : >"$T/empty.txt"
  WHAT="F2 on an empty file with a zero limit"
  FSIZE_LIMIT=0 start_prog 80x25 vesk-koi8 -w "-I$T/" empty.txt
  wait_screen "1:$(status_re 1 1)" "2:$(fill_re vesk-koi8 80)"
  key F2
  wait_screen "2:^Ошибка записи или файл - только для чтения!"
  key Home
  wait_screen "2:^Введите имя файла или Esc: "
  key Escape
  wait_screen "2:$(fill_re vesk-koi8 80)" "1:$(status_re 1 1)"
  [[ $(dir_files) == "a{b.txt empty.txt" ]] || fail "files after the failed save: $(dir_files)"
  [[ ! -s $T/empty.txt ]] || fail "empty.txt got [$(od -An -c "$T/empty.txt")] from a failed save"
  key Escape
  wait_screen "1:^ Записать в файл \?"
  key 2
  wait_exit 3
}

# The recode question of loading: 20 or more bytes above 127 whose average
# says the text is in the other build's set (or 1251) raise " X = average";
# the answer names the set the file is in.
case_recode_question() {
  local avg koi8_view
  # 20 Cyrillic letters in 866; the first 19 of them alone are too few.
  utf8_to CP866 "$T/twenty.txt" "Папа мама баба дед Вова и"
  utf8_to CP866 "$T/nineteen.txt" "Папа мама баба дед Вова"
  avg=$(high_byte_average "$T/twenty.txt")
  [[ -n $avg ]] || fail "twenty.txt has fewer than 20 bytes above 127"
  mkdir -p "$T/expect" && cp "$T/twenty.txt" "$T/expect/"
  WHAT="866 file in vesk-koi8, answer 1"
  start_prog 80x25 vesk-koi8 -w "-I$T/" twenty.txt
  wait_screen "1:^ X = $avg: recode FROM .*1 - ASCII.*2 - ANSI"
  key 1
  wait_screen "1:$(status_re 1 1)" "3:^Папа мама баба дед Вова и\$"
  key Escape
  wait_exit 0
  cmp -s "$T/twenty.txt" "$T/expect/twenty.txt" || fail "twenty.txt changed"

  # Answer 3 keeps the bytes: they show as the KOI8-R characters they are.
  koi8_view=$(iconv -f KOI8-R -t UTF-8 <"$T/twenty.txt")
  WHAT="866 file in vesk-koi8, answer 3"
  start_prog 80x25 vesk-koi8 -w "-I$T/" twenty.txt
  wait_screen "1:^ X = $avg: recode FROM"
  key 3
  wait_screen "1:$(status_re 1 1)" "3:^.+"
  [[ $(screen | sed -n 3p) == "$koi8_view" ]] || fail "row 3 is [$(screen | sed -n 3p)], expected [$koi8_view] (unconverted)"
  key Escape
  wait_exit 0

  WHAT="19 bytes of 866 in vesk-koi8"
  start_prog 80x25 vesk-koi8 -w "-I$T/" nineteen.txt
  wait_screen "1:$(status_re 1 1)" "3:^.+"
  [[ $(screen | sed -n 3p) == "$(iconv -f KOI8-R -t UTF-8 <"$T/nineteen.txt")" ]] ||
    fail "row 3 is [$(screen | sed -n 3p)], expected the bytes unconverted"
  key Escape
  wait_exit 0

  utf8_to KOI8-R "$T/koi8.txt" "$CYRILLIC"
  WHAT="KOI8-R file in vesk-koi8"
  start_prog 80x25 vesk-koi8 -w "-I$T/" koi8.txt
  wait_screen "1:$(status_re 1 1)" "3:^$CYRILLIC\$" "!X = "
  key Escape
  wait_exit 0

  avg=$(high_byte_average "$T/koi8.txt")
  WHAT="KOI8-R file in vesk-866, answer 1"
  start_prog 80x25 vesk-866 -w "-I$T/" koi8.txt
  wait_screen "1:^ X = $avg: recode FROM .*1 - KOI8-R"
  key 1
  wait_screen "1:$(status_re 1 1)" "3:^$CYRILLIC\$"
  key Escape
  wait_exit 0

  utf8_to CP1251 "$T/ansi.txt" "$CYRILLIC"
  avg=$(high_byte_average "$T/ansi.txt")
  WHAT="1251 file in vesk-866-rkbd, answer 2"
  start_prog 80x25 vesk-866-rkbd -w "-I$T/" ansi.txt
  wait_screen "1:^ X = $avg: recode FROM .*2 - ANSI"
  key 2
  wait_screen "1:$(status_re 1 1)" "3:^$CYRILLIC\$"
  key Escape
  wait_exit 0
}

# Typing a text into notes.40, whose extension sets lines of 40: words that
# would pass column 40 move to the next line, a blank after a full line
# starts the next one (line 3 ends exactly in column 40).  The second
# paragraph is longer than the window of 8 rows, so that the cursor keys
# have something to scroll.  Alt+F then formats the first paragraph
# justified: the first line starts in column 5, every line but the last
# ends in column 40 with the extra blanks given from the left, the last
# line keeps single blanks.  Last, a letter typed in overwrite mode
# replaces one and Ctrl+Y deletes a line.
EDIT_P1="Широкая электрификация южных губерний даст мощный толчок подъёму сельского хозяйства and the quick brown fox jumped over the lazy dog while Лена читает книгу вслух у окна тёплым летним вечером."
EDIT_P1_TYPED=(
  "Широкая электрификация южных губерний"
  "даст мощный толчок подъёму сельского"
  "хозяйства and the quick brown fox jumped"
  "over the lazy dog while Лена читает"
  "книгу вслух у окна тёплым летним"
  "вечером."
)
EDIT_P1_JUSTIFIED=(
  "    Широкая     электрификация     южных"
  "губерний   даст  мощный  толчок  подъёму"
  "сельского  хозяйства and the quick brown"
  "fox  jumped over the lazy dog while Лена"
  "читает  книгу вслух у окна тёплым летним"
  "вечером."
)
EDIT_P2="Второй абзац: Lorem ipsum dolor sit amet, consectetur adipiscing elit; sed do eiusmod tempor. Ёжик в тумане (1975) - мультфильм Юрия Норштейна! Hello, world?"
EDIT_P2_TYPED=(
  "Второй абзац: Lorem ipsum dolor sit"
  "amet, consectetur adipiscing elit; sed"
  "do eiusmod tempor. Ёжик в тумане (1975)"
  "- мультфильм Юрия Норштейна! Hello,"
  "world?"
)
case_edit_session() {
  local prog saved
  mkdir -p "$T/expect"
  for prog in "${PROGRAMS[@]}"; do
    rm -f "$T/notes.40" "$T/notes.40.VkIni"
    utf8_to "$(code_page "$prog")" "$T/expect/notes.40" "${EDIT_P1_JUSTIFIED[@]}" "" "${EDIT_P2_TYPED[@]:0:3}" "World?"
    WHAT="$prog: new notes.40"
    start_prog 80x10 "$prog" -w "-I$T/" notes.40
    wait_screen "2:^Новый файл\."
    key Home
    wait_screen "2:$(fill_re "$prog" 80)" "1:$(pos_re 1 1)" @1,3

    WHAT="$prog: typing the first paragraph"
    key -l "$EDIT_P1"
    rows_are 3 "${EDIT_P1_TYPED[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(status_re 6 6)" "1:$(pos_re 6 9)" @9,8
    WHAT="$prog: Enter twice at the end of the text"
    key Enter Enter
    wait_screen "1:$(status_re 8 8)" "1:$(pos_re 8 1)" "9:^\$" "10:^\$" @1,10
    WHAT="$prog: typing the second paragraph, the window scrolls"
    key -l "$EDIT_P2"
    rows_are 3 "${EDIT_P1_TYPED[@]:4}" "" "${EDIT_P2_TYPED[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(status_re 12 12)" "1:$(pos_re 12 7)" @7,10

    # PgUp from window top 5: the window goes to the top, the cursor keeps
    # its row (line 8).  PgDn: window top 8, the cursor to the last line.
    WHAT="$prog: PgUp"
    key PPage
    rows_are 3 "${EDIT_P1_TYPED[@]}" "" "${EDIT_P2_TYPED[0]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(pos_re 8 7)" @7,10
    WHAT="$prog: PgDn"
    key NPage
    rows_are 3 "${EDIT_P2_TYPED[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(pos_re 12 7)" @7,7
    WHAT="$prog: Up, Up"
    key Up Up
    wait_screen "1:$(pos_re 10 7)" @7,5
    # Top of file keeps the cursor's screen row: row 5 is line 3.
    WHAT="$prog: Ctrl+Home"
    key C-Home
    rows_are 3 "${EDIT_P1_TYPED[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(pos_re 3 7)" @7,5
    WHAT="$prog: Down, End"
    key Down End
    wait_screen "1:$(pos_re 4 36)" @36,6
    WHAT="$prog: Home"
    key Home
    wait_screen "1:$(pos_re 4 1)" @1,6
    WHAT="$prog: Right, Right, Right, Left"
    key Right Right Right Left
    wait_screen "1:$(pos_re 4 3)" @3,6

    # Alt+F (Alt+Shift+f: Esc F) formats the paragraph around the cursor;
    # the cursor goes to the line after it.
    WHAT="$prog: Alt+F on the first paragraph"
    key M-F
    rows_are 3 "${EDIT_P1_JUSTIFIED[@]}" "" "${EDIT_P2_TYPED[0]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(status_re 7 12)" "1:$(pos_re 7 1)" @1,9

    # Overwrite mode on the last line, then Ctrl+Y deletes the line above.
    WHAT="$prog: Down to the last line"
    key Down Down Down Down Down
    rows_are 3 "${EDIT_P1_JUSTIFIED[@]:4}" "" "${EDIT_P2_TYPED[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(pos_re 12 1)" @1,10
    WHAT="$prog: Insert, W, Insert"
    key IC W IC
    wait_screen "10:^World\?\$" "1:$(status_re 12 12)" "1:$(pos_re 12 2)" @2,10
    WHAT="$prog: Up, Ctrl+Y"
    key Up C-y
    rows_are 3 "${EDIT_P1_JUSTIFIED[@]:4}" "" "${EDIT_P2_TYPED[@]:0:3}" "World?" ""
    wait_screen "${ROW_CONDS[@]}" "1:$(status_re 11 11)" "1:$(pos_re 11 2)" @2,9

    WHAT="$prog: F2"
    key F2
    # The message line looks the same before and after the save: wait for
    # the file itself.
    wait_file "$T/notes.40" "$T/expect/notes.40"
    wait_screen "2:$(fill_re "$prog" 80)" "1:$(pos_re 11 2)"
    [[ $(dir_files) == notes.40 ]] || fail "files after F2: $(dir_files)"
    WHAT="$prog: Esc after F2"
    key Escape
    wait_exit 0
    cmp -s "$T/notes.40" "$T/expect/notes.40" || fail "notes.40 changed on leaving"
  done
}

# Literal mode: Ctrl+Q with a decimal number and Enter types that
# character, Ctrl+Q with a letter or F1..F12 types its control character.
# They reach the file as they are.
case_literal_keys() {
  local prog
  mkdir -p "$T/expect"
  printf 'A\001A\003b\n' >"$T/expect/lit.txt"
  for prog in "${PROGRAMS[@]}"; do
    rm -f "$T/lit.txt" "$T/lit.txt.VkIni"
    WHAT="$prog: new lit.txt"
    start_prog 80x25 "$prog" -w "-I$T/" lit.txt
    wait_screen "2:^Новый файл\."
    key Home
    wait_screen "2:$(fill_re "$prog" 80)" "1:$(pos_re 1 1)" @1,3
    WHAT="$prog: Ctrl+Q"
    key C-q
    wait_screen "Press a letter, or F#, or enter a number, then Enter\."
    WHAT="$prog: Ctrl+Q 6 5 Enter"
    key 6 5 Enter
    wait_screen "3:^A" "1:$(status_re 1 1)" "1:$(pos_re 1 2)" @2,3
    WHAT="$prog: Ctrl+Q a"
    key C-q
    wait_screen "Press a letter, or F#, or enter a number, then Enter\."
    key a
    wait_screen "3:^A.\$" "1:$(status_re 1 1)" "1:$(pos_re 1 3)" @3,3
    # The number is kept in a byte: 321 is 65 again.  F3 gives 03; a
    # character that is neither a digit nor a letter ends the mode unused.
    WHAT="$prog: Ctrl+Q 3 2 1 Enter"
    key C-q 3 2 1 Enter
    wait_screen "3:^A.A\$" "1:$(pos_re 1 4)" @4,3
    WHAT="$prog: Ctrl+Q F3"
    key C-q F3
    wait_screen "3:^A.A.\$" "1:$(pos_re 1 5)" @5,3
    WHAT="$prog: Ctrl+Q # b"
    key C-q '#' b
    wait_screen "3:^A.A.b\$" "1:$(pos_re 1 6)" @6,3
    WHAT="$prog: F2"
    key F2
    wait_file "$T/lit.txt" "$T/expect/lit.txt"
    WHAT="$prog: Esc after F2"
    key Escape
    wait_exit 0
    cmp -s "$T/lit.txt" "$T/expect/lit.txt" || fail "lit.txt changed on leaving: $(od -An -c "$T/lit.txt")"
  done
}

# Pascal keyword keys in unit.pas, whose text starts in column 3: Ctrl+B
# and Ctrl+T type "Begin " and "then ", Alt+L (Alt+Shift+l) "Writeln(); "
# with the cursor stepping back into the parentheses.  In a plain text
# Ctrl+T and Ctrl+N type "the " and "and ", Ctrl+B and Alt+L the
# characters 02 and 17 hex.
case_pascal_keys() {
  local prog
  mkdir -p "$T/expect"
  printf '  Begin then Writeln(x);\n' >"$T/expect/unit.pas"
  printf 'the and \002\027\n' >"$T/expect/plain.txt"
  for prog in "${PROGRAMS[@]}"; do
    rm -f "$T/unit.pas" "$T/unit.pas.VkIni"
    WHAT="$prog: new unit.pas"
    start_prog 80x25 "$prog" -w "-I$T/" unit.pas
    wait_screen "2:^Новый файл\."
    # The tab stops start at column 3 and go on every 8 columns.
    key Tab
    wait_screen "2:$(fill_re "$prog" 80)" "1:$(pos_re 1 11)" @11,3
    key BTab
    wait_screen "1:$(pos_re 1 3)" @3,3
    WHAT="$prog: Ctrl+B"
    key C-b
    wait_screen "3:^  Begin\$" "1:$(pos_re 1 9)" @9,3
    WHAT="$prog: Ctrl+T"
    key C-t
    wait_screen "3:^  Begin then\$" "1:$(pos_re 1 14)" @14,3
    WHAT="$prog: Alt+L"
    key M-L
    wait_screen "3:^  Begin then Writeln\(\);\$" "1:$(pos_re 1 22)" @22,3
    WHAT="$prog: x into the parentheses"
    key x
    wait_screen "3:^  Begin then Writeln\(x\);\$" "1:$(pos_re 1 23)" @23,3
    WHAT="$prog: F2"
    key F2
    wait_file "$T/unit.pas" "$T/expect/unit.pas"
    WHAT="$prog: Esc after F2"
    key Escape
    wait_exit 0

    # The same keys in a plain text: "the ", "and " and control characters.
    rm -f "$T/plain.txt" "$T/plain.txt.VkIni"
    WHAT="$prog: keyword keys in plain.txt"
    start_prog 80x25 "$prog" -w "-I$T/" plain.txt
    wait_screen "2:^Новый файл\."
    key Home
    wait_screen "2:$(fill_re "$prog" 80)" "1:$(pos_re 1 1)" @1,3
    key C-t C-n C-b M-L
    # 02 followed by a control byte draws as an inline colour code, so only
    # the file shows both bytes.
    wait_screen "3:^the and\$" "1:$(pos_re 1 11)" @11,3
    key F2
    wait_file "$T/plain.txt" "$T/expect/plain.txt"
    key Escape
    wait_exit 0
  done
}

# Ctrl+F4 runs a second editor on another file in the same terminal and
# takes the terminal back afterwards.  The name, with blanks and shell
# metacharacters, must reach the second editor as it was typed: the file
# of that name is created and nothing the name spells out is run.  The
# next Ctrl+F4 offers that name again; Esc there changes nothing.
case_edit_another_file() {
  local prog word="слово" name='a b;touch PWNED$(id)'\''q'\''.txt'
  local -a first=("первый файл" "line two")
  mkdir -p "$T/expect"
  for prog in "${PROGRAMS[@]}"; do
    rm -f "$T/$name" "$T"/*.VkIni
    utf8_to "$(code_page "$prog")" "$T/first.txt" "${first[@]}"
    cp "$T/first.txt" "$T/expect/first.txt"
    utf8_to "$(code_page "$prog")" "$T/expect/other" "$word"
    WHAT="$prog: first.txt"
    start_prog 80x25 "$prog" -w "-I$T/" first.txt
    rows_are 3 "${first[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:^first\.txt " "1:$(pos_re 1 1)" @1,3
    WHAT="$prog: Ctrl+F4"
    key C-F4
    wait_screen "2:^Введите имя файла или Esc: keydef\.vsk"
    # The first character typed replaces the offered name.
    WHAT="$prog: typing the name"
    key -l "$name"
    wait_screen "2:^Введите имя файла или Esc: $(re_quote "$name") *\$"
    WHAT="$prog: the second editor on the typed name"
    key Enter
    wait_screen "2:^Новый файл\." "!первый файл"
    [[ -f $T/$name ]] || fail "the second editor did not create [$name] (files: $(dir_files))"
    key Home
    wait_screen "2:$(fill_re "$prog" 80)" "1:$(status_re 1 1)" "1:$(pos_re 1 1)" @1,3
    key -l "$word"
    wait_screen "3:^$word\$" "1:$(pos_re 1 6)" @6,3
    WHAT="$prog: F2 in the second editor"
    key F2
    wait_file "$T/$name" "$T/expect/other"
    WHAT="$prog: Esc in the second editor, back in the first"
    key Escape
    rows_are 3 "${first[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:^first\.txt " "1:$(status_re 1 2)" "!$word" "2:$(fill_re "$prog" 80)" @1,3
    [[ -z $(find "$T" -name 'PWNED*' -print -quit) ]] || fail "the name was run by a shell: $(find "$T" -name 'PWNED*')"
    [[ $(pane_format '#{alternate_on}') == 1 ]] || fail "the first editor is not on the alternate screen again"
    [[ $(pane_format '#{keypad_flag}') == 1 ]] || fail "keypad application mode is off in the first editor again"
    WHAT="$prog: the first editor takes keys again"
    key Down
    wait_screen "1:$(pos_re 2 1)" @1,4
    WHAT="$prog: Ctrl+F4 again, Esc"
    key C-F4
    wait_screen "2:^Введите имя файла или Esc: $(re_quote "$name") *\$"
    key Escape
    wait_screen "${ROW_CONDS[@]}" "2:$(fill_re "$prog" 80)" "1:$(pos_re 2 1)" @1,4
    WHAT="$prog: Esc in the first editor"
    key Escape
    wait_exit 0
    check_restored "after the first editor"
    cmp -s "$T/first.txt" "$T/expect/first.txt" || fail "first.txt changed"
    cmp -s "$T/$name" "$T/expect/other" || fail "[$name] changed"
    [[ -z $(find "$T" -name 'PWNED*' -print -quit) ]] || fail "the name was run by a shell: $(find "$T" -name 'PWNED*')"
    [[ $(dir_files) == "$(printf '%s\n' first.txt "$name" | LC_ALL=C sort | paste -sd ' ')" ]] ||
      fail "files in the directory: $(dir_files)"
  done
}

# Run as a second user (a uid no account uses; only where the cases run as
# root): F2 on a read-only file of the user's own refuses the save, the
# text stays changed and the file as it was; another user's writable file
# in a sticky folder is saved in place, keeping its owner.
case_save_permissions() {
  if [[ $(id -u) != 0 ]]; then
    echo "      (save_permissions: skipped, running as uid $(id -u): it needs root to run the editor as a second user)"
    return 0
  fi
  command -v setpriv >/dev/null || { echo "      (save_permissions: skipped, no setpriv)"; return 0; }
  local u
  for ((u = 47100; u < 60000; u += 10)); do
    getent passwd "$u" >/dev/null || getent group "$u" >/dev/null || break
  done
  chmod 755 "$T"
  mkdir -p "$T/u" "$T/sticky"
  chown "$u:$u" "$T/u"
  chmod 1777 "$T/sticky"
  make_lines "$T/u/ro.txt" 3
  chown "$u:$u" "$T/u/ro.txt"
  chmod 444 "$T/u/ro.txt"
  mkdir -p "$T/expect" && cp "$T/u/ro.txt" "$T/expect/ro.txt"
  PROG_PREFIX=(setpriv "--reuid=$u" "--regid=$u" --clear-groups)
  WHAT="F2 on a read-only file as its owner"
  start_prog 80x25 vesk-koi8 -w "-I$T/u/" u/ro.txt
  wait_screen "1:$(status_re 1 3)"
  type_x 3
  key F2
  wait_screen "2:^Ошибка записи или файл - только для чтения!"
  cmp -s "$T/u/ro.txt" "$T/expect/ro.txt" || fail "ro.txt was written"
  [[ $(file_mode "$T/u/ro.txt") == 444 ]] || fail "ro.txt has mode $(file_mode "$T/u/ro.txt")"
  key Home
  wait_screen "2:^Введите имя файла или Esc: "
  key Escape
  wait_screen "2:$(fill_re vesk-koi8 80)" "1:$(status_re 1 3)" "3:^xline 1\$"
  key Escape
  wait_screen "1:^ Записать в файл \?"
  key 2
  wait_exit 3
  cmp -s "$T/u/ro.txt" "$T/expect/ro.txt" || fail "ro.txt was written"
  [[ -z $(ls -A "$T/u" | grep -v VkIni) || $(ls -A "$T/u" | grep -v VkIni) == ro.txt ]] ||
    fail "files left in the folder: $(ls -A "$T/u" | tr '\n' ' ')"

  make_lines "$T/sticky/shared.txt" 3
  chmod 666 "$T/sticky/shared.txt"
  local inode
  inode=$(stat -c %i "$T/sticky/shared.txt")
  WHAT="F2 on another user's writable file in a sticky folder"
  start_prog 80x25 vesk-866 -w "-I$T/u/" sticky/shared.txt
  wait_screen "1:$(status_re 1 3)"
  type_x 3
  key F2 Right
  wait_screen "1:column=3 " "2:$(fill_re vesk-866 80)"
  PROG_PREFIX=()
  [[ $(head -n 1 "$T/sticky/shared.txt") == "xline 1" ]] || fail "shared.txt holds [$(head -c 40 "$T/sticky/shared.txt")]"
  [[ $(stat -c '%i %u %a' "$T/sticky/shared.txt") == "$inode 0 666" ]] ||
    fail "shared.txt is now inode, owner, mode $(stat -c '%i %u %a' "$T/sticky/shared.txt"), was $inode 0 666"
  [[ $(ls -A "$T/sticky") == shared.txt ]] || fail "files left in the sticky folder: $(ls -A "$T/sticky" | tr '\n' ' ')"
  key Escape
  wait_exit 0
}

# The emergency copy of a changed text killed by SIGTERM finds a place
# when the file's folder is gone and there is no home directory: $TMPDIR,
# else /tmp.  Where no place takes it, the program says so after the
# terminal is restored.  Names go to stderr with control bytes shown.
case_emergency_places() {
  local name=$'esc\e]2;PWNED\a.txt' base="vesk-e2e-$$-g.txt"
  make_lines "$T/$name" 3
  WHAT="a file named with an escape sequence"
  start_prog 80x25 vesk-koi8 -w "-I$T/" "$name"
  wait_screen "1:$(status_re 1 3)"
  type_x 3
  kill -TERM "$(cat "$R/pid")"
  wait_exit any $((3 * TIMEOUT))
  check_restored "after SIGTERM"
  [[ -f $T/$name.save ]] || fail "no copy beside the file (files: $(dir_files))"
  grep -q $'\e' "$R/stderr" && fail "stderr holds an ESC byte: $(od -An -c "$R/stderr" | tr -s ' \n' ' ')"
  grep -Fq "the text was saved to esc^[]2;PWNED^G.txt.save" "$R/stderr" ||
    fail "stderr does not name the copy with its control bytes shown: $(cat -v "$R/stderr")"

  mkdir -p "$T/sub" "$T/tmpdir"
  make_lines "$T/sub/$base" 3
  PROG_PREFIX=(env "HOME=$T/no-home" "TMPDIR=$T/tmpdir")
  for where in tmpdir tmp; do
    [[ $where == tmp ]] && PROG_PREFIX=(env "HOME=$T/no-home" "TMPDIR=$T/no-tmpdir")
    mkdir -p "$T/sub" && make_lines "$T/sub/$base" 3
    WHAT="the file's folder gone, no home directory: the copy goes to $where"
    start_prog 80x25 vesk-866 -w "-I$T/" "sub/$base"
    wait_screen "1:$(status_re 1 3)"
    type_x 3
    rm -rf "$T/sub"
    kill -TERM "$(cat "$R/pid")"
    wait_exit any $((3 * TIMEOUT))
    check_restored "after SIGTERM"
    local copy=$T/tmpdir/$base.save
    if [[ $where == tmp ]]; then
      copy=/tmp/$base.save
      CLEANUP+=("$copy")
    fi
    [[ -f $copy && ! -L $copy ]] || fail "no copy $copy (stderr: $(cat -v "$R/stderr"))"
    [[ $(file_mode "$copy") == 600 ]] || fail "$copy has mode $(file_mode "$copy")"
    [[ $(head -n 1 "$copy") == "xline 1" ]] || fail "$copy holds [$(head -c 40 "$copy")]"
    grep -Fq "the text was saved to $copy" "$R/stderr" || fail "stderr does not name $copy: $(cat -v "$R/stderr")"
  done

  # No place at all: /tmp (and the file's folder under it) read-only in a
  # mount namespace of the program's own.
  if ! unshare -m --propagation private sh -c 'mount --bind /tmp /tmp && mount -o remount,bind,ro /tmp' 2>/dev/null; then
    echo "      (emergency_places: no mount namespace here, the case without any place is skipped)"
    return 0
  fi
  make_lines "$T/ro.txt" 3
  # The working folder is entered again to be seen through the new mount.
  PROG_PREFIX=(unshare -m --propagation private sh -c
    'mount --bind /tmp /tmp && mount -o remount,bind,ro /tmp && cd "$(pwd)" && exec "$@"' sh env "HOME=$T" "TMPDIR=$T")
  WHAT="no place takes the copy"
  start_prog 80x25 vesk-koi8 -w "-I$T/" ro.txt
  wait_screen "1:$(status_re 1 3)"
  type_x 3
  kill -TERM "$(cat "$R/pid")"
  wait_exit any $((3 * TIMEOUT))
  check_restored "after SIGTERM"
  PROG_PREFIX=()
  grep -Fq "the text was changed and no copy of it could be written" "$R/stderr" ||
    fail "stderr does not say that no copy was written: $(cat -v "$R/stderr")"
  [[ -z $(find /tmp -maxdepth 1 -name 'ro.txt.save*' -newer "$T/ro.txt") ]] || fail "a copy went to /tmp"
}

# The editor can always be stopped: a burst of characters refused in a full
# line is over at once, a closing signal ends a refusal pause at once (with
# the emergency copy of the changed text), and a keystroke buffer that holds
# F9 in its last slot plays once and leaves the editor to its keys.
case_stopping() {
  local start_ns ms pid burst
  burst=$(printf 'y%.0s' $(seq 400))
  { printf 'x%.0s' $(seq 254); printf '\na\n'; } >"$T/full.txt"
  WHAT="400 refused characters"
  start_prog 80x25 vesk-koi8 -w "-I$T/" full.txt
  wait_screen "1:$(status_re 1 2)"
  key Down End b
  wait_screen "4:^ab\$"
  key Up End
  wait_screen "1:$(pos_re 1 255)"
  start_ns=$(date +%s%N)
  key -l "$burst"
  key Down
  wait_screen "1:$(pos_re 2 255)"
  ms=$((($(date +%s%N) - start_ns) / 1000000))
  ((ms < 3000)) || fail "400 refused characters took $ms ms"

  WHAT="SIGTERM after 400 refused characters"
  key Up End
  wait_screen "1:$(pos_re 1 255)"
  pid=$(cat "$R/pid")
  key -l "$burst"
  sleep 0.3
  kill -TERM "$pid"
  wait_exit any 3
  [[ $EXIT_STATUS != 0 ]] || fail "killed by SIGTERM yet exit status 0"
  check_restored "after SIGTERM in a refusal pause"
  [[ -f $T/full.txt.save ]] || fail "no full.txt.save (files: $(dir_files))"
  [[ $(sed -n 2p "$T/full.txt.save") == ab ]] || fail "full.txt.save holds [$(sed -n 2p "$T/full.txt.save")] as line 2"

  WHAT="a keystroke buffer with F9 in slot 32"
  # 31 times Down (0200FF27), then F9 (0200FF09), as raw little-endian codes.
  { for ((i = 0; i < 31; i++)); do printf '\x27\xff\x00\x02'; done; printf '\x09\xff\x00\x02'; } >"$T/kbdbufer.vsk"
  make_lines "$T/many.txt" 40
  start_prog 80x25 vesk-koi8 -w -K "-I$T/" many.txt
  wait_screen "1:$(status_re 1 40)"
  key x
  wait_screen "3:^xline 1\$"
  key F9
  wait_screen "1:$(pos_re 32 2)"
  key Up
  wait_screen "1:$(pos_re 31 2)"
  kill -TERM "$(cat "$R/pid")"
  wait_exit any 3
  check_restored "after SIGTERM after the playback"
  [[ $(head -n 1 "$T/many.txt.save" 2>/dev/null) == "xline 1" ]] || fail "no many.txt.save with the changed text (files: $(dir_files))"
}

# A stop from outside (kill -TSTP, as a shell's job control sends it) gives
# the shell its screen back first: normal screen, cursor shown, keypad mode
# off, modes as before.  Continued (fg), the editor takes the terminal again
# and redraws, and goes on taking keys.
case_suspend() {
  make_lines "$T/text.txt" 5
  stop_server
  RUN_N=$((RUN_N + 1))
  R=$T/r$RUN_N
  mkdir -p "$R"
  # A shell with job control: the editor runs as a job of its own.
  cat >"$R/pane.sh" <<EOF
set -m
cd $(printf '%q' "$T") || exit 1
stty -g > $R/stty.before
echo BEFORE-EDITOR-MARK
sh -c 'echo \$\$ > "\$0"; exec "\$@"' $R/pid $(printf '%q' "$BUILD/vesk-koi8") -w "-I$T/" text.txt 2> $R/stderr
echo "STOPPED-MARK status=\$?"
stty -g > $R/stty.stopped
read -r line
fg
rc=\$?
stty -g > $R/stty.after
stty -a > $R/stty.all
echo "EXIT=\$rc" > $R/status.tmp && mv $R/status.tmp $R/status
echo "AFTER-EDITOR-MARK status=\$rc"
exec sleep 3600
EOF
  tm new-session -d -s "$SESSION" -x 80 -y 25 \
    "env -u VESK_ESC_TIMEOUT TERM=xterm-256color LANG=C.UTF-8 LC_ALL=C.UTF-8 bash $R/pane.sh" || fail "tmux did not start"
  WHAT="the editor runs"
  wait_screen "1:$(status_re 1 5)" "3:^line 1\$"
  [[ $(pane_format '#{alternate_on}') == 1 ]] || fail "the editor does not use the alternate screen"
  WHAT="kill -TSTP"
  kill -TSTP "$(cat "$R/pid")"
  wait_screen "STOPPED-MARK status=148" "BEFORE-EDITOR-MARK" "!$STATUS_ANY"
  [[ $(pane_format '#{alternate_on}') == 0 ]] || fail "the alternate screen is still on while stopped"
  [[ $(pane_format '#{keypad_flag}') == 0 ]] || fail "keypad mode is still on while stopped"
  [[ $(pane_format '#{cursor_flag}') == 1 ]] || fail "the cursor is hidden while stopped"
  cmp -s "$R/stty.before" "$R/stty.stopped" ||
    fail "terminal modes while stopped differ: $(cat "$R/stty.before") / $(cat "$R/stty.stopped")"
  WHAT="fg: the editor redraws"
  key Enter
  wait_screen "1:$(status_re 1 5)" "3:^line 1\$" "!STOPPED-MARK"
  [[ $(pane_format '#{alternate_on}') == 1 ]] || fail "the alternate screen is off after fg"
  [[ $(pane_format '#{keypad_flag}') == 1 ]] || fail "keypad mode is off after fg"
  WHAT="keys after fg"
  key Down
  wait_screen "1:$(status_re 2 5)" @1,4
  key Escape
  wait_exit 0
  check_restored "after fg and Esc"
}

# --help and --version as the only argument print and exit 0 without a
# terminal's screen being taken or a file made; "./--help" is a file name.
case_help_version() {
  local prog out
  for prog in "${PROGRAMS[@]}"; do
    WHAT="$prog --help"
    out=$(cd "$T" && "$BUILD/$prog" --help </dev/null 2>&1) || fail "$prog --help: exit status $?"
    [[ $out == *"Использование: $prog"* && $out == *"Код завершения"* && $out == *"-I"* && $out == *TERM* ]] ||
      fail "$prog --help printed: $out"
    out=$(cd "$T" && "$BUILD/$prog" --version </dev/null 2>&1) || fail "$prog --version: exit status $?"
    [[ $out =~ ^$prog\ [0-9]+\.[0-9]+ ]] || fail "$prog --version printed: $out"
  done
  [[ -z $(ls -A "$T") ]] || fail "files made by --help or --version: $(ls -A "$T")"
  WHAT="--help in a terminal"
  start_prog 80x25 vesk-koi8 --help
  wait_exit 0
  [[ $(pane_format '#{alternate_on}') == 0 ]] || fail "the alternate screen is on after --help"
  wait_screen "Использование: vesk-koi8" "AFTER-EDITOR-MARK status=0"
  [[ ! -e $T/--help ]] || fail "--help made a file"
  WHAT="./--help is edited"
  start_prog 80x25 vesk-koi8 -w "-I$T/" "-X$T/" ./--help
  wait_screen "2:^Новый файл\."
  [[ -f $T/--help ]] || fail "./--help was not created"
  key Right
  wait_screen "1:^\./--help "
  quit_unsaved
  WHAT="--help after a switch is a file name"
  rm -f -- "$T/--help"
  start_prog 80x25 vesk-koi8 -w "-I$T/" "-X$T/" --help
  wait_screen "2:^Новый файл\."
  key Right
  wait_screen "1:^--help "
  quit_unsaved
}

# Esc, and 2 (discard) at the question that a changed text asks.
quit_unsaved() {
  key Escape
  wait_screen "1:Записать в файл"
  key 2
  wait_exit 3
}

# F1 opens the help in the program's own character set, in every program:
# no recode question, the Cyrillic heading as it should read.
case_help_file() {
  local prog
  for prog in "${PROGRAMS[@]}"; do
    WHAT="$prog F1"
    make_lines "$T/text.txt" 3
    start_prog 80x25 "$prog" -w "-I$T/" text.txt
    wait_screen "1:$(status_re 1 3)"
    key F1
    wait_screen "СПРАВКА ПО РЕДАКТОРУ" "!recode FROM" "2:^▒|░"
    key Escape
    wait_screen "1:$(status_re 1 3)" "3:^line 1\$"
    key Escape
    wait_exit 0
  done
}

# cmake --install: programs in bin, data in share/vesk, the manual page
# under share/man/man1 for all four names; an installed program started
# from another folder finds its help in share/vesk.
case_install() {
  local prefix=$T/prefix f
  WHAT="cmake --install"
  cmake --install "$BUILD" --prefix "$prefix" >"$T/install.log" 2>&1 || fail "cmake --install: $(tail -5 "$T/install.log")"
  for f in bin/vesk-koi8 bin/vesk-866 share/vesk/veskinfo.hlp share/vesk/vesk866.hlp share/vesk/keydef.vsk \
    share/vesk/shorts.vsk share/man/man1/vesk.1 share/man/man1/vesk-koi8.1 share/man/man1/vesk-866-rkbd.1; do
    [[ -e $prefix/$f ]] || fail "$f is not installed ($(cd "$prefix" && find . -type f | tr '\n' ' '))"
  done
  [[ ! -e $prefix/bin/veskinfo.hlp ]] || fail "data files still go to bin"
  mkdir -p "$T/work"
  make_lines "$T/work/text.txt" 3
  WHAT="the installed vesk-866, F1"
  local build=$BUILD
  BUILD=$prefix/bin
  start_prog 80x25 vesk-866 -w "-I$T/" work/text.txt
  wait_screen "1:$(status_re 1 3)"
  key F1
  wait_screen "СПРАВКА ПО РЕДАКТОРУ" "!recode FROM" "!Файл не найден"
  key Escape
  wait_screen "1:$(status_re 1 3)"
  key Escape
  wait_exit 0
  BUILD=$build
}


# UTF-8 files in each program: a Russian text (with box drawing, which
# both sets hold) opens without a question as the right letters, typed
# Cyrillic goes in, and F2 writes UTF-8 again, its byte-order mark and all.
# The second editor (edit another file) does the same with its own file,
# and a file with a character the set lacks is shown unconverted and says
# where.
UTF8_LINES=("Съешь же ещё этих мягких французских булок, да выпей чаю." "┌──┐ Ёлка │ ░▒▓" "plain line")
case_utf8_files() {
  local prog
  mkdir -p "$T/expect"
  for prog in "${PROGRAMS[@]}"; do
    rm -f "$T"/*.VkIni
    { printf '\xEF\xBB\xBF'; printf '%s\r\n' "${UTF8_LINES[@]}"; } >"$T/utf8.txt"
    { printf '\xEF\xBB\xBF'; printf '%s\n' "Жёлтый ${UTF8_LINES[0]}" "${UTF8_LINES[@]:1}"; } >"$T/expect/utf8.txt"
    printf '%s\n' "второй файл" "ветер" >"$T/other.txt"
    printf '%s\n' "второй файл" "Юг ветер" >"$T/expect/other.txt"
    printf '%s\n' "строка" "中文 и «кавычки»" >"$T/foreign.txt"
    cp "$T/foreign.txt" "$T/expect/foreign.txt"
    WHAT="$prog: a UTF-8 file"
    start_prog 80x25 "$prog" -w "-I$T/" utf8.txt
    rows_are 3 "${UTF8_LINES[@]}"
    wait_screen "${ROW_CONDS[@]}" "1:$(status_re 1 3)" "2:$(fill_re "$prog" 80)" "!X = " @1,3
    WHAT="$prog: typing Cyrillic"
    key -l "Жёлтый "
    wait_screen "3:^Жёлтый ${UTF8_LINES[0]}\$" "1:$(pos_re 1 8)"
    WHAT="$prog: F2"
    key F2
    wait_file "$T/utf8.txt" "$T/expect/utf8.txt"
    WHAT="$prog: Ctrl+F4, the second editor on other.txt"
    key C-F4
    wait_screen "2:^Введите имя файла или Esc: "
    key -l other.txt
    key Enter
    wait_screen "3:^второй файл\$" "4:^ветер\$" "1:^other\.txt .*$(status_re 1 2)" "!X = "
    key Down
    key -l "Юг "
    wait_screen "4:^Юг " "1:$(pos_re 2 4)"
    key F2
    wait_file "$T/other.txt" "$T/expect/other.txt"
    key Escape
    rows_are 3 "Жёлтый ${UTF8_LINES[0]}" "${UTF8_LINES[@]:1}"
    wait_screen "${ROW_CONDS[@]}" "2:$(fill_re "$prog" 80)"
    WHAT="$prog: Esc"
    key Escape
    wait_exit 0
    cmp -s "$T/utf8.txt" "$T/expect/utf8.txt" || fail "$prog: utf8.txt changed after the save"
    WHAT="$prog: a UTF-8 file with characters the set lacks"
    start_prog 80x25 "$prog" -w "-I$T/" foreign.txt
    wait_screen "2:^Строка 2: символ, которого нет в кодировке; файл показан без перекодировки" "!X = "
    key Escape
    wait_exit 0
    cmp -s "$T/foreign.txt" "$T/expect/foreign.txt" || fail "$prog: foreign.txt changed"
  done
}

# ---------------------------------------------------------------------------

CASES=(start_screen new_file exit_status state_file cyrillic terminal_restored colours few_rows key_burst
  cyrillic_both_sets colour_mark save_f2 full_disk recode_question edit_session literal_keys pascal_keys
  edit_another_file save_permissions emergency_places stopping suspend help_version help_file install
  bracketed_paste keystrokes_exit tmux_keys utf8_files)
if [[ $# -gt 0 ]]; then CASES=("$@"); fi

failed=()
suite_start=$(date +%s%N)
for CASE in "${CASES[@]}"; do
  if ! declare -F "case_$CASE" >/dev/null; then
    echo "FAIL  $CASE: no such case"
    failed+=("$CASE")
    continue
  fi
  case_start=$(date +%s%N)
  (
    SOCK="vesk-e2e-$$-$CASE"
    T=$(mktemp -d /tmp/vesk-e2e.XXXXXX) || { echo "FAIL  $CASE: mktemp"; exit 1; }
    CLEANUP=()
    PROG_PREFIX=()
    RUN_N=0
    R=""
    trap end_case EXIT
    "case_$CASE"
  )
  rc=$?
  ms=$((($(date +%s%N) - case_start) / 1000000))
  if ((rc == 0)); then
    printf 'PASS  %s (%d ms)\n' "$CASE" "$ms"
  else
    failed+=("$CASE")
  fi
done
ms=$((($(date +%s%N) - suite_start) / 1000000))
if ((${#failed[@]})); then
  printf 'e2e: %d of %d cases failed (%s) in %d ms\n' "${#failed[@]}" "${#CASES[@]}" "${failed[*]}" "$ms"
  exit 1
fi
printf 'e2e: all %d cases passed in %d ms\n' "${#CASES[@]}" "$ms"

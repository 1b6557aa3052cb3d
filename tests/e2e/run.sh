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
    line = lines[row - 1] if 0 < row <= len(lines) else ''
    fg, bg, bold, rev = 'd', 'd', False, False
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
  if [[ -n ${R:-} && -s $R/status ]]; then echo "      program ended: $(cat "$R/status")"; fi
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
  for f in "$T"/r*/pid; do
    [[ -s $f ]] || continue
    pid=$(cat "$f")
    [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$BUILD"/vesk-* ]] && kill -KILL "$pid" 2>/dev/null
  done
  tm kill-server 2>/dev/null
  for f in "$T"/r*/pid; do
    [[ -s $f ]] || continue
    pid=$(cat "$f")
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
start_prog() {
  local size=$1 prog=$2
  shift 2
  stop_server
  RUN_N=$((RUN_N + 1))
  R=$T/r$RUN_N
  mkdir -p "$R"
  local args="" a
  for a in "$BUILD/$prog" "$@"; do args+=" $(printf '%q' "$a")"; done
  cat >"$R/pane.sh" <<EOF
cd $(printf '%q' "$T") || exit 1
stty -g > $R/stty.before
echo BEFORE-EDITOR-MARK
sh -c 'echo \$\$ > "\$0"; exec "\$@"' $R/pid$args 2> $R/stderr
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
      fail "timed out after ${TIMEOUT}s waiting for the screen to show [$bad] (${WHAT:-})"
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

# ---------------------------------------------------------------------------

CASES=(start_screen new_file exit_status state_file cyrillic terminal_restored colours few_rows key_burst)
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

#!/usr/bin/env python3
"""Esc-to-exit time of the editor on a pseudo-terminal.

The editor runs on a pty of 80x25 (TERM=xterm-256color, LANG=C.UTF-8) on a
small unchanged file.  Once its first screen has come and the output has
been quiet for a moment, Esc is sent, and the time to the end of the process
is measured.  Two terminals are played:

  legacy    answers only the device-attributes query; Esc is the lone byte
            1B, which the editor must wait VESK_ESC_TIMEOUT (35 ms) to tell
            from the start of a key sequence
  protocol  also answers the keyboard-protocol query ("CSI ? u"); the
            editor then asks for unambiguous keys and Esc arrives as
            "CSI 27 u", which needs no wait

    python3 bench/esc_exit.py                  # median and minimum per mode
    python3 bench/esc_exit.py --runs 20 --builds vesk-koi8,vesk-866 --bin-dir build-release

Python 3 standard library only; Linux.
"""
import argparse
import fcntl
import os
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

QUERY_PROTOCOL = b"\x1b[?u"
QUERY_ATTRIBUTES = b"\x1b[c"


def read_for(fd, seconds, out):
    """Reads what comes within seconds; returns when the output was quiet that long."""
    end = time.monotonic() + seconds
    while True:
        left = end - time.monotonic()
        if left <= 0:
            return
        r, _, _ = select.select([fd], [], [], left)
        if not r:
            return
        try:
            data = os.read(fd, 65536)
        except OSError:
            return
        if not data:
            return
        out.extend(data)
        end = time.monotonic() + seconds


def one_run(program, workdir, protocol, timeout_ms):
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
    env = dict(os.environ, TERM="xterm-256color", LANG="C.UTF-8", LC_ALL="C.UTF-8", HOME=workdir)
    env.pop("VESK_ESC_TIMEOUT", None)
    if timeout_ms is not None:
        env["VESK_ESC_TIMEOUT"] = str(timeout_ms)
    for name in os.listdir(workdir):
        if name.endswith(".VkIni"):
            os.unlink(os.path.join(workdir, name))
    proc = subprocess.Popen([program, "-w", "-I" + workdir + "/", "text.txt"], cwd=workdir, env=env,
                            stdin=slave, stdout=slave, stderr=subprocess.DEVNULL, start_new_session=True,
                            preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
    os.close(slave)
    out = bytearray()
    try:
        deadline = time.monotonic() + 5
        while QUERY_ATTRIBUTES not in out and time.monotonic() < deadline:
            read_for(master, 0.05, out)
        answer = (b"\x1b[?0u" if protocol and QUERY_PROTOCOL in out else b"") + b"\x1b[?62;22c"
        os.write(master, answer)
        read_for(master, 0.2, out)  # the first screen, and the push of the protocol's flag
        if protocol and b"\x1b[>1u" not in out:
            raise RuntimeError("the editor did not switch the keyboard protocol on")
        start = time.monotonic()
        os.write(master, b"\x1b[27u" if protocol else b"\x1b")
        while proc.poll() is None:
            r, _, _ = select.select([master], [], [], 0.001)
            if r:
                try:
                    os.read(master, 65536)
                except OSError:
                    pass
            if time.monotonic() - start > 5:
                raise RuntimeError("the editor did not end within 5 s")
        took = (time.monotonic() - start) * 1000
        if proc.returncode != 0:
            raise RuntimeError("exit status %d" % proc.returncode)
        return took
    finally:
        if proc.poll() is None:
            proc.send_signal(signal.SIGKILL)
            proc.wait()
        os.close(master)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin-dir", default=None, help="default build-release, else build")
    ap.add_argument("--builds", default="vesk-koi8", help="comma-separated programs")
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--esc-timeout", type=int, default=None, help="VESK_ESC_TIMEOUT for the runs")
    args = ap.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    bin_dir = args.bin_dir
    if bin_dir is None:
        bin_dir = os.path.join(root, "build-release")
        if not os.path.isdir(bin_dir):
            bin_dir = os.path.join(root, "build")
    with tempfile.TemporaryDirectory(prefix="vesk-esc-") as workdir:
        with open(os.path.join(workdir, "text.txt"), "w") as f:
            f.write("".join("line %d\n" % i for i in range(1, 40)))
        print("%-16s %-9s %9s %9s" % ("program", "terminal", "median", "min"))
        for build in args.builds.split(","):
            program = os.path.join(bin_dir, build)
            for protocol in (False, True):
                times = sorted(one_run(program, workdir, protocol, args.esc_timeout) for _ in range(args.runs))
                median = times[len(times) // 2]
                print("%-16s %-9s %7.1f ms %6.1f ms" % (build, "protocol" if protocol else "legacy", median,
                                                         times[0]))
    return 0


if __name__ == "__main__":
    sys.exit(main())

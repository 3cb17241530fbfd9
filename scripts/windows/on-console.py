#!/usr/bin/env python3
"""Runs a command on a fresh pseudo-terminal, as a person at a terminal would, for the Windows
checks: Wine gives a console program started on a terminal a real console of its own.

  on-console.py OUTPUT [--when TEXT --type KEYS]... [--timeout SECONDS] -- COMMAND...

Everything the command writes to the terminal is saved in OUTPUT, bytes as they came. Each
--when/--type pair waits, in order, until TEXT has appeared in the output (escape sequences left
out), then types KEYS (Python escapes, e.g. '\\x03' for Ctrl+C). The exit code is the command's;
124 when it outlived the time-out."""
import os
import pty
import re
import select
import signal
import sys
import time

ESCAPE = re.compile(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07")


def main():
    args = sys.argv[1:]
    output = args.pop(0)
    steps = []
    timeout = 60.0
    while args and args[0] != "--":
        option = args.pop(0)
        if option == "--when":
            steps.append([args.pop(0).encode(), None])
        elif option == "--type":
            steps[-1][1] = args.pop(0).encode().decode("unicode_escape").encode("latin-1")
        elif option == "--timeout":
            timeout = float(args.pop(0))
        else:
            sys.exit(f"on-console: unknown option {option}")
    command = args[1:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    seen = b""
    deadline = time.monotonic() + timeout
    searched = 0
    status = None
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                break
            seen += chunk
            if steps:
                text = ESCAPE.sub(b"", seen)
                found = text.find(steps[0][0], searched)
                if found >= 0:
                    searched = found + len(steps[0][0])
                    os.write(fd, steps.pop(0)[1])
        done, result = os.waitpid(pid, os.WNOHANG)
        if done:
            status = result
            break
    else:
        os.kill(pid, signal.SIGKILL)
    if status is None:
        _, status = os.waitpid(pid, 0)
    # What the terminal still holds once the command is gone.
    try:
        while select.select([fd], [], [], 0.2)[0]:
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            seen += chunk
    except OSError:
        pass
    with open(output, "wb") as f:
        f.write(seen)
    if time.monotonic() >= deadline:
        sys.exit(124)
    sys.exit(os.WEXITSTATUS(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status))


if __name__ == "__main__":
    main()

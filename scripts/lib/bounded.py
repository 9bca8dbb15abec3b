"""Waits with a bound: a program run in a process group of its own, killed with its whole group
once its time is up or what it needs has gone, and a condition asked until it holds or time is
up. Used by the Wine session, wine-run, the package checks and the benchmarks."""

import os
import signal
import subprocess
import tempfile
import time


class Stopped(Exception):
    """A program killed before it ended; lost says what went away, None when time was up."""

    def __init__(self, step, seconds, lost=None):
        super().__init__(f"{step} was stopped: {lost}" if lost
                         else f"{step} did not finish within {seconds} s")
        self.lost = lost


def poll_until(condition, seconds, interval=0.1):
    """Asks condition every interval seconds until it answers with a true value, for at most
    seconds; its last answer (a false one when time is up)."""
    deadline = time.monotonic() + seconds
    while not (answer := condition()) and time.monotonic() < deadline:
        time.sleep(interval)
    return answer


def spawn(args, **kwargs):
    """Starts args in a process group of its own, with nothing to read unless stdin is given."""
    kwargs.setdefault("stdin", subprocess.DEVNULL)
    return subprocess.Popen(args, start_new_session=True, **kwargs)


def kill(process):
    """Kills the process group that process leads and reaps it; its exit status. A process
    already reaped is left alone: its id may be another's by now."""
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGKILL)
    return process.wait()


def finish(process, seconds, step, lost=lambda: None, each=lambda: None):
    """Waits up to seconds for process, from spawn(), to end, calling each() between looks; its
    exit status. One still running then, or once lost() names what went away, is killed with
    its process group and raises Stopped naming step."""
    def ended():
        each()
        return process.poll() is not None or lost()
    answer = poll_until(ended, seconds)
    if answer is not True:
        kill(process)
        raise Stopped(step, seconds, answer or None)
    return process.returncode


def run(args, seconds, step, lost=lambda: None, **kwargs):
    """Runs args as finish() waits for it; its CompletedProcess, with its output (and stderr,
    unless given) as text unless stdout is given. The output goes through a file: a process
    the program leaves running could hold a pipe open."""
    with tempfile.TemporaryFile() as output:
        kwargs.setdefault("stdout", output)
        kwargs.setdefault("stderr", subprocess.STDOUT)
        status = finish(spawn(args, **kwargs), seconds, step, lost)
        output.seek(0)
        return subprocess.CompletedProcess(args, status, output.read().decode(errors="replace"))

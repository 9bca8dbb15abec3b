"""The Wine session that the Windows tests and the package checks share.

A session is one throwaway Wine prefix, a private Xvfb server for its windows and one
persistent Wine server with Wine's own services already up, so that each program starts
quickly and no server starts or stops while a test runs. It lasts from start() to stop(),
across processes: ctest starts it in one test and ends it in another, so what it started is
kept in a JSON file beside the prefix, each process with its start time, and a process is
only ever signalled while it is still the one that was started.

Every wait here is bounded (bounded.py): a Wine process that hangs (as one can where 32-bit
code runs under qemu) becomes a WineError that names the step, within minutes.
"""

import contextlib
import fcntl
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import bounded


# The prefix every session's prefix is copied from, one for each checkout.
TEMPLATE = Path(__file__).resolve().parents[2] / "build" / "wine-prefix-template"
# Wine's own programs, named by their Windows paths: a program named so is loaded in the
# process that wine starts, where a bare name such as "reg" starts start.exe first, which then
# starts the program in a second process: one start more.
SYSTEM32 = "C:\\windows\\system32\\"


class WineError(Exception):
    """A step of the session that failed or did not finish in time."""


def start_time(pid):
    """The start time of process pid in clock ticks since boot, or None when none runs (an
    ended process that its parent has yet to reap runs no more)."""
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return None
    # The command name, in parentheses, may hold spaces; the fields after it may not.
    fields = stat[stat.rindex(")") + 2:].split()
    return None if fields[0] in ("Z", "X") else int(fields[19])


class Process:
    """A process the session started, as its id and its start time."""

    def __init__(self, pid, started):
        self.pid, self.started = pid, started

    @classmethod
    def of(cls, popen):
        return cls(popen.pid, start_time(popen.pid))

    def running(self):
        return self.started is not None and start_time(self.pid) == self.started

    def kill_group(self, sig):
        """Signals the process group the process leads, while it is still that process."""
        if self.running():
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.pid, sig)


class WineSession:
    def __init__(self, prefix):
        self.prefix = Path(prefix).absolute()
        self.log_path = self.prefix.with_name(self.prefix.name + ".log")
        self.state_path = self.prefix.with_name(self.prefix.name + ".session.json")
        self.server = self.x_server = self.display = None

    # --- Settings -------------------------------------------------------------------------

    def env(self):
        """The environment of every Wine command of the session, wherever it runs."""
        # Read by qemu-i386: with Wine's preloader a program starts fastest in qemu's default
        # 4 GiB guest address space, and in a smaller one Wine's start-up probes the rest in
        # tens of thousands of failed calls.
        unset = ("DISPLAY", "WAYLAND_DISPLAY", "QEMU_RESERVED_VA")
        env = {name: value for name, value in os.environ.items() if name not in unset}
        env.update(
            WINEPREFIX=str(self.prefix),
            WINEARCH="win32",
            WINEDEBUG="-all",
            # No Mono or Gecko: their installers would ask on first start, and nothing here
            # needs them. No menu builder: it would copy shortcuts made in the prefix into this
            # machine's own menus. No debugger: a program that crashes ends at once instead of
            # waiting in winedbg, which may never end under qemu.
            WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d;winedbg.exe=d",
            # The same ANSI code page (1252) and messages wherever the tests run.
            LC_ALL="C.UTF-8",
        )
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def note(self, text):
        with open(self.log_path, "a") as log:
            log.write(time.strftime("%T ") + text + "\n")

    def fail(self, text):
        return WineError(f"wine: {text}; see {self.log_path}")

    # --- Commands -------------------------------------------------------------------------

    def spawn(self, args, **kwargs):
        """Starts args in a process group of its own, its output to the session's log."""
        with open(self.log_path, "a") as log:
            kwargs.setdefault("stdout", log)
            kwargs.setdefault("stderr", subprocess.STDOUT)
            return bounded.spawn(args, env=self.env(), **kwargs)

    def run(self, args, seconds, step, **kwargs):
        """bounded.run() in the session's environment, a program stopped raising WineError."""
        try:
            return bounded.run(args, seconds, step, env=self.env(), **kwargs)
        except bounded.Stopped as stopped:
            raise self.fail(str(stopped)) from None

    def call(self, args, seconds, step, watch_server=False):
        """Runs args for at most seconds, its output to the log; its exit status. One still
        running then is killed with its process group and raises WineError naming step. With
        watch_server, so is one still running once the session's server has gone: a client of
        a server that crashed can wait for its answer for ever."""
        with open(self.log_path, "a") as log:
            return self.run(args, seconds, step, stdout=log, lost=lambda: watch_server and not
                            self.alive() and "the Wine server went away").returncode

    def wait_for_servers(self, seconds):
        """Waits until no Wine server runs for the prefix; kills what is left after seconds."""
        try:
            self.call(["wineserver", "--wait"], seconds, "waiting for Wine's programs")
        except WineError:
            self.note(f"Wine's programs were still running after {seconds} s")
            self.call(["wineserver", "--kill=9"], 30, "killing Wine's programs")

    # --- The prefix -----------------------------------------------------------------------

    def is_made(self, version):
        ready = self.prefix / ".ready"
        return ready.exists() and ready.read_text() == version

    def make(self, version):
        """Makes the prefix, and returns when every program that making it started has ended.
        Under qemu one of Wine's helper programs may crash or hang meanwhile; the prefix is
        whole once its registry is written, so one still running after that is ended."""
        self.stop()
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.prefix.mkdir(parents=True)
        self.log_path.write_text("")
        print(f"creating the Wine prefix {self.prefix}", file=sys.stderr)
        self.note("making the prefix")
        # Under qemu a helper that wineboot waits for may crash, and wineboot then waits for
        # ever. The registry changes while the work goes on, so a registry left unchanged for a
        # minute means the work is done and the rest is ended.
        registry = self.prefix / "system.reg"
        process = self.spawn(["wine", SYSTEM32 + "wineboot.exe", "--init"])
        seen, quiet_since = None, time.monotonic()
        def done():
            nonlocal seen, quiet_since
            if process.poll() is not None:
                return "ended"
            now = os.stat(registry) if registry.exists() else None
            state = now and (now.st_mtime_ns, now.st_size)
            if state != seen:
                seen, quiet_since = state, time.monotonic()
            return state and time.monotonic() - quiet_since >= 60 and "quiet"
        if bounded.poll_until(done, 600, interval=1) == "quiet":
            self.note("wineboot --init still runs with its registry a minute unchanged")
        if process.poll() is None:
            with contextlib.suppress(WineError):  # what is left is killed below
                self.call(["wineserver", "--kill"], 60, "ending wineboot --init")
            bounded.kill(process)
        self.wait_for_servers(120)
        self.note("the prefix is made")
        if not registry.exists() or not registry.stat().st_size:
            raise self.fail(f"could not create the Wine prefix {self.prefix}")
        (self.prefix / ".ready").write_text(version)

    def ensure_prefix(self, fresh=False):
        """Makes the prefix for this version of Wine, afresh when asked to. Making one takes
        Wine a while (minutes under qemu), so a checkout makes one once, as TEMPLATE, and each
        prefix starts as a copy of it."""
        # Through sh, which answers 126 or 127 where the loader is missing or cannot run.
        if self.run(["sh", "-c", "/lib/ld-linux.so.2 --version"], 60,
                    "running a 32-bit program").returncode != 0:
            raise WineError("wine: this machine cannot run 32-bit x86 programs, which Wine needs;"
                            " run the command through scripts/with-i386, which lets qemu-i386"
                            " run them (Linux 6.7 or later; on older kernels first"
                            " sudo scripts/enable-i386-qemu)")
        version = self.run(["wine", "--version"], 60, "asking Wine its version",
                           stderr=subprocess.DEVNULL).stdout.strip()
        if not fresh and self.is_made(version):
            return
        template = WineSession(TEMPLATE)
        TEMPLATE.parent.mkdir(parents=True, exist_ok=True)
        with open(TEMPLATE.with_name(TEMPLATE.name + ".lock"), "w") as lock:
            def locked():
                with contextlib.suppress(BlockingIOError):
                    fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    return True
            # Another session of this checkout may be making it.
            if not bounded.poll_until(locked, 900, interval=0.5):
                raise self.fail(f"{TEMPLATE} was still being made after 900 s")
            if not template.is_made(version):
                template.make(version)
            self.stop()
            shutil.rmtree(self.prefix, ignore_errors=True)
            shutil.copytree(TEMPLATE, self.prefix, symlinks=True)
        self.log_path.write_text("")
        self.note(f"the prefix is a copy of {TEMPLATE}")

    # --- The session ----------------------------------------------------------------------

    def save(self):
        self.state_path.write_text(json.dumps(
            {"server": self.server and vars(self.server),
             "x_server": self.x_server and vars(self.x_server), "display": self.display}))

    def load(self):
        """Takes up the running session of the prefix; whether there is one."""
        try:
            state = json.loads(self.state_path.read_text())
        except (OSError, ValueError):
            return False
        self.server, self.x_server = (state.get(name) and Process(**state[name])
                                      for name in ("server", "x_server"))
        self.display = state["display"]
        return self.alive()

    def alive(self):
        return all(process and process.running() for process in (self.server, self.x_server))

    def start(self, fresh=False):
        """Starts the session, or takes up the one already running; with fresh, in a prefix
        made anew. Under qemu, Wine's server now and then crashes while Wine's services start,
        or a service hangs and wineboot waits for it: such a start is tried once more."""
        self.ensure_prefix(fresh)
        if not fresh and self.load():
            return
        for attempt in (1, 2):
            self.stop()
            try:
                return self.start_servers()
            except BaseException as error:
                if attempt == 2 or not isinstance(error, WineError):
                    self.stop()
                    raise
                self.note(f"{error}; starting the session once more")

    def start_servers(self):
        # The private X server, with what a window manager would tell Wine of its windows
        # (wm_state.py, which starts the server and names its display once it watches it).
        with open(self.log_path, "a") as log:
            keeper = self.spawn([sys.executable, str(Path(__file__).with_name("wm_state.py"))],
                                stdout=subprocess.PIPE, stderr=log)
        self.x_server = Process.of(keeper)
        self.save()
        ready = select.select([keeper.stdout], [], [], 30)[0]
        named = keeper.stdout.readline().decode().strip() if ready else ""
        keeper.stdout.close()
        if not named.startswith(":"):
            raise self.fail("the X server did not start within 30 s")
        self.display = named
        # In the foreground (-f), so that its process is the one recorded; persistent (-p) until
        # stop(). It takes clients once it has made its socket, in a folder of its own.
        self.server = Process.of(self.spawn(["wineserver", "-f", "-p"]))
        self.save()
        socket = f"/proc/{self.server.pid}/cwd/socket"
        started = bounded.poll_until(
            lambda: os.path.exists(socket) or not self.alive() and "lost", 60)
        if started is not True:
            raise self.fail("the Wine server did not start within 60 s")
        # Wine's services, started before the first test.
        self.note("the server runs; starting Wine's services")
        if self.call(["wine", SYSTEM32 + "wineboot.exe"], 120, "starting Wine's services",
                     watch_server=True) != 0:
            raise self.fail("Wine's services did not start")
        self.note("the session is ready")

    def stop(self):
        """Ends every Wine process of the prefix, its server and the session's X server;
        bounded, and safe to call when no session runs."""
        self.load()
        if self.prefix.exists():
            with contextlib.suppress(WineError):
                self.call(["wineserver", "--kill"], 60, "ending the Wine server")
            self.wait_for_servers(60)
        for process in (self.server, self.x_server):
            if process:
                process.kill_group(signal.SIGTERM)
                if not bounded.poll_until(lambda: not process.running(), 10):
                    process.kill_group(signal.SIGKILL)
        self.server = self.x_server = self.display = None
        self.state_path.unlink(missing_ok=True)

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

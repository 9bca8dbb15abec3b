"""The Wine session without Wine: the guard against a process id now another's, the second
start, and a step stopped by its bound."""

import signal
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "lib"))
from wine_session import Process, WineError, WineSession, start_time  # noqa: E402


class Starts(WineSession):
    """A session, with its prefix made, whose starts of its servers raise errors in turn."""

    def __init__(self, folder, errors):
        super().__init__(Path(folder) / "prefix")
        self.errors, self.calls = list(errors), []
        self.ensure_prefix = lambda fresh: None
        self.stop = lambda: self.calls.append("stop")

    def start_servers(self):
        self.calls.append("start")
        if self.errors:
            raise self.errors.pop(0)


class WineSessionTest(unittest.TestCase):
    def test_only_the_process_recorded_is_signalled(self):
        for name, started, status in (("the one started", lambda t: t, -signal.SIGKILL),
                                      ("its id now another's", lambda t: t + 1, 0),
                                      ("ended when recorded", lambda t: None, 0)):
            with self.subTest(name), subprocess.Popen(
                    [sys.executable, "-c", "import sys; sys.stdin.read()"],
                    stdin=subprocess.PIPE, start_new_session=True) as child:
                Process(child.pid, started(start_time(child.pid))).kill_group(signal.SIGKILL)
                child.stdin.close()
                self.assertEqual(child.wait(), status)

    def test_a_start_that_fails_is_tried_once_more(self):
        lost = WineError("the Wine server did not start within 60 s")
        for errors, calls, raised in (
                ([lost], ["stop", "start", "stop", "start"], None),
                ([lost, lost], ["stop", "start", "stop", "start", "stop"], WineError),
                ([OSError()], ["stop", "start", "stop"], OSError)):
            with self.subTest(errors), tempfile.TemporaryDirectory() as folder:
                session = Starts(folder, errors)
                if raised:
                    self.assertRaises(raised, session.start)
                else:
                    session.start()
                self.assertEqual(session.calls, calls)

    def test_a_step_stopped_is_a_wine_error_naming_it(self):
        pause = [sys.executable, "-c", "import signal; signal.pause()"]
        for seconds, watch, text in ((0, False, "waiting did not finish within 0 s"),
                                     (60, True, "waiting was stopped: the Wine server went away")):
            with self.subTest(text), tempfile.TemporaryDirectory() as folder:
                with self.assertRaisesRegex(WineError, f"^wine: {text}; see "):
                    WineSession(Path(folder) / "prefix").call(pause, seconds, "waiting", watch)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Tavix CallerID end-to-end test: the calls list survives the program being killed mid-burst."""
import os
import random
import signal
import sqlite3
import stat
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import Connector, Xvfb, session_class, wait_until  # noqa: E402

CALLS = 200


def rows(session):
    """id -> (line, number, name) of every committed call, read as another program would."""
    return {r[0]: r[1:] for r in session.history("SELECT id, line, number, name FROM calls")}


class CallsEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb()

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def setUp(self):
        self.session = session_class()(self.xvfb.display)
        self.addCleanup(self.session.cleanup)

    def test_every_committed_call_survives_sigkill(self):
        s = self.session
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.prepare(connector.ca)
        s.configure(username="till", password="s3cret", host=s.web_host(connector.port),
                    cafile=connector.ca)
        s.start()
        s.wait_for_box()
        db = s.history_file()
        self.assertTrue(wait_until(lambda: os.path.exists(db)))

        # What a reader saw committed while the burst ran: all of it must be there after the kill.
        seen = {}
        stop = threading.Event()

        def watch():
            while not stop.is_set():
                try:
                    for key, (line, number, name) in rows(s).items():
                        if number or key not in seen:
                            seen[key] = (line, number, name)
                except (sqlite3.Error, OSError):
                    pass
                time.sleep(0.02)
        watcher = threading.Thread(target=watch)
        watcher.start()

        # Killed at a moment of its own, wherever the program is in its events: the calls
        # ring every 8 ms on four lines, and the next caller ID is on its way (under Wine, which
        # handles the box's messages more slowly, the calls come less often). The moment is
        # counted in calls played, not in seconds, so that it falls inside the burst however
        # fast the machine is.
        def kill():
            s.kill()
            stop.set()
        killer = threading.Timer(random.uniform(0.0, 0.05), kill)
        kill_at = random.randint(CALLS // 5, CALLS * 3 // 5)
        played = {}
        box = s.batch()
        for i in range(CALLS):
            if i == kill_at:
                killer.start()
            line, number = i % 4, f"0555{i:04d}"
            # The caller ID 4 ms after the first ring, well before the line's next call.
            if box.run("call", line, number, "--name", f"Caller {i}", "--interval-ms", 8) == 0:
                played[number] = (line + 1, f"Caller {i}")
            time.sleep(s.burst_pause)
        box.close()
        killer.join()
        watcher.join()
        s.program.wait(timeout=20)
        self.assertEqual(s.program.returncode, -signal.SIGKILL)
        self.assertGreater(len(played), 0)
        self.assertLess(len(played), CALLS, "the box went with the program")

        after = rows(s)
        if not s.wine:
            self.assertEqual(stat.S_IMODE(os.stat(db).st_mode), 0o600)
        lost = {k: v for k, v in seen.items() if after.get(k, (None, None, None))[:2] != v[:2]
                and not (v[1] == "" and k in after)}
        self.assertEqual(lost, {}, "rows committed before the kill are gone or changed")
        numbers = [number for _, number, _ in after.values() if number]
        # The box's caller ID is read when its event is handled: a program that falls behind
        # reads the line's next caller for both events, as it would on the real box. So a number
        # may show twice, but there are never more calls than the box played.
        self.assertLessEqual(len(numbers), len(played), "more callers recorded than played")
        for line, number, name in after.values():
            if number:
                self.assertEqual(played.get(number), (line, name), f"{number} was never played so")
        # Each caller the web application got was recorded first. A caller ID read after the
        # line's next call cleared it is sent empty, as the box gave it, and recorded so.
        received = {r["query"][-1][1] for r in connector.requests()}
        self.assertGreater(len(received), 0)
        self.assertLessEqual(received, {number for _, number, _ in after.values()})
        self.assertGreater(len(set(numbers)), len(played) // 2, "most played callers were recorded")

        # The next start opens the same list and keeps it.
        s.start()
        s.wait_for_box()
        self.assertEqual(s.close(), 0)
        self.assertEqual({k: v[:2] for k, v in rows(s).items()}, {k: v[:2] for k, v in after.items()})
        self.assertEqual([f for f in os.listdir(os.path.dirname(db)) if f.startswith("calls-")], [],
                         "nothing was moved aside")

    def test_a_file_that_is_no_database_is_moved_aside_and_the_program_runs_on(self):
        s = self.session
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.prepare(connector.ca)
        db = s.history_file()
        folder = os.path.dirname(db)
        os.makedirs(folder, mode=0o700)
        with open(db, "wb") as f:
            f.write(random.Random(5).randbytes(8192))
        s.configure(username="till", password="s3cret", host=s.web_host(connector.port),
                    cafile=connector.ca)
        s.start()
        s.wait_for_box()
        s.sim("call", 2, "0123456789", "--name", "A Caller")
        self.assertTrue(wait_until(lambda: rows(s)))
        self.assertTrue(wait_until(lambda: len(connector.requests()) == 1))
        self.assertEqual([(line, number) for line, number, _ in rows(s).values()],
                         [(3, "0123456789")])
        aside = [f for f in os.listdir(folder) if f.startswith("calls-") and f.endswith(".sqlite")]
        self.assertEqual(len(aside), 1)
        # Said once, with where the old file went; the box it is shown in does not keep the
        # program from closing.
        self.assertEqual(s.stderr().count("could not be used"), 1, s.stderr())
        self.assertIn(aside[0], s.stderr())
        self.assertEqual(s.close(), 0)

if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""The Calls window of the real program under Xvfb on the simulated box: what each call became,
Send again for one the web application did not get, and the list after a restart."""
import csv
import os
import socket
import sqlite3
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import MAIN_TITLE, Xvfb, session_class, wait_until  # noqa: E402
from connector import Connector  # noqa: E402

CALLS_TITLE = "Tavix CallerID \u2014 Calls"
EXPORT_TITLE = "Export the calls"
# lblCalls, in main's client pixels (its twips / 15): a point inside the link's text.
CALLS_LINK = (40, 262)


class Relay:
    """127.0.0.1:port passed on to the connector while up, refused while down: the connector
    goes away and comes back with the same address and certificate."""

    def __init__(self, target_port):
        self.target = ("127.0.0.1", target_port)
        self.port, self.sockets = 0, []
        self.up()

    def up(self):
        self.listener = socket.create_server(("127.0.0.1", self.port))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, args=(self.listener,), daemon=True).start()

    def _accept(self, listener):
        while True:
            try:
                client, _ = listener.accept()
            except OSError:
                return  # down
            server = socket.create_connection(self.target)
            self.sockets += [client, server]
            for a, b in ((client, server), (server, client)):
                threading.Thread(target=self._pump, args=(a, b), daemon=True).start()

    @staticmethod
    def _pump(source, sink):
        try:
            while data := source.recv(65536):
                sink.sendall(data)
        except OSError:
            pass

    def down(self):
        """Refuses new connections and drops those kept open for reuse."""
        for s in [self.listener] + self.sockets:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()
        self.sockets = []


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

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.session.env,
                              capture_output=True, text=True, timeout=30).stdout

    def windows(self, title):
        return self.xdotool("search", "--onlyvisible", "--name", f"^{title}$").split()

    def keys(self, window, *keys):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--delay", "100", *keys)

    def new_window(self, title, before):
        found = wait_until(lambda: [w for w in self.windows(title) if w not in before])
        self.assertTrue(found, f"no new window titled {title!r}")
        return found[0]

    def open_calls_window(self):
        """Through main's link, as a user would."""
        main = wait_until(lambda: self.windows(MAIN_TITLE))
        self.assertTrue(main, "no main window")
        self.session.uncover_main()
        self.xdotool("windowraise", main[0])
        x, y = (a + b for a, b in zip(self.session.client_origin, CALLS_LINK))
        self.xdotool("mousemove", "--window", main[0], x, y, "click", "1")
        return self.new_window(CALLS_TITLE, [])

    def shown_rows(self, window, name):
        """The rows the window shows, through its Export… (Alt+E) and the file dialog."""
        path = os.path.join(self.session.root, name)
        self.keys(window, "alt+e")
        dialog = self.new_window(EXPORT_TITLE, [])
        # The suggested name replaced: selected from its start to its end, as Windows' own
        # file name box has no Ctrl+A.
        self.keys(dialog, "Home", "shift+End")
        self.xdotool("type", "--delay", "20", self.session.dialog_path(path))
        self.keys(dialog, "Return")
        self.assertTrue(wait_until(lambda: os.path.exists(path)), "nothing was exported")
        wait_until(lambda: not self.windows(EXPORT_TITLE))
        with open(path, encoding="utf-8-sig", newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual(rows[0], ["Time", "Line", "Number", "Name", "What happened",
                                   "Web application"])
        return {row[2]: row for row in rows[1:]}

    def calls_over(self, count):
        """Waits until the calls list holds `count` calls, none of them still ringing (the
        ring-off time is 7 s), read beside the program as SQLite allows in WAL mode."""
        def over():
            try:
                return self.session.history("SELECT count(*) FROM calls WHERE progress != 0")[0][0]
            except (sqlite3.Error, OSError) as e:  # not there yet, or being written
                return str(e)
        self.assertTrue(wait_until(lambda: over() == count, timeout=30), over())

    def outcomes(self, rows):
        return {number: (row[1], row[4], row[5]) for number, row in rows.items()}

    def screenshot(self, window, name):
        self.session.capture(window, name)

    def test_each_call_shows_what_became_of_it_and_a_failed_one_is_sent_again_once(self):
        s = self.session
        connector = Connector(s.root, body="Caller found")
        self.addCleanup(connector.stop)
        s.prepare(connector.ca)
        # No host yet: the call is shown and kept, sent nowhere.
        s.configure(username="till", password="p&ss=w#rd")
        s.start()
        s.wait_for_box()
        s.sim("call", 3, "0400000004", "--name", "No Host", "--interval-ms", "300")
        self.assertTrue(wait_until(lambda: any(e.startswith("No web application host")
                                               for e in s.entries())))
        self.calls_over(1)
        self.assertEqual(s.close(), 0)

        relay = Relay(connector.port)
        self.addCleanup(relay.down)
        s.configure(username="till", password="p&ss=w#rd", host=s.web_host(relay.port),
                    cafile=connector.ca)
        s.start()
        s.wait_for_box()
        s.sim("call", 0, "0100000001", "--name", "Answered")
        self.assertTrue(wait_until(lambda: len(connector.requests()) == 1))
        s.sim("answer", 0)
        time.sleep(2)
        s.sim("hangup", 0)
        s.sim("call", 1, "0200000002", "--name", "Missed", "--interval-ms", "300")
        # Down only once the reply is in: a connection cut under it would be tried again.
        self.assertTrue(wait_until(lambda: sum("Caller found" in e for e in s.entries()) == 2))
        relay.down()
        s.sim("call", 2, "0300000003", "--name", "Connector Down", "--interval-ms", "300")
        self.calls_over(4)

        window = self.open_calls_window()
        rows = self.shown_rows(window, "before.csv")
        outcomes = self.outcomes(rows)
        self.assertEqual(set(outcomes), {"0100000001", "0200000002", "0300000003", "0400000004"})
        self.assertRegex(outcomes["0100000001"][1], r"^answered \d+:\d\d$")
        self.assertEqual(outcomes["0100000001"][::2], ("1", "\u2713 sent"))
        self.assertEqual(outcomes["0200000002"], ("2", "missed", "\u2713 sent"))
        self.assertEqual(outcomes["0300000003"][:2], ("3", "missed"))
        self.assertTrue(outcomes["0300000003"][2].startswith("\u2717 failed: "), outcomes)
        self.assertEqual(outcomes["0400000004"][:2], ("4", "missed"))
        self.assertIn("no web application host", outcomes["0400000004"][2])
        for row in rows.values():
            self.assertNotIn("p&ss", ",".join(row))
        self.screenshot(window, "calls-window.png")

        # The newest call, the failed one, is selected: Enter asks, Y answers yes.
        relay.up()
        before = self.windows(CALLS_TITLE)
        self.keys(window, "Return")
        question = self.new_window(CALLS_TITLE, before)
        self.screenshot(question, "calls-send-again-question.png")
        self.keys(question, "y")
        self.assertTrue(wait_until(lambda: len(connector.requests()) == 3))
        request = dict(connector.requests()[-1]["query"])
        self.assertEqual((request["caller"], request["line"], request["user"]),
                         ("0300000003", "3", "till"))
        self.assertTrue(wait_until(lambda: self.outcomes(self.shown_rows(window, "sent.csv"))
                                   ["0300000003"][2] == "\u2713 sent"))
        after = self.shown_rows(window, "after.csv")
        self.screenshot(window, "calls-window-sent-again.png")
        time.sleep(1)
        self.assertEqual(len(connector.requests()), 3, "sent again more than once")
        self.assertEqual(s.close(), 0)

        # The same rows after a restart.
        s.start()
        s.wait_for_box()
        window = self.open_calls_window()
        self.assertEqual(self.shown_rows(window, "restarted.csv"), after)
        self.screenshot(window, "calls-window-restarted.png")
        self.assertEqual(s.close(), 0)
        self.assertEqual(len(connector.requests()), 3, "a restart sent a call")


if __name__ == "__main__":
    unittest.main(verbosity=2)

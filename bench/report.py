#!/usr/bin/env python3
"""Prints the benchmark table with ratios against the floors and writes it as JSON."""
import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import exit_time  # noqa: E402
import startup  # noqa: E402


def load(path):
    with open(path) as f:
        data = json.load(f)
    figures = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        name = b["run_name"] if "run_name" in b else b["name"]
        # Benchmarks timed by the wall clock carry that in their name.
        figures[name.removesuffix("/real_time")] = b
    return figures


def per_item_us(b):
    """Real time per processed item in microseconds."""
    unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
    items = b.get("items_per_second")
    if items:
        return 1e6 / items
    return b["real_time"] * unit


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--events", required=True)
    parser.add_argument("--connector", required=True)
    parser.add_argument("--burst", required=True)
    parser.add_argument("--calls", required=True)
    parser.add_argument("--calls-window", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    events = load(args.events)
    connector = load(args.connector)
    rows = []

    def row(name, value, unit, floor=None, ratio=None, target=None):
        rows.append({"figure": name, "value": value, "unit": unit, "floor": floor, "ratio": ratio,
                     "target": target})

    floor = per_item_us(events["BM_Floor_AppendEntry"])
    row("log append floor (open, write, close)", floor, "us/entry")
    for name, label in (("BM_Event_LineState", "line-state event"),
                        ("BM_Event_BackDevice", "device event"),
                        ("BM_Event_Collateral", "call event (no web request)")):
        cost = per_item_us(events[name])
        row(f"{label}: {1e6 / cost:,.0f} notifications/s", cost, "us/notification", floor,
            cost / floor, "<= 1.25")

    backlog = {k: v for k, v in events.items() if k.startswith("BM_Backlog")}
    base = per_item_us(backlog["BM_Backlog/100/0"])
    for name, b in sorted(backlog.items(), key=lambda kv: (kv[1]["log_MB"], kv[1]["queued"])):
        cost = per_item_us(b)
        row(f"backlog {int(b['queued'])} queued, log {int(b['log_MB'])} MB", cost, "us/notification",
            base, cost / base, "~1.0 (no growth)")

    for label, ours, bare in (("reused connection", "BM_CallerToConnector", "BM_Floor_BareGetReused"),
                              ("fresh connection", "BM_CallerToConnector_Fresh", "BM_Floor_BareGetFresh")):
        cost, floor_us = per_item_us(connector[ours]), per_item_us(connector[bare])
        row(f"caller to connector, {label}", cost, "us/call", floor_us, cost / floor_us,
            f"<= 1.1 + 1 ms ({(1.1 * floor_us + 1000) / floor_us:.2f})")

    idle = per_item_us(connector["BM_CallerToConnector"])
    busy = per_item_us(connector["BM_CallerToConnector_FirstLinePending"])
    row("caller to connector, another line's request pending", busy, "us/call", idle, busy / idle,
        f"<= idle + 1 ms ({(idle + 1000) / idle:.2f})")
    idle = per_item_us(connector["BM_Click_Idle"])
    busy = per_item_us(connector["BM_Click_FourCallsPending"])
    row("click to handler, four requests pending", busy, "us/click", idle, busy / idle,
        "~1.0 (never waits on the network)")

    # One timed iteration: its name carries "/iterations:1/manual_time".
    burst = next(b for name, b in load(args.burst).items() if name.startswith("BM_Burst"))
    callers = int(burst["callers"])
    # The best six connections can do: one 50 ms reply after the other on each.
    drain_floor = callers * 0.050 / 6
    row(f"burst of {callers:,} callers, 50 ms connector: delivered once", burst["delivered"],
        "callers", callers, burst["delivered"] / callers, f"= {callers:,}, each sent once")
    row("burst: requests the connector received", burst["sent_once"], "requests", callers,
        burst["sent_once"] / callers, "= callers (-1: a caller sent twice)")
    row("burst: time to drain", burst["drain_s"], "s", drain_floor, burst["drain_s"] / drain_floor,
        "<= 1.5 (six connections)")
    row("burst: peak resident memory", burst["peak_rss_MiB"], "MiB", burst["rss_before_MiB"],
        burst["peak_rss_MiB"] / burst["rss_before_MiB"], "a few KiB per caller")
    row("burst: memory per pending caller", burst["KiB_per_caller"], "KiB/caller", None, None,
        "<= 8")
    row("burst: peak connections to the connector", burst["peak_connections"], "sockets", None,
        None, "<= 6")

    calls = load(args.calls)
    bare, kept = (per_item_us(calls[n]) for n in ("BM_MissedCall_WithoutList", "BM_MissedCall_WithList"))
    row("missed call on the event path, with its calls-list rows", kept, "us/call", bare, kept / bare,
        f"<= without + 1 ms ({(bare + 1000) / bare:.2f})")

    calls = load(args.calls_window)
    empty = per_item_us(calls["BM_OpenCallsWindow/0"]) / 1e3
    full = per_item_us(calls["BM_OpenCallsWindow/100000"]) / 1e3
    row("Calls window opened over 100,000 calls, first page shown", full, "ms", empty,
        full / empty, "< 200 ms")
    shallow = per_item_us(calls["BM_FetchPage/0"])
    deep = per_item_us(calls["BM_FetchPage/99000"])
    row("Calls window: a page read 99,000 rows down", deep, "us/page", shallow, deep / shallow,
        "~1.0 (keyset paging)")
    row("Calls window: one page scrolled and drawn", per_item_us(calls["BM_ScrollStep"]) / 1e3,
        "ms", None, None, "< 16 ms (a frame)")

    exits = exit_time.run(args.bin)
    row("exit after SIGTERM, three requests pending", exits[3] * 1e3, "ms", exits[0] * 1e3,
        exits[3] / exits[0], "< 1000 ms")

    start = startup.run(args.bin)
    ours, minimal = start["tavix-callerid"], start["minimal"]
    row("start-up to both windows shown", ours["startup_s"] * 1e3, "ms", minimal["startup_s"] * 1e3,
        ours["startup_s"] / minimal["startup_s"], "<= 1.5")
    row("resident memory after start-up", ours["rss_kib"] / 1024, "MiB", minimal["rss_kib"] / 1024,
        ours["rss_kib"] / minimal["rss_kib"], "<= 1.3")

    width = max(len(r["figure"]) for r in rows)
    print(f"{'figure':<{width}}  {'value':>12}  {'unit':<16} {'floor':>12}  {'ratio':>7}  target")
    for r in rows:
        floor_text = f"{r['floor']:12.2f}" if r["floor"] is not None else " " * 12
        ratio_text = f"{r['ratio']:7.2f}" if r["ratio"] is not None else " " * 7
        print(f"{r['figure']:<{width}}  {r['value']:12.2f}  {r['unit']:<16} {floor_text}  {ratio_text}"
              f"  {r['target'] or ''}")
    with open(args.out, "w") as f:
        json.dump({"rows": rows}, f, indent=2)
    print(f"\nwritten to {args.out}")


if __name__ == "__main__":
    main()

"""The lab's reading of wirepace-cli's event stream and its per-test link accounting.

Run from the repository: python3 -m unittest discover -s bench"""

import json
import unittest

import netlab_report as report

MB = 1 << 20

# Part of a run's --format jsonl output as the lab records it: (arrival time, veth tx_bytes,
# rx_bytes, line), the lines shaped as wirepace-cli writes them. Besides the events the lab
# reads it holds what it must pass over: note and progress events, fields it does not know, a
# line that is not JSON, a result without figures.
RECORDED = [
    (10.0, 1000, 500, {"dir": "//10.213.1.2/bench", "event": "run_started", "large_kb": 10240,
                       "name": "netlab-clean", "small_kb": 1024, "speed": "10mb",
                       "type": "Local Area Network (LAN)"}),
    (10.5, 1000, 500, {"event": "test_started", "index": 0, "id": "1a", "name": "LOCAL SMALL",
                       "bytes": MB}),
    (10.6, 1000, 500, {"event": "progress", "index": 0, "id": "1a", "bytes_done": MB // 2}),
    (11.0, 1100, 520, {"event": "result", "index": 0, "id": "1a", "name": "LOCAL SMALL",
                       "ms": 12, "ms_exact": 11.8, "bytes": MB, "speed": 85333, "comment": "",
                       "disk": "nvme"}),
    (11.5, 1200, 600, {"event": "test_started", "index": 2, "id": "2", "name": "OUTBOUND SMALL",
                       "bytes": MB}),
    (11.6, None, None, "not json: a stray line"),
    (12.1, 1200 + 1080000, 600 + 20000, {"event": "result", "index": 2, "id": "2",
                                         "name": "OUTBOUND SMALL", "ms": 545, "ms_exact": 545.2,
                                         "bytes": MB, "speed": 1879, "comment": ""}),
    (12.6, 1200 + 1090000, 600 + 21000, {"event": "test_started", "index": 6, "id": "6",
                                         "name": "BI-DIRECTIONAL", "bytes": 20 * MB}),
    (13.0, None, None, {"event": "note", "text": "target is a local disk: no network diagnosis"}),
    (22.0, 20000000, 19000000, {"event": "result", "index": 6, "id": "6", "name": "BI-DIRECTIONAL",
                                "ms": 9048, "ms_exact": 9047.6, "bytes": 20 * MB, "speed": 2263,
                                "comment": "", "drone_ms": [5600, 9048]}),
    (22.5, 21000000, 19100000, {"event": "result", "index": 7, "id": "7", "ms": 100}),
    # test 8's start arrived without counters: the lab interpolates between samples
    (22.6, None, None, {"event": "test_started", "index": 8, "id": "8", "name": "MULTI INBOUND",
                        "bytes": 50 * MB}),
    (50.0, 22000000, 72000000, {"event": "result", "index": 8, "id": "8", "name": "MULTI INBOUND",
                                "ms": 27452, "bytes": 50 * MB, "speed": 1865,
                                "comment": "Possible Netbios/TCP Window limitation",
                                "drone_ms": [27000, 27100, 27200, 27300, 27452]}),
    (50.2, 22000100, 72000100, {"event": "finished", "note": "", "status": "Finished"}),
    (50.3, 22000100, 72000100, None),
]


def stamped(rows):
    return [(t, tx, rx, line if line is None or isinstance(line, str) else json.dumps(line) + "\n")
            for t, tx, rx, line in rows]


class EventStreamTest(unittest.TestCase):
    def test_reads_starts_results_and_status_and_skips_the_rest(self):
        ev = report.read_stamped(stamped(RECORDED))
        self.assertEqual([tid for _, _, tid in ev.starts], ["1a", "2", "6", "8"])
        self.assertEqual(ev.starts[0][:2], (10.5, (1000, 500)))
        self.assertIsNone(ev.starts[3][1])
        # test 7's result has no bytes or speed: left out, not read as zeros
        self.assertEqual([r["id"] for r in ev.results], ["1a", "2", "6", "8"])
        r1a, r2, r6, r8 = ev.results
        self.assertEqual((r2["ms"], r2["ms_exact"], r2["bytes"], r2["speed"], r2["comment"]),
                         (545, 545.2, MB, 1879, ""))
        self.assertNotIn("disk", r1a)
        self.assertNotIn("drone_ms", r2)
        self.assertEqual(r6["drone_ms"], [5600, 9048])
        self.assertEqual(r8["comment"], "Possible Netbios/TCP Window limitation")
        self.assertNotIn("ms_exact", r8)
        self.assertEqual(ev.status, "Finished")
        self.assertEqual(ev.end_of_run(), (50.2, (22000100, 72000100)))
        self.assertEqual(ev.skipped, 1)

    def test_a_cut_stream_ends_at_its_last_line_and_has_no_status(self):
        rows = RECORDED[:-2] + [(40.0, 21900000, 60000000, '{"event":"result","id":"9","ms":')]
        rows.append((40.1, 21900000, 60000000, None))
        ev = report.read_stamped(stamped(rows))
        self.assertIsNone(ev.status)
        self.assertEqual(ev.end_of_run(), (40.1, (21900000, 60000000)))
        self.assertEqual(ev.skipped, 2)


class LinkAccountingTest(unittest.TestCase):
    def setUp(self):
        self.ev = report.read_stamped(stamped(RECORDED))
        # 100 ms samples reduced to the few the interpolation for test 8 needs
        self.link = {"device": "wpnl1h", "method": "veth", "samples": [
            (10.0, 1000, 500), (22.0, 20000000, 19000000), (23.0, 20100000, 19500000),
            (50.3, 22000100, 72000100)]}

    def test_each_test_gets_the_counter_growth_up_to_the_next_start(self):
        acc = report.link_accounting(self.link, self.ev, self.ev.results)
        rows = {r["id"]: r for r in acc["tests"]}
        self.assertEqual(list(rows), ["1a", "2", "6", "8"])
        self.assertEqual((rows["1a"]["link_out_bytes"], rows["1a"]["link_in_bytes"]), (200, 100))
        self.assertEqual(rows["1a"]["direction"], "local")
        self.assertIsNone(rows["1a"]["ratio"])
        self.assertEqual(rows["2"]["link_out_bytes"], 1090000)
        self.assertAlmostEqual(rows["2"]["ratio"], 1090000 / MB)
        self.assertEqual(rows["2"]["window_s"], 1.1)
        # test 8 starts at 22.6 s, 60 % of the way from the 22.0 s sample to the 23.0 s one
        out6 = 20000000 + 0.6 * 100000 - 1091200
        in6 = 19000000 + 0.6 * 500000 - 21600
        self.assertEqual(rows["6"]["link_out_bytes"], int(out6))
        self.assertAlmostEqual(rows["6"]["ratio_out"], out6 / (10 * MB))
        self.assertAlmostEqual(rows["6"]["ratio_in"], in6 / (10 * MB))
        self.assertAlmostEqual(rows["6"]["ratio"], min(out6, in6) / (10 * MB))
        # the last test ends at the finished event, not at the end of the stream
        self.assertEqual(rows["8"]["link_in_bytes"], int(72000100 - (19000000 + 0.6 * 500000)))
        self.assertEqual(rows["8"]["window_s"], round(50.2 - 22.6, 3))
        self.assertEqual(acc["exact_marks"], 4)

    def test_no_events_or_samples_give_no_accounting(self):
        self.assertIsNone(report.link_accounting(self.link, report.Events(), []))
        self.assertIsNone(report.link_accounting({"samples": self.link["samples"][:1]}, self.ev,
                                                 self.ev.results))


class ScenarioReportTest(unittest.TestCase):
    def test_a_run_without_finished_event_fails_its_goal_and_keeps_its_figures(self):
        ev = report.read_stamped(stamped(RECORDED[:-2] + [(50.3, 22000100, 72000100, None)]))
        p = {"name": "clean", "command": "bench/netlab clean", "out": 16.0, "in": 16.0,
             "delay_out": 0.0, "delay_in": 0.0, "loss_out": 0.0, "loss_in": 0.0,
             "delay_method": "netem or none", "transport": "sshfs", "client_options": "cache=no",
             "type": "lan", "speed": "10mb", "small": 1024, "large": 10240, "exit_code": 137,
             "wall_ms": 40000, "expect": "", "expect_comments": "8=W", "cached": False,
             "leftover": ""}
        cp = [("out", 1024, 550), ("out", 1024, 540), ("in", 1024, 545),
              ("bi6", 10240, 5000), ("bi6", 10240, 10000)]
        res = report.scenario_report(p, ev, cp, None, {"samples": [(10.0, 0, 0), (50.3, 1, 1)]})
        self.assertEqual(res["status"], "no finished event")
        goals = {g["goal"]: g for g in res["goals"]}
        self.assertFalse(goals["run finished"]["met"])
        tests = {t["id"]: t for t in res["tests"]}
        # test 2 against the mean of its two plain copies; test 6 against both cp until the
        # last one ended
        self.assertAlmostEqual(tests["2"]["plain_cp_kbs"], (1024000 / 550 + 1024000 / 540) / 2)
        self.assertAlmostEqual(tests["6"]["plain_cp_kbs"], 2 * 10240 * 1000 / 10000)
        self.assertAlmostEqual(tests["6"]["shaped_kbs"], 2 * 16e6 / 8 / 1024)
        self.assertEqual(tests["8"]["expected_comment"], report.COMMENTS["W"])
        self.assertFalse(goals["comments as expected"]["met"])  # four results, not nine
        json.dumps(res)  # the results file takes it as it is


if __name__ == "__main__":
    unittest.main()

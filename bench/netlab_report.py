"""The network lab's analysis: wirepace-cli's event stream, link byte accounting, the per-test
comparison with plain cp and the shaped rate, the goals, the printed table and the chart.

Nothing here needs root or the lab; bench/netlab gathers the figures and calls scenario_report
and combine. Python standard library only, plus gnuplot for the PNG chart."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

KIB = 1024.0

# Direction(s) each test's bytes take over the link.
DIRECTION = {"2": "out", "3": "in", "4": "out", "5": "in", "6": "both", "7": "out", "8": "in"}

COMMENTS = {"W": "Possible Netbios/TCP Window limitation", "D": "Possible Duplex Mismatch"}


def kbs_of_mbit(m):
    return m * 1e6 / 8 / KIB


def fmt(v, nd=0):
    if v is None:
        return "-"
    return f"{v:.{nd}f}"


# ---------------------------------------------------------------- wirepace-cli's event stream

class Events:
    """What the lab takes from wirepace-cli's `--format jsonl` output.

    Each line is stamped on arrival as (monotonic time, veth tx_bytes, veth rx_bytes, text);
    the counters may be None when they could not be read. Only the events and fields used here
    are read: other events, other fields and lines that are not JSON objects are skipped, so
    the program may add to its output without breaking the lab.
    """

    def __init__(self):
        self.starts = []     # (time, (tx, rx) or None, test id) per test_started
        self.results = []    # result events' figures, in arrival order
        self.status = None   # the finished event's status
        self.finished = None  # (time, counters) of the finished event
        self.end = None       # (time, counters) when the stream ended
        self.skipped = 0      # lines that were not JSON objects

    def add(self, t, tx, rx, text):
        counters = (tx, rx) if tx is not None and rx is not None else None
        try:
            e = json.loads(text)
        except ValueError:
            if text.strip():
                self.skipped += 1
            return
        if not isinstance(e, dict):
            self.skipped += 1
            return
        kind = e.get("event")
        if kind == "test_started" and isinstance(e.get("id"), str):
            self.starts.append((t, counters, e["id"]))
        elif kind == "result":
            r = result_figures(e)
            if r is not None:
                self.results.append(r)
        elif kind == "finished" and self.finished is None:
            self.finished = (t, counters)
            self.status = e.get("status") if isinstance(e.get("status"), str) else None

    def close(self, t, tx, rx):
        self.end = (t, (tx, rx) if tx is not None and rx is not None else None)

    def end_of_run(self):
        """(time, counters) where the last test's window closes: the finished event, else the
        end of the stream (the program was killed or its output cut)."""
        return self.finished or self.end


def result_figures(e):
    """The figures of a result event, or None if one it must have is missing."""
    def number(k):
        v = e.get(k)
        return float(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else None
    tid = e.get("id")
    ms, nbytes, speed = number("ms"), number("bytes"), number("speed")
    if not isinstance(tid, str) or ms is None or nbytes is None or speed is None:
        return None
    r = {"id": tid, "name": e.get("name") if isinstance(e.get("name"), str) else "",
         "ms": ms, "bytes": nbytes, "speed": speed,
         "comment": e.get("comment") if isinstance(e.get("comment"), str) else ""}
    if number("ms_exact") is not None:
        r["ms_exact"] = number("ms_exact")
    drones = e.get("drone_ms")
    if isinstance(drones, list) and drones and all(isinstance(d, (int, float)) for d in drones):
        r["drone_ms"] = drones
    return r


def read_stamped(lines):
    """Events from stamped lines [(time, tx, rx, text)], the last one's text None for the end
    of the stream (as the lab records them)."""
    ev = Events()
    for t, tx, rx, text in lines:
        if text is None:
            ev.close(t, tx, rx)
        else:
            ev.add(t, tx, rx, text)
    return ev


# ---------------------------------------------------------------- link byte accounting

def link_accounting(link, ev, tests):
    """Per test: the veth counter growth from its test_started event to the next test's (the
    last one: to the finished event), against the bytes the test moved. The counters read the
    moment each event arrived are used; without them, the 100 ms samples around it,
    interpolated. link = {"device", "method", "samples": [(time, tx, rx)]}."""
    samples = link.get("samples") or []
    if len(samples) < 2 or not ev.starts:
        return None

    def at(t, counters):
        if counters:
            return counters
        if t <= samples[0][0]:
            return samples[0][1], samples[0][2]
        for (t0, x0, r0), (t1, x1, r1) in zip(samples, samples[1:]):
            if t0 <= t <= t1:
                f = (t - t0) / (t1 - t0) if t1 > t0 else 0
                return x0 + f * (x1 - x0), r0 + f * (r1 - r0)
        return samples[-1][1], samples[-1][2]

    end = ev.end_of_run() or (samples[-1][0], None)
    bounds = [(t, c) for t, c, _ in ev.starts[1:]] + [end]
    moved = {t["id"]: t["bytes"] for t in tests}
    exact = sum(1 for _, c, _ in ev.starts if c) + (1 if end[1] else 0)
    rows = []
    for (t0, c0, tid), (t1, c1) in zip(ev.starts, bounds):
        (o0, i0), (o1, i1) = at(t0, c0), at(t1, c1)
        out_b, in_b = o1 - o0, i1 - i0
        b = moved.get(tid)
        d = DIRECTION.get(tid)
        r = {"id": tid, "window_s": round(t1 - t0, 3), "link_out_bytes": int(out_b),
             "link_in_bytes": int(in_b), "test_bytes": b, "direction": d or "local"}
        if b and d == "out":
            r["ratio"] = out_b / b
        elif b and d == "in":
            r["ratio"] = in_b / b
        elif b and d == "both":
            # one large file each way: each direction against its half
            r["ratio_out"], r["ratio_in"] = out_b / (b / 2), in_b / (b / 2)
            r["ratio"] = min(r["ratio_out"], r["ratio_in"])
        else:
            r["ratio"] = None
        rows.append(r)
    return {"method": link.get("method", "") + "; split at the counters read with each "
            "test_started event of wirepace-cli --format jsonl (the last test: its finished event)",
            "exact_marks": exact, "device": link.get("device", ""), "samples": len(samples),
            "sample_span_s": round(samples[-1][0] - samples[0][0], 3), "tests": rows}


# ---------------------------------------------------------------- one scenario

def scenario_report(p, ev, cp, cpu, link):
    """The scenario's figures and goals as one JSON-ready dict.

    p: the lab's settings and outcome (see bench/netlab); ev: Events; cp: [(tag, kb, ms)] of
    the plain copies (tag out, in, bi6, out7, in8); cpu: the CPU sampler's dict or None;
    link: the veth samples (see link_accounting)."""
    res = {"scenario": p["name"], "command": p["command"],
           "date_utc": time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime())}
    res["link"] = {"out_mbit": p["out"], "in_mbit": p["in"], "delay_out_ms": p["delay_out"],
                   "delay_in_ms": p["delay_in"], "loss_out_pct": p["loss_out"],
                   "loss_in_pct": p["loss_in"], "delay_method": p["delay_method"],
                   "transport": p["transport"], "sshfs_options": p["client_options"]}
    res["wirepace"] = {"type": p["type"], "speed": p["speed"], "small_kb": p["small"],
                       "large_kb": p["large"], "exit_code": p["exit_code"], "wall_ms": p["wall_ms"]}
    large = p["large"]
    out_k, in_k = kbs_of_mbit(p["out"]), kbs_of_mbit(p["in"])
    rtt = p["delay_out"] + p["delay_in"]
    # With synchronous sshfs requests a copy keeps one read()/write() buffer in flight:
    # it moves b KB per (round trip + b / rate). Wirepace copies with 1 MiB buffers.
    limited = rtt > 0 and "sshfs_sync" in p["client_options"]
    # smbnetfs also keeps one request per file in flight, but of a size this lab does not
    # know; its round-trip limited runs get no computed bound (expected = shaped, goals n/a).
    unknown_cap = p["transport"] == "smb" and rtt > 0

    def lim(rate, kb=large):
        if not limited:
            return rate
        b = min(kb, 1024)
        return b / (rtt / 1000.0 + b / rate)
    cap = lim(out_k) if limited else None
    res["stream_cap_kbs"] = cap

    by_kind = {}
    for tag, kb, ms in cp:
        by_kind.setdefault((tag, kb), []).append(ms)
    par = {}
    for tag, n in (("bi6", 2), ("out7", 5), ("in8", 5)):
        mss = by_kind.pop((tag, large), [])
        if mss:
            # the link's real aggregate (bytes of all copies / time until the last one ended,
            # as the drone tests are timed), and the mean-time formula for comparison
            par[tag[-1]] = {"ms": mss, "mean_formula_kbs": n * large * 1000.0 / (sum(mss) / len(mss)),
                            "wall_kbs": n * large * 1000.0 / max(max(mss), 1)}
    res["plain_parallel"] = par
    plain = {}
    for (d, kb), mss in by_kind.items():
        kbs = [kb * 1000.0 / max(m, 1) for m in mss]
        plain[(d, kb)] = {"ms": mss, "kbs": kbs, "mean_kbs": sum(kbs) / len(kbs)}
    res["plain_cp"] = [{"direction": d, "kb": kb, **v} for (d, kb), v in sorted(plain.items())]
    res["status"] = ev.status or ("no finished event" if ev.results or ev.starts else "no output")
    res["cpu"] = cpu

    role = {"2": ("out", p["small"]), "3": ("in", p["small"]), "4": ("out", large), "5": ("in", large)}
    exp_comments = {}
    for part in filter(None, p["expect_comments"].split(",")):
        k, v = part.split("=")
        exp_comments[k] = COMMENTS[v]
    rows = []
    for t in ev.results:
        tid = t["id"]
        r = {k: t[k] for k in ("id", "name", "ms", "bytes", "speed", "comment")}
        for k in ("ms_exact", "drone_ms"):
            if k in t:
                r[k] = t[k]
        shaped = expected = pl = None
        if tid in role:
            d, kb = role[tid]
            shaped = out_k if d == "out" else in_k
            expected = lim(shaped, kb)
            pl = plain.get((d, kb), {}).get("mean_kbs")
        if tid in par:
            # Wirepace times tests 6-8 by the longest drone: all bytes / time until the last ended
            pl = par[tid]["wall_kbs"]
            r["plain_parallel_mean_formula_kbs"] = par[tid]["mean_formula_kbs"]
        if tid == "6":
            # one file each way at once, timed until both ended: full duplex moves both in
            # the time the slower direction needs
            shaped = 2 * min(out_k, in_k)
            expected = 2 * min(lim(out_k), lim(in_k))
        elif tid in ("7", "8"):
            shaped = out_k if tid == "7" else in_k
            expected = min(shaped, 5 * lim(shaped))
        r["plain_cp_kbs"] = pl
        r["shaped_kbs"] = shaped
        r["expected_kbs"] = expected
        r["ratio_plain"] = t["speed"] / pl if pl else None
        r["ratio_shaped"] = t["speed"] / shaped if shaped else None
        r["ratio_expected"] = t["speed"] / expected if expected else None
        r["expected_comment"] = exp_comments.get(tid, "")
        rows.append(r)
    res["tests"] = rows
    byid = {r["id"]: r for r in rows}
    res["cached_client"] = bool(p["cached"])
    acc = link_accounting(link, ev, ev.results)
    res["link_bytes"] = acc
    if acc:
        for la in acc["tests"]:
            if la["id"] in byid:
                byid[la["id"]]["link_ratio"] = la["ratio"]

    goals = []

    def goal(name, applies, ok, detail):
        goals.append({"goal": name, "applies": applies, "met": bool(ok) if applies else None,
                      "detail": detail})

    def ratio_text(r, key):
        return f"ratio {fmt(r[key], 3) if r and r[key] is not None else '-'}"

    def near(r, key, tol):
        return r is not None and r[key] is not None and abs(r[key] - 1) <= tol
    cached = res["cached_client"]
    for tid in ("2", "3", "4", "5"):
        r = byid.get(tid)
        # cp reads a file it just wrote from a caching client's memory: no reference then
        fooled = cached and DIRECTION[tid] == "in"
        goal(f"test {tid} within 5 % of plain cp", not fooled, near(r, "ratio_plain", 0.05),
             ratio_text(r, "ratio_plain") + (" (plain cp reads the client's cache)" if fooled else ""))
    for tid in ("4", "5"):
        r = byid.get(tid)
        goal(f"test {tid} within 10 % of shaped rate", cap is None and not unknown_cap,
             near(r, "ratio_shaped", 0.10),
             ratio_text(r, "ratio_shaped") + ("" if cap is None else " (round-trip limited by design)"))
    for tid in ("7", "8"):
        r = byid.get(tid)
        goal(f"test {tid} aggregate within 10 % of shaped rate", cap is None and not unknown_cap,
             near(r, "ratio_shaped", 0.10), ratio_text(r, "ratio_shaped"))
    if cached:
        # Does the client cache at all? Plain cp reads back a file it has just written.
        fastest = max((k for (d, kb), v in plain.items() if d == "in" and kb > 0 for k in v["kbs"]),
                      default=None)
        res["plain_cp_fastest_inbound_kbs"] = fastest
        goal("caching client: plain cp read a file just written from this machine's memory (> 2 x rate)",
             True, fastest is not None and fastest > 2 * in_k,
             f"fastest inbound plain cp {fmt(fastest)} KB/s = {fmt(fastest / in_k if fastest else None, 1)} x rate")
        for tid in ("3", "5", "8"):
            r = byid.get(tid)
            goal(f"caching client: inbound test {tid} within 10 % of shaped rate", True,
                 near(r, "ratio_shaped", 0.10), ratio_text(r, "ratio_shaped"))
    lr = {la["id"]: la for la in acc["tests"]} if acc else {}
    missing = [t for t in DIRECTION if t not in lr or lr[t]["ratio"] is None]
    low = [f"{t}: {lr[t]['ratio']:.3f}" for t in DIRECTION if t in lr and lr[t]["ratio"] is not None
           and lr[t]["ratio"] < 0.9]
    goal("tests 2-8: >= 90 % of the test's bytes counted on the link in its direction", True,
         acc is not None and not missing and not low,
         "no link accounting" if acc is None else
         ("; ".join(low) if low else "all") + (f"; not measured: {', '.join(missing)}" if missing else "") +
         " (ratios " + ", ".join(f"{t} {fmt(lr[t]['ratio'], 3)}" for t in DIRECTION if t in lr) + ")")
    comments_ok = len(rows) == 9 and all(r["comment"] == r["expected_comment"] for r in rows)
    goal("comments as expected" + (" (none)" if not exp_comments else ""), True, comments_ok,
         "; ".join(f"{r['id']}: got '{r['comment']}' want '{r['expected_comment']}'"
                   for r in rows if r["comment"] or r["expected_comment"]) or "no comments")
    pct = cpu.get("controller_plus_waiting_pct_of_core") if cpu else None
    goal("controller + waiting drones < 5 % of one core while drones copy", True,
         pct is not None and pct < 5, f"{fmt(pct, 2)} %")
    goal("run finished", True, res["status"] == "Finished" and p["exit_code"] == 0,
         f"status {res['status']}, exit {p['exit_code']}")
    goal("nothing left in the target folder", True, not p["leftover"].strip(),
         p["leftover"].strip() or "empty")
    res["goals"] = goals
    res["expect"] = p["expect"]
    return res


def print_table(res, out=sys.stdout):
    def say(text=""):
        print(text, file=out)
    L = res["link"]
    say(f"\n### {res['scenario']} over {L.get('transport', 'sshfs')}: out {L['out_mbit']} Mbit/s "
        f"{L['delay_out_ms']} ms, in {L['in_mbit']} Mbit/s {L['delay_in_ms']} ms; wirepace-cli "
        f"--type {res['wirepace']['type']} --speed '{res['wirepace']['speed']}' -> {res['status']}")
    if res.get("stream_cap_kbs"):
        say(f"one 1 MiB buffer per round trip bounds a single large Wirepace copy at "
            f"{res['stream_cap_kbs']:.0f} KB/s")
    lb = {la["id"]: la for la in (res.get("link_bytes") or {}).get("tests", [])}
    say(f"{'test':>4} {'ms':>7} {'Wirepace':>9} {'plain cp':>9} {'shaped':>8} {'expected':>9} {'W/cp':>6} "
        f"{'W/shaped':>8} {'W/exp':>6} {'link KB out':>11} {'link KB in':>10} {'moved KB':>9} "
        f"{'link/moved':>10}  comment")
    for r in res["tests"]:
        la = lb.get(r["id"], {})
        lo, li = la.get("link_out_bytes"), la.get("link_in_bytes")
        lr = fmt(la.get("ratio"), 3)
        if "ratio_out" in la:
            lr = f"{la['ratio_out']:.2f}/{la['ratio_in']:.2f}"
        say(f"{r['id']:>4} {r['ms']:>7} {r['speed']:>9} {fmt(r['plain_cp_kbs']):>9} {fmt(r['shaped_kbs']):>8} "
            f"{fmt(r['expected_kbs']):>9} {fmt(r['ratio_plain'], 3):>6} {fmt(r['ratio_shaped'], 3):>8} "
            f"{fmt(r['ratio_expected'], 3):>6} {fmt(lo / 1024 if lo is not None else None):>11} "
            f"{fmt(li / 1024 if li is not None else None):>10} {fmt(r['bytes'] / 1024):>9} {lr:>10}  "
            f"{r['comment']}")
    say("(speeds in KB/s, 1 KB = 1024 bytes; plain cp = mean of the rounds; for 6-8 plain cp = the same number\n"
        " of cp at once, total bytes / time until the last ended; link KB = host veth counter growth from the test's start to the\n"
        " next test's; link/moved = link bytes in the test's direction / bytes moved (test 6: out/in, each half))")
    for tid, pp in sorted(res.get("plain_parallel", {}).items()):
        say(f"plain cp at once for test {tid}: ms {pp['ms']} -> total/mean {pp['mean_formula_kbs']:.0f} KB/s, "
            f"total/last-to-end {pp['wall_kbs']:.0f} KB/s")
    for pc in res["plain_cp"]:
        say(f"plain cp {pc['direction']:>3} {pc['kb']} KB: ms {pc['ms']} -> KB/s {[round(x) for x in pc['kbs']]}")
    c = res.get("cpu")
    if c:
        say(f"CPU while drones exist ({c['drone_window_s']} s): controller {c['controller_cpu_s_in_window']:.2f} s, "
            f"waiting drones {c['drones_waiting_cpu_s']:.2f} s, copying drones {c['drones_copying_cpu_s']:.2f} s "
            f"-> controller+waiting {c.get('controller_plus_waiting_pct_of_core')} % of a core "
            f"(all incl. copying {c.get('controller_plus_all_drones_pct_of_core')} %); "
            f"by schedstat: controller+waiting {c.get('controller_plus_waiting_pct_of_core_schedstat')} %")
    say(f"Expected: {res['expect']}")
    for g in res["goals"]:
        state = "n/a" if not g["applies"] else ("MET" if g["met"] else "NOT MET")
        say(f"  [{state:>7}] {g['goal']}: {g['detail']}")


# ---------------------------------------------------------------- chart

def draw(results, png):
    """One clustered bar chart per scenario, side by side, drawn by gnuplot's pngcairo
    terminal (Debian: gnuplot-nox). Without gnuplot the chart is skipped with a message; the
    JSON holds every figure anyway. Returns whether the chart was drawn."""
    if not shutil.which("gnuplot"):
        print(f"netlab: no gnuplot, {png} not drawn (apt-get install gnuplot-nox)", file=sys.stderr)
        return False
    with tempfile.TemporaryDirectory() as d:
        cmds = ["set terminal pngcairo size %d,480 font ',9'" % (520 * len(results)),
                f"set output '{png}'", "set style data histogram", "set style histogram cluster gap 1",
                "set style fill solid 0.9 border -1", "set boxwidth 0.9", "set ylabel 'KB/s (1024 bytes)'",
                "set grid ytics", "set key top left", "set yrange [0:*]",
                f"set multiplot layout 1,{len(results)}"]
        for i, res in enumerate(results):
            f = os.path.join(d, f"s{i}.dat")
            with open(f, "w") as fh:
                for r in res["tests"]:
                    if r["id"] in ("1a", "1b"):
                        continue
                    mark = "*" if r["comment"] else ""
                    fh.write(f"\"{r['id']}{mark}\" {r['speed']} {r['plain_cp_kbs'] or 0} "
                             f"{r['shaped_kbs'] or 0} {r['expected_kbs'] or 0}\n")
            L = res["link"]
            cmds.append(f"set title \"{res['scenario']}: out {L['out_mbit']} / in {L['in_mbit']} Mbit/s, "
                        f"delay {L['delay_out_ms']}+{L['delay_in_ms']} ms\\n(* = Wirepace raised a comment)\"")
            cmds.append(f"plot '{f}' using 2:xtic(1) title 'Wirepace', '' using 3 title 'plain cp', "
                        f"'' using 4 title 'shaped rate', '' using 5 title 'expected'")
        cmds.append("unset multiplot")
        done = subprocess.run(["gnuplot"], input="\n".join(cmds), text=True, capture_output=True)
        if done.returncode != 0:
            print(f"netlab: gnuplot could not draw {png}: {done.stderr.strip()}", file=sys.stderr)
            return False
    return True


def write_scenario(res, json_path):
    with open(json_path, "w") as f:
        json.dump(res, f, indent=1)
    print_table(res)
    draw([res], os.path.splitext(json_path)[0] + ".png")


def combine(files, json_path, png_path):
    """The scenario files side by side: one JSON list and one chart. Returns False when a
    file is missing or unreadable (the others are still combined)."""
    results, ok = [], True
    for path in files:
        try:
            with open(path) as f:
                results.append(json.load(f))
        except (OSError, ValueError) as e:
            print(f"netlab: cannot read {path}: {e}", file=sys.stderr)
            ok = False
    with open(json_path, "w") as f:
        json.dump(results, f, indent=1)
    if results:
        draw(results, png_path)
    print("\n== summary")
    for res in results:
        bad = [g["goal"] for g in res["goals"] if g["applies"] and not g["met"]]
        print(f"{res['scenario']}: " + ("all goals met" if not bad else "NOT MET: " + "; ".join(bad)))
    return ok

// SPDX-License-Identifier: MIT
#include "report/explanations.h"

#include <algorithm>

#include "common/error.h"
#include "core/captions.h"
#include "core/results_log.h"

namespace wirepace::report {

namespace {

Explanation Duplex() {
    return {
        kDuplexComment, "",
        "Copying in both directions at once (test 6) took more than one and a half times as long "
        "as the two single copies (tests 4 and 5) together. On a full-duplex link both "
        "directions run side by side, so test 6 should take about as long as the slower single "
        "copy; here the traffic in one direction held up the other. The classic cause is a "
        "duplex mismatch: one end of a link at full duplex, the other at half duplex (often one "
        "side set by hand and the other negotiating), which turns into collisions and "
        "retransmissions as soon as both directions are busy.",
        "It does not prove a duplex mismatch. A server or disk that cannot read and write at "
        "full speed at the same time, other traffic during the run, a medium that is half "
        "duplex by nature (Wi-Fi), or a VPN or firewall that handles one direction at a time "
        "give the same figures. Nor does it say the single copies were slow.",
        "Look at the speed and duplex that both ends of each link settled on (the switch port "
        "and the network card: ethtool on Linux, the adapter's properties on Windows) and at "
        "their error counters: late collisions, CRC or FCS errors and runts point to a "
        "mismatch. Let both ends negotiate (or set both alike), and run the test again at a "
        "quiet time."};
}

Explanation Window() {
    return {
        kWindowComment, "",
        "Five copies at once (test 7 outbound, test 8 inbound) moved data more than one and a "
        "half times as fast as a single copy in the same direction (test 4 or 5). The link "
        "carries more than one connection gets out of it: something limits each connection. "
        "Usually that is the TCP window, the amount of data a sender may have on the way before "
        "the receiver confirms it, being small for the round-trip time of the link (a 64 KB "
        "window over a 20 ms round trip allows about 3,200 KB/s per connection), or the file "
        "sharing protocol's own limit on requests in flight.",
        "It does not mean the link is faulty: several copies at once do reach the higher rate. "
        "Nor does it prove the window is the cause: a per-connection limit of a firewall, VPN or "
        "traffic shaper, or a server that serves each client from one slow thread, look the "
        "same.",
        "Measure the round-trip time (ping) and compare the single-copy speed with the window "
        "size divided by it. Check that TCP window scaling and receive-window auto-tuning are "
        "on at both ends, which SMB or NFS version and options the share uses (larger read and "
        "write sizes, SMB multichannel), and the per-connection limits of any firewall, VPN or "
        "shaper on the path."};
}

Explanation LocalTarget() {
    return {kLocalTargetNote, "",
            "The target folder lies on a disk of this machine, so no copy crossed a network. The "
            "figures measure this machine's disk and file system, and the duplex and window "
            "comparisons, which judge a network link, were not made.",
            "It does not mean anything is wrong, and the figures say nothing about a network "
            "link, however fast or slow they are.",
            "To measure a link, give a folder on the other machine: a mounted network folder "
            "(NFS, SMB, sshfs) or a share path such as //server/share."};
}

Explanation TooShort(const std::string& note) {
    return {note, "",
            "At least one of the timings the diagnoses compare took under 50 ms. At that length "
            "the clock's resolution and the start of each copy weigh as much as the copy itself, "
            "so a comparison would judge noise; the duplex and window comparisons were left out.",
            "It says neither that the link is fine nor that it has a problem: the comparison was "
            "not made. The speeds shown are what was measured, but short timings scatter widely.",
            "Choose a larger speed entry (the connection type and estimated speed decide the file "
            "sizes), so that every test runs for a second or more, and run again."};
}

Explanation Interrupted() {
    return {captions::kInterrupted, "",
            "The run was stopped before it had completed all nine tests (Stop, closing the "
            "window, or Ctrl-C). The tests that finished are shown; the one under way when the "
            "stop came was not recorded.",
            "Nothing failed. The missing tests have no figures rather than bad ones, and the "
            "diagnoses that need them were not made.",
            "Run again and let it finish to get all nine figures."};
}

Explanation Error(const RunResult& run) {
    Explanation e;
    e.title = run.errorLines.empty() ? captions::kError : run.errorLines.front();
    std::string cause;
    switch (run.errorNumber) {
        case kErrPathNotFound:
            cause =
                " The target folder could not be reached: it does not exist as typed, or "
                "the machine or share that holds it did not answer.";
            break;
        case kErrFileNotFound:
            cause =
                " A file the run needed was missing: often the connection to the target "
                "dropped, or the share could not be opened.";
            break;
        case kErrPermissionDenied:
            cause = " The account the run used may not write or read there.";
            break;
        case kErrDiskFull:
            cause = " A disk ran full: the target's, or this machine's where the work files lie.";
            break;
        case kErrPathFileAccess:
            cause =
                " A file could not be used: something that is not a plain file lies under a "
                "name the run writes, or another program holds the file.";
            break;
        default:
            break;
    }
    e.means =
        "The run ended with an error before all tests had finished; the results log holds "
        "the same line. The tests completed before it are shown." +
        cause;
    e.doesNotMean =
        "An error is not a measurement of the link: the figures before it stand, and "
        "the tests after it were not run.";
    e.checkNext =
        "Check that the folder is spelt right and is reachable and writable from this "
        "machine (mount, share path, account and password) and that both ends have "
        "free space, then run again.";
    for (std::size_t i = 1; i < run.errorLines.size(); ++i)
        e.checkNext += " The run also said: \"" + run.errorLines[i] + "\"";
    return e;
}

Explanation NoDiagnosis() {
    return {"No diagnosis", "",
            "Both comparisons were made (test 6 against tests 4 and 5, tests 7 and 8 against "
            "tests 4 and 5) and neither found a sign of a duplex mismatch or of a limit on each "
            "connection.",
            "It does not mean the link is as fast as it should be: compare the speeds with what "
            "the link is rated for (100 Mbit/s carries at most about 12,000 KB/s, 1 Gbit/s about "
            "120,000 KB/s) and with the earlier runs in the history.",
            "If the speeds are lower than the link allows, look at what else lies on the path: "
            "other traffic, the server's disk, a VPN or firewall. The timelines show whether a "
            "test ran evenly or stalled."};
}

void Add(std::vector<Explanation>& list, Explanation e, const std::string& test) {
    auto same = std::find_if(list.begin(), list.end(),
                             [&](const Explanation& x) { return x.title == e.title; });
    if (same == list.end()) {
        e.tests = test;
        list.push_back(std::move(e));
        return;
    }
    if (test.empty()) return;
    const std::string listed = ", " + same->tests + ",";
    if (listed.find(", " + test + ",") == std::string::npos)
        same->tests += same->tests.empty() ? test : ", " + test;
}

}  // namespace

std::vector<Explanation> Explain(const std::vector<RunResult>& runs) {
    std::vector<Explanation> list;
    bool judged = false;
    for (const RunResult& run : runs) {
        for (const TestResult& t : run.tests) {
            if (t.comment == kDuplexComment) Add(list, Duplex(), t.id);
            if (t.comment == kWindowComment) Add(list, Window(), t.id);
        }
        if (run.note == kLocalTargetNote) {
            Add(list, LocalTarget(), "");
        } else if (run.note.find("too short to judge") != std::string::npos) {
            Add(list, TooShort(run.note), "");
        } else if (!run.note.empty()) {
            Add(list, {run.note, "", run.note, "", ""}, "");
        }
        if (run.outcome == RunOutcome::Interrupted) Add(list, Interrupted(), "");
        if (run.outcome == RunOutcome::Error) Add(list, Error(run), "");
        judged = judged || (run.targetIsRemote && run.note.empty() && run.Find(8));
    }
    if (list.empty() && judged) list.push_back(NoDiagnosis());
    return list;
}

}  // namespace wirepace::report

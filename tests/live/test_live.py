#!/usr/bin/python3
"""korvel-replay --interface checked on real traffic, in a network namespace of its own.

The test runs itself again under `unshare -n` (a namespace with only its loopback device, which
it brings up), so no packet leaves it. There curl fetches a page from a local HTTP server and
from openssl s_server with a server name, and dig asks a small local DNS responder, while the
tool captures live on lo and tcpdump records the same packets; the tool's flows must then be
those of `korvel-replay --pcap` of that recording. Also: SIGTERM purges every flow; a BPF filter
narrows what is seen; updates come by the clock without packets; SIGHUP reopens the output;
refusals (no such interface, no permission, a filter that does not compile) and their messages.

    /usr/bin/python3 tests/live/test_live.py --replay PATH [unittest options]

Exit status 77 (skipped) where no namespace can be made or a tool is missing.
"""

import argparse
import json
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "capture"))

import loopback_traffic as traffic  # noqa: E402
import replay_run  # noqa: E402

ARGS = None
SKIPPED = 77
INSIDE = "--inside-namespace"
# The shortest update interval the tool takes, so that the clock-driven cases end soon.
INTERVAL = "1"
# How long a wait for the tool's or a client's output may last before it is a fault; the waits
# end as soon as the output is there.
WAIT_S = 15
POLL_S = 0.02
# The flow of the marker datagram that tells that tcpdump has written every packet before it.
MARKER_PORT = 9999
MARKER = b"korvel-live-marker"
IDLE_PORT = 7000
# All a run without --debug writes on standard error: the worker's banner.
BANNER = ("proc-core: Korvel Core Processor Plugin v1.2.5: worker started; flow events stream "
          "as encoded, update payloads follow each update\n")
# Flow members that depend on the wall clock or on where the update boundaries fell.
VOLATILE = ("first_seen_at", "last_seen_at", "local_rate", "other_rate", "local_bytes",
            "local_packets", "other_bytes", "other_packets")


def wait_for(test, what):
    deadline = time.monotonic() + WAIT_S
    while not test():
        if time.monotonic() > deadline:
            raise AssertionError("%s did not happen within %d s" % (what, WAIT_S))
        time.sleep(POLL_S)


def read(path):
    try:
        with open(path, "rb") as handle:
            return handle.read()
    except FileNotFoundError:
        return b""


class Live:
    """One korvel-replay --interface run in the background, its output in files."""

    def __init__(self, directory, args, name="live"):
        self.out = os.path.join(directory, name + ".jsonl")
        self.err = os.path.join(directory, name + ".err")
        self.emitted = os.path.join(directory, name + ".scenario.jsonl")
        with open(self.err, "wb") as err:
            self.process = subprocess.Popen(
                [ARGS.replay, "--config", replay_run.write_config(directory), "--interface",
                 "lo", "--update-interval", INTERVAL, "-o", self.out, "--emit-scenario",
                 self.emitted] + args, stdout=subprocess.DEVNULL, stderr=err)
        # The worker's banner comes after the interfaces are open.
        wait_for(lambda: BANNER.encode() in read(self.err) or self.process.poll() is not None,
                 "the live capture's start")
        if self.process.poll() is not None:
            raise AssertionError("korvel-replay ended: %s" % read(self.err).decode())

    def stop(self, sig=signal.SIGTERM):
        self.process.send_signal(sig)
        status = self.process.wait(WAIT_S)
        return status, read(self.err).decode()

    def records(self, path=None):
        return [json.loads(line) for line in read(path or self.out).decode().splitlines()]

    def updates(self):
        return [json.loads(line) for line in read(self.emitted).decode().splitlines()
                if line.startswith("{")]


def flow_results(records):
    """Per flow (by its first digest): its documents' types in order, without the update's
    statistics documents, and each document's flow without the clock's and boundaries' members."""
    run = replay_run.Run([], subprocess.CompletedProcess([], 0, "", ""))
    run.records = records
    results = {}
    for digest in run.flows():
        docs = []
        for doc in run.payloads(replay_run.FLOWS_CHANNEL):
            if doc["type"] != "flow_stats" and replay_run.flow_id(doc["flow"]) == digest:
                flow = {k: v for k, v in doc["flow"].items() if k not in VOLATILE}
                docs.append((doc["type"], doc.get("reason"), doc["interface"], flow))
        results[digest] = docs
    return results


def summed_counters(ops):
    """The interface counters of every update as delivered, added up (largest_bytes: the
    largest)."""
    total = {}
    for op in ops:
        if op.get("op") != "interface_stats":
            continue
        for key, value in op["stats"].items():
            total[key] = max(total.get(key, 0), value) if key == "largest_bytes" else \
                total.get(key, 0) + value
    return total


def quiet_tcp():
    """No TCP connection is halfway through its close (every FIN has been answered)."""
    listed = subprocess.run(["ss", "-H", "-t", "-a", "-n"], capture_output=True, text=True,
                            check=False).stdout
    closing = ("FIN-WAIT-1", "FIN-WAIT-2", "CLOSE-WAIT", "LAST-ACK", "CLOSING", "SYN-SENT",
               "SYN-RECV")
    return not any(line.split()[0] in closing for line in listed.splitlines() if line.split())


def client(command):
    result = subprocess.run(command, capture_output=True, check=False,
                            timeout=traffic.CLIENT_TIMEOUT_S)
    if result.returncode != 0:
        raise AssertionError("%s: %s" % (" ".join(command), result.stderr.decode()))


class LiveCapture(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="korvel-live-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_flows_are_those_of_the_recording(self):
        cert, key = traffic.make_certificates(self.dir)
        www = os.path.join(self.dir, "www")
        os.makedirs(www)
        with open(os.path.join(www, "index.html"), "w", encoding="ascii") as handle:
            handle.write("korvel live check\n")
        recording = os.path.join(self.dir, "recording.pcap")
        tcpdump_log = os.path.join(self.dir, "tcpdump.log")
        with open(tcpdump_log, "wb") as log:
            tcpdump = subprocess.Popen(["tcpdump", "-i", "lo", "-s", "0", "-U", "-n", "-Z", "root",
                                        "-w", recording], stdout=subprocess.DEVNULL, stderr=log)
        wait_for(lambda: b"listening on" in read(tcpdump_log), "tcpdump's start")
        live = Live(self.dir, [])
        tls = subprocess.Popen(["openssl", "s_server", "-accept", "127.0.0.1:443", "-cert", cert,
                                "-key", key, "-no_tls1_3", "-www", "-quiet"],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        http = subprocess.Popen(["/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1",
                                 "--directory", www, "80"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        dns = traffic.DnsResponder()
        dns.start()
        idle = socket.socket()
        listener = socket.socket()
        marker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            wait_for(lambda: traffic.tcp_listening(443) and traffic.tcp_listening(80),
                     "the servers' start")
            client(["curl", "-sS", "-A", traffic.HTTP_USER_AGENT, "--resolve",
                    "%s:80:127.0.0.1" % traffic.HTTP_HOST, "-o", os.devnull,
                    "http://%s/index.html" % traffic.HTTP_HOST])
            client(["curl", "-sS", "-k", "--tls-max", "1.2", "--resolve",
                    "%s:443:127.0.0.1" % traffic.CURL_SNI, "-o", os.devnull,
                    "https://%s/" % traffic.CURL_SNI])
            client(["dig", "@127.0.0.1", "+tries=1", "+time=2", "+noedns", traffic.DNS_NAME, "A"])
            # A connection left open: only the stop purges it.
            listener.bind(("127.0.0.1", IDLE_PORT))
            listener.listen(1)
            idle.connect(("127.0.0.1", IDLE_PORT))
            wait_for(quiet_tcp, "the connections' closes")
            marker.bind(("127.0.0.1", MARKER_PORT))
            marker.sendto(MARKER, ("127.0.0.1", MARKER_PORT))
            wait_for(lambda: MARKER in read(recording), "the marker in the recording")
            status, err = live.stop()
        finally:
            for process in (tls, http):
                process.terminate()
                process.wait(WAIT_S)
            dns.stop()
            for sock in (idle, listener, marker):
                sock.close()
            tcpdump.send_signal(signal.SIGINT)
            tcpdump.wait(WAIT_S)
        self.assertEqual((status, err), (0, BANNER))

        played = replay_run.replay(ARGS.replay, [
            "--config", replay_run.write_config(self.dir), "--update-interval", INTERVAL,
            "--emit-scenario", os.path.join(self.dir, "played.jsonl"), "--pcap", recording,
            "--name", "lo", "--addr", "127.0.0.1", "--addr", "::1"])
        self.assertEqual(played.status, 0, played.describe())
        expected = flow_results(played.records)
        found = flow_results(live.records())
        self.assertEqual(found, expected)
        # The clients' flows are all there, classified and named.
        names = sorted((docs[-2][3].get("detected_protocol_name"),
                        docs[-2][3].get("host_server_name"))
                       for docs in found.values() if docs[-2][0] == "flow_dpi_complete")
        # (The connection left open and the marker's datagram have no protocol.)
        self.assertEqual(names, [("DNS", traffic.DNS_NAME), ("HTTP", traffic.HTTP_HOST),
                                 ("HTTP/S", traffic.CURL_SNI), ("Unknown", None),
                                 ("Unknown", None)])
        # Every flow, the one still open included, ends with its purge.
        self.assertEqual(sorted(docs[-1][0] for docs in found.values()),
                         ["flow_purge"] * len(found))
        self.assertEqual(len(found), 5)
        with open(os.path.join(self.dir, "played.jsonl"), encoding="utf-8") as handle:
            recorded = [json.loads(line) for line in handle if line.startswith("{")]
        counted = summed_counters(live.updates())
        self.assertEqual(counted, summed_counters(recorded))
        self.assertGreater(counted["raw"], 0)
        self.assertEqual((counted["capture_dropped"], counted["capture_filtered"]), (0, 0))

    def test_a_filter_narrows_what_two_interfaces_see(self):
        dns = traffic.DnsResponder()
        dns.start()
        # lo twice, under two names: one flow table and one update cycle for both.
        live = Live(self.dir, ["--name", "lo-a", "--interface", "lo", "--name", "lo-b",
                               "--filter", "udp port 53"])
        try:
            client(["dig", "@127.0.0.1", "+tries=1", "+time=2", "+noedns", traffic.DNS_NAME, "A"])
            # Not seen: a datagram to another port.
            other = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            other.bind(("127.0.0.1", MARKER_PORT))
            other.sendto(MARKER, ("127.0.0.1", MARKER_PORT))
            other.close()
            # The DNS flow's new-flow document is out once the capture has read its packets.
            wait_for(lambda: sum(r["payload"].get("type") == "flow" for r in live.records()) == 2,
                     "the DNS flows")
            status, err = live.stop()
        finally:
            dns.stop()
        self.assertEqual((status, err), (0, BANNER))
        purges = sorted((doc["interface"], doc["flow"]["total_packets"])
                        for doc in (r["payload"] for r in live.records())
                        if doc.get("type") == "flow_purge")
        self.assertEqual(purges, [("lo-a", 2), ("lo-b", 2)])
        flows = [doc["flow"] for doc in (r["payload"] for r in live.records())
                 if doc.get("type") == "flow"]
        self.assertEqual([(f["ip_protocol"], 53 in (f["local_port"], f["other_port"]))
                          for f in flows], [(17, True)] * 2)
        for name in ("lo-a", "lo-b"):
            counted = summed_counters([op for op in live.updates() if op.get("name") == name])
            self.assertEqual((counted["raw"], counted["udp"], counted["tcp"]), (2, 2, 0), name)

    def test_updates_come_by_the_clock_and_sighup_reopens_the_output(self):
        live = Live(self.dir, ["--debug"])
        # No packet at all: the updates still come, one per interval.
        wait_for(lambda: sum(op.get("op") == "update_end" for op in live.updates()) >= 3,
                 "three updates")
        self.assertEqual([op["stats"]["raw"] for op in live.updates()
                          if op.get("op") == "interface_stats"][:3], [0, 0, 0])
        # A log rotation: the file moves away, SIGHUP reopens it and reloads the configuration.
        rotated = live.out + ".1"
        os.rename(live.out, rotated)
        loads = read(live.err).count(b"Loading configuration")
        live.process.send_signal(signal.SIGHUP)
        wait_for(lambda: read(live.err).count(b"Loading configuration") > loads, "the reload")
        dns = traffic.DnsResponder()
        dns.start()
        try:
            client(["dig", "@127.0.0.1", "+tries=1", "+time=2", "+noedns", traffic.DNS_NAME, "A"])
            # Flushed within a second, without a stop: a reader following the file sees it.
            wait_for(lambda: any(r["payload"].get("type") == "flow" for r in live.records()),
                     "the DNS flow in the reopened file")
        finally:
            dns.stop()
        status, _ = live.stop(signal.SIGINT)
        self.assertEqual(status, 0)
        self.assertEqual([r["payload"]["type"] for r in live.records(rotated)
                          if r["channel"] == replay_run.FLOWS_CHANNEL], [])
        types = [r["payload"]["type"] for r in live.records()
                 if r["channel"] == replay_run.FLOWS_CHANNEL]
        self.assertEqual((types[0], types[-1]), ("flow", "flow_purge"))

    def test_user_drops_privileges_once_the_interface_is_open(self):
        # Where the user may read the configuration and write the output.
        os.chmod(self.dir, 0o711)
        shared = os.path.join(self.dir, "shared")
        os.mkdir(shared)
        os.chmod(shared, 0o777)
        live = Live(shared, ["--user", "nobody"])
        nobody = pwd.getpwnam("nobody")
        with open("/proc/%d/status" % live.process.pid, encoding="ascii") as handle:
            ids = {line.split(":")[0]: line.split()[1:] for line in handle
                   if line.startswith(("Uid:", "Gid:", "Groups:"))}
        self.assertEqual(ids, {"Uid": [str(nobody.pw_uid)] * 4, "Gid": [str(nobody.pw_gid)] * 4,
                               "Groups": [str(nobody.pw_gid)]})
        status, err = live.stop()
        self.assertEqual((status, err), (0, BANNER))
        self.assertEqual(os.stat(live.out).st_uid, nobody.pw_uid)

    def test_refusals(self):
        config = replay_run.write_config(self.dir)
        cases = [
            ([], ["--interface", "korvel-none0"], "korvel-none0: No such device exists"),
            ([], ["--interface", "lo", "--filter", "tcp port"],
             "lo: can't parse filter expression: syntax error"),
            (["setpriv", "--reuid", "nobody", "--regid", "nogroup", "--clear-groups"],
             ["--interface", "lo"],
             "lo: You don't have permission to perform this capture on that device "
             "(socket: Operation not permitted)"),
            ([], ["--interface", "lo", "--user", "korvel-no-such-user"],
             "--user korvel-no-such-user: no such user"),
            ([], ["--interface", "lo", "--pcap", "x.pcap"],
             "--interface and --pcap cannot be played together\n"
             "Try 'korvel-replay --help' for more information."),
        ]
        for prefix, args, message in cases:
            result = subprocess.run(prefix + [ARGS.replay, "--config", config] + args,
                                    capture_output=True, text=True, check=False, timeout=WAIT_S)
            self.assertEqual((result.returncode, result.stdout, result.stderr),
                             (2, "", "korvel-replay: %s\n" % message), args)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--replay", required=True)
    parser.add_argument(INSIDE, action="store_true")
    ARGS, rest = parser.parse_known_args()
    if not ARGS.inside_namespace:
        missing = [t for t in ("unshare", "ip", "tcpdump", "openssl", "curl", "dig", "setpriv",
                               "ss") if shutil.which(t) is None]
        if missing:
            print("skipped: not installed: %s" % ", ".join(missing))
            return SKIPPED
        probe = subprocess.run(["unshare", "-n", "true"], capture_output=True, text=True,
                               check=False)
        if probe.returncode != 0:
            print("skipped: no network namespace can be made here: %s" % probe.stderr.strip())
            return SKIPPED
        return subprocess.run(["unshare", "-n", sys.executable, os.path.abspath(__file__),
                               INSIDE, "--replay", os.path.abspath(ARGS.replay)] + rest,
                              check=False).returncode
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

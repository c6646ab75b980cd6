#!/usr/bin/python3
"""korvel-replay --pcap checked against tshark on real traffic.

The captures: loopback traffic recorded at test time by scripts/make-demo-capture (real
openssl, curl, python http.server and dig clients and servers; needs root and tcpdump), the
example capture examples/loopback.pcap, and the sample captures Debian's python3-dpkt and
golang-github-google-gopacket-dev ship (Ethernet, PPPoE, BSD loopback, pcapng corner cases,
damaged files). For every capture tshark's frames are grouped by flow identity (IP version,
protocol, innermost VLAN, both endpoints) and each group must be exactly one flow of the
tool, with one "flow" and one "flow_purge" document whose members agree with the frames:
addresses, ports, VLAN, DSCP, MACs, the local side and the origin, first and last frame times,
packets and frame bytes per direction, the purge reason. How far libpcap reads a damaged file is
what tcpdump reads of it.

    /usr/bin/python3 tests/capture/test_capture.py --replay PATH --source DIR [unittest options]
"""

import argparse
import glob
import ipaddress
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import replay_run  # noqa: E402
import tshark_view  # noqa: E402

ARGS = None
DPKT_DATA = "/usr/share/doc/python3-dpkt/examples/data"
GOPACKET = "/usr/share/gocode/src/github.com/google/gopacket"
# The networks the tracker takes as local when no --local-net is given.
DEFAULT_LOCAL_NETS = [ipaddress.ip_network(n) for n in (
    "10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "169.254.0.0/16", "127.0.0.0/8",
    "fc00::/7", "fe80::/10", "::1/128")]
LIMITED_BROADCAST = ipaddress.ip_address("255.255.255.255")
NO_MAC = "00:00:00:00:00:00"
# The sample captures played as one interface each; every one must read to its end.
SAMPLES = [
    DPKT_DATA + "/http.pcap",
    DPKT_DATA + "/dns_icmp.pcap",
    DPKT_DATA + "/nb6-http.pcap",
    DPKT_DATA + "/truncated_dns.pcap",
    GOPACKET + "/pcap/test_dns.pcap",
    GOPACKET + "/pcap/test_ethernet.pcap",
    GOPACKET + "/pcap/test_loopback.pcap",
]
DAMAGED_SAMPLES = [DPKT_DATA + "/truncated_dns_2.pcap"]
# The little-endian set, and one big-endian file (the others repeat the little-endian ones).
PCAPNG_SAMPLES = sorted(glob.glob(GOPACKET + "/pcapgo/tests/le/*.pcapng")) + \
    sorted(glob.glob(GOPACKET + "/pcapgo/tests/be/test001.pcapng"))


def ms(time_us):
    return time_us // 1000


class Locality:
    """What counts as local on an interface: its own addresses and the local networks."""

    def __init__(self, own_addrs=(), local_nets=None):
        self.own = [ipaddress.ip_address(a) for a in own_addrs]
        self.nets = DEFAULT_LOCAL_NETS if local_nets is None else \
            [ipaddress.ip_network(n) for n in local_nets]

    def is_local(self, address):
        return address in self.own or any(address in net for net in self.nets)

    def local_side(self, conversation):
        """The endpoint the tracker must call local: the one with a local address; when both
        or neither have one, the lower (smaller address, then smaller port)."""
        ends = conversation.endpoints()
        if len(ends) == 1:
            return ends[0], ends[0]
        lower, upper = ends
        if self.is_local(upper[0]) and not self.is_local(lower[0]):
            return upper, lower
        return lower, upper

    def other_type(self, address):
        if address.is_multicast:
            return "multicast"
        if address == LIMITED_BROADCAST:
            return "broadcast"
        return "local" if self.is_local(address) else "remote"


def endpoint_mac(conversation, endpoint):
    """The MAC of an endpoint as the conversation's first frame shows it."""
    first = conversation.first
    if not first.src_mac:
        return NO_MAC
    return first.src_mac if first.source == endpoint else first.dst_mac


def doc_endpoint(doc, side):
    return (ipaddress.ip_address(doc[side + "_ip"]), doc[side + "_port"])


COUNTER_PAIRS = [("local_packets", "total_local_packets"), ("other_packets", "total_other_packets"),
                 ("local_bytes", "total_local_bytes"), ("other_bytes", "total_other_bytes")]


def check_flows(conversations, run, interface="", internal=True, locality=Locality(),
                ignore=frozenset()):
    """Every difference between tshark's conversations and the tool's flow documents, one text
    each, with both sides' numbers."""
    problems = []
    flows = run.flows()
    seen = set()
    for conv in conversations:
        local, other = locality.local_side(conv)
        name = "%s %s:%d <-> %s:%d" % ({6: "tcp", 17: "udp"}.get(conv.key[1], conv.key[1]),
                                       local[0], local[1], other[0], other[1])
        if conv.key[2]:
            name += " vlan %d" % conv.key[2]
        matches = []
        for digest, entry in flows.items():
            for doc in entry["flow"]:
                ends = {doc_endpoint(doc, "local"), doc_endpoint(doc, "other")}
                if (doc["ip_version"], doc["ip_protocol"], doc["vlan_id"]) == conv.key[:3] and \
                        frozenset(ends) == conv.key[3]:
                    matches.append(digest)
        if len(matches) != 1 or len(flows[matches[0]]["flow"]) != 1 or \
                len(flows[matches[0]]["flow_purge"]) != 1:
            problems.append("%s (%d frames): %d flows, %s" % (
                name, len(conv.frames), len(matches),
                [(len(flows[d]["flow"]), len(flows[d]["flow_purge"])) for d in matches]))
            seen.update(matches)
            continue
        digest = matches[0]
        seen.add(digest)
        entry = flows[digest]
        new, purge, stats = entry["flow"][0], entry["flow_purge"][0], entry["flow_stats"]

        def expect(what, got, want):
            if got != want:
                problems.append("%s: %s is %r, tshark: %r" % (name, what, got, want))

        expect("document order", [entry["order"][0], entry["order"][-1]], ["flow", "flow_purge"])
        # Detection ends once per flow, at the latest just before the purge.
        expect("flow_dpi_complete documents", entry["order"].count("flow_dpi_complete"), 1)
        expect("interface", sorted(set(entry["interface"])), [(interface, internal)])
        expect("local endpoint", (doc_endpoint(new, "local"), doc_endpoint(new, "other")),
               (local, other))
        expect("ip_dscp", new["ip_dscp"], conv.first.dscp)
        expect("local_origin", new["local_origin"], conv.first.source == local)
        expect("other_type", new["other_type"], locality.other_type(other[0]))
        expect("local_mac", new["local_mac"], endpoint_mac(conv, local))
        expect("other_mac", new["other_mac"], endpoint_mac(conv, other))
        expect("first_seen_at", new["first_seen_at"], ms(conv.first.clock_us))
        expect("last_seen_at of the new flow", new["last_seen_at"], ms(conv.first.clock_us))
        expect("last_seen_at of the purge", purge["last_seen_at"], ms(conv.last.clock_us))
        local_frames = conv.sent_by(local)
        other_frames = conv.sent_by(other) if other != local else []
        want = {"total_local_packets": len(local_frames),
                "total_other_packets": len(other_frames),
                "total_local_bytes": sum(f.length for f in local_frames),
                "total_other_bytes": sum(f.length for f in other_frames)}
        expect("totals", {k: purge[k] for k in want}, want)
        # The per-update counters of every statistics document and the purge add up to the
        # totals; the totals never go down.
        sums = {per: sum(doc[per] for doc in stats + [purge]) for per, _ in COUNTER_PAIRS}
        expect("sum of per-update counters", sums, {per: purge[total]
                                                    for per, total in COUNTER_PAIRS})
        totals = [doc["total_local_packets"] + doc["total_other_packets"]
                  for doc in stats + [purge]]
        expect("totals over time rising", totals == sorted(totals), True)
        reason = "closed" if conv.closed() else "expired"
        problems.extend([] if purge_reason(run, digest) == reason else
                        ["%s: reason is %r, tshark: %r" % (name, purge_reason(run, digest),
                                                           reason)])
    extra = sorted(set(flows) - seen - set(ignore))
    for digest in extra:
        doc = (flows[digest]["flow"] or flows[digest]["flow_purge"])[0]
        problems.append("a flow tshark has no conversation for: %s" % json.dumps(doc))
    return problems


def check_packet_counters(run, interfaces):
    """The interface counters of all updates added up (each update counts the packets since
    the one before) against tshark's frames of each interface; the global counters are the
    interfaces' sum. `interfaces` maps each interface name to its (frames, rows)."""
    problems = []
    docs = run.payloads(replay_run.STATS_CHANNEL, "interface_stats")
    globals_ = run.payloads(replay_run.STATS_CHANNEL, "global_stats")
    overall = {}
    for name, (frames, rows) in interfaces.items():
        want = tshark_view.packet_counters(frames, rows)
        got = {}
        for key in want:
            values = [doc[name][key] for doc in docs if name in doc]
            got[key] = max(values or [0]) if key == "largest_bytes" else sum(values)
        if got != want:
            problems.append("%s: counters %s, tshark %s" % (
                name, {k: v for k, v in got.items() if v != want[k]},
                {k: v for k, v in want.items() if v != got[k]}))
        for key, value in want.items():
            overall[key] = max(overall.get(key, 0), value) if key == "largest_bytes" else \
                overall.get(key, 0) + value
    got = {key: (max if key == "largest_bytes" else sum)([doc[key] for doc in globals_] or [0])
           for key in overall}
    if got != overall:
        problems.append("global counters %s, interfaces %s" % (got, overall))
    if len(docs) != len(globals_) or (not docs and any(rows for _, rows in interfaces.values())):
        problems.append("%d interface_stats and %d global_stats documents" %
                        (len(docs), len(globals_)))
    return problems


def purge_reason(run, digest):
    for doc in run.payloads(replay_run.FLOWS_CHANNEL, "flow_purge"):
        if replay_run.flow_id(doc["flow"]) == digest:
            return doc["reason"]
    return None


def check_conversation_table(test, path, conversations):
    """Our grouping of tshark's frames agrees with tshark's own TCP and UDP conversation
    tables (which know nothing of VLANs: the same endpoints on two VLANs are one there)."""
    counts = {}
    for c in conversations:
        if c.key[1] in (tshark_view.TCP, tshark_view.UDP):
            counts[(c.key[1], c.key[3])] = counts.get((c.key[1], c.key[3]), 0) + len(c.frames)
    ours = sorted((p, sorted(map(str, ends)), n) for (p, ends), n in counts.items())
    theirs = sorted((p, sorted(map(str, ends)), n)
                    for p, ends, n in tshark_view.conversation_table(path))
    test.assertEqual(ours, theirs, path)


class CaptureChecks(unittest.TestCase):
    """Conversations of real captures against the tool's flows."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="capture-check-")
        cls.config = replay_run.write_config(cls.tmp)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def play(self, *args):
        return replay_run.replay(ARGS.replay, ["--config", self.config] + list(args))

    def check_capture(self, path, *extra, table=True):
        """A capture libpcap reads to its end: exit 0, every conversation one flow, the
        packet counters those of the frames; with `table`, tshark's conversation tables too."""
        frames, rows = tshark_view.read_frames(path)
        conversations = tshark_view.conversations(frames)
        if table:
            check_conversation_table(self, path, conversations)
        run = self.play("--pcap", path, *extra)
        self.assertEqual(run.status, 0, run.describe())
        name = os.path.basename(path)
        self.assertEqual(check_flows(conversations, run, interface=name), [], run.command)
        self.assertEqual(check_packet_counters(run, {name: (frames, rows)}), [],
                         run.command)
        return run, conversations

    def test_fresh_loopback_traffic(self):
        """Traffic recorded now, on lo (Ethernet frames) and through "any" (Linux cooked v2)."""
        if os.geteuid() != 0:
            self.skipTest("capturing on lo needs root")
        if shutil.which("tcpdump") is None:
            self.skipTest("tcpdump is not installed")
        script = os.path.join(ARGS.source, "scripts", "make-demo-capture")
        for device in ("lo", "any"):
            with self.subTest(device=device):
                path = os.path.join(self.tmp, "fresh-%s.pcap" % device)
                made = subprocess.run([script, "-i", device, path], capture_output=True,
                                      text=True, check=False, timeout=60)
                if made.returncode == 77:
                    self.skipTest(made.stderr.strip())
                self.assertEqual(made.returncode, 0, made.stderr)
                _, conversations = self.check_capture(path)
                # Two DNS exchanges, the HTTPS and the HTTP connection, both of them closed.
                kinds = sorted((c.key[1], c.closed()) for c in conversations)
                self.assertEqual(kinds, [(6, True), (6, True), (17, False), (17, False)])

    def test_example_capture(self):
        self.check_capture(os.path.join(ARGS.source, "examples", "loopback.pcap"))

    def test_debian_sample_captures(self):
        for path in SAMPLES:
            with self.subTest(capture=path):
                if not os.path.exists(path):
                    self.skipTest("%s is not installed" % path)
                self.check_capture(path)

    def test_tags_extension_headers_and_link_types(self):
        """Captures written with scapy: 802.1Q and 802.1ad tags, DSCP, IPv6 extension headers,
        resets, multicast and broadcast, frames without a flow; Linux cooked v1, raw IP, PPP,
        Cisco HDLC, PPI and radiotap; IP-in-IP, GRE, VXLAN and CAPWAP tunnels."""
        try:
            import synthetic_captures  # pylint: disable=import-outside-toplevel
        except ImportError:
            self.skipTest("python3-scapy is not installed")
        for name, path in synthetic_captures.write_all(self.tmp).items():
            with self.subTest(capture=name):
                self.check_capture(path, table=name != "tunnels.pcap")

    def test_local_nets_and_own_addresses(self):
        """The local side follows the interface's own addresses, and --local-net replaces the
        default local networks."""
        cases = [
            (DPKT_DATA + "/http.pcap", ["--name", "eth1", "--role", "wan",
                                        "--addr", "145.254.160.237"],
             "eth1", False, Locality(own_addrs=["145.254.160.237"])),
            (DPKT_DATA + "/dns_icmp.pcap", ["--name", "eth2", "--local-net", "8.8.8.0/24",
                                            "--local-net", "4.2.2.0/24"],
             "eth2", True, Locality(local_nets=["8.8.8.0/24", "4.2.2.0/24"])),
        ]
        for path, options, name, internal, locality in cases:
            with self.subTest(capture=path, options=options):
                frames, rows = tshark_view.read_frames(path)
                run = self.play("--pcap", path, *options)
                self.assertEqual(run.status, 0, run.describe())
                self.assertEqual(check_flows(tshark_view.conversations(frames), run, name,
                                             internal, locality), [])
                self.assertEqual(check_packet_counters(run, {name: (frames, rows)}), [])

    def test_two_interfaces_merged(self):
        """Two files of the same minutes as two interfaces: each conversation on its own
        interface, in one run, the flows in capture time order across both."""
        try:
            import synthetic_captures  # pylint: disable=import-outside-toplevel
        except ImportError:
            self.skipTest("python3-scapy is not installed")
        paths = synthetic_captures.write_all(self.tmp)
        lan, wan = paths["tagged-ethernet.pcap"], paths["raw-ip.pcap"]
        run = self.play("--pcap", lan, "--name", "lan0", "--pcap", wan, "--name", "wan0",
                        "--role", "wan")
        self.assertEqual(run.status, 0, run.describe())
        read = {}
        for path, name, internal in ((lan, "lan0", True), (wan, "wan0", False)):
            frames, rows = tshark_view.read_frames(path)
            read[name] = (frames, rows)
            mine = replay_run.Run(run.command, subprocess.CompletedProcess([], 0, "", ""))
            mine.records = [r for r in run.records if r["channel"] != replay_run.FLOWS_CHANNEL
                            or r["payload"]["interface"] == name]
            self.assertEqual(check_flows(tshark_view.conversations(frames), mine, name,
                                         internal), [], name)
        times = [doc["flow"]["first_seen_at"]
                 for doc in run.payloads(replay_run.FLOWS_CHANNEL, "flow")]
        self.assertEqual(times, sorted(times))
        self.assertEqual(check_packet_counters(run, read), [])

    def test_damaged_captures(self):
        """A file cut in the middle: exit 2 with "FILE: reason", and every conversation of the
        frames before the cut delivered in full."""
        example = os.path.join(ARGS.source, "examples", "loopback.pcap")
        cut = os.path.join(self.tmp, "cut.pcap")
        with open(example, "rb") as src, open(cut, "wb") as dst:
            data = src.read()
            dst.write(data[:pcap_record_offset(data, 20) + 30])
        for path in DAMAGED_SAMPLES + [cut]:
            with self.subTest(capture=path):
                opened, packets, error = tshark_view.libpcap_reading(path)
                self.assertTrue(opened and error, (path, opened, error))
                frames, rows = tshark_view.read_frames(path, packets)
                self.assertEqual(len(rows), packets)
                run = self.play("--pcap", path)
                self.assertEqual(run.status, 2, run.describe())
                self.assertIsNotNone(replay_run.error_line(run, path), run.describe())
                conversations = tshark_view.conversations(frames)
                name = os.path.basename(path)
                self.assertEqual(check_flows(conversations, run, name), [])
                self.assertEqual(check_packet_counters(run, {name: (frames, rows)}), [])

    def test_pcapng_corner_cases(self):
        """gopacket's pcapng test files: what libpcap reads (as tcpdump shows) is played; a
        file it refuses to open plays nothing; one it stops reading in the middle plays what was
        read before and exits 2."""
        if not PCAPNG_SAMPLES:
            self.skipTest("golang-github-google-gopacket-dev is not installed")
        for path in PCAPNG_SAMPLES:
            with self.subTest(capture=path):
                opened, packets, error = tshark_view.libpcap_reading(path)
                run = self.play("--pcap", path)
                if not opened:
                    self.assertEqual((run.status, run.lines), (2, []), run.describe())
                    self.assertIsNotNone(replay_run.error_line(run, path), run.describe())
                    continue
                frames, rows = tshark_view.read_frames(path, packets)
                self.assertEqual(run.status, 2 if error else 0, run.describe())
                if error:
                    self.assertIsNotNone(replay_run.error_line(run, path), run.describe())
                name = os.path.basename(path)
                # Some of these files stamp packets 0 and then 2012: a conversation with a gap
                # longer than its idle time is one flow per stretch, each with one "flow" and
                # one "flow_purge" document.
                whole, split = [], []
                for conv in tshark_view.conversations(frames):
                    (whole if tshark_view.idle_segments(conv) == 1 else split).append(conv)
                flows = run.flows()
                split_digests = set()
                for conv in split:
                    docs = [entry for entry in flows.values()
                            if any((doc["ip_version"], doc["ip_protocol"], doc["vlan_id"],
                                    frozenset({doc_endpoint(doc, "local"),
                                               doc_endpoint(doc, "other")})) == conv.key
                                   for doc in entry["flow"])]
                    split_digests.update(digest for digest, entry in flows.items()
                                         if entry in docs)
                    segments = tshark_view.idle_segments(conv)
                    self.assertEqual([(len(e["flow"]), len(e["flow_purge"])) for e in docs],
                                     [(segments, segments)], conv.key)
                self.assertEqual(check_flows(whole, run, name, ignore=split_digests), [])
                # An update after which no flow event comes never sends its payloads, so across
                # such a gap the counters of that update reach no document.
                if not split:
                    self.assertEqual(check_packet_counters(run, {name: (frames, rows)}), [])

    def test_refused_inputs_play_nothing(self):
        text = os.path.join(self.tmp, "notes.txt")
        with open(text, "w", encoding="utf-8") as handle:
            handle.write("not a capture\n" * 10)
        for path in (text, os.path.join(self.tmp, "missing.pcap")):
            with self.subTest(capture=path):
                run = self.play("--pcap", path)
                self.assertEqual((run.status, run.lines), (2, []), run.describe())
                self.assertIsNotNone(replay_run.error_line(run, path), run.describe())

    def test_emitted_scenario_replays_to_the_same_sink_calls(self):
        for path in (os.path.join(ARGS.source, "examples", "loopback.pcap"),
                     DPKT_DATA + "/http.pcap", DPKT_DATA + "/nb6-http.pcap"):
            with self.subTest(capture=path):
                scenario = os.path.join(self.tmp, os.path.basename(path) + ".jsonl")
                direct = self.play("--pcap", path, "--update-interval", "1",
                                   "--emit-scenario", scenario)
                self.assertEqual(direct.status, 0, direct.describe())
                replayed = self.play(scenario)
                self.assertEqual(replayed.status, 0, replayed.describe())
                played, emitted = replay_run.masked(direct.records), \
                    replay_run.masked(replayed.records)
                first = next((i for i, (a, b) in enumerate(zip(played, emitted)) if a != b),
                             None if len(played) == len(emitted) else min(len(played),
                                                                          len(emitted)))
                if first is not None:
                    self.fail("sink call %s differs: capture %s, scenario %s" % (
                        first, summary(played, first), summary(emitted, first)))
                self.assertTrue(direct.payloads(replay_run.FLOWS_CHANNEL, "flow_stats"))


def summary(records, index):
    """Channel and document type of a few sink calls from `index` on."""
    return [(r["channel"], r["payload"].get("type", "legacy") if isinstance(r["payload"], dict)
             else "?") for r in records[index:index + 4]]


def pcap_record_offset(data, index):
    """The byte offset of record `index` (0-based) of a classic pcap file."""
    endian = "<" if data[:4] in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1") else ">"
    offset = 24
    for _ in range(index):
        caplen = struct.unpack(endian + "I", data[offset + 8:offset + 12])[0]
        offset += 16 + caplen
    return offset


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--replay", required=True, help="the korvel-replay to check")
    parser.add_argument("--source", required=True, help="the source tree")
    ARGS, rest = parser.parse_known_args()
    if shutil.which("tshark") is None:
        print("tshark is not installed: capture checks skipped")
        return 0
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())

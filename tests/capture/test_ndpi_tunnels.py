#!/usr/bin/python3
"""korvel-replay --pcap against nDPI's own reader on nDPI's test captures of tunnels (IP in IP,
6in4, CAPWAP) and of the PPP and Cisco HDLC link types: every flow ndpiReader sees is a flow of
the tool with the same identity (protocol, VLAN, both endpoints) and the same packets from each
endpoint, and the tool has no other flow.

ndpiReader's flow list (-v 2) is read rather than its CSV (-C), which leaves out the flows it
could not classify and the VLAN. -t makes it open CAPWAP. Both sides add up the flows of one
identity: their idle expiry differs (the IP-in-IP capture spans a day).

    /usr/bin/python3 tests/capture/test_ndpi_tunnels.py --replay PATH [unittest options]
"""

import argparse
import ipaddress
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import replay_run  # noqa: E402

ARGS = None
CAPTURES = "/work/shared/captures/ndpi"
FILES = ["4in4tunnel.pcap", "6in4tunnel.pcap", "capwap_data.pcapng", "dlt_ppp.pcap",
         "BGP_Cisco_hdlc_slarp.pcap"]
PROTOCOLS = {"TCP": 6, "UDP": 17, "ICMP": 1, "ICMPV6": 58, "IGMP": 2}
# "\t3\tTCP 10.1.3.68:47025 <-> 74.125.130.188:443 [VLAN: 4][proto: ...]...
#  [3 pkts/630 bytes <-> 3 pkts/434 bytes]..."
FLOW_LINE = re.compile(r"^\s+\d+\s+(\S+) (\S+) (<->|->) (\S+) (.*)$")
PACKETS = re.compile(r"\[(\d+) pkts/\d+ bytes (?:<->|->) (\d+) pkts/\d+ bytes\]")
VLAN = re.compile(r"\[VLAN: (\d+)\]")


def endpoint(text):
    address, _, port = text.rpartition(":")
    return (ipaddress.ip_address(address.strip("[]")), int(port))


def add(flows, protocol, vlan, a, b, from_a, from_b):
    key = (protocol, vlan, frozenset((a, b)))
    counts = flows.setdefault(key, {})
    counts[a] = counts.get(a, 0) + from_a
    counts[b] = counts.get(b, 0) + from_b


def ndpi_flows(path):
    """ndpiReader's flows: {(protocol, vlan, endpoints): {endpoint: packets sent}}."""
    result = subprocess.run(["ndpiReader", "-t", "-v", "2", "-i", path], capture_output=True,
                            text=True, check=False)
    flows = {}
    for line in result.stdout.splitlines():
        match = FLOW_LINE.match(line)
        packets = PACKETS.search(line)
        if not match or not packets:
            continue
        name, src, _, dst, rest = match.groups()
        vlan = VLAN.search(rest)
        protocol = PROTOCOLS.get(name, int(name) if name.isdigit() else -1)
        add(flows, protocol, int(vlan.group(1)) if vlan else 0, endpoint(src), endpoint(dst),
            int(packets.group(1)), int(packets.group(2)))
    return flows


def tool_flows(run):
    """The tool's flows by the same key, from each flow's purge (flows of one identity come
    under one digest, a "flow" and a "flow_purge" document each)."""
    flows = {}
    for entry in run.flows().values():
        for new, purge in zip(entry["flow"], entry["flow_purge"]):
            local = (ipaddress.ip_address(new["local_ip"]), new["local_port"])
            other = (ipaddress.ip_address(new["other_ip"]), new["other_port"])
            add(flows, new["ip_protocol"], new["vlan_id"], local, other,
                purge["total_local_packets"],
                purge["total_other_packets"] if other != local else 0)
    return flows


class NdpiTunnelChecks(unittest.TestCase):
    """nDPI's captures of tunnels and link types: the tool's flows are ndpiReader's."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="ndpi-tunnels-")
        cls.config = replay_run.write_config(cls.tmp)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_flows_are_ndpi_readers(self):
        if not os.path.isdir(CAPTURES):
            self.skipTest(CAPTURES + " is absent: nDPI's test captures are not on this machine")
        if shutil.which("ndpiReader") is None:
            self.skipTest("ndpiReader (libndpi-bin) is not installed")
        for name in FILES:
            with self.subTest(capture=name):
                path = os.path.join(CAPTURES, name)
                run = replay_run.replay(ARGS.replay, ["--config", self.config, "--pcap", path])
                self.assertEqual(run.status, 0, run.describe())
                want = ndpi_flows(path)
                self.assertTrue(want, "ndpiReader found no flow in " + path)
                self.assertEqual(tool_flows(run), want, path)


def main():
    global ARGS  # pylint: disable=global-statement
    parser = argparse.ArgumentParser()
    parser.add_argument("--replay", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

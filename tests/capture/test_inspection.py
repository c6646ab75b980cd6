#!/usr/bin/python3
"""What korvel-replay --pcap finds inside flows, checked against what tshark decodes from the
same packets.

The captures: loopback traffic recorded now (curl and openssl s_client against openssl s_server
with a TLS 1.2 certificate signed by a root of its own, curl against python's http.server, dig
against a small DNS responder and then curl to the answered address), Debian's sample captures
(python3-dpkt's HTTP and DNS, gopacket's TLS 1.2 session test301.pcapng) and a DHCP exchange
written offline with scapy. For every conversation tshark shows, the tool's flow has exactly one
"flow_dpi_complete" document, after its "flow" and before its "flow_purge", and the details in it
are the ones tshark decodes: the TLS server name, client ALPN list, version and cipher suite, the
certificate's subject common name, issuer and subject DNs and SHA-1 digest, the HTTP host, user
agent and URL, the DNS question, the name a flow's server address was given in an earlier DNS
answer, the DHCP parameter request list and vendor class.

    /usr/bin/python3 tests/capture/test_inspection.py --replay PATH [unittest options]
"""

import argparse
import ipaddress
import json
import logging
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import loopback_traffic  # noqa: E402
import replay_run  # noqa: E402
import tshark_dpi  # noqa: E402

ARGS = None
DPKT_DATA = "/usr/share/doc/python3-dpkt/examples/data"
GOPACKET = "/usr/share/gocode/src/github.com/google/gopacket"
TLS_SAMPLE = "/usr/share/gocode/src/github.com/gopacket/gopacket/pcapgo/tests/le/test301.pcapng"
# Captures whose flows are checked for ordering and names only (no TLS in them).
NAME_SAMPLES = [DPKT_DATA + "/http.pcap", DPKT_DATA + "/dns_icmp.pcap",
                GOPACKET + "/pcap/test_dns.pcap", DPKT_DATA + "/nb6-http.pcap"]
HTTPS_PORT = 443
# Pad options after the end option, as clients fill a BOOTP message to its usual 300 bytes.
DHCP_PADDING = 40
# The name of TLS on 443 in the daemon's vocabulary.
HTTPS_NAME = "HTTP/S"


def hex16(value):
    return "0x%04x" % value


def flow_matches(doc, found):
    ends = frozenset({(ipaddress.ip_address(doc["local_ip"]), doc["local_port"]),
                      (ipaddress.ip_address(doc["other_ip"]), doc["other_port"])})
    return (doc["ip_version"], doc["ip_protocol"], ends) == found.key


def describe(found):
    (client, server) = (found.client, found.server)
    return "%s %s:%d -> %s:%d" % ({6: "tcp", 17: "udp"}[found.key[1]], client[0], client[1],
                                  server[0], server[1])


def answered_name(found, conversations):
    """The name the latest DNS answer before this conversation's first packet gave to its server
    address, or None."""
    best = None
    for other in conversations:
        for time, name, addresses in other.dns_answers:
            if time < found.first_time and found.server[0] in addresses and \
                    (best is None or time >= best[0]):
                best = (time, name)
    return best[1] if best else None


def expected_details(found, conversations):
    """The members of the flow document that tshark's findings fix, as {path: value}; a value of
    None means the member must be absent."""
    want = {}
    if found.sni is not None or found.cipher_suite is not None:
        want[("ssl", "client_sni")] = found.sni
        want[("host_server_name",)] = found.sni.lower() if found.sni else None
        want[("ssl", "alpn")] = found.client_alpn or None
        if found.cipher_suite is not None:
            want[("ssl", "cipher_suite")] = hex16(found.cipher_suite)
            want[("ssl", "version")] = hex16(found.tls_version)
        if found.certificate is not None:
            want[("ssl", "server_cn")] = found.certificate["subject_cn"]
            want[("ssl", "issuer_dn")] = found.certificate["issuer"] or None
            want[("ssl", "subject_dn")] = found.certificate["subject"] or None
            want[("ssl", "fingerprint")] = found.certificate["sha1"]
        if found.server[1] == HTTPS_PORT:
            want[("detected_protocol_name",)] = HTTPS_NAME
    elif found.http_uri is not None:
        # The URL is the request's host followed by its target, as nDPI keeps it.
        want[("http", "url")] = (found.http_host or "") + found.http_uri
        want[("http", "user_agent")] = found.http_user_agent
        want[("host_server_name",)] = found.http_host.lower() if found.http_host else None
        want[("detected_protocol_name",)] = "HTTP"
    elif found.dns_queries:
        want[("host_server_name",)] = found.dns_queries[0].lower()
        want[("detected_protocol_name",)] = "DNS"
    elif not found.tls:
        # Nothing tshark sees carries a user agent or a URL.
        want[("http",)] = None
    if found.dhcp_request_list is not None or found.dhcp_class_ident is not None:
        want[("dhcp", "fingerprint")] = ",".join(str(n) for n in found.dhcp_request_list or []) \
            or None
        want[("dhcp", "class_ident")] = found.dhcp_class_ident
        want[("host_server_name",)] = found.dhcp_host_name.lower() if found.dhcp_host_name \
            else None
        want[("detected_protocol_name",)] = "DHCP"
    want[("dns_host_name",)] = answered_name(found, conversations)
    return want


def member(doc, path):
    for key in path:
        if not isinstance(doc, dict) or key not in doc:
            return None
        doc = doc[key]
    return doc


def check_run(run, conversations):
    """Every difference between tshark's findings and the tool's documents, one text each."""
    problems = []
    flows = run.flows()
    matched = set()
    for found in conversations:
        name = describe(found)
        ids = [fid for fid, entry in flows.items()
               if any(flow_matches(doc, found) for doc in entry["flow"])]
        if len(ids) != 1:
            problems.append("%s: %d flows" % (name, len(ids)))
            matched.update(ids)
            continue
        matched.add(ids[0])
        entry = flows[ids[0]]
        problems.extend("%s: %s" % (name, p) for p in check_order(entry["order"]))
        complete = entry.get("flow_dpi_complete", [])
        if len(complete) != 1:
            continue
        doc = complete[0]
        if found.tls and found.sni is not None and "ssl" not in doc:
            problems.append("%s: no \"ssl\" in a TLS flow (detected %r)" % (
                name, doc.get("detected_protocol_name")))
        for path, value in sorted(expected_details(found, conversations).items()):
            got = member(doc, path)
            if got != value:
                problems.append("%s: %s is %s, tshark: %s" % (
                    name, ".".join(path), json.dumps(got), json.dumps(value)))
    for fid in sorted(set(flows) - matched):
        entry = flows[fid]
        problems.extend("flow %s: %s" % (fid, p) for p in check_order(entry["order"]))
    return problems


def check_order(order):
    """A flow's documents: "flow" first, "flow_purge" last, exactly one "flow_dpi_complete" in
    between, and every "flow_dpi_update" before it."""
    problems = []
    if order.count("flow_dpi_complete") != 1:
        problems.append("%d flow_dpi_complete documents: %s" % (
            order.count("flow_dpi_complete"), order))
        return problems
    complete = order.index("flow_dpi_complete")
    if order[0] != "flow" or order[-1] != "flow_purge" or order.count("flow_purge") != 1:
        problems.append("documents in the order %s" % order)
    updates = [i for i, kind in enumerate(order) if kind == "flow_dpi_update"]
    if updates and updates[-1] > complete:
        problems.append("flow_dpi_update after flow_dpi_complete: %s" % order)
    return problems


def write_dhcp_exchange(path):
    """A DHCP discover, offer, request and acknowledgement written offline (nothing is sent)."""
    logging.getLogger("scapy.runtime").setLevel(logging.ERROR)
    from scapy.all import BOOTP, DHCP, Ether, IP, UDP, wrpcap  # pylint: disable=import-outside-toplevel
    client_mac, server_mac = "02:00:00:00:01:0a", "02:00:00:00:01:01"
    chaddr = bytes.fromhex(client_mac.replace(":", ""))
    requested = [1, 3, 6, 15, 31, 33, 43, 44, 46, 47, 119, 121, 249, 252]
    client_options = [("param_req_list", requested), ("vendor_class_id", b"MSFT 5.0"),
                      ("hostname", b"korvel-host")]
    frames = []
    for kind, xid in (("discover", 0x1234), ("request", 0x1234)):
        frames.append(Ether(src=client_mac, dst="ff:ff:ff:ff:ff:ff") /
                      IP(src="0.0.0.0", dst="255.255.255.255") / UDP(sport=68, dport=67) /
                      BOOTP(op=1, xid=xid, chaddr=chaddr) /
                      DHCP(options=[("message-type", kind)] + client_options +
                           ([("requested_addr", "192.168.7.50")] if kind == "request" else []) +
                           ["end"] + ["pad"] * DHCP_PADDING))
        reply = "offer" if kind == "discover" else "ack"
        frames.append(Ether(src=server_mac, dst=client_mac) /
                      IP(src="192.168.7.1", dst="192.168.7.50") / UDP(sport=67, dport=68) /
                      BOOTP(op=2, xid=xid, yiaddr="192.168.7.50", siaddr="192.168.7.1",
                            chaddr=chaddr) /
                      DHCP(options=[("message-type", reply), ("server_id", "192.168.7.1"),
                                    ("lease_time", 3600), ("subnet_mask", "255.255.255.0"),
                                    ("router", "192.168.7.1"), "end"] + ["pad"] * DHCP_PADDING))
    for i, frame in enumerate(frames):
        frame.time = 1733652000.0 + i * 0.5
    wrpcap(path, frames)


class InspectionChecks(unittest.TestCase):
    """The details of real flows against tshark."""

    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="inspection-check-")
        cls.config = replay_run.write_config(cls.tmp)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def check_capture(self, path):
        conversations = tshark_dpi.read(path)
        run = replay_run.replay(ARGS.replay, ["--config", self.config, "--pcap", path])
        self.assertEqual(run.status, 0, run.describe())
        self.assertEqual(check_run(run, conversations), [], run.command)
        return run, conversations

    def test_loopback_clients(self):
        """curl and openssl s_client over TLS 1.2, curl over HTTP, dig, then a flow to the
        address the DNS answer gave."""
        path = os.path.join(self.tmp, "clients.pcap")
        work = os.path.join(self.tmp, "clients")
        os.makedirs(work)
        try:
            results = loopback_traffic.record(work, path)
        except (loopback_traffic.Unavailable, loopback_traffic.PortsBusy) as reason:
            self.skipTest(str(reason))
        self.assertEqual({name: status for name, (status, _) in results.items()},
                         {name: 0 for name in results}, results)
        run, conversations = self.check_capture(path)
        # What was recorded is what the clients did: two TLS flows, two HTTP flows, one DNS flow.
        tls = sorted((c.sni, tuple(c.client_alpn)) for c in conversations if c.sni)
        self.assertEqual(tls, sorted([
            (loopback_traffic.CURL_SNI, tuple(loopback_traffic.CURL_ALPN)),
            (loopback_traffic.SCLIENT_SNI, tuple(loopback_traffic.SCLIENT_ALPN))]))
        agents = sorted(c.http_user_agent for c in conversations if c.http_uri)
        self.assertEqual(agents, sorted([loopback_traffic.HTTP_USER_AGENT,
                                         loopback_traffic.AFTER_DNS_AGENT]))
        # Only the flow after the answer is named by it.
        named = sorted(doc["flow_dpi_complete"][0].get("dns_host_name", "")
                       for doc in run.flows().values() if doc.get("flow_dpi_complete"))
        self.assertEqual(named, [""] * 4 + [loopback_traffic.DNS_NAME])

    def test_tls_sample(self):
        """gopacket's test301.pcapng: a TLS 1.2 session to a public server, with its chain."""
        if not os.path.exists(TLS_SAMPLE):
            self.skipTest("golang-github-gopacket-gopacket-dev is not installed")
        _, conversations = self.check_capture(TLS_SAMPLE)
        self.assertTrue(any(c.certificate for c in conversations))

    def test_name_samples(self):
        """python3-dpkt's and gopacket's HTTP and DNS captures: host names, user agents, URLs,
        DNS questions and the names earlier answers gave."""
        for path in NAME_SAMPLES:
            with self.subTest(capture=path):
                if not os.path.exists(path):
                    self.skipTest("%s is not installed" % path)
                self.check_capture(path)

    def test_dhcp_exchange(self):
        try:
            path = os.path.join(self.tmp, "dhcp.pcap")
            write_dhcp_exchange(path)
        except ImportError:
            self.skipTest("python3-scapy is not installed")
        _, conversations = self.check_capture(path)
        self.assertTrue(any(c.dhcp_class_ident == "MSFT 5.0" for c in conversations))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--replay", required=True, help="the korvel-replay to check")
    ARGS, rest = parser.parse_known_args()
    if shutil.which("tshark") is None:
        print("tshark is not installed: inspection checks skipped")
        return 0
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())

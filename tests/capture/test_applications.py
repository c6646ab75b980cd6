#!/usr/bin/python3
"""The whole "flow_dpi_complete" document of real flows in which nDPI names an application,
from nDPI's own test captures beside the tree (../shared/captures/ndpi/), each value checked
against nDPI's reader (ndpiReader -v 2) and tshark on the same packets. Skipped where the
captures are absent.

    /usr/bin/python3 tests/capture/test_applications.py --replay PATH --source DIR [unittest options]
"""

import argparse
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import replay_run  # noqa: E402

ARGS = None


def flow_doc(run, local_port):
    return [d["flow"] for d in run.payloads(replay_run.FLOWS_CHANNEL, "flow_dpi_complete")
            if d["flow"].get("local_port") == local_port]


# ndpiReader: "TCP 192.168.11.11:51587 -> 173.194.35.191:443 [proto: 91.126/TLS.Google]
# [cat: Web/5][1 pkts/233 bytes -> 0 pkts/0 bytes][Hostname/SNI: www.google.it][Risk: Obsolete
# TLS Version (1.1 or older)][Risk Score: 100][TLSv1]": one client hello, which ends detection.
TLS_GOOGLE = {
    "app_ip_override": False, "app_proto_twins": False,
    # Google's network is nDPI's, category 5 "Web".
    "category": {"application": 5, "domain": 0, "local_network": 0, "other_network": 5,
                 "overlay": 0, "protocol": 5},
    "detected_application": 10028, "detected_application_name": "korvel.google",
    "detected_protocol": 196, "detected_protocol_name": "HTTP/S",
    "detection_guessed": False, "detection_packets": 1, "detection_updated": False,
    "digest": "b7de816115bc7edb", "digest_prev": ["59be969b528b00bf", "b7de816115bc7edb"],
    "first_seen_at": 1391444859282, "last_seen_at": 1391444859282,
    "host_server_name": "www.google.it",
    "ip_dscp": 0, "ip_nat": False, "ip_protocol": 6, "ip_version": 4, "vlan_id": 0,
    "local_ip": "192.168.11.11", "local_mac": "d4:be:d9:03:c2:87", "local_origin": True,
    "local_port": 51587, "other_ip": "173.194.35.191", "other_mac": "00:0c:41:ae:e4:94",
    "other_port": 443, "other_type": "remote",
    "local_bytes": 0, "local_packets": 0, "local_rate": 0.0,
    "other_bytes": 0, "other_packets": 0, "other_rate": 0.0,
    "total_bytes": 233, "total_local_bytes": 233, "total_local_packets": 1,
    "total_other_bytes": 0, "total_other_packets": 0, "total_packets": 1,
    "risks": {"ndpi_risk_score": 100, "ndpi_risk_score_client": 90,
              "ndpi_risk_score_server": 10, "risks": [36]},
    "soft_dissector": False,
    "ssl": {"cipher_suite": "0x0000", "client_sni": "www.google.it", "version": "0x0301"},
    "tcp": {"resets": 0, "retrans": 0, "seq_errors": 0},
}

# ndpiReader: "UDP 82.178.113.245:47255 <-> 82.178.158.181:53 [VLAN: 785][proto: 5.142/
# DNS.WhatsApp][cat: Chat/9][1 pkts/91 bytes <-> 1 pkts/219 bytes][Hostname/SNI:
# e7.whatsapp.net]": the query and its answer (tshark: eight A records).
DNS_WHATSAPP = {
    "app_ip_override": False, "app_proto_twins": False,
    "category": {"application": 9, "domain": 0, "local_network": 0, "other_network": 0,
                 "overlay": 0, "protocol": 14},
    "detected_application": 142, "detected_application_name": "korvel.whatsapp",
    "detected_protocol": 5, "detected_protocol_name": "DNS",
    "detection_guessed": False, "detection_packets": 2, "detection_updated": False,
    "digest": "a566131575e77db9", "digest_prev": ["2a6dfc65d4bc96f7", "a566131575e77db9"],
    "first_seen_at": 1484673025972, "last_seen_at": 1484673025976,
    "host_server_name": "e7.whatsapp.net",
    "ip_dscp": 0, "ip_nat": False, "ip_protocol": 17, "ip_version": 4, "vlan_id": 785,
    "local_ip": "82.178.113.245", "local_mac": "d4:94:e8:0e:ad:c1", "local_origin": True,
    "local_port": 47255, "other_ip": "82.178.158.181", "other_mac": "00:00:00:00:00:01",
    "other_port": 53, "other_type": "remote",
    "local_bytes": 91, "local_packets": 1, "local_rate": 91 / 15.0,
    "other_bytes": 219, "other_packets": 1, "other_rate": 219 / 15.0,
    "total_bytes": 310, "total_local_bytes": 91, "total_local_packets": 1,
    "total_other_bytes": 219, "total_other_packets": 1, "total_packets": 2,
    "risks": {"ndpi_risk_score": 0, "ndpi_risk_score_client": 0, "ndpi_risk_score_server": 0},
    "soft_dissector": False,
}

CASES = [("tls_cipher_lens.pcap", 51587, TLS_GOOGLE), ("dns.pcap", 47255, DNS_WHATSAPP)]
# The rates are single-precision floats in the record.
RATE_TOLERANCE = 1e-5


class ApplicationDocuments(unittest.TestCase):
    def test_flows_with_an_application(self):
        captures = os.path.join(ARGS.source, "..", "shared", "captures", "ndpi")
        if not os.path.isdir(captures):
            self.skipTest("%s is absent: nDPI's test captures are not beside the tree" % captures)
        with tempfile.TemporaryDirectory() as scratch:
            config = replay_run.write_config(scratch)
            for (capture, port, expected) in CASES:
                with self.subTest(capture=capture):
                    run = replay_run.replay(ARGS.replay, ["--config", config, "--pcap",
                                                          os.path.join(captures, capture)])
                    self.assertEqual(run.status, 0, run.describe())
                    docs = flow_doc(run, port)
                    self.assertEqual(len(docs), 1, run.describe())
                    got = dict(docs[0])
                    for key in ("local_rate", "other_rate"):
                        self.assertAlmostEqual(got.pop(key), expected[key],
                                               delta=RATE_TOLERANCE)
                    want = {k: v for (k, v) in expected.items()
                            if k not in ("local_rate", "other_rate")}
                    self.assertEqual(got, want)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--replay", required=True)
    parser.add_argument("--source", required=True)
    (ARGS, rest) = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()

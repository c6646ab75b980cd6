#!/usr/bin/python3
"""scripts/compare-ndpi's readers, capture scan, matching and name map on small inline fixtures.

    /usr/bin/python3 tests/conformance/test_compare_ndpi.py [unittest options]
"""

import importlib.machinery
import importlib.util
import json
import os
import struct
import sys
import unittest

sys.dont_write_bytecode = True  # no __pycache__ beside the script in the source tree
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "compare-ndpi")
_LOADER = importlib.machinery.SourceFileLoader("compare_ndpi", SCRIPT)
cn = importlib.util.module_from_spec(importlib.util.spec_from_loader("compare_ndpi", _LOADER))
_LOADER.exec_module(cn)
NAMES = cn.NameMap.from_source(cn.SOURCE_DIR)

# ndpiReader -C rows (the columns after data_ratio cut short): a TLS flow on 443 whose server
# name holds a comma, a DNS flow seen from the server's side, an ICMP flow, a flow that the tool
# splits, and one inside a tunnel.
HEADER = ("#flow_id,protocol,first_seen,last_seen,duration,src_ip,src_port,dst_ip,dst_port,"
          "ndpi_proto_num,ndpi_proto,server_name_sni,c_to_s_pkts,c_to_s_bytes,"
          "c_to_s_goodput_bytes,s_to_c_pkts,s_to_c_bytes,s_to_c_goodput_bytes,data_ratio,"
          "str_data_ratio,c_to_s_goodput_ratio\n")
NDPI_CSV = HEADER + "\n".join([
    "0,6,100.000,101.0,1.0,10.0.0.1,40000,8.8.8.8,443,91.126,TLS.Google,a,b.example,"
    "5,600,100,4,900,200,0.1,Mixed,1.0,h2,http/1.1",
    "1,17,100.500,100.6,0.1,10.0.0.53,53,10.0.0.1,5353,5.142,DNS.WhatsApp,e7.whatsapp.net,"
    "1,90,30,1,200,50,0.0,Download,1.0",
    "2,1,102.000,103.0,1.0,10.0.0.1,0,10.0.0.9,0,81,ICMP,,2,196,0,2,196,0,0.0,Mixed,0.0",
    "3,17,104.000,107.0,3.0,10.0.0.1,5000,10.0.0.2,6000,0,Unknown,,4,400,0,0,0,0,1.0,Upload,0",
    "4,6,105.000,106.0,1.0,fd00::1,1234,fd00::2,80,7,HTTP,inner.example,1,80,0,1,90,0,0.0,"
    "Mixed,0",
    "6,6,107.000,108.0,1.0,10.0.0.1,2222,10.0.0.22,22,92,SSH,SSH-2.0-OpenSSH_5.3,1,80,0,1,90,0,"
    "0.0,Mixed,0",
    "5,17,105.000,106.0,1.0,2600:1900:4160:5999::19::,1,fd00::2,2,0,Unknown,,1,80,0,1,90,0,0.0,"
    "Mixed,0",
]) + "\n"


def doc(kind, digest, prev=None, **members):
    flow = {"digest": digest, "last_seen_at": 0}
    if prev:
        flow["digest_prev"] = prev
    flow.update(members)
    return json.dumps({"sink": "s", "channel": "flows", "flags": 1,
                       "payload": {"type": kind, "interface": "x", "internal": True,
                                   "flow": flow}})


def ident(proto, local, lport, other, oport, first_ms, origin=True):
    return dict(ip_protocol=proto, local_ip=local, local_port=lport, other_ip=other,
                other_port=oport, first_seen_at=first_ms, local_origin=origin)


def totals(lp, op, lb, ob):
    return dict(total_local_packets=lp, total_other_packets=op, total_local_bytes=lb,
                total_other_bytes=ob)


TOOL_JSONL = "\n".join([
    # TLS on 443: HTTP/S; the application named with the vocabulary's tag spelling.
    doc("flow", "d1", **ident(6, "10.0.0.1", 40000, "8.8.8.8", 443, 100000),
        detected_protocol_name="Unknown"),
    doc("flow_dpi_complete", "e1", ["d1", "e1"], **ident(6, "10.0.0.1", 40000, "8.8.8.8", 443,
                                                       100000),
        detected_protocol_name="HTTP/S", detected_application_name="korvel.google",
        host_server_name="a,b.example", **totals(3, 2, 300, 400)),
    doc("flow_purge", "e1", ["d1", "e1"], **totals(5, 4, 600, 900)),
    # DNS: the client is the local side here, the reader's source the server; no application.
    doc("flow_dpi_complete", "d2", None, **ident(17, "10.0.0.1", 5353, "10.0.0.53", 53, 100500),
        detected_protocol_name="DNS", detected_application_name="Unknown",
        host_server_name="e7.whatsapp.net"),
    doc("flow_purge", "d2", None, **totals(1, 1, 201, 90)),
    # ICMP: one packet fewer one way.
    doc("flow_dpi_complete", "d3", None, **ident(1, "10.0.0.9", 0, "10.0.0.1", 0, 102000),
        detected_protocol_name="ICMP", detected_application_name="Unknown"),
    doc("flow_purge", "d3", None, **totals(2, 1, 196, 98)),
    # The UDP flow split in two by the idle time: the same identity twice.
    doc("flow", "d4", None, **ident(17, "10.0.0.1", 5000, "10.0.0.2", 6000, 104000),
        detected_protocol_name="Unknown"),
    doc("flow_purge", "d4", None, **totals(4, 0, 400, 0)),
    doc("flow", "d4", None, **ident(17, "10.0.0.1", 5000, "10.0.0.2", 6000, 180000),
        detected_protocol_name="Unknown"),
    doc("flow_purge", "d4", None, **totals(5, 0, 500, 0)),
    # SSH: the reader's server name column holds the client's agent.
    doc("flow_dpi_complete", "d6", None, **ident(6, "10.0.0.1", 2222, "10.0.0.22", 22, 107000),
        detected_protocol_name="SSH", detected_application_name="Unknown",
        ssh={"client": "SSH-2.0-OpenSSH_5.3", "server": "SSH-2.0-dropbear"}),
    doc("flow_purge", "d6", None, **totals(1, 1, 80, 90)),
    # The 6in4 carrier, which the reader opens.
    doc("flow", "d5", None, **ident(41, "192.0.2.1", 0, "192.0.2.2", 0, 105000),
        detected_protocol_name="IPinIP"),
    doc("flow_purge", "d5", None, **totals(1, 1, 140, 150)),
]) + "\n"


def ipv4(proto, src, dst, payload, offset=0):
    header = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(payload), 0, offset, 64, proto, 0,
                         bytes(map(int, src.split("."))), bytes(map(int, dst.split("."))))
    return header + payload


def ipv6_tcp(src, dst, sport, dport):
    import ipaddress
    tcp = struct.pack(">HHIIBBHHH", sport, dport, 0, 0, 0x50, 2, 0, 0, 0)
    return struct.pack(">IHBB", 0x60000000, len(tcp), 6, 64) + \
        ipaddress.ip_address(src).packed + ipaddress.ip_address(dst).packed + tcp


def pcap(*frames):
    """A pcap file (Ethernet) of the frames' IPv4 packets."""
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)
    for packet in frames:
        frame = b"\x00" * 12 + b"\x08\x00" + packet
        out += struct.pack("<IIII", 105, 0, len(frame), len(frame)) + frame
    return out


# A 6in4 packet, a UDP fragment after the first, a TCP segment with a data offset of 2 words.
CAPTURE = pcap(ipv4(41, "192.0.2.1", "192.0.2.2", ipv6_tcp("fd00::1", "fd00::2", 1234, 80)),
               ipv4(17, "10.0.0.1", "10.0.0.7", b"\x00" * 8, offset=0x0010),
               ipv4(6, "10.0.0.3", "10.0.0.4", struct.pack(">HHIIBBHHH", 88, 99, 0, 0, 0x20, 1,
                                                           0, 0, 0)))


class CsvRows(unittest.TestCase):
    def test_a_row_with_an_address_cut_short_is_left_out_and_named(self):
        errors = []
        self.assertEqual(len(cn.read_ndpi_csv(NDPI_CSV, errors)), 6)
        self.assertEqual(errors, ["'2600:1900:4160:5999::19::' does not appear to be an IPv4 "
                                  "or IPv6 address"])

    def test_a_server_name_with_a_comma_keeps_the_counters_in_place(self):
        flows = cn.read_ndpi_csv(NDPI_CSV)
        got = [(f.key, f.proto_name, f.app_name, f.host, f.packets, f.bytes) for f in flows[:3]]
        self.assertEqual(got, [
            ((6, ("10.0.0.1", 40000), ("8.8.8.8", 443)), "TLS.Google", "Google", "a,b.example",
             (5, 4), (600, 900)),
            ((17, ("10.0.0.1", 5353), ("10.0.0.53", 53)), "DNS.WhatsApp", "WhatsApp",
             "e7.whatsapp.net", (1, 1), (90, 200)),
            ((1, ("10.0.0.1", 0), ("10.0.0.9", 0)), "ICMP", None, "", (2, 2), (196, 196))])


class ToolDocuments(unittest.TestCase):
    def test_names_from_the_last_metadata_totals_from_the_purge_and_splits_kept(self):
        flows = cn.read_tool_output(TOOL_JSONL)
        got = [(f.key[0], f.proto_name, f.app_name, f.packets, f.first_s, f.server_port)
               for f in flows]
        self.assertEqual(got, [(6, "HTTP/S", "korvel.google", (5, 4), 100.0, 443),
                               (17, "DNS", "Unknown", (1, 1), 100.5, 53),
                               (1, "ICMP", "Unknown", (2, 1), 102.0, 0),
                               (17, "Unknown", "Unknown", (4, 0), 104.0, 6000),
                               (17, "Unknown", "Unknown", (5, 0), 180.0, 6000),
                               (6, "SSH", "Unknown", (1, 1), 107.0, 22),
                               (41, "IPinIP", "Unknown", (1, 1), 105.0, 0)])


class Scan(unittest.TestCase):
    def test_tunnel_carrier_inner_flow_later_fragment_and_bad_header(self):
        scan = cn.CaptureScan().scan(CAPTURE)
        self.assertEqual(scan.carriers, {(41, ("192.0.2.1", 0), ("192.0.2.2", 0)): "6in4"})
        self.assertEqual(scan.inner, {(6, ("fd00::1", 1234), ("fd00::2", 80)): "6in4"})
        self.assertEqual(scan.fragments, {(17, "10.0.0.1", "10.0.0.7")})
        self.assertEqual(scan.malformed, {(6, ("10.0.0.3", 88), ("10.0.0.4", 99))})


class Comparison(unittest.TestCase):
    def test_counts(self):
        scan = cn.CaptureScan().scan(CAPTURE)
        got = cn.compare(cn.read_ndpi_csv(NDPI_CSV), cn.read_tool_output(TOOL_JSONL), scan, NAMES)
        expected = {"ndpi_flows": 6, "tool_flows": 7, "matched": 5,
                    "only_ndpi": {"tunnel 6in4": 1},
                    "only_tool": {"split flow (idle times, TCP closes)": 1,
                                  "tunnel carrier 6in4": 1},
                    "protocol_agreement": 5, "application_named": 2,
                    "application_agreement": 1, "application_mismatches": {"WhatsApp / Unknown": 1},
                    "host_named": 3, "host_agreement": 3, "tunnel_flows": 1,
                    "tunnel_flows_missing": 1, "packets_differ": 1, "packets_difference": 1,
                    "bytes_differ": 2, "bytes_difference": 99}
        self.assertEqual({k: got[k] for k in expected}, expected)

    def test_a_refused_capture_costs_every_flow_its_reason(self):
        got = cn.compare(cn.read_ndpi_csv(NDPI_CSV), [], cn.CaptureScan(), NAMES, "link type")
        self.assertEqual(got["only_ndpi"], {"link type": 6})

    def test_goals(self):
        total = cn.new_counts()
        total.update(matched=1000, protocol_agreement=995, application_named=10,
                     application_agreement=9, host_named=0, hangs=1)
        met = {g: r[2] for g, r in cn.goal_results(total).items()}
        self.assertEqual(met, {"crashes": True, "hangs": False, "captures_refused": True,
                               "protocol_agreement": True, "application_agreement": False,
                               "host_agreement": True, "tunnel_flows_missing": True})


class NameMapOfTheSource(unittest.TestCase):
    def test_protocols(self):
        cases = [("FTP_CONTROL", 21, "FTP/C"), ("NetBIOS", 137, "NETBIOS"),
                 ("TLS.Google", 443, "HTTP/S"), ("TLS", 853, "DoT"), ("TLS", 8443, "TLS"),
                 ("Google", 443, "Unknown"), ("DNS.Google", 53, "DNS"),
                 ("PostgreSQL", 5432, "PGSQL"), ("Unknown", 0, "Unknown")]
        self.assertEqual([(n, p, NAMES.protocol(n, p)) for n, p, _ in cases], cases)

    def test_application_spellings(self):
        self.assertEqual(NAMES.application_names("WhatsAppCall"),
                         {"whatsappcall", "whatsapp"})
        self.assertEqual(NAMES.application_names("Google"), {"google"})
        self.assertEqual(NAMES.application_names("NTP"), {"ntp"})


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/python3
"""Writes a korvel-replay scenario, on standard output, that makes the plugin produce every shape
of every document: each flow detail present and absent, privacy masks, lower-maps 0, 1, 2 and 3,
origins, GTP on and off, TCP, UDP and ICMP, every event kind, empty and non-empty risks and tags,
IPv4 and IPv6 and flows without addresses, interfaces with and without addresses, hardware
addresses and capture files, endpoint tables, counters at their largest values, updates with and
without each periodic event, and status with and without the daemon's global configuration.

    /usr/bin/python3 tests/docs/make_scenario.py [FLOWS] > scenario.jsonl

FLOWS (default 240) is the number of generated flows; every value of every dimension below is used
at least once when FLOWS is at least the longest dimension (16).
"""

import json
import sys

U8, U16, U32, U64 = 2**8 - 1, 2**16 - 1, 2**32 - 1, 2**64 - 1

CONFIG = {
    "sinks": {
        # Every type, each format and compression.
        "a-legacy": {
            "http": {"types": ["legacy-http"]},
            "http-mp": {"types": ["legacy-http"], "format": "msgpack", "compressor": "gz"},
            "socket": {"types": ["legacy-socket"]},
            "socket-mp": {"types": ["legacy-socket"], "format": "msgpack", "compressor": "gz"},
        },
        "b-stream": {
            "flows": {"types": ["stream-flows"], "compressor": "gz"},
            "stats": {"types": ["stream-stats"], "format": "msgpack"},
        },
        # One channel taking everything: each flow event twice (legacy-socket, stream-flows).
        "c-all": {
            "all": {"types": ["legacy-http", "legacy-socket", "stream-flows", "stream-stats"]},
        },
    }
}

INTERFACES = [
    # LAN with hardware, IPv4 and IPv6 addresses and endpoints in the first table.
    {"name": "eth0", "role": 1, "capture_type": 2,
     "addrs": ["00:1b:21:3c:4d:5e", "192.168.1.1", "2001:db8:1::1"],
     "endpoints": [{"3c:22:fb:10:20:30": ["192.168.1.23", "2001:db8:1::23"],
                    "b8:27:eb:44:55:66": ["192.168.1.40"],
                    "192.168.1.77": ["192.168.1.77"],
                    "f0:9f:c2:77:88:99": []},
                   {"02:00:00:00:00:09": ["10.9.9.9"]}],
     "endpoint_selector": 1},
    # WAN reading a capture file, IPv4 only, endpoints in the second table.
    {"name": "wan0", "role": 2, "capture_type": 8, "capture_file": "uplink.pcap",
     "addrs": ["00:1b:21:3c:4d:5f", "192.0.2.10"],
     "endpoints": [{"02:00:00:00:00:08": ["10.8.8.8"]},
                   {"2001:db8:ffff::1": ["2001:db8:ffff::1"], "198.51.100.1": ["198.51.100.1"]}],
     "endpoint_selector": 0},
    # No addresses at all: no "addr", mac 00:00:00:00:00:00, no endpoints.
    {"name": "nfq0", "role": 0, "capture_type": 16},
    # Hardware address only: no "addr"; capture types with the low bit set.
    {"name": "tap1", "role": 7, "capture_type": 5, "addrs": ["02:42:ac:11:00:02"]},
    # IPv6 only.
    {"name": "v6only", "role": 1, "capture_type": 17, "addrs": ["fe80::1", "2001:db8:2::1"],
     "capture_file": "v6.pcap"},
    # An unknown capture type; and an interface named like the documents' "type" member.
    {"name": "odd", "role": 2, "capture_type": 32, "addrs": ["10.0.0.1"]},
    {"name": "type", "role": 1, "capture_type": 3, "addrs": ["10.1.0.1"]},
]
FLOW_INTERFACES = ["eth0", "wan0", "nfq0", "tap1", "v6only", "odd", "type"]

ADDRESS_PAIRS = [
    # (ip_version, lower_ip, upper_ip)
    (4, "192.168.1.23:51514", "9.9.9.9:53"),
    (6, "[2001:db8:1::23]:52144", "[2001:db8:ffff::443]:443"),
    (4, "", "203.0.113.5:443"),            # no lower address: one IP key absent
    (6, "[fe80::1]:546", ""),              # no upper address
    (4, "", ""),                           # no address at all
    (6, "[::1]:0", "[::1]:65535"),
]
MAC_PAIRS = [
    ("3c:22:fb:10:20:30", "00:1b:21:3c:4d:5e"),
    ("", ""),                              # unknown: 00:00:00:00:00:00
    ("f0:9f:c2:77:88:99", ""),
]
PROTOCOLS = [
    # (ip_protocol, tcp_closed)
    (6, False), (6, True), (17, False), (17, True), (1, False), (132, False),
]


def details(i):
    """Protocol details, by variant: each detail object alone, empty and full."""
    variants = [
        {},
        {"user_agent": "Wget/1.21.3"},                                  # http user_agent only
        {"http_url": "example.org/x"},                                  # http url only
        {"user_agent": "curl/8.0", "http_url": "example.org/y"},
        {"dhcp_fingerprint": "1,3,6,15"},
        {"dhcp_class_ident": "android-dhcp-14"},
        {"dhcp_fingerprint": "1,3", "dhcp_class_ident": "MSFT 5.0"},
        {"ssh_client_agent": "SSH-2.0-OpenSSH_9.2"},
        {"ssh_server_agent": "SSH-2.0-OpenSSH_8.4"},
        {"ssh_client_agent": "SSH-2.0-a", "ssh_server_agent": "SSH-2.0-b"},
        # TLS by master protocol, with nothing but version and cipher (both 0).
        {"master_protocol": 91},
        # TLS with every member.
        {"master_protocol": 91, "host_server_name": "www.example.org",
         "tls": {"version": 772, "cipher_suite": 4865, "ech_version": 65037,
                 "server_cn": "www.example.org", "issuer_dn": "CN=Issuer",
                 "subject_dn": "CN=www.example.org", "client_ja4": "t13d1516h2_8daaf6152771_e5627",
                 "cert_fingerprint": "4da25a6d5ef62c5f95c7bd0a73ea3c177b36999d",
                 "alpn": ["h2", "http/1.1"], "alpn_server": ["h2"]},
         "has": {"TLSClientSNI": True}},
        # QUIC by detected protocol (set in flow_fields), TLS members partly.
        {"quic": True, "tls": {"version": 65535, "cipher_suite": 1, "alpn": ["h3"]}},
        {"bt_info_hash": "c12fe1c06bba254a9dc9f519b335aa7c1367a88a"},
        {"user_agent": "Linux UPnP/1.0", "has": {"SSDPUserAgent": True, "HttpUserAgent": False}},
        {"mdns_answer": "printer.local"},
        {"stun": {"mapped": "203.0.113.77:54321"}},
        {"stun": {"mapped": "203.0.113.77:1", "peer": "[2001:db8::7]:2", "relayed": "198.51.100.3:3",
                  "response": "198.51.100.4:4", "other": "198.51.100.5:5"}},
        {"dns_host_name": "www.example.org", "host_server_name": "www.example.org"},
        # Every detail at once.
        {"dns_host_name": "a.example", "host_server_name": "b.example", "user_agent": "UA",
         "http_url": "b.example/", "dhcp_fingerprint": "1", "dhcp_class_ident": "c",
         "ssh_client_agent": "s1", "ssh_server_agent": "s2", "master_protocol": 91,
         "tls": {"version": 771, "cipher_suite": 49199, "server_cn": "b.example"},
         "bt_info_hash": "00" * 20, "mdns_answer": "m.local",
         "stun": {"other": "[2001:db8::9]:3478"},
         "has": {"SSDPUserAgent": True, "TLSClientSNI": True}},
        # Detail tests that say yes with empty values: nothing is written.
        {"has": {"HttpUserAgent": True, "HttpURL": True, "DhcpFingerprint": True,
                 "SSHClientAgent": True, "BTInfoHash": True, "MDNSDomainName": True,
                 "SSDPUserAgent": True}},
    ]
    return dict(variants[i % len(variants)])


def pick(options, i, salt):
    return options[(i + 7 * salt) % len(options)]


def flow_fields(i):
    ip_version, lower_ip, upper_ip = pick(ADDRESS_PAIRS, i, 1)
    lower_mac, upper_mac = pick(MAC_PAIRS, i, 2)
    ip_protocol, tcp_closed = pick(PROTOCOLS, i, 3)
    fields = {
        "interface": pick(FLOW_INTERFACES, i, 4),
        "digest": (i * 0x9E3779B97F4A7C15) & U64,
        "first_seen": 1733652000000 + i, "last_seen": 1733652000500 + i,
        "lower_map": pick([0, 1, 2, 3], i, 5),
        "origin": pick([0, 1, 2], i, 6),
        "other_type": pick(list(range(8)), i, 7),
        "privacy_mask": pick(list(range(16)), i, 8),
        "ip_version": ip_version, "ip_protocol": ip_protocol, "tcp_closed": tcp_closed,
        "lower_ip": lower_ip, "upper_ip": upper_ip,
        "ip_dscp": pick([0, 46, U8], i, 9),
        "vlan_id": pick([0, 20, U16], i, 10),
        "ip_nat": i % 2 == 1, "soft_dissector": i % 3 == 1, "app_ip_override": i % 5 == 1,
        "app_proto_twins": i % 7 == 1, "detection_guessed": i % 2 == 0,
        "detection_updated": i % 3 == 0,
        # The daemon's DHC and FHC hit flags; written only while its options are on.
        "dhc_hit": i % 4 < 2, "fhc_hit": i % 4 in (1, 2),
        "category": {"application": pick([0, 5, U32], i, 11), "protocol": i % 20,
                     "domain": pick([0, U32], i, 12), "lower_network": i % 3,
                     "upper_network": i % 4, "overlay": pick([0, U32], i, 13)},
    }
    if lower_mac:
        fields["lower_mac"] = lower_mac
    if upper_mac:
        fields["upper_mac"] = upper_mac
    if i % 6 == 1:
        fields["digest_history"] = [i, i + 1, (i * 0x9E3779B97F4A7C15) & U64]
    names = pick([("", ""), ("HTTP", "Example"), ("TLS", ""), ("", "YouTube")], i, 14)
    fields["detected_protocol"] = pick([0, 7, 91, U32], i, 15)
    fields["detected_protocol_name"] = names[0]
    fields["detected_application"] = pick([0, 126, U32], i, 16)
    fields["detected_application_name"] = names[1]
    detail = details(i)
    if detail.pop("quic", False):
        fields["detected_protocol"] = 188
        fields["detected_protocol_name"] = "QUIC"
    fields.update(detail)
    if fields["detected_protocol"] == 188 and "master_protocol" not in fields:
        fields["master_protocol"] = 188
    risks = pick([[], [2], [2, 48, 15, U32]], i, 17)
    if risks:
        fields["risks"] = risks
    fields["risk_score"] = pick([0, 110, U16], i, 18)
    fields["risk_score_client"] = pick([0, U16], i, 19)
    fields["risk_score_server"] = pick([0, 50], i, 20)
    tags = pick([[], ["web"], ["web", "encrypted", "a"]], i, 21)
    if tags:
        fields["tags"] = tags
    tunnel = pick([0, 0, 1, 1, 1, 2], i, 22)
    fields["tunnel_type"] = tunnel
    if tunnel:
        gtp_ips = pick([("192.0.2.10:2152", "198.51.100.200:2152"), ("", ""),
                        ("[2001:db8::10]:2152", "")], i, 23)
        fields["gtp"] = {"version": pick([1, 2], i, 24), "ip_version": pick([4, 6], i, 25),
                         "ip_dscp": pick([0, U8], i, 26), "lower_map": pick([0, 1, 2, 9], i, 27),
                         "other_type": pick(list(range(8)), i, 28),
                         "lower_teid": pick([0, 305419896, U32], i, 29),
                         "upper_teid": pick([U32, 2596069104], i, 30),
                         "lower_ip": gtp_ips[0], "upper_ip": gtp_ips[1]}
    return fields


def flow_stats(i):
    big = i % 5 == 0
    return {
        "lower_bytes": U64 if big else 74 + i, "upper_bytes": U64 if big else 90,
        "total_bytes": U64 if big else 164 + i,
        "lower_total_bytes": U64 if big else 740, "upper_total_bytes": U64 if big else 900,
        "lower_packets": U32 if big else 1 + i % 3, "upper_packets": U32 if big else i % 2,
        "total_packets": U32 if big else 2, "lower_total_packets": U32 if big else 10,
        "upper_total_packets": U32 if big else 10,
        "detection_packets": U8 if big else i % 9,
        "lower_rate": 0 if i % 3 == 0 else 280.5, "upper_rate": 1e30 if big else 0.1,
        "tcp_seq_errors": U32 if big else i % 2, "tcp_resets": i % 3,
        "tcp_retrans": U32 if big else 0,
    }


PACKET_KEYS = ["raw", "ethernet", "mpls", "pppoe", "vlan", "fragmented", "discarded", "ip", "icmp",
               "igmp", "tcp", "tcp_seq_errors", "tcp_resets", "udp", "ip_bytes", "wire_bytes",
               "discarded_bytes", "queue_dropped", "capture_dropped", "capture_filtered",
               "flow_dropped", "flow_evicted"]


def packet_stats(scale):
    if scale == "max":
        counters = {key: U64 for key in PACKET_KEYS}
        counters["largest_bytes"] = U32
        return counters
    if scale == "zero":
        return {}
    return {key: (n + 1) * scale for n, key in enumerate(PACKET_KEYS)} | {"largest_bytes": 1514}


STATUS_MAX = {"cpu_cores": U32, "uptime": U32, "flow_count": U64, "flow_count_prev": U64,
              "flows_purged": U64, "flows_expiring": U64, "flows_expired": U64,
              "flows_active": U64, "flows_in_use": U64, "flows_probation_expired": U64,
              "flows_evicted": U64, "cpu_user": 1e300, "cpu_user_prev": 0, "cpu_system": 0.5,
              "cpu_system_prev": 0.25, "maxrss_kb": U64, "maxrss_kb_prev": U64, "memrss_kb": U64,
              "memrss_kb_prev": U64, "dhc_status": True, "fhc_status": True}


class Scenario:
    def __init__(self):
        self.lines = []

    def op(self, op_name, **members):
        self.lines.append(json.dumps(dict(op=op_name, **members), separators=(",", ":")))

    def comment(self, text):
        self.lines.append("# " + text)


def periodic(s, interfaces=True, iface_stats=True, global_stats=True, status=None):
    if interfaces:
        s.op("interfaces")
    if iface_stats:
        for n, name in enumerate(FLOW_INTERFACES):
            s.op("interface_stats", name=name,
                 stats=packet_stats(["max", "zero", 3][n % 3]))
    if global_stats:
        s.op("global_stats", stats=packet_stats(global_stats if global_stats is not True else 7))
    if status is not None:
        s.op("status", status=status)


def end_update(s, trigger):
    """Ends the update; the payloads go out after the next batch of flow events (trigger)."""
    s.op("update_end")
    trigger()
    s.op("sync")


def build(flow_count):
    s = Scenario()
    s.comment("Generated by tests/docs/make_scenario.py: every shape of every document.")
    s.op("config", json=CONFIG)
    s.op("global", dhc=False, fhc=False, update_interval=15, update_imf=1)
    for iface in INTERFACES:
        s.op("interface", **iface)
    ids = ["f%d" % i for i in range(flow_count)]
    for i, flow_id in enumerate(ids):
        s.op("flow", id=flow_id, **flow_fields(i))

    s.comment("Update 0: nothing stored yet (legacy members null, stream documents type only).")
    s.op("event", event=6, flow=ids[0])
    end_update(s, lambda: s.op("event", event=6, flow=ids[1]))

    s.comment("New flows and DPI results, a quarter of the flows under each setting of the")
    s.comment("daemon's DHC and FHC options (read when the worker encodes: sync before a change).")
    options = [(False, False), (True, False), (False, True), (True, True)]
    for event in (6, 7, 8):
        for n, (dhc, fhc) in enumerate(options):
            s.op("global", dhc=dhc, fhc=fhc)
            for flow_id in ids[n::len(options)]:
                s.op("event", event=event, flow=flow_id)
            s.op("sync")
    s.comment("Events the plugin ignores.")
    for event in (0, 2, 3, 5, 9, 13, 65535):
        s.op("event", event=event, flow=ids[2])
    s.op("sync")

    s.comment("Update 1: every flow has counters, every periodic event arrives, values at max.")
    for i, flow_id in enumerate(ids):
        s.op("flow", id=flow_id, stats_ready=True, stats=flow_stats(i))
    periodic(s, global_stats="max", status=STATUS_MAX)
    end_update(s, lambda: s.op("walk"))

    s.comment("Update 2: no periodic event at all (legacy members {}, stream documents empty).")
    end_update(s, lambda: s.op("event", event=8, flow=ids[3]))

    s.comment("Update 3: status without the daemon's global configuration: cut after timestamp.")
    s.comment("(The plugin reads the configuration to encode any flow metadata, and a worker that")
    s.comment("meets it missing stops: it is back before the update's flow events.)")
    s.op("global", present=False)
    s.op("status", status={"cpu_cores": 2})
    s.op("global", dhc=False, fhc=False, update_interval=U32, update_imf=U32)
    s.op("interfaces")
    end_update(s, lambda: s.op("walk"))

    s.comment("Update 4: counters of the flows only, options off, largest update settings.")
    s.op("interface_stats", name="eth0", stats=packet_stats("zero"))
    s.op("status", status={})
    end_update(s, lambda: s.op("walk"))

    s.comment("Update 5: a status arriving twice, global counters, changed endpoints.")
    s.op("interface", name="eth0", endpoints=[{}, {"02:00:00:00:00:09": ["10.9.9.9"]}],
         endpoint_selector=0)
    periodic(s, interfaces=True, iface_stats=False, global_stats=True,
             status={"cpu_cores": 1, "uptime": 1})
    s.op("status", status={"cpu_cores": 4, "cpu_user": 0.5, "dhc_status": True})
    end_update(s, lambda: s.op("event", event=7, flow=ids[4]))

    s.comment("Purges: closed and expired, TCP and others.")
    for flow_id in ids:
        s.op("event", event=4, flow=flow_id)
    s.op("sync")
    return "\n".join(s.lines) + "\n"


def main(argv):
    count = int(argv[1]) if len(argv) > 1 else 240
    sys.stdout.write(build(count))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Writes the JSON Schemas (draft 2020-12) of every document libkorvel-proc-core.so.0 hands to the
daemon's sinks, one file per document type, into the directory of this script (or the directory
given as the first argument).

The records below are the one description of the documents' shapes; the *.schema.json files are
made from them and must not be edited by hand. tests/docs checks that the files are up to date.

    /usr/bin/python3 docs/schemas/generate_schemas.py [DIRECTORY]
"""

import copy
import json
import os
import sys

DRAFT = "https://json-schema.org/draft/2020-12/schema"

# Scalar types, by the width the plugin writes them with.
SCALARS = {
    "u8": {"type": "integer", "minimum": 0, "maximum": 255,
           "description": "unsigned integer, 8 bits"},
    "u16": {"type": "integer", "minimum": 0, "maximum": 65535,
            "description": "unsigned integer, 16 bits"},
    "u32": {"type": "integer", "minimum": 0, "maximum": 4294967295,
            "description": "unsigned integer, 32 bits"},
    "u64": {"type": "integer", "minimum": 0, "maximum": 18446744073709551615,
            "description": "unsigned integer, 64 bits"},
    "i64": {"type": "integer", "minimum": -9223372036854775808, "maximum": 9223372036854775807,
            "description": "signed integer, 64 bits"},
    "real": {"type": "number", "description": "floating-point number (a double)"},
    "bool": {"type": "boolean"},
    "string": {"type": "string", "description": "text, possibly empty"},
    "text": {"type": "string", "minLength": 1,
             "description": "text, never empty: an empty value leaves its member out"},
    "hex16": {"type": "string", "pattern": "^0x[0-9a-f]{4}$",
              "description": "16-bit value as 0x and four lower-case hexadecimal digits"},
    "text_list": {"type": "array", "minItems": 1, "items": {"type": "string"},
                  "description": "array of texts, never empty: an empty list leaves its member out"},
}


def ref(name):
    return {"$ref": "#/$defs/" + name}


def member(schema, description, required=True):
    """One member of a record: its schema (a $defs name or a schema), meaning, and whether every
    instance of the record has it."""
    return {"schema": ref(schema) if isinstance(schema, str) else schema,
            "description": description, "required": required}


def record(title, members, **extra):
    """A closed object: exactly the members listed, the required ones always present."""
    schema = {"type": "object", "title": title}
    schema["properties"] = {}
    for key in sorted(members):
        prop = copy.deepcopy(members[key]["schema"])
        prop["description"] = members[key]["description"]
        schema["properties"][key] = prop
    schema["required"] = sorted(k for k, m in members.items() if m["required"])
    schema["additionalProperties"] = False
    schema.update(extra)
    return schema


def one_of_texts(*texts):
    return {"type": "string", "enum": list(texts)}


# ---- Flow records ----------------------------------------------------------------------------

FLOW_IDENTITY = {
    "digest": member("text", "the flow's digest as text: the newest entry of its digest history, or "
                     "its current digest when the history is empty"),
    "digest_prev": member("text_list", "the flow's digest history as texts, oldest first; its last "
                          "element equals \"digest\" (one element when the history is empty)"),
    "last_seen_at": member("u64", "time the flow was last seen, in the daemon's timestamp unit"),
}

OTHER_TYPES = ("unknown", "unsupported", "local", "multicast", "broadcast", "remote", "error")

FLOW_METADATA = {
    "ip_nat": member("bool", "the daemon found the flow behind NAT"),
    "dhc_hit": member("bool", "the flow's detection came from the daemon's DHC cache; present only "
                      "when the daemon's DHC option is on", required=False),
    "fhc_hit": member("bool", "the flow came from the daemon's FHC cache; present only when the "
                      "daemon's FHC option is on", required=False),
    "soft_dissector": member("bool", "detected by a soft dissector"),
    "app_ip_override": member("bool", "the application was set from the address"),
    "app_proto_twins": member("bool", "application and protocol are twins"),
    "ip_version": member("u8", "IP version, 4 or 6"),
    "ip_dscp": member("u8", "DSCP value"),
    "ip_protocol": member("u8", "IP protocol number (6 TCP, 17 UDP)"),
    "vlan_id": member("u16", "VLAN identifier, 0 when untagged"),
    "other_type": member(one_of_texts(*OTHER_TYPES), "what the other endpoint is"),
    "local_origin": member("bool", "the local endpoint started the flow"),
    "local_mac": member("text", "hardware address of the local endpoint; 00:00:00:00:00:00 when "
                        "unknown, a fixed placeholder when masked for privacy"),
    "other_mac": member("text", "hardware address of the other endpoint; 00:00:00:00:00:00 when "
                        "unknown, a fixed placeholder when masked for privacy"),
    "local_ip": member("text", "IP address of the local endpoint, without port; a fixed placeholder "
                       "when masked for privacy; absent when the flow has no address", False),
    "other_ip": member("text", "IP address of the other endpoint, without port; a fixed placeholder "
                       "when masked for privacy; absent when the flow has no address", False),
    "local_port": member("u16", "port of the local endpoint (never masked)"),
    "other_port": member("u16", "port of the other endpoint (never masked)"),
    "detected_protocol": member("u32", "protocol identifier found by detection"),
    "detected_protocol_name": member("text", "protocol name; \"Unknown\" when none"),
    "detected_application": member("u32", "application identifier found by detection"),
    "detected_application_name": member("text", "application name; \"Unknown\" when none"),
    "detection_guessed": member("bool", "the detection was guessed"),
    "detection_updated": member("bool", "the detection was updated after it completed"),
    "category": member("category", "category identifiers"),
    "dns_host_name": member("text", "host name learned from DNS", False),
    "host_server_name": member("text", "server name (also the TLS server name indication)", False),
    "http": member("http", "HTTP details; absent when the flow has none", False),
    "dhcp": member("dhcp", "DHCP details; absent when the flow has none", False),
    "ssh": member("ssh", "SSH details; absent when the flow has none", False),
    "ssl": member("ssl", "TLS details; present exactly for TLS flows (master protocol TLS) and QUIC "
                  "flows (detected protocol 188)", False),
    "bt": member("bt", "BitTorrent details; absent when the flow has none", False),
    "ssdp": member("ssdp", "SSDP details; absent when the flow has none", False),
    "mdns": member("mdns", "mDNS details; absent when the flow has none", False),
    "stun": member("stun", "addresses learned from STUN; absent when the flow has none", False),
    "first_seen_at": member("u64", "time the flow was first seen, in the daemon's timestamp unit"),
    "risks": member("risks", "risk assessment of the detection"),
    "tags": member({"type": "array", "minItems": 1, "uniqueItems": True,
                    "items": {"type": "string"}},
                   "the flow's tags in ascending byte order; absent when it has none", False),
}

FLOW_TUNNELS = {
    "gtp": member("gtp", "the GTP tunnel that carries the flow; absent for flows outside a tunnel",
                  False),
}

FLOW_COUNTERS = {
    "local_bytes": member("u64", "bytes from the local endpoint in the last period"),
    "other_bytes": member("u64", "bytes from the other endpoint in the last period"),
    "total_local_bytes": member("u64", "bytes from the local endpoint since the flow began"),
    "total_other_bytes": member("u64", "bytes from the other endpoint since the flow began"),
    "local_packets": member("u32", "packets from the local endpoint in the last period"),
    "other_packets": member("u32", "packets from the other endpoint in the last period"),
    "total_local_packets": member("u32", "packets from the local endpoint since the flow began"),
    "total_other_packets": member("u32", "packets from the other endpoint since the flow began"),
    "total_packets": member("u32", "packets of the flow, both directions"),
    "total_bytes": member("u64", "bytes of the flow, both directions"),
    "detection_packets": member("u8", "packets the detection needed"),
    "local_rate": member("real", "rate of the local endpoint, as the daemon measures it"),
    "other_rate": member("real", "rate of the other endpoint, as the daemon measures it"),
    "tcp": member("tcp", "TCP counters; present exactly for TCP flows (IP protocol 6)", False),
}

FLOW_PARTS = {
    "category": record("Category identifiers", {
        "application": member("u32", "application category"),
        "protocol": member("u32", "protocol category"),
        "domain": member("u32", "domain category"),
        "local_network": member("u32", "network category of the local endpoint"),
        "other_network": member("u32", "network category of the other endpoint"),
        "overlay": member("u32", "overlay category"),
    }),
    "http": record("HTTP details", {
        "user_agent": member("text", "the user agent", False),
        "url": member("text", "the URL", False),
    }, minProperties=1),
    "dhcp": record("DHCP details", {
        "fingerprint": member("text", "the DHCP fingerprint", False),
        "class_ident": member("text", "the DHCP class identifier", False),
    }, minProperties=1),
    "ssh": record("SSH details", {
        "client": member("text", "the client's agent", False),
        "server": member("text", "the server's agent", False),
    }, minProperties=1),
    "ssl": record("TLS details", {
        "version": member("hex16", "TLS version, 0x0000 when unknown"),
        "cipher_suite": member("hex16", "cipher suite, 0x0000 when unknown"),
        "client_sni": member("text", "server name indication of the client", False),
        "encrypted_ch_version": member("hex16", "encrypted client hello version", False),
        "server_cn": member("text", "common name of the server certificate", False),
        "issuer_dn": member("text", "issuer DN of the server certificate", False),
        "subject_dn": member("text", "subject DN of the server certificate", False),
        "client_ja4": member("text", "JA4 fingerprint of the client", False),
        "fingerprint": member("text", "SHA-1 fingerprint of the server certificate", False),
        "alpn": member("text_list", "ALPN list of the client, in stored order", False),
        "alpn_server": member("text_list", "ALPN list of the server, in stored order", False),
    }),
    "bt": record("BitTorrent details", {
        "info_hash": member("text", "SHA-1 info hash"),
    }),
    "ssdp": record("SSDP details", {
        "user_agent": member("text", "the user agent"),
    }),
    "mdns": record("mDNS details", {
        "answer": member("text", "the mDNS answer"),
    }),
    "stun": record("STUN addresses", {
        name: member("text", "the " + name + " address with its port", False)
        for name in ("mapped", "peer", "relayed", "response", "other")
    }, minProperties=1),
    "risks": record("Risk assessment", {
        "risks": member({"type": "array", "minItems": 1, "uniqueItems": True,
                         "items": ref("u32")},
                        "risk identifiers, ascending; absent when the flow has none", False),
        "ndpi_risk_score": member("u16", "risk score"),
        "ndpi_risk_score_client": member("u16", "risk score of the client side"),
        "ndpi_risk_score_server": member("u16", "risk score of the server side"),
    }),
    "gtp": record("GTP tunnel", {
        "version": member("u8", "GTP version"),
        "ip_version": member("u8", "IP version inside the tunnel"),
        "ip_dscp": member("u8", "DSCP value inside the tunnel"),
        "local_ip": member("text", "address of the local tunnel endpoint; absent when unknown",
                           False),
        "other_ip": member("text", "address of the other tunnel endpoint; absent when unknown",
                           False),
        "local_port": member("u16", "port of the local tunnel endpoint"),
        "other_port": member("u16", "port of the other tunnel endpoint"),
        "local_teid": member("u32", "tunnel endpoint identifier of the local side"),
        "other_teid": member("u32", "tunnel endpoint identifier of the other side"),
        "other_type": member(one_of_texts("local", "remote", "error", "unsupported"),
                             "what the other tunnel endpoint is"),
    }),
    "tcp": record("TCP counters", {
        "seq_errors": member("u32", "sequence errors"),
        "resets": member("u32", "resets"),
        "retrans": member("u32", "retransmissions"),
    }),
}

# The "tcp" counters belong to TCP flows and "ssl" to QUIC flows; visible when the flow carries
# both its metadata and its counters (for "ssl": its metadata).
TCP_RULE = {
    "if": {"required": ["ip_protocol"], "properties": {"ip_protocol": {"const": 6}}},
    "then": {"required": ["tcp"]},
    "else": {"not": {"required": ["tcp"]}},
}
QUIC_RULE = {
    "if": {"required": ["detected_protocol"], "properties": {"detected_protocol": {"const": 188}}},
    "then": {"required": ["ssl"]},
}


def flow_record(title, *sections, rules=()):
    members = {}
    for section in sections:
        members.update(section)
    extra = {}
    if rules:
        extra["allOf"] = [copy.deepcopy(rule) for rule in rules]
    return record(title, members, **extra)


FLOW_RECORDS = {
    # Flags 3: identity, metadata, tunnel.
    "flow_new": flow_record("Flow: identity, metadata and tunnel", FLOW_IDENTITY, FLOW_METADATA,
                            FLOW_TUNNELS, rules=[QUIC_RULE]),
    # Flags 7: everything.
    "flow_full": flow_record("Flow: identity, metadata, tunnel and counters", FLOW_IDENTITY,
                             FLOW_METADATA, FLOW_TUNNELS, FLOW_COUNTERS,
                             rules=[QUIC_RULE, TCP_RULE]),
    # Flags 4: identity and counters.
    "flow_counters": flow_record("Flow: identity and counters", FLOW_IDENTITY, FLOW_COUNTERS),
}

# ---- Interfaces, counters, status --------------------------------------------------------------

INTERFACE = record("Interface", {
    "role": member(one_of_texts("LAN", "WAN", "UNKNOWN"), "the interface's role"),
    "capture_type": member(one_of_texts("PCAP", "TPv3", "NFQ", "UNKNOWN"), "how it captures"),
    "capture_file": member("text", "the capture file it reads; absent when none", False),
    "mac": member("text", "its first hardware address; 00:00:00:00:00:00 when it has none"),
    "addr": member("text_list", "its IPv4 and IPv6 addresses; absent when it has none", False),
})

ENDPOINT_ADDRESSES = {"type": "array", "minItems": 1, "items": {"type": "string"},
                      "description": "the addresses recorded for the endpoint"}

PACKET_COUNTER_KEYS = {
    "raw": "packets captured",
    "ethernet": "Ethernet frames",
    "mpls": "MPLS packets",
    "pppoe": "PPPoE packets",
    "vlan": "VLAN-tagged packets",
    "fragmented": "fragmented packets",
    "discarded": "discarded packets",
    "discarded_bytes": "bytes of discarded packets",
    "ip": "IP packets",
    "tcp": "TCP packets",
    "tcp_seq_errors": "TCP sequence errors",
    "tcp_resets": "TCP resets",
    "udp": "UDP packets",
    "icmp": "ICMP packets",
    "igmp": "IGMP packets",
    "ip_bytes": "IP bytes",
    "wire_bytes": "bytes on the wire",
    "flow_dropped": "flows dropped",
    "flow_evicted": "flows evicted",
    "queue_dropped": "packets dropped by the capture queue",
    "capture_dropped": "packets dropped by the capture",
    "capture_filtered": "packets filtered out by the capture",
}
PACKET_COUNTERS = {key: member("u64", text) for key, text in PACKET_COUNTER_KEYS.items()}
PACKET_COUNTERS["largest_bytes"] = member("u32", "size of the largest packet, in bytes")

STATUS = {
    "timestamp": member("i64", "time of the status, seconds since the epoch"),
    "update_interval": member("u32", "the daemon's update interval"),
    "update_imf": member("u32", "the daemon's update setting stored before the interval"),
    "uptime": member("u32", "uptime of the agent"),
    "cpu_cores": member("u32", "processor cores"),
    "cpu_user": member("real", "user processor time"),
    "cpu_user_prev": member("real", "user processor time at the previous update"),
    "cpu_system": member("real", "system processor time"),
    "cpu_system_prev": member("real", "system processor time at the previous update"),
    "flow_count": member("u64", "flows in the flow table"),
    "flow_count_prev": member("u64", "flows in the flow table at the previous update"),
    "flows_purged": member("u64", "flows purged"),
    "flows_expiring": member("u64", "flows expiring"),
    "flows_expired": member("u64", "flows expired"),
    "flows_active": member("u64", "flows active"),
    "flows_in_use": member("u64", "flow records in use"),
    "flows_probation_expired": member("u64", "flows expired while on probation"),
    "flows_evicted": member("u64", "flows evicted"),
    "maxrss_kb": member("u64", "largest resident set size, in kilobytes"),
    "maxrss_kb_prev": member("u64", "the same at the previous update"),
    "memrss_kb": member("u64", "current resident set size, in kilobytes"),
    "memrss_kb_prev": member("u64", "the same at the previous update"),
    "dhc_status": member("bool", "status flag of the daemon's DHC cache"),
    "fhc_status": member("bool", "status flag of the daemon's FHC cache"),
}
STATUS_ORDER = ["timestamp", "update_interval", "update_imf", "uptime", "cpu_cores", "cpu_user",
                "cpu_user_prev", "cpu_system", "cpu_system_prev", "flow_count", "flow_count_prev",
                "flows_purged", "flows_expiring", "flows_expired", "flows_active", "flows_in_use",
                "flows_probation_expired", "flows_evicted", "maxrss_kb", "maxrss_kb_prev",
                "memrss_kb", "memrss_kb_prev", "dhc_status", "fhc_status"]
assert sorted(STATUS_ORDER) == sorted(STATUS)


def status_members():
    """The status members, optional one by one: the status is absent in an update without a status
    event, and stops after "timestamp" (or "update_interval") when the daemon's global
    configuration is missing. status_shape() says which combinations occur."""
    return {key: dict(m, required=False) for key, m in STATUS.items()}


def status_shape():
    """All 24 members, none, or a first part cut short after "timestamp" or "update_interval"."""
    rest = STATUS_ORDER[3:]
    rules = {"update_interval": ["timestamp"], "update_imf": sorted(STATUS_ORDER[:2] + rest)}
    for key in rest:
        rules[key] = ["update_imf"]
    return {"dependentRequired": rules}


DOC_TYPE = "the document type"


def type_member(name):
    return member({"const": name}, DOC_TYPE)


def nullable(schema):
    return {"anyOf": [{"type": "null"}, schema]}


def map_of(value_schema, description, **extra):
    schema = {"type": "object", "description": description,
              "additionalProperties": value_schema}
    schema.update(extra)
    return schema


# ---- Documents ------------------------------------------------------------------------------

FLOW_EVENTS = {
    "flow": ("New flow", "flow_new"),
    "flow_dpi_update": ("DPI result updated", "flow_full"),
    "flow_dpi_complete": ("DPI complete", "flow_full"),
    "flow_purge": ("Flow purged", "flow_counters"),
    "flow_stats": ("Flow counters of an update", "flow_counters"),
}


def flow_event(name):
    title, record_name = FLOW_EVENTS[name]
    members = {
        "type": type_member(name),
        "interface": member("string", "name of the flow's capture interface"),
        "internal": member("bool", "the interface is the local (LAN) side"),
        "flow": member(record_name, "the flow"),
    }
    extra = {}
    if name == "flow_purge":
        members["reason"] = member(one_of_texts("closed", "expired"),
                                   "\"closed\" for a TCP flow the daemon saw closed, otherwise "
                                   "\"expired\"")
        # A closed flow is a TCP flow, and a TCP flow's counters carry "tcp".
        extra["if"] = {"properties": {"reason": {"const": "closed"}}}
        extra["then"] = {"properties": {"flow": {"required": ["tcp"]}}}
    schema = record(title, members, **extra)
    schema["description"] = ("The \"" + name + "\" flow-event document, sent to legacy-socket and "
                             "stream-flows channels.")
    return schema


def agent_hello():
    schema = record("Agent hello", {
        "type": type_member("agent_hello"),
        "agent_version": member("string", "the daemon's version"),
        "build_version": member("string", "the daemon's version with its feature list"),
        "json_version": member({"const": 1.9}, "version of the document format, 1.9"),
    })
    schema["description"] = "Sent once per update to legacy-socket channels, before \"agent_status\"."
    return schema


def agent_status():
    stream = record("Agent status (stream-stats channels)", dict(
        status_members(),
        type=type_member("agent_status"),
        agent_version=member("string", "the daemon's version"),
        build_version=member("string", "the daemon's version with its feature list"),
    ), **status_shape())
    legacy = record("Agent status (legacy-socket channels)", dict(
        status_members(),
        type=type_member("agent_status"),
    ), **status_shape())
    return {
        "title": "Agent status",
        "description": "Sent once per update: to stream-stats channels with the version members, "
                       "to legacy-socket channels (flags with 0x08) without them.",
        "oneOf": [ref("stream_stats"), ref("legacy_socket")],
        "$defs": {"stream_stats": stream, "legacy_socket": legacy},
    }


def interfaces():
    schema = map_of(ref("interface"), "interface name to the interface",
                    properties={"type": {"const": "interfaces", "description": DOC_TYPE}},
                    required=["type"])
    schema["title"] = "Interfaces"
    return schema


def endpoints():
    schema = map_of(ref("endpoint_addresses"), "endpoint address to the addresses recorded for it",
                    properties={"type": {"const": "endpoints", "description": DOC_TYPE}},
                    required=["type"])
    schema["title"] = "Endpoints"
    return schema


def interface_stats():
    schema = map_of(ref("packet_counters"), "interface name to its packet counters",
                    properties={"type": {"const": "interface_stats", "description": DOC_TYPE}},
                    required=["type"])
    schema["title"] = "Interface packet counters"
    return schema


def global_stats():
    members = {key: dict(m, required=False) for key, m in PACKET_COUNTERS.items()}
    members["type"] = type_member("global_stats")
    keys = sorted(PACKET_COUNTERS)
    # All counters, or none in an update without a global statistics event.
    rules = {keys[0]: keys[1:]}
    for key in keys[1:]:
        rules[key] = [keys[0]]
    schema = record("Global packet counters", members, dependentRequired=rules)
    return schema


def legacy():
    members = status_members()
    members.update({
        "version": member({"const": 1.9}, "version of the document format, 1.9"),
        "flows": member(map_of({"type": "array", "minItems": 1, "items": ref("flow_full")},
                               "interface name to its flows", minProperties=1),
                        "the flows with counters in the update, by interface; absent when none",
                        False),
        "interfaces": member(nullable(map_of(ref("interface"), "interface name to the interface")),
                             "the interfaces; null before the first interface event, {} in an "
                             "update without one"),
        "devices": member(nullable(map_of(ref("endpoint_addresses"),
                                          "endpoint address to the addresses recorded for it")),
                          "the endpoints; null before the first interface event, {} in an update "
                          "without one"),
        "stats": member(nullable(map_of(ref("packet_counters"),
                                        "interface name to its packet counters")),
                        "the interfaces' packet counters; null before the first such event, {} in "
                        "an update without one"),
    })
    schema = record("Legacy document", members, **status_shape())
    schema["description"] = ("Sent once per update to legacy-http channels; the only document "
                             "without a \"type\" member.")
    return schema


DEFS = dict(SCALARS)
DEFS.update(FLOW_PARTS)
DEFS.update(FLOW_RECORDS)
DEFS["interface"] = INTERFACE
DEFS["endpoint_addresses"] = ENDPOINT_ADDRESSES
DEFS["packet_counters"] = record("Packet counters", PACKET_COUNTERS)

DOCUMENTS = {
    "flow": lambda: flow_event("flow"),
    "flow_dpi_update": lambda: flow_event("flow_dpi_update"),
    "flow_dpi_complete": lambda: flow_event("flow_dpi_complete"),
    "flow_purge": lambda: flow_event("flow_purge"),
    "flow_stats": lambda: flow_event("flow_stats"),
    "agent_hello": agent_hello,
    "agent_status": agent_status,
    "interfaces": interfaces,
    "endpoints": endpoints,
    "interface_stats": interface_stats,
    "global_stats": global_stats,
    "legacy": legacy,
}


def refs_in(value, found):
    if isinstance(value, dict):
        target = value.get("$ref", "")
        if target.startswith("#/$defs/"):
            found.add(target[len("#/$defs/"):])
        for item in value.values():
            refs_in(item, found)
    elif isinstance(value, list):
        for item in value:
            refs_in(item, found)
    return found


def build(name):
    """The complete schema of one document type, with the $defs it uses."""
    body = DOCUMENTS[name]()
    schema = {"$schema": DRAFT}
    schema.update(body)
    defs = dict(schema.pop("$defs", {}))
    pending = refs_in(schema, set()) | refs_in(defs, set())
    while pending:
        name_ = pending.pop()
        if name_ in defs:
            continue
        defs[name_] = copy.deepcopy(DEFS[name_])
        pending |= refs_in(defs[name_], set()) - set(defs)
    schema["$defs"] = {key: defs[key] for key in sorted(defs)}
    return schema


def render(name):
    return json.dumps(build(name), indent=2, ensure_ascii=False) + "\n"


def main(argv):
    out_dir = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name in DOCUMENTS:
        with open(os.path.join(out_dir, name + ".schema.json"), "w", encoding="utf-8") as out:
            out.write(render(name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

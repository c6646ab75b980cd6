"""What tshark's dissectors find inside each conversation of a capture: the TLS client hello's
server name and ALPN list, the server hello's version and cipher suite, the server certificate's
names and digest, the HTTP request's host, user agent and URI, DNS questions and A/AAAA answers,
DHCP options. Read from tshark's PDML, so nothing here parses a protocol itself.
"""

import hashlib
import ipaddress
import re
import subprocess
import xml.etree.ElementTree as ElementTree

TCP, UDP = 6, 17
CLIENT_HELLO, SERVER_HELLO, CERTIFICATE = 1, 2, 11
# The attribute names of the distinguished names, in the short form a DN text uses.
DN_LABELS = {"id-at-commonName": "CN", "id-at-countryName": "C", "id-at-localityName": "L",
             "id-at-stateOrProvinceName": "ST", "id-at-organizationName": "O",
             "id-at-organizationalUnitName": "OU"}
IPV6_EXTENSIONS = {"ipv6.hopopts", "ipv6.routing", "ipv6.dstopts", "ipv6.fraghdr"}
RDN_ITEM = re.compile(r"^RDNSequence item: \d+ items? \((.*)\)$")


class Found:
    """One conversation's findings; each detail is what its first message carried."""

    def __init__(self, key):
        self.key = key
        self.first_time = None
        self.last_time = None
        self.client = None            # (address, port) of the first packet's sender
        self.sni = None
        self.client_alpn = None       # list of texts
        self.tls_version = None       # number
        self.cipher_suite = None      # number
        self.certificate = None       # {"sha1", "issuer", "subject", "subject_cn"}
        self.http_host = None
        self.http_user_agent = None
        self.http_uri = None
        self.dns_queries = []         # names asked, in order
        self.dns_answers = []         # (time, name, [addresses]) of responses with A/AAAA
        self.dhcp_request_list = None  # list of option numbers
        self.dhcp_class_ident = None
        self.dhcp_host_name = None
        self.tls = False

    @property
    def server(self):
        others = [end for end in self.key[2] if end != self.client]
        return others[0] if others else self.client


def fields(element, name):
    return [f for f in element.iter("field") if f.get("name") == name]


def has_protocol(packet, name):
    return any(p.get("name") == name for p in packet.iter("proto"))


def first_show(element, name):
    found = fields(element, name)
    return found[0].get("show") if found else None


def distinguished_name(element):
    """The DN of an issuer or subject element as "C=DE, O=..., CN=...": its attributes in the
    order the certificate holds them."""
    parts = []
    for item in fields(element, "x509if.RDNSequence_item"):
        match = RDN_ITEM.match(item.get("showname", ""))
        if not match:
            continue
        attribute, _, value = match.group(1).partition("=")
        if attribute in DN_LABELS:
            parts.append((DN_LABELS[attribute], value))
    return parts


def certificate_of(handshake):
    certificates = fields(handshake, "tls.handshake.certificate")
    if not certificates:
        return None
    certificate = certificates[0]
    issuer = fields(certificate, "x509af.issuer")
    subject = fields(certificate, "x509af.subject")
    issuer_parts = distinguished_name(issuer[0]) if issuer else []
    subject_parts = distinguished_name(subject[0]) if subject else []
    common_names = [value for label, value in subject_parts if label == "CN"]
    return {"sha1": hashlib.sha1(bytes.fromhex(certificate.get("value"))).hexdigest(),
            "issuer": ", ".join("%s=%s" % part for part in issuer_parts),
            "subject": ", ".join("%s=%s" % part for part in subject_parts),
            "subject_cn": common_names[0] if common_names else None}


def endpoints(packet):
    """The packet's flow identity from its outermost IP header and the transport header right
    after it; None for anything else (an ICMP error quotes an IP and UDP header of its own)."""
    layers = (first_show(packet, "frame.protocols") or "").split(":")
    ip_layer = next((i for i, name in enumerate(layers) if name in ("ip", "ipv6")), None)
    if ip_layer is None:
        return None
    after = [name for name in layers[ip_layer + 1:] if name not in IPV6_EXTENSIONS]
    if not after or after[0] not in ("tcp", "udp"):
        return None
    version = 4 if layers[ip_layer] == "ip" else 6
    prefix = "ip" if version == 4 else "ipv6"
    src, dst = first_show(packet, prefix + ".src"), first_show(packet, prefix + ".dst")
    if src is None or dst is None:
        return None
    for protocol, name in ((TCP, "tcp"), (UDP, "udp")):
        sport, dport = first_show(packet, name + ".srcport"), first_show(packet, name + ".dstport")
        if sport is not None and dport is not None:
            return (version, protocol, (ipaddress.ip_address(src), int(sport)),
                    (ipaddress.ip_address(dst), int(dport)))
    return None


def read(path, decode_as=()):
    """The findings of every TCP and UDP conversation, keyed like the flow identity (IP
    version, protocol, frozenset of both endpoints), in the order of their first packets."""
    # L2TP stays one UDP flow, as the tracker keys it (it does not take L2TP apart).
    command = ["tshark", "-r", path, "-n", "--disable-protocol", "l2tp", "-T", "pdml",
               "-o", "tcp.desegment_tcp_streams:TRUE",
               "-o", "tls.desegment_ssl_records:TRUE"]
    for rule in decode_as:
        command += ["-d", rule]
    result = subprocess.run(command, capture_output=True, check=False)
    found = {}
    for packet in ElementTree.fromstring(result.stdout).iter("packet"):
        ends = endpoints(packet)
        if ends is None:
            continue
        version, protocol, source, destination = ends
        key = (version, protocol, frozenset((source, destination)))
        entry = found.get(key)
        time = float(first_show(packet, "frame.time_epoch"))
        if entry is None:
            entry = found[key] = Found(key)
            entry.client = source
            entry.first_time = time
        entry.last_time = time
        read_tls(packet, entry)
        read_http(packet, entry)
        read_dns(packet, entry, time)
        read_dhcp(packet, entry)
    return list(found.values())


def read_tls(packet, entry):
    if has_protocol(packet, "tls"):
        entry.tls = True
    for handshake in fields(packet, "tls.handshake"):
        kind = first_show(handshake, "tls.handshake.type")
        if kind is None:
            continue
        kind = int(kind)
        if kind == CLIENT_HELLO and entry.sni is None and entry.client_alpn is None:
            entry.sni = first_show(handshake, "tls.handshake.extensions_server_name")
            alpn = [f.get("show") for f in fields(handshake, "tls.handshake.extensions_alpn_str")]
            entry.client_alpn = alpn
        elif kind == SERVER_HELLO and entry.cipher_suite is None:
            entry.cipher_suite = int(first_show(handshake, "tls.handshake.ciphersuite"), 16)
            supported = first_show(handshake, "tls.handshake.extensions.supported_version")
            entry.tls_version = int(supported or first_show(handshake, "tls.handshake.version"),
                                    16)
        elif kind == CERTIFICATE and entry.certificate is None:
            entry.certificate = certificate_of(handshake)


def read_http(packet, entry):
    if entry.http_uri is not None or not fields(packet, "http.request.uri"):
        return
    entry.http_uri = first_show(packet, "http.request.uri")
    entry.http_host = first_show(packet, "http.host")
    entry.http_user_agent = first_show(packet, "http.user_agent")


def read_dns(packet, entry, time):
    if not has_protocol(packet, "dns"):
        return
    name = first_show(packet, "dns.qry.name")
    if first_show(packet, "dns.flags.response") != "1":
        if name is not None:
            entry.dns_queries.append(name)
        return
    addresses = [ipaddress.ip_address(f.get("show"))
                 for f in fields(packet, "dns.a") + fields(packet, "dns.aaaa")]
    if addresses:
        entry.dns_answers.append((time, name, addresses))


def read_dhcp(packet, entry):
    if not has_protocol(packet, "dhcp") or entry.dhcp_request_list is not None:
        return
    items = [int(f.get("show")) for f in fields(packet, "dhcp.option.request_list_item")]
    if items:
        entry.dhcp_request_list = items
    entry.dhcp_class_ident = first_show(packet, "dhcp.option.vendor_class_id")
    entry.dhcp_host_name = first_show(packet, "dhcp.option.hostname")

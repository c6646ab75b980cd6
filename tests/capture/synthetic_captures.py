"""Captures written offline with scapy (nothing is sent) for what the real ones lack: 802.1Q and
802.1ad tags, DSCP, IPv6 extension headers, resets, Linux cooked v1, raw IP, PPP, Cisco HDLC, PPI
and radiotap link types, IP-in-IP, GRE, VXLAN and CAPWAP tunnels, and frames a tracker must
skip, also alone in a capture. tshark decodes them for the checks like any
other capture."""

import logging
import os

# scapy warns when one file mixes IPv4 and IPv6 layers under the raw IP link type; they are meant.
logging.getLogger("scapy.runtime").setLevel(logging.ERROR)

import struct  # noqa: E402

from scapy.all import (ARP, GRE, LLC, SNAP, VXLAN, CookedLinux, Dot11, Dot11Beacon, Dot11QoS,
                       Dot1AD, Dot1Q, Ether, ICMP, ICMPv6EchoReply, ICMPv6EchoRequest, IP, IPv6,
                       IPv6ExtHdrDestOpt, IPv6ExtHdrHopByHop, RadioTap, Raw, TCP, UDP,
                       wrpcap)  # noqa: E402

A_MAC, B_MAC = "02:00:00:00:00:0a", "02:00:00:00:00:0b"
T0 = 1733652000.0
LINKTYPE_LINUX_SLL = 113
LINKTYPE_RAW = 101
LINKTYPE_PPP, LINKTYPE_C_HDLC, LINKTYPE_PPI = 9, 104, 192


def tcp_session(a, b, sport, dport, close="fin", payload=b"hello"):
    """A TCP connection from a to b as IP layers: handshake, data both ways, then FIN both
    ways, a RST, or nothing."""
    seq_a, seq_b = 1000, 5000
    packets = [
        (a, b, TCP(sport=sport, dport=dport, flags="S", seq=seq_a)),
        (b, a, TCP(sport=dport, dport=sport, flags="SA", seq=seq_b, ack=seq_a + 1)),
        (a, b, TCP(sport=sport, dport=dport, flags="A", seq=seq_a + 1, ack=seq_b + 1)),
        (a, b, TCP(sport=sport, dport=dport, flags="PA", seq=seq_a + 1, ack=seq_b + 1) /
         Raw(payload)),
        (b, a, TCP(sport=dport, dport=sport, flags="PA", seq=seq_b + 1,
                   ack=seq_a + 1 + len(payload)) / Raw(payload * 3)),
    ]
    end_a, end_b = seq_a + 1 + len(payload), seq_b + 1 + 3 * len(payload)
    if close == "fin":
        packets += [
            (a, b, TCP(sport=sport, dport=dport, flags="FA", seq=end_a, ack=end_b)),
            (b, a, TCP(sport=dport, dport=sport, flags="FA", seq=end_b, ack=end_a + 1)),
            (a, b, TCP(sport=sport, dport=dport, flags="A", seq=end_a + 1, ack=end_b + 1)),
        ]
    elif close == "rst":
        packets += [(b, a, TCP(sport=dport, dport=sport, flags="R", seq=end_b))]
    return packets


def ethernet_frames():
    frames = []

    def add(layers, *ip_args, **ip_kwargs):
        frames.append(layers / IP(*ip_args, **ip_kwargs) if ip_args or ip_kwargs else layers)

    def eth(src_is_a):
        return Ether(src=A_MAC if src_is_a else B_MAC, dst=B_MAC if src_is_a else A_MAC)

    a4, b4 = "192.168.7.10", "198.51.100.20"
    # UDP on VLAN 100 with DSCP EF (46) on the first packet, CS1 (8) on the answer.
    frames.append(eth(True) / Dot1Q(vlan=100) / IP(src=a4, dst=b4, tos=46 << 2) /
                  UDP(sport=40000, dport=53) / Raw(b"q" * 30))
    frames.append(eth(False) / Dot1Q(vlan=100) / IP(src=b4, dst=a4, tos=8 << 2) /
                  UDP(sport=53, dport=40000) / Raw(b"r" * 60))
    # The same endpoints on VLAN 101: another flow.
    frames.append(eth(True) / Dot1Q(vlan=101) / IP(src=a4, dst=b4) /
                  UDP(sport=40000, dport=53) / Raw(b"q" * 30))
    # TCP closed by FIN both ways inside 802.1ad 200 / 802.1Q 300 (the inner tag counts).
    for src, dst, segment in tcp_session(a4, b4, 41000, 443):
        frames.append(eth(src == a4) / Dot1AD(vlan=200) / Dot1Q(vlan=300) /
                      IP(src=src, dst=dst, tos=10 << 2) / segment)
    # TCP reset by the server, untagged.
    for src, dst, segment in tcp_session(a4, b4, 41001, 80, close="rst"):
        frames.append(eth(src == a4) / IP(src=src, dst=dst) / segment)
    # TCP left open.
    for src, dst, segment in tcp_session(a4, b4, 41002, 80, close=None):
        frames.append(eth(src == a4) / IP(src=src, dst=dst) / segment)
    # ICMP echo and answer.
    frames.append(eth(True) / IP(src=a4, dst=b4) / ICMP(type=8, id=7, seq=1) / Raw(b"p" * 40))
    frames.append(eth(False) / IP(src=b4, dst=a4) / ICMP(type=0, id=7, seq=1) / Raw(b"p" * 40))
    # IPv6 UDP behind hop-by-hop and destination options, DSCP 10; ICMPv6 echo.
    a6, b6 = "fd00::10", "2001:db8::20"
    frames.append(eth(True) / IPv6(src=a6, dst=b6, tc=10 << 2) / IPv6ExtHdrHopByHop() /
                  IPv6ExtHdrDestOpt() / UDP(sport=50000, dport=5353) / Raw(b"6" * 20))
    frames.append(eth(False) / IPv6(src=b6, dst=a6) / UDP(sport=5353, dport=50000) /
                  Raw(b"6" * 25))
    frames.append(eth(True) / IPv6(src=a6, dst=b6) / ICMPv6EchoRequest(id=1, seq=1))
    frames.append(eth(False) / IPv6(src=b6, dst=a6) / ICMPv6EchoReply(id=1, seq=1))
    # Multicast and broadcast destinations.
    frames.append(Ether(src=A_MAC, dst="01:00:5e:00:00:fb") / IP(src=a4, dst="224.0.0.251") /
                  UDP(sport=5353, dport=5353) / Raw(b"m" * 12))
    frames.append(Ether(src=A_MAC, dst="ff:ff:ff:ff:ff:ff") /
                  IP(src="0.0.0.0", dst="255.255.255.255") / UDP(sport=68, dport=67) /
                  Raw(b"d" * 240))
    # Frames without a flow: an unknown ethertype and a frame cut inside its IP header.
    frames.append(Ether(src=A_MAC, dst=B_MAC, type=0x88b5) / Raw(b"x" * 50))
    frames.append(Ether(bytes(eth(True) / IP(src=a4, dst=b4) / UDP(sport=1, dport=2))[:20]))
    return frames


def stamp(frames, step=0.25):
    for index, frame in enumerate(frames):
        frame.time = T0 + index * step
    return frames


def cooked_frames():
    frames = []
    for src, dst, segment in tcp_session("10.1.0.1", "10.1.0.2", 33000, 22):
        frames.append(CookedLinux(pkttype=0 if src == "10.1.0.2" else 4, lladdrtype=1,
                                  lladdrlen=6, src=b"\x02\x00\x00\x00\x00\x01\x00\x00",
                                  proto=0x0800) / IP(src=src, dst=dst) / segment)
    return frames


def raw_ip_frames():
    frames = [IP(src=src, dst=dst) / segment
              for src, dst, segment in tcp_session("172.16.0.1", "203.0.113.9", 34000, 8080)]
    frames.append(IPv6(src="fe80::1", dst="ff02::1") / UDP(sport=546, dport=547) / Raw(b"6"))
    return frames


def no_flow_frames():
    """Frames of which none makes a flow: the capture still ends with an update counting them."""
    return [Ether(src=A_MAC, dst="ff:ff:ff:ff:ff:ff") / ARP(psrc="10.0.0.1", pdst="10.0.0.2"),
            Ether(src=B_MAC, dst=A_MAC) / ARP(op=2, psrc="10.0.0.2", pdst="10.0.0.1")]


def eth_ip(src_is_a, *layers):
    frame = Ether(src=A_MAC if src_is_a else B_MAC, dst=B_MAC if src_is_a else A_MAC)
    for layer in layers:
        frame = frame / layer
    return frame


def tunnel_frames():
    """Ethernet frames of tunnels, each opened so that its inner packet is the flow."""
    frames = []
    outer_a, outer_b = "192.0.2.1", "192.0.2.2"
    # IPv4 in IPv4 (a TCP session), IPv6 in IPv4 and IPv4 in IPv6.
    for src, dst, segment in tcp_session("10.9.0.1", "10.9.0.2", 42000, 80):
        frames.append(eth_ip(src == "10.9.0.1", IP(src=outer_a if src == "10.9.0.1" else outer_b,
                                                      dst=outer_b if src == "10.9.0.1" else outer_a),
                             IP(src=src, dst=dst, tos=18 << 2), segment))
    frames.append(eth_ip(True, IP(src=outer_a, dst=outer_b), IPv6(src="fd01::1", dst="fd01::2"),
                         UDP(sport=40001, dport=53), Raw(b"q" * 20)))
    frames.append(eth_ip(False, IP(src=outer_b, dst=outer_a), IPv6(src="fd01::2", dst="fd01::1"),
                         UDP(sport=53, dport=40001), Raw(b"r" * 40)))
    frames.append(eth_ip(True, IPv6(src="2001:db8::1", dst="2001:db8::2"),
                         IP(src="10.9.1.1", dst="10.9.1.2"), ICMP(type=8)))
    # GRE with a key and a sequence number carrying IPv4; GRE carrying Ethernet with a VLAN tag.
    for number, (src, dst) in enumerate((("10.9.2.1", "10.9.2.2"), ("10.9.2.2", "10.9.2.1"))):
        frames.append(eth_ip(number == 0, IP(src=outer_a, dst=outer_b),
                             GRE(key_present=1, key=7, seqnum_present=1, sequence_number=number),
                             IP(src=src, dst=dst), UDP(sport=5000 + number, dport=5001 - number),
                             Raw(b"g" * 9)))
    frames.append(eth_ip(True, IP(src=outer_a, dst=outer_b), GRE(proto=0x6558),
                         Ether(src="02:00:00:00:01:01", dst="02:00:00:00:01:02"), Dot1Q(vlan=33),
                         IP(src="10.9.3.1", dst="10.9.3.2"), TCP(sport=1, dport=2, flags="S")))
    # VXLAN carrying Ethernet.
    for src_is_a in (True, False):
        inner = IP(src="10.9.4.1", dst="10.9.4.2") if src_is_a else \
            IP(src="10.9.4.2", dst="10.9.4.1")
        frames.append(eth_ip(src_is_a, IP(src=outer_a if src_is_a else outer_b,
                                          dst=outer_b if src_is_a else outer_a),
                             UDP(sport=49152, dport=4789), VXLAN(vni=42),
                             Ether(src="02:00:00:00:02:01" if src_is_a else "02:00:00:00:02:02",
                                   dst="02:00:00:00:02:02" if src_is_a else "02:00:00:00:02:01"),
                             inner, UDP(sport=6000 if src_is_a else 6001,
                                        dport=6001 if src_is_a else 6000), Raw(b"v" * 11)))
    # CAPWAP data: a header of 4 words, wireless binding 802.11 with the T bit, the frame to the
    # distribution system with its frame control swapped, as Cisco's access points send it (and
    # tshark reads it by default).
    capwap = struct.pack("!II", (4 << 19) | (1 << 9) | (1 << 8), 0) + bytes(8)
    wifi = bytes(Dot11(type=2, subtype=0, FCfield="to-DS", addr1="02:00:00:00:03:00",
                       addr2="02:00:00:00:03:01", addr3="02:00:00:00:03:02") / LLC() / SNAP() /
                 IP(src="10.9.5.1", dst="10.9.5.2") / UDP(sport=7000, dport=53) / Raw(b"c" * 8))
    frames.append(eth_ip(True, IP(src=outer_a, dst=outer_b), UDP(sport=12222, dport=5247),
                         Raw(capwap + wifi[1:2] + wifi[0:1] + wifi[2:])))
    return frames


def ppp_frames():
    """PPP frames with address and control: IPv4 and IPv6, and LCP, which is no flow."""
    frames = [Raw(b"\xff\x03\x00\x21" + bytes(IP(src=src, dst=dst) / segment))
              for src, dst, segment in tcp_session("10.8.0.1", "198.51.100.8", 35000, 25)]
    frames.append(Raw(b"\xff\x03\x00\x57" + bytes(IPv6(src="fd02::1", dst="fd02::2") /
                                                  UDP(sport=1, dport=2))))
    frames.append(Raw(b"\xff\x03\xc0\x21\x09\x01\x00\x08" + bytes(4)))
    return frames


def cisco_hdlc_frames():
    """Cisco HDLC frames: IPv4 both ways, then a SLARP keep-alive, which is no flow."""
    frames = [Raw(b"\x0f\x00\x08\x00" + bytes(IP(src=src, dst=dst) / UDP(sport=sp, dport=dp)))
              for src, dst, sp, dp in (("10.7.0.1", "10.7.0.2", 179, 40000),
                                       ("10.7.0.2", "10.7.0.1", 40000, 179))]
    frames.append(Raw(b"\x8f\x00\x80\x35" + bytes(18)))
    return frames


def ppi_frames():
    """PPI headers (with one 4-byte field) around Ethernet frames."""
    header = struct.pack("<BBHI", 0, 0, 12, 1) + bytes(4)
    return [Raw(header + bytes(eth_ip(src == "10.6.0.1", IP(src=src, dst=dst), segment)))
            for src, dst, segment in tcp_session("10.6.0.1", "10.6.0.2", 36000, 443, close="rst")]


def radiotap_frames():
    """802.11 behind radiotap: data to and from the distribution system, QoS data, and frames
    that are no flows (a beacon, a protected data frame, a null data frame)."""
    sta, ap = "02:00:00:00:04:01", "02:00:00:00:04:02"
    router = "02:00:00:00:04:03"

    def data(to_ds, payload, qos=False):
        fields = dict(addr1=ap, addr2=sta, addr3=router) if to_ds else \
            dict(addr1=sta, addr2=ap, addr3=router)
        frame = RadioTap() / Dot11(type=2, subtype=8 if qos else 0,
                                   FCfield="to-DS" if to_ds else "from-DS", **fields)
        if qos:
            frame = frame / Dot11QoS()
        return frame / LLC() / SNAP() / payload

    frames = [data(src == "192.168.9.2", IP(src=src, dst=dst) / segment, qos=index % 2 == 1)
              for index, (src, dst, segment) in
              enumerate(tcp_session("192.168.9.2", "203.0.113.30", 37000, 80))]
    frames.append(RadioTap() / Dot11(type=0, subtype=8, addr1="ff:ff:ff:ff:ff:ff", addr2=ap,
                                     addr3=ap) / Dot11Beacon())
    frames.append(RadioTap() / Dot11(type=2, subtype=0, FCfield="to-DS+protected", addr1=ap,
                                     addr2=sta, addr3=router) / Raw(bytes(40)))
    frames.append(RadioTap() / Dot11(type=2, subtype=4, FCfield="to-DS", addr1=ap, addr2=sta,
                                     addr3=router))
    return frames


def write_all(directory):
    """Writes the synthetic captures; returns their paths."""
    paths = {}
    for name, frames, linktype in (("tagged-ethernet.pcap", ethernet_frames(), None),
                                   ("cooked-v1.pcap", cooked_frames(), LINKTYPE_LINUX_SLL),
                                   ("raw-ip.pcap", raw_ip_frames(), LINKTYPE_RAW),
                                   ("no-flow.pcap", no_flow_frames(), None),
                                   ("tunnels.pcap", tunnel_frames(), None),
                                   ("ppp.pcap", ppp_frames(), LINKTYPE_PPP),
                                   ("cisco-hdlc.pcap", cisco_hdlc_frames(), LINKTYPE_C_HDLC),
                                   ("ppi.pcap", ppi_frames(), LINKTYPE_PPI),
                                   ("radiotap.pcap", radiotap_frames(), None)):
        path = os.path.join(directory, name)
        if linktype is None:
            wrpcap(path, stamp(frames))
        else:
            wrpcap(path, stamp(frames), linktype=linktype)
        paths[name] = path
    return paths

"""Captures written offline with scapy (nothing is sent) for what the real ones lack: 802.1Q and
802.1ad tags, DSCP, IPv6 extension headers, resets, Linux cooked v1, raw IP, PPP, Cisco HDLC, PPI
and radiotap link types, tunnels, and frames a tracker must skip, also alone in a capture. tshark
decodes them for the checks like any other capture."""

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
LINKTYPE_PPP, LINKTYPE_C_HDLC, LINKTYPE_RADIOTAP, LINKTYPE_PPI = 9, 104, 127, 192


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


def both_ways(wrap, a, b, sport, dport):
    """A UDP datagram each way between a and b, each IP packet wrapped by wrap(ip, a_sends)."""
    ip = IP if ":" not in a else IPv6
    return [wrap(ip(src=src, dst=dst) / UDP(sport=sp, dport=dp) / Raw(b"t" * 9), src == a)
            for src, dst, sp, dp in ((a, b, sport, dport), (b, a, dport, sport))]


def tunnel_frames():
    """IP in IP, 6in4, GRE, VXLAN, CAPWAP (802.11 framed as Cisco's access points do: swapped)."""
    def outer(*layers):
        def wrap(packet, forward):
            step = 1 if forward else -1
            (mac_a, mac_b), (a, b) = (A_MAC, B_MAC)[::step], ("192.0.2.1", "192.0.2.2")[::step]
            frame = Ether(src=mac_a, dst=mac_b) / IP(src=a, dst=b)
            for layer in layers + (packet,):
                frame = frame / layer
            return frame
        return wrap

    def capwap(packet, forward):
        wifi = bytes(Dot11(type=2, FCfield="to-DS" if forward else "from-DS", addr1=B_MAC,
                           addr2=A_MAC, addr3="02:00:00:00:00:0c") / LLC() / SNAP() / packet)
        header = struct.pack("!II", (4 << 19) | (1 << 9) | (1 << 8), 0) + bytes(8)
        return outer(UDP(sport=12222, dport=5247))(Raw(header + wifi[1::-1] + wifi[2:]), forward)

    inner_eth = Ether(src="02:00:00:00:01:01", dst="02:00:00:00:01:02")
    return (both_ways(outer(), "10.9.0.1", "10.9.0.2", 1, 2) +
            both_ways(outer(), "fd01::1", "fd01::2", 3, 53) +
            both_ways(outer(GRE(key_present=1, key=7, seqnum_present=1)), "10.9.2.1",
                      "10.9.2.2", 7, 8) +
            both_ways(outer(GRE(proto=0x6558), inner_eth, Dot1Q(vlan=33)), "10.9.3.1",
                      "10.9.3.2", 9, 10) +
            both_ways(outer(UDP(sport=49152, dport=4789), VXLAN(vni=42), inner_eth),
                      "10.9.4.1", "10.9.4.2", 11, 12) +
            both_ways(capwap, "10.9.5.1", "10.9.5.2", 13, 53))


def link_frames():
    """PPP and LCP, Cisco HDLC and SLARP, PPI and Ethernet, radiotap and 802.11 (QoS data, a
    beacon, a protected frame): the second of each pair makes no flow."""
    wifi = RadioTap() / Dot11(type=2, subtype=8, FCfield="to-DS", addr1=B_MAC, addr2=A_MAC,
                              addr3="02:00:00:00:00:0c") / Dot11QoS() / LLC() / SNAP()
    ppi = struct.pack("<BBHI", 0, 0, 12, 1) + bytes(4)
    return {
        LINKTYPE_PPP: both_ways(lambda p, f: Raw(b"\xff\x03\x00\x21" + bytes(p)), "10.8.0.1",
                                "198.51.100.8", 1, 2) + [Raw(b"\xff\x03\xc0\x21" + bytes(8))],
        LINKTYPE_C_HDLC: both_ways(lambda p, f: Raw(b"\x0f\x00\x08\x00" + bytes(p)),
                                   "10.7.0.1", "10.7.0.2", 179, 40000) +
        [Raw(b"\x8f\x00\x80\x35" + bytes(18))],
        LINKTYPE_PPI: both_ways(lambda p, f: Raw(ppi + bytes(Ether(src=A_MAC, dst=B_MAC) / p)),
                                "10.6.0.1", "10.6.0.2", 3, 4),
        LINKTYPE_RADIOTAP: both_ways(lambda p, f: wifi / p, "192.168.9.2", "203.0.113.30", 5, 6) +
        [RadioTap() / Dot11(type=0, subtype=8, addr1=B_MAC) / Dot11Beacon(),
         RadioTap() / Dot11(type=2, FCfield="to-DS+protected", addr1=B_MAC) / Raw(bytes(40))]}


def write_all(directory):
    """Writes the synthetic captures; returns their paths."""
    paths = {}
    for name, frames, linktype in (("tagged-ethernet.pcap", ethernet_frames(), None),
                                   ("cooked-v1.pcap", cooked_frames(), LINKTYPE_LINUX_SLL),
                                   ("raw-ip.pcap", raw_ip_frames(), LINKTYPE_RAW),
                                   ("no-flow.pcap", no_flow_frames(), None),
                                   ("tunnels.pcap", tunnel_frames(), None)) + tuple(
                                       ("link-%d.pcap" % linktype, frames, linktype)
                                       for linktype, frames in link_frames().items()):
        path = os.path.join(directory, name)
        if linktype is None:
            wrpcap(path, stamp(frames))
        else:
            wrpcap(path, stamp(frames), linktype=linktype)
        paths[name] = path
    return paths

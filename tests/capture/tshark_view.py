"""What tshark reads in a capture: its frames, grouped into conversations the way a flow is keyed
(IP version, protocol, innermost VLAN, both endpoints), and its own conversation tables.

tshark and tcpdump are the references here: nothing in this file knows how korvel-replay decodes.
"""

import ipaddress
import subprocess

# Fields, in the order tshark prints them; every occurrence of each, the outermost layer's first.
FIELDS = ["frame.number", "frame.interface_id", "frame.time_epoch", "frame.len", "frame.protocols",
          "ip.src", "ip.dst", "ipv6.src", "ipv6.dst", "ip.proto",
          "tcp.srcport", "tcp.dstport", "udp.srcport", "udp.dstport",
          "tcp.flags.fin", "tcp.flags.reset", "vlan.id", "ieee8021ad.id", "ip.dsfield.dscp", "ipv6.tclass.dscp",
          "eth.src", "eth.dst", "ip.len", "ipv6.plen", "ip.flags.mf", "ip.frag_offset",
          "wlan.sa", "wlan.da"]

# Layers of frame.protocols that stand between the IP header and what the flow is keyed by.
IPV6_EXTENSIONS = {"ipv6.hopopts", "ipv6.routing", "ipv6.dstopts", "ipv6.fraghdr"}
# Layers from an IP packet to the IP packet of a tunnel inside it.
TUNNEL_LAYERS = {"ip", "ipv6", "gre", "udp", "vxlan", "capwap.data", "wlan", "llc", "eth",
                 "ethertype", "vlan", "ieee8021ad", "gtp", "ppp"} | IPV6_EXTENSIONS
PROTOCOL_NUMBERS = {"tcp": 6, "udp": 17, "icmp": 1, "icmpv6": 58, "igmp": 2, "sctp": 132,
                    "gre": 47, "esp": 50, "ah": 51, "ospf": 89, "pim": 103, "vrrp": 112}
TCP, UDP = 6, 17
IPV6_HEADER = 40
# tshark takes L2TP apart; the flow of an L2TP frame is its outer UDP one.
TSHARK_OPTIONS = ["-n", "--disable-protocol", "l2tp", "-o", "ip.defragment:FALSE",
                  "-o", "ipv6.defragment:FALSE"]


class Truncated(Exception):
    """A frame whose IP or transport header tshark could not read whole: it carries no flow."""


class Frame:
    """One frame that carries IP, as tshark decodes it: its flow is the innermost IP packet that
    tunnels lead to, its counters are the outermost IP packet's."""

    def __init__(self, values):
        every = dict(zip(FIELDS, (value.split(",") for value in values)))
        outer_row = {field: occurrences[0] for field, occurrences in every.items()}
        layers = outer_row["frame.protocols"].split(":")
        outer = next(i for i, name in enumerate(layers) if name in ("ip", "ipv6"))
        ip_layer = outer
        for index in range(outer + 1, len(layers)):
            if layers[index] not in TUNNEL_LAYERS:
                break
            ip_layer = index if layers[index] in ("ip", "ipv6") else ip_layer
        # Each field of the flow's IP and transport layers and of the link layer nearest them.
        def nearest(field, occurrences):
            name = field.split(".")[0]
            index = layers[:ip_layer].count(name) - (1 if name in ("eth", "wlan") else 0)
            return occurrences[index] if 0 <= index < len(occurrences) else ""
        row = {field: nearest(field, occurrences) for field, occurrences in every.items()}
        self.number = int(row["frame.number"])
        self.time_us = epoch_to_us(row["frame.time_epoch"])
        self.length = int(row["frame.len"])
        self.version = 4 if layers[ip_layer] == "ip" else 6
        if self.version == 4:
            src, dst = row["ip.src"], row["ip.dst"]
            self.dscp = int(row["ip.dsfield.dscp"] or 0)
        else:
            src, dst = row["ipv6.src"], row["ipv6.dst"]
            self.dscp = int(row["ipv6.tclass.dscp"] or 0)
        if not src or not dst:
            raise Truncated()
        self.src_ip = ipaddress.ip_address(src)
        self.dst_ip = ipaddress.ip_address(dst)
        after = [name for name in layers[ip_layer + 1:] if name not in IPV6_EXTENSIONS]
        transport = after[0] if after else ""
        if self.version == 4 and row["ip.proto"]:
            self.protocol = int(row["ip.proto"])
        else:
            self.protocol = PROTOCOL_NUMBERS.get(transport, -1)
        self.src_port = self.dst_port = 0
        if self.protocol in (TCP, UDP):
            name = "tcp" if self.protocol == TCP else "udp"
            if transport != name or not row[name + ".srcport"] or not row[name + ".dstport"]:
                raise Truncated()
            self.src_port, self.dst_port = int(row[name + ".srcport"]), int(row[name + ".dstport"])
        self.fin = row["tcp.flags.fin"] in ("1", "True") and self.protocol == TCP
        self.rst = row["tcp.flags.reset"] in ("1", "True") and self.protocol == TCP
        # The innermost tag: an 802.1ad service tag is a layer of its own for tshark.
        tags = [name for name in layers[:ip_layer] if name in ("vlan", "ieee8021ad")]
        self.vlan = int(every[tags[-1] + ".id"][tags.count(tags[-1]) - 1]) if tags else 0
        self.ethernet = "eth" in layers[:ip_layer]
        wlan = ([name for name in layers[:ip_layer] if name in ("eth", "wlan")] or [""])[-1] == "wlan"
        self.src_mac = row["wlan.sa" if wlan else "eth.src"].lower()
        self.dst_mac = row["wlan.da" if wlan else "eth.dst"].lower()
        self.layers = layers
        self.clock_us = self.time_us  # the capture clock at this frame, see read_frames
        # The outermost IP packet's own length, as its header gives it, and its protocol.
        row, v4 = outer_row, layers[outer] == "ip"
        self.ip_length = int(row["ip.len"] or 0) if v4 else int(row["ipv6.plen"] or 0) + IPV6_HEADER
        after = [name for name in layers[outer + 1:] if name not in IPV6_EXTENSIONS] + [""]
        self.outer_protocol = int(row["ip.proto"]) if v4 and row["ip.proto"] else \
            PROTOCOL_NUMBERS.get(after[0], -1)
        self.fragment = (v4 and (row["ip.flags.mf"] in ("1", "True") or
                                 int(row["ip.frag_offset"] or 0) > 0)) or \
            "ipv6.fraghdr" in layers[outer:ip_layer + 1]

    @property
    def source(self):
        return (self.src_ip, self.src_port)

    @property
    def destination(self):
        return (self.dst_ip, self.dst_port)

    def key(self):
        return (self.version, self.protocol, self.vlan,
                frozenset((self.source, self.destination)))


class Conversation:
    """The frames of one flow identity, in capture order."""

    def __init__(self, key):
        self.key = key
        self.frames = []

    @property
    def first(self):
        return self.frames[0]

    @property
    def last(self):
        return self.frames[-1]

    def sent_by(self, endpoint):
        return [f for f in self.frames if f.source == endpoint]

    def endpoints(self):
        """Both endpoints; a conversation with itself (same address and port) has one."""
        return sorted(self.key[3], key=lambda e: (e[0].packed, e[1]))

    def closed(self):
        """TCP closing as tshark shows it: a RST, or a FIN from both endpoints."""
        if self.key[1] != TCP:
            return False
        if any(f.rst for f in self.frames):
            return True
        finishers = {f.source for f in self.frames if f.fin}
        return len(finishers) == 2 or (len(self.key[3]) == 1 and bool(finishers))


def epoch_to_us(text):
    """frame.time_epoch ("1733652000.120456000") as integer microseconds, without rounding; a
    frame without a time (a pcapng simple packet block) is at 0, as libpcap gives it."""
    if not text:
        return 0
    seconds, _, fraction = text.partition(".")
    return int(seconds) * 1000000 + int((fraction + "000000")[:6])


PCAPNG_MAGIC = b"\x0a\x0d\x0d\x0a"


def read_frames(path, limit=None):
    """The frames tshark decodes as IP with whole headers, in file order, and every frame's
    length and layers (frame.protocols split); only the first `limit` packets of the file are
    looked at (those a reader stopping at a damage sees). Returns (ip frames, [(length, layers)]).
    pcapng blocks that are no packets (custom blocks, which tshark shows as frames without an
    interface) are left out."""
    with open(path, "rb") as handle:
        pcapng = handle.read(4) == PCAPNG_MAGIC
    command = ["tshark", "-r", path] + TSHARK_OPTIONS + ["-T", "fields", "-E", "separator=/t",
                                                         "-E", "occurrence=a"]
    for field in FIELDS:
        command += ["-e", field]
    result = subprocess.run(command, capture_output=True, text=True, check=False)
    frames, rows, clock = [], [], 0
    for line in result.stdout.splitlines():
        values = line.split("\t")
        if pcapng and not values[FIELDS.index("frame.interface_id")]:
            continue
        if limit is not None and len(rows) == limit:
            break
        layers = values[FIELDS.index("frame.protocols")].split(":")
        rows.append((int(values[FIELDS.index("frame.len")]), layers))
        # A frame stamped earlier than one before it does not take the capture clock back.
        clock = max(clock, epoch_to_us(values[FIELDS.index("frame.time_epoch")]))
        if "ip" in layers or "ipv6" in layers:
            try:
                frame = Frame(values)
            except Truncated:
                continue
            frame.clock_us = clock
            frames.append(frame)
    return frames, rows


def packet_counters(frames, rows):
    """The interface's packet counters as tshark's frames give them: every frame is raw and
    on the wire; frames with IP and whole headers count by their outermost IP packet (and their
    link layers at any depth), every other frame is discarded."""
    def count(test):
        return sum(1 for f in frames if test(f))

    return {
        "raw": len(rows),
        "wire_bytes": sum(length for length, _ in rows),
        "largest_bytes": max([length for length, _ in rows] or [0]),
        "discarded": len(rows) - len(frames),
        "discarded_bytes": sum(length for length, _ in rows) - sum(f.length for f in frames),
        "ip": len(frames),
        "ip_bytes": sum(f.ip_length for f in frames),
        "ethernet": count(lambda f: f.ethernet),
        "vlan": count(lambda f: "vlan" in f.layers or "ieee8021ad" in f.layers),
        "pppoe": count(lambda f: "pppoes" in f.layers),
        "mpls": count(lambda f: "mpls" in f.layers),
        "fragmented": count(lambda f: f.fragment),
        "tcp": count(lambda f: f.outer_protocol == TCP),
        "udp": count(lambda f: f.outer_protocol == UDP),
        "icmp": count(lambda f: f.outer_protocol in (1, 58)),
        "igmp": count(lambda f: f.outer_protocol == 2),
        "tcp_resets": count(lambda f: f.rst),
    }


def conversations(frames):
    """Frames grouped by flow identity, in the order of each identity's first frame."""
    found = {}
    for frame in frames:
        found.setdefault(frame.key(), Conversation(frame.key())).frames.append(frame)
    return list(found.values())


def split_endpoint(text):
    address, _, port = text.rpartition(":")
    return (ipaddress.ip_address(address), int(port))


def conversation_table(path):
    """tshark's own TCP and UDP conversation tables (-z conv,tcp -z conv,udp): for each, the
    protocol, both endpoints and the frame count of the whole conversation."""
    command = ["tshark", "-r", path] + TSHARK_OPTIONS + ["-q", "-z", "conv,tcp", "-z", "conv,udp"]
    result = subprocess.run(command, capture_output=True, text=True, check=False)
    table, protocol = [], None
    for line in result.stdout.splitlines():
        if line.startswith("TCP Conversations"):
            protocol = TCP
        elif line.startswith("UDP Conversations"):
            protocol = UDP
        # A, "<->", B, then frames, size and unit for each direction and the total.
        tokens = line.split()
        if protocol is not None and len(tokens) >= 12 and tokens[1] == "<->":
            ends = frozenset((split_endpoint(tokens[0]), split_endpoint(tokens[2])))
            table.append((protocol, ends, int(tokens[9])))
    return table


def libpcap_reading(path):
    """How far libpcap gets in a file, as tcpdump (a libpcap reader nobody here wrote) tells:
    (opened, packets read, error text or "")."""
    result = subprocess.run(["tcpdump", "-n", "-r", path], capture_output=True, text=True,
                            check=False)
    opened = "reading from file" in result.stderr
    errors = [line for line in result.stderr.splitlines()
              if line.startswith("tcpdump:") and "reading from file" not in line]
    return opened, len(result.stdout.splitlines()), errors[0] if errors else ""


# The capture source's default idle times, in seconds, by IP protocol (others: OTHER_IDLE_S).
IDLE_S = {6: 300, 17: 30}
OTHER_IDLE_S = 30


def idle_segments(conversation):
    """How many flows the tracker makes of one conversation with its default idle times: a gap
    between two frames (on the capture clock) longer than the idle time starts a new flow."""
    idle_us = IDLE_S.get(conversation.key[1], OTHER_IDLE_S) * 1000000
    segments = 1
    for before, after in zip(conversation.frames, conversation.frames[1:]):
        if after.clock_us - before.clock_us > idle_us:
            segments += 1
    return segments

#!/usr/bin/python3
"""The packets per second korvel-replay --interface keeps up with on loopback without a kernel
drop, beside the packets per second of --pcap on a capture of the same packets.

    bench/live_rate.py --replay PATH

Runs itself again in a network namespace of its own (unshare -n; needs root), so that only its
own datagrams are on its loopback device. A sender (tcpreplay where it is installed, which paces
a pcap of the datagrams onto the device; else a Python socket sender, which tops out far lower)
sends UDP datagrams of 64 flows to 127.0.0.1 at increasing rates, each for a while, to the tool
capturing live; a rate counts when the tool
saw every datagram sent (the updates' "raw" adds up to it) and lost none ("capture_dropped" 0).
The file path's rate is the tool's on a pcap of as many of the same datagrams, timed in wall
time. Prints one line per rate tried, then the summary line; exit status 0, or 77 when it cannot
run here.
"""

import argparse
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
INSIDE = "--inside-namespace"
CONFIG = {"sinks": {"bench": {"all": {"types": ["stream-flows", "stream-stats"]}}}}
RATES = [25000, 50000, 100000, 200000, 400000, 800000]
SECONDS_PER_RATE = 1.0
FLOWS = 64
PAYLOAD = b"k" * 64
BASE_PORT = 20000
SINK_PORT = 9
# A rate the sender reaches to less than this share is the sender's limit, not the tool's.
SENDER_SHARE = 0.9
FILE_PACKETS = 200000
GOAL = 0.8
WAIT_S = 30


def wait_for(test):
    deadline = time.monotonic() + WAIT_S
    while not test():
        if time.monotonic() > deadline:
            raise RuntimeError("korvel-replay did not start")
        time.sleep(0.01)


def send(rate, seconds, directory):
    """Sends datagrams of FLOWS flows at `rate` per second for `seconds`; returns how many were
    sent and the rate reached."""
    if rate == 0:  # the idle run: only the tool's own cost
        time.sleep(seconds)
        return 0, 0
    if shutil.which("tcpreplay"):
        return send_tcpreplay(rate, seconds, directory)
    socks = []
    for i in range(FLOWS):
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind(("127.0.0.1", BASE_PORT + i))
        socks.append(sock)
    target = ("127.0.0.1", SINK_PORT)
    # Something bound to the port, so that no ICMP error answers the datagrams; never read, its
    # buffer fills and the kernel drops the rest, which the capture has seen by then.
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.bind(target)
    sent = 0
    start = time.perf_counter()
    total = int(rate * seconds)
    while sent < total:
        due = start + sent / rate
        now = time.perf_counter()
        if due > now:
            time.sleep(due - now)
        for _ in range(min(64, total - sent)):
            socks[sent % FLOWS].sendto(PAYLOAD, target)
            sent += 1
    elapsed = time.perf_counter() - start
    for sock in socks + [sink]:
        sock.close()
    return sent, sent / elapsed


def send_tcpreplay(rate, seconds, directory):
    """tcpreplay paces a pcap of the datagrams onto lo; its own report tells what it sent."""
    capture = os.path.join(directory, "send.pcap")
    write_capture(capture, int(rate * seconds))
    # Bound to the datagrams' port, so that no ICMP error answers them.
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.bind(("127.0.0.1", SINK_PORT))
    try:
        report = subprocess.run(["tcpreplay", "-i", "lo", "--pps=%d" % rate, capture],
                                capture_output=True, text=True, check=True).stdout
    finally:
        sink.close()
    sent = int(re.search(r"Successful packets:\s+(\d+)", report).group(1))
    reached = float(re.search(r"([\d.]+) pps", report).group(1))
    return sent, reached


def live_run(replay, directory, rate):
    config = os.path.join(directory, "config.json")
    emitted = os.path.join(directory, "live.jsonl")
    err = os.path.join(directory, "live.err")
    with open(err, "wb") as handle:
        tool = subprocess.Popen([replay, "-q", "--config", config, "--interface", "lo",
                                 "--update-interval", "1", "-o", os.devnull, "--emit-scenario",
                                 emitted], stdout=subprocess.DEVNULL, stderr=handle)
    wait_for(lambda: b"worker started" in open(err, "rb").read() or tool.poll() is not None)
    sent, reached = send(rate, SECONDS_PER_RATE, directory)
    tool.send_signal(signal.SIGTERM)
    _, _, usage = os.wait4(tool.pid, 0)
    cpu = usage.ru_utime + usage.ru_stime
    raw = dropped = 0
    with open(emitted, encoding="utf-8") as handle:
        for line in handle:
            if line.startswith('{"op":"interface_stats"'):
                stats = json.loads(line)["stats"]
                raw += stats["raw"]
                dropped += stats["capture_dropped"]
    return sent, reached, raw, dropped, cpu


def write_capture(path, packets):
    """A pcap (Ethernet, as lo gives) of `packets` datagrams like the sender's, 10 us apart."""
    with open(path, "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xa1b2c3d4, 2, 4, 0, 0, 262144, 1))
        loopback = socket.inet_aton("127.0.0.1")
        for i in range(packets):
            udp = struct.pack("!HHHH", BASE_PORT + i % FLOWS, SINK_PORT, 8 + len(PAYLOAD), 0)
            ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp) + len(PAYLOAD), i & 0xffff,
                             0x4000, 64, 17, 0, loopback, loopback)
            frame = b"\0" * 12 + b"\x08\x00" + ip + udp + PAYLOAD
            time_us = 1700000000 * 1000000 + i * 10
            out.write(struct.pack("<IIII", time_us // 1000000, time_us % 1000000, len(frame),
                                  len(frame)))
            out.write(frame)


def file_rate(replay, directory):
    config = os.path.join(directory, "config.json")
    capture = os.path.join(directory, "same.pcap")
    write_capture(capture, FILE_PACKETS)
    write_capture(capture + ".1", 1)
    _, start_cpu = timed_file(replay, config, capture + ".1")
    wall, cpu = timed_file(replay, config, capture)
    return FILE_PACKETS / wall, FILE_PACKETS / max(cpu - start_cpu, 1e-6)


def timed_file(replay, config, capture):
    start = time.perf_counter()
    tool = subprocess.Popen([replay, "-q", "--config", config, "--pcap", capture, "-o",
                             os.devnull], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(tool.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("korvel-replay --pcap failed")
    return wall, usage.ru_utime + usage.ru_stime


def inside(replay):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    with tempfile.TemporaryDirectory(prefix="korvel-live-bench-") as directory:
        with open(os.path.join(directory, "config.json"), "w", encoding="utf-8") as handle:
            json.dump(CONFIG, handle)
        best = best_cpu = 0
        limit = "the rates tried"
        # The tool's cost without packets (start, the plugin, the clock's wake-ups), taken off
        # the CPU time of each run with packets.
        idle_cpu = live_run(replay, directory, 0)[4]
        for rate in RATES:
            sent, reached, raw, dropped, cpu = live_run(replay, directory, rate)
            print("live capture, loopback: %7d packets/s asked, %7.0f sent, %7d seen of %7d, "
                  "%d dropped" % (rate, reached, raw, sent, dropped))
            if dropped != 0 or raw != sent:
                limit = "the tool"
                break
            best = reached
            best_cpu = sent / max(cpu - idle_cpu, 1e-6)
            if reached < SENDER_SHARE * rate:
                limit = "the sender"
                break
        played, played_cpu = file_rate(replay, directory)
    # The sender shares the machine: where it is the limit, the tool's packets per second of its
    # own CPU time tell what it could take.
    print("%-46s %9.0f packets/s (limit: %s)" % ("Live capture on loopback, no drop", best, limit))
    print("%-46s %9.0f packets/s" % ("The same packets from a file (--pcap)", played))
    print("%-46s %9.0f packets/s" % ("  live, per CPU second beyond an idle run", best_cpu))
    print("%-46s %9.0f packets/s" % ("  file, per CPU second beyond a 1-packet run", played_cpu))
    ratio = max(best / played, best_cpu / played_cpu)
    print("%-46s %9.2f (goal %.2f)  %s" % ("Live / file (the better of wall and CPU)", ratio,
                                          GOAL, "ok" if ratio >= GOAL else "UNDER"))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--replay", required=True)
    parser.add_argument(INSIDE, action="store_true")
    args = parser.parse_args()
    if args.inside_namespace:
        return inside(os.path.abspath(args.replay))
    if subprocess.run(["unshare", "-n", "true"], capture_output=True, check=False).returncode:
        print("live capture rate: skipped, no network namespace can be made here")
        return SKIPPED
    return subprocess.run(["unshare", "-n", sys.executable, os.path.abspath(__file__), INSIDE,
                           "--replay", os.path.abspath(args.replay)], check=False).returncode


if __name__ == "__main__":
    sys.exit(main())

"""Records real client traffic on the loopback device with tcpdump -i lo: HTTPS by curl and by
openssl s_client against openssl s_server (TLS 1.2, so the certificate is on the wire), HTTP by
curl against python's http.server, and a DNS query by dig to a small responder followed by a
flow to the answered address. Every packet goes to and from 127.0.0.1.

The servers use the protocols' own ports on 127.0.0.1 (443, 80, 53), as a classifier and tshark
expect them; one recording at a time holds them (a lock file), and a recording whose ports are
taken by someone else is refused with PortsBusy.
"""

import fcntl
import http.server
import os
import shutil
import socket
import socketserver
import struct
import subprocess
import threading
import time

LOOPBACK = "127.0.0.1"
HTTPS_PORT, HTTP_PORT, DNS_PORT = 443, 80, 53
LOCK_PATH = "/tmp/korvel-loopback-traffic.lock"

# What the clients say, so that the checks can tell each flow by it.
CURL_SNI = "curl.korvel.test"
CURL_ALPN = ["h2", "http/1.1"]
SCLIENT_SNI = "sclient.korvel.test"
SCLIENT_ALPN = ["http/1.1", "korvel-check"]
SCLIENT_CIPHER = "ECDHE-RSA-AES256-GCM-SHA384"
HTTP_HOST = "www.korvel.test"
HTTP_USER_AGENT = "korvel-check/2.0 (curl; loopback)"
HTTP_PATH = "/checks/page.txt?case=1&lang=de"
DNS_NAME = "named.korvel.test"
AFTER_DNS_PATH = "/after/answer.txt"
AFTER_DNS_AGENT = "korvel-check/2.0 (after the answer)"
# The certificate chain: a root that signs the server's certificate, so issuer and subject differ.
CA_SUBJECT = "/C=DE/O=Korvel Check CA/CN=Korvel Check Root"
SERVER_SUBJECT = "/C=DE/ST=Berlin/L=Berlin/O=Korvel Check/OU=Loopback/CN=tls.korvel.test"
SERVER_SAN = "DNS:tls.korvel.test,DNS:curl.korvel.test,DNS:sclient.korvel.test"

# Seconds: how long each client, server start and the whole capture may take.
CLIENT_TIMEOUT_S = 15
START_TIMEOUT_S = 10
PORT_WAIT_S = 30
POLL_S = 0.05
# A pause between the exchanges, so that each flow starts after the one before has ended.
GAP_S = 0.3
# What the HTTP server answers for each path.
BODY_TEXT = "korvel loopback check: %s\n"


class PortsBusy(Exception):
    """The protocols' ports on 127.0.0.1 are held by something other than a recording."""


class Unavailable(Exception):
    """A tool the recording needs is missing, or it cannot capture here."""


def missing_tools():
    return [tool for tool in ("tcpdump", "openssl", "curl", "dig") if shutil.which(tool) is None]


def port_free(kind, port):
    probe = socket.socket(socket.AF_INET, kind)
    probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        probe.bind((LOOPBACK, port))
        return True
    except OSError:
        return False
    finally:
        probe.close()


def wait_ports_free():
    deadline = time.monotonic() + PORT_WAIT_S
    wanted = [(socket.SOCK_STREAM, HTTPS_PORT), (socket.SOCK_STREAM, HTTP_PORT),
              (socket.SOCK_DGRAM, DNS_PORT)]
    while True:
        busy = [port for kind, port in wanted if not port_free(kind, port)]
        if not busy:
            return
        if time.monotonic() > deadline:
            raise PortsBusy("ports %s on %s are in use" % (busy, LOOPBACK))
        time.sleep(POLL_S * 10)


def wait_until(test, what):
    deadline = time.monotonic() + START_TIMEOUT_S
    while not test():
        if time.monotonic() > deadline:
            raise RuntimeError("%s did not come up within %d s" % (what, START_TIMEOUT_S))
        time.sleep(POLL_S)


def tcp_listening(port):
    """Whether something listens on 127.0.0.1:port, asked of ss (a probe connection would be
    recorded as a flow of its own)."""
    listed = subprocess.run(["ss", "-H", "-n", "-lt", "src %s:%d" % (LOOPBACK, port)],
                            capture_output=True, text=True, check=False)
    return bool(listed.stdout.strip())


def make_certificates(directory):
    """A root and a server certificate it signs, RSA so that the cipher named above fits."""
    def openssl(*args):
        subprocess.run(["openssl"] + list(args), check=True, capture_output=True,
                       timeout=CLIENT_TIMEOUT_S)

    ca_key, ca_cert = os.path.join(directory, "ca.key"), os.path.join(directory, "ca.pem")
    key, csr = os.path.join(directory, "server.key"), os.path.join(directory, "server.csr")
    cert, ext = os.path.join(directory, "server.pem"), os.path.join(directory, "server.ext")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", CA_SUBJECT,
            "-keyout", ca_key, "-out", ca_cert)
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", SERVER_SUBJECT,
            "-keyout", key, "-out", csr)
    with open(ext, "w", encoding="ascii") as handle:
        handle.write("subjectAltName=%s\n" % SERVER_SAN)
    openssl("x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial",
            "-days", "2", "-extfile", ext, "-out", cert)
    return cert, key


class DnsResponder(threading.Thread):
    """Answers every A question with 127.0.0.1 and anything else with no record."""

    def __init__(self):
        super().__init__(daemon=True)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((LOOPBACK, DNS_PORT))
        self.sock.settimeout(POLL_S * 4)
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.is_set():
            try:
                query, peer = self.sock.recvfrom(512)
            except socket.timeout:
                continue
            except OSError:
                return
            if len(query) < 17:
                continue
            ident, flags = struct.unpack("!HH", query[:4])
            end = 12
            while end < len(query) and query[end] != 0:
                end += query[end] + 1
            question = query[12:end + 5]
            qtype = struct.unpack("!H", query[end + 1:end + 3])[0] if end + 3 <= len(query) else 0
            answer = b""
            if qtype == 1:
                answer = struct.pack("!HHHIH", 0xC00C, 1, 1, 300, 4) + socket.inet_aton(LOOPBACK)
            header = struct.pack("!HHHHHH", ident, 0x8180 | (flags & 0x0100), 1,
                                 1 if answer else 0, 0, 0)
            self.sock.sendto(header + question + answer, peer)

    def stop(self):
        self.stopping.set()
        self.join(START_TIMEOUT_S)
        self.sock.close()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):  # pylint: disable=arguments-differ
        pass


class HttpServer(threading.Thread):
    def __init__(self, directory):
        super().__init__(daemon=True)
        handler = lambda *a, **k: QuietHandler(*a, directory=directory, **k)  # noqa: E731
        socketserver.TCPServer.allow_reuse_address = True
        self.server = socketserver.TCPServer((LOOPBACK, HTTP_PORT), handler)

    def run(self):
        self.server.serve_forever(poll_interval=POLL_S)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        self.join(START_TIMEOUT_S)


def read_bytes(path):
    with open(path, "rb") as handle:
        return handle.read()


def read_text(path):
    with open(path, encoding="utf-8", errors="replace") as handle:
        return handle.read()


def run_client(command, stdin=None):
    return subprocess.run(command, input=stdin, capture_output=True, check=False,
                          timeout=CLIENT_TIMEOUT_S)


def record(directory, output):
    """Records the exchanges into `output` (a pcap of Ethernet frames). Returns the clients'
    results by name, each (exit status, standard error)."""
    if os.geteuid() != 0:
        raise Unavailable("capturing on lo needs root")
    if missing_tools():
        raise Unavailable("not installed: %s" % ", ".join(missing_tools()))
    with open(LOCK_PATH, "w", encoding="ascii") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        wait_ports_free()
        return record_locked(directory, output)


def record_locked(directory, output):
    cert, key = make_certificates(directory)
    www = os.path.join(directory, "www")
    for path in (HTTP_PATH.split("?")[0], AFTER_DNS_PATH):
        os.makedirs(os.path.dirname(www + path), exist_ok=True)
        with open(www + path, "w", encoding="ascii") as handle:
            handle.write(BODY_TEXT % path)
    log_path = os.path.join(directory, "tcpdump.log")
    capture_filter = "host %s and (tcp port %d or tcp port %d or udp port %d)" % (
        LOOPBACK, HTTPS_PORT, HTTP_PORT, DNS_PORT)
    started = []
    results = {}
    with open(log_path, "w", encoding="utf-8") as log:
        tcpdump = subprocess.Popen(["tcpdump", "-i", "lo", "-s", "0", "-U", "-n", "-w", output,
                                    capture_filter], stdout=subprocess.DEVNULL, stderr=log)
    started.append(tcpdump)
    servers = []
    try:
        wait_until(lambda: tcpdump.poll() is not None or "listening on" in read_text(log_path),
                   "tcpdump")
        if tcpdump.poll() is not None:
            raise Unavailable("tcpdump: %s" % read_text(log_path).strip())
        tls_server = subprocess.Popen(
            ["openssl", "s_server", "-accept", "%s:%d" % (LOOPBACK, HTTPS_PORT), "-cert", cert,
             "-key", key, "-no_tls1_3", "-alpn", "http/1.1", "-www", "-quiet"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started.append(tls_server)
        http_server = HttpServer(www)
        http_server.start()
        servers.append(http_server)
        dns = DnsResponder()
        dns.start()
        servers.append(dns)
        wait_until(lambda: tcp_listening(HTTPS_PORT), "openssl s_server")
        results["curl https"] = run_client(
            ["curl", "-sS", "-k", "--tls-max", "1.2", "--http2", "--resolve",
             "%s:%d:%s" % (CURL_SNI, HTTPS_PORT, LOOPBACK), "-o", os.devnull,
             "https://%s/" % CURL_SNI])
        time.sleep(GAP_S)
        results["openssl s_client"] = run_client(
            ["openssl", "s_client", "-connect", "%s:%d" % (LOOPBACK, HTTPS_PORT),
             "-servername", SCLIENT_SNI, "-alpn", ",".join(SCLIENT_ALPN), "-tls1_2",
             "-cipher", SCLIENT_CIPHER, "-ign_eof", "-quiet"], stdin=b"GET / HTTP/1.0\r\n\r\n")
        time.sleep(GAP_S)
        results["curl http"] = run_client(
            ["curl", "-sS", "-A", HTTP_USER_AGENT, "--resolve",
             "%s:%d:%s" % (HTTP_HOST, HTTP_PORT, LOOPBACK), "-o", os.devnull,
             "http://%s%s" % (HTTP_HOST, HTTP_PATH)])
        time.sleep(GAP_S)
        results["dig"] = run_client(["dig", "@" + LOOPBACK, "-p", str(DNS_PORT), "+tries=1",
                                     "+time=2", "+noedns", DNS_NAME, "A"])
        time.sleep(GAP_S)
        results["curl after the answer"] = run_client(
            ["curl", "-sS", "-A", AFTER_DNS_AGENT, "--resolve",
             "%s:%d:%s" % (DNS_NAME, HTTP_PORT, LOOPBACK), "-o", os.devnull,
             "http://%s%s" % (DNS_NAME, AFTER_DNS_PATH)])
        # On a busy machine tcpdump may still be reading the last exchange out of the kernel's
        # buffer when the client is done: wait until the answer's body is in the file, then let
        # the servers finish their side of each close before the capture stops.
        last_body = (BODY_TEXT % AFTER_DNS_PATH).encode("ascii")
        wait_until(lambda: last_body in read_bytes(output), "the recording of the last answer")
        time.sleep(GAP_S * 2)
    finally:
        for server in servers:
            server.stop()
        for process in reversed(started):
            if process.poll() is None:
                process.terminate() if process is not tcpdump else process.send_signal(2)
            try:
                process.wait(START_TIMEOUT_S)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
    return {name: (r.returncode, r.stderr.decode("utf-8", "replace")) for name, r in
            results.items()}

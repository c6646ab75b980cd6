// The --help text (options, scenario ops, exit statuses) and the --version line.
#include "tools/cli/help_text.h"

#include "tools/constants.h"

namespace replay {

namespace {

constexpr const char* kHelp = R"(Usage: korvel-replay [OPTION]... [SCENARIO]
  or:  korvel-replay [OPTION]... --pcap FILE [--name NAME] [--role lan|wan] [--addr ADDR]...
                     [--pcap FILE ...]
  or:  korvel-replay [OPTION]... --interface IFACE [--name NAME] [--role lan|wan]
                     [--addr ADDR]... [--interface IFACE ...]
Load the processor plugin the way korveld does, play a scenario of daemon events against it,
packet captures as the daemon would see them, or the traffic of network interfaces live, and
print every sink call it makes. SCENARIO is a JSON Lines file; standard input when absent or
"-". A scenario, --pcap and --interface cannot be combined.

Options:
  --plugin PATH      the plugin to load (default: the libkorvel-proc-core.so.0 built or
                     installed beside this tool)
  --config PATH      the plugin's configuration file, its conf_filename (default: a private
                     temporary file); "config" ops write this file
  --tag TAG          the plugin's tag (default: proc-core)
  --param KEY=VALUE  an extra plugin parameter; repeatable; a later one wins, and one named
                     conf_filename replaces the --config path (type=3, for example, makes
                     kvPluginInit refuse)
  --buckets N        buckets of the daemon's flow map (default: 16; 0 to 1048576)
  -o, --output PATH  where sink calls go (default: standard output)
  --sink-dir DIR     also write each channel's payloads to DIR/SINK/CHANNEL.json (JSON Lines)
                     or DIR/SINK/CHANNEL.msgpack (MessagePack documents one after another), as
                     the call's flags ask (0x04 MessagePack, else JSON), with .gz appended and
                     gzip compression when flag 0x20 is set; the legacy-socket bits 0x08 and
                     0x10 do not change the files. Sink and channel names are made safe as file
                     names: every byte outside A-Z a-z 0-9 . _ - is written as %XX (upper-case
                     hex), a leading "." as %2E, and an empty name as "%"
  --sync-timeout S   seconds a "sync" (or any wait for the worker) waits for a worker that shows
                     no progress (default: 10)
  --debug            show the daemon log's debug lines (kv_dprintf)
  -q, --quiet        no progress line
  -h, --help         show this help and exit
  --version          show the version and exit

Captures (pcap or pcapng, read with libpcap; the link types Ethernet, Linux cooked v1 and v2,
raw IPv4/IPv6 and BSD loopback):
  --pcap FILE        play FILE as one interface of the daemon; repeatable, the files merged in
                     timestamp order; "-" reads standard input (once). The options up to the
                     next --pcap describe this interface:
    --name NAME      its name (default: the file's base name, "stdin" for "-")
    --role lan|wan   its role (default: lan)
    --addr ADDR      one of its own addresses (IPv4 or IPv6); repeatable. They are listed in
                     the interface documents and make an endpoint local
  --local-net CIDR   a network whose addresses are local, e.g. 10.0.0.0/8; repeatable (default:
                     the private, unique-local, link-local and loopback ranges)
  --update-interval S
                     seconds of capture time between updates (default: the global
                     configuration's, 15); also the update interval the plugin sees
  --tcp-idle S       a TCP flow without packets expires after S seconds (default: 300)
  --udp-idle S       the same for UDP flows (default: 30)
  --other-idle S     the same for other protocols (default: 30)
  --tcp-linger S     a closed TCP flow (FIN both ways, or a RST) is purged S seconds after its
                     last packet (default: 2; 0 to 604800)
  --max-flows N      flows tracked at once (default: 1000000; 0 for no limit, up to
                     4294967295): a packet that would start a flow while N are tracked starts
                     none and counts in its interface's "flow_dropped" (once per such
                     packet), besides its packet counters; it is not classified
  --realtime         pace the packets by their timestamps (default: as fast as the plugin takes
                     them; the output is the same either way)
  --emit-scenario FILE
                     also write the daemon events as a scenario: `korvel-replay FILE`, with the
                     same --buckets and configuration, plays it to the same sink calls
Live capture (libpcap live handles, a 10 ms timeout, whole packets; needs root or
CAP_NET_RAW; the capture options above but --realtime apply, on the wall clock):
  --interface IFACE  capture on the network interface IFACE as one interface of the daemon;
                     repeatable, all feeding one flow table. --name (default: IFACE), --role and
                     --addr (default: the interface's own addresses) describe it as for --pcap
  --filter EXPR      a BPF filter (tcpdump's syntax) for every interface
  --buffer-mb N      the kernel's capture buffer of each interface in MiB (default: 16)
  --no-promisc       do not put the interfaces into promiscuous mode
  --user NAME        once the interfaces are open, run as NAME (its groups, group and id); the
                     output files are then opened as NAME
Every update interval of real time brings an update, packets or not; idle expiry and the
linger run on the wall clock too. Each update's interface counters carry the packets the
capture lost since the last one ("capture_dropped": libpcap's ps_drop and ps_ifdrop;
"capture_filtered" stays 0, libpcap on Linux does not count what its filter rejects). SIGINT or
SIGTERM stops: a last update, every flow purged, the output flushed, exit 0; a second SIGINT
meanwhile exits at once with status 130. SIGHUP reloads the plugin's configuration and reopens
the -o and --sink-dir files, appending (for log rotation). The output is flushed every second.
An interface that does not exist or may not be captured on, a filter that does not compile or
an unknown --user is reported as "IFACE: reason" (libpcap's text) before anything is
delivered, exit status 2.

The capture times drive the updates: every update interval the flow-map walk (1), the
interfaces (9), each interface's packet counters (10), the global counters (11), the agent
status (12) and the end of the update (13); a last update follows the end of the input, then
every flow still open is purged (4). New flows are delivered as they appear (6). The tool waits
for the worker where the daemon's timing would change a document, so a capture gives the same
output on every run but for the agent status's process figures and timestamp. A capture that is
missing, is no capture or has an unsupported link type is reported as "FILE: reason" before
anything is played; one damaged in the middle is played up to the damage and delivered in
full, then reported the same way; both exit with status 2.

Output: one JSON object per sink call, one per line, in call order:
  {"sink":S,"channel":C,"flags":N,"payload":DOC}
("channel" is an array of names for a call that names several). Invalid UTF-8 in names and
documents is replaced. Log lines go to standard error; so does a progress line (ops played, sink
calls; live: packets, flows, documents, capture drops and the rates per second) when standard
error is a terminal and playing takes more than a second.

Scenario: one JSON object per line with a member "op"; blank lines and lines starting with "#"
are skipped. Unknown ops, unknown members and members of the wrong type or out of their field's
range are scenario errors. The plugin's worker is started before the first op that reaches the
plugin (all but config, global, interface, flow and forget), and the tool waits until it has
loaded its configuration once.

  {"op":"config","json":{...}}   write the configuration file (the value, indented)
  {"op":"config","text":"..."}   write it verbatim (comments, broken files)
  {"op":"config","remove":true}  delete it
  {"op":"reload"}                the daemon's reload request: DispatchEvent(0, nullptr)
  {"op":"global","dhc":B,"fhc":B,"update_interval":N,"update_imf":N}
                                 set the global configuration (members optional; re-creates it
                                 with defaults when it was removed); it starts present with
                                 false, false, 15, 1
  {"op":"global","present":false}
                                 remove the global configuration's instance
  {"op":"interface","name":S,"key":S,"role":N,"capture_type":N,"capture_file":S,
   "addrs":[TEXT...],"endpoints":[{ADDR:[TEXT...]},{ADDR:[TEXT...]}],"endpoint_selector":N}
                                 create or update the interface under "key" (default: "name";
                                 a new interface's name defaults to its key); addresses are
                                 MAC (six hex pairs), IPv4 or IPv6 texts; "addrs" and
                                 "endpoints" (the first and second endpoint tables) replace
                                 what the interface holds
  {"op":"flow","id":S,...}       create or update flow S in the daemon's flow map; members
                                 merge into what the flow holds (an array replaces the one it
                                 holds; new flows start at 0, false, empty) and "interface" (an
                                 interface key) is required for a new flow. Members: digest, digest_history [N...] (oldest
                                 first), first_seen, last_seen, lower_map, other_type,
                                 tunnel_type, origin, privacy_mask, lower_mac, upper_mac,
                                 lower_ip, upper_ip ("IP" or "IP:PORT", "[IPv6]:PORT"; "" clears),
                                 lower_port, upper_port (the port of the address), ip_version,
                                 ip_dscp, ip_protocol, vlan_id, ip_nat, dhc_hit, fhc_hit,
                                 soft_dissector, app_ip_override, app_proto_twins,
                                 detection_guessed, detection_updated, tcp_closed (boolean or
                                 number), stats_ready, stats_hold, detected_protocol,
                                 detected_protocol_name, detected_application,
                                 detected_application_name, master_protocol, category
                                 {application, protocol, domain, lower_network, upper_network,
                                 overlay}, dns_host_name, host_server_name, user_agent,
                                 http_url, dhcp_fingerprint, dhcp_class_ident,
                                 ssh_client_agent, ssh_server_agent, mdns_answer, tls {version,
                                 cipher_suite, ech_version, server_cn, issuer_dn, subject_dn,
                                 client_ja4, cert_fingerprint (hex), alpn [S...], alpn_server
                                 [S...]}, bt_info_hash (hex), stun {mapped, peer, relayed,
                                 response, other: "IP:PORT" or "[IPv6]:PORT"}, risks [N...],
                                 risk_score, risk_score_client, risk_score_server, tags [S...],
                                 gtp {version, ip_version, ip_dscp, lower_map, other_type,
                                 lower_teid, upper_teid (host-order values), lower_ip,
                                 upper_ip, lower_port, upper_port}, stats {lower_bytes,
                                 upper_bytes, total_bytes, lower_total_bytes,
                                 upper_total_bytes, lower_packets, upper_packets,
                                 total_packets, lower_total_packets, upper_total_packets,
                                 detection_packets, lower_rate, upper_rate, tcp_seq_errors,
                                 tcp_resets, tcp_retrans, rate_update (the time of the
                                 rates, ms)}, has {NAME: true, false or null} overriding the detail test kvFlow::HasNAME (HttpUserAgent,
                                 HttpURL, DhcpFingerprint, DhcpClassIdent, SSHClientAgent,
                                 SSHServerAgent, TLSClientSNI, TLSEncryptedCH, TLSServerCN,
                                 TLSIssuerDN, TLSSubjectDN, TLSClientJA4, BTInfoHash,
                                 SSDPUserAgent, MDNSDomainName, STUNAddress; null answers from
                                 the fields again)
  {"op":"forget","id":S}         the daemon drops flow S (queued events keep it alive)
  {"op":"event","event":N,"flow":S}
                                 the single-flow event N (any value)
  {"op":"walk"}                  the flow-map event (1)
  {"op":"interfaces"}            the interface-table event (9)
  {"op":"interface_stats","name":S,"stats":{...}}
                                 one interface's packet counters (10)
  {"op":"global_stats","stats":{...}}
                                 the global packet counters (11)
  {"op":"status","status":{...}} the agent's status (12)
  {"op":"update_end"}            the end of an update (13)
                                 These six take "event":N to send another value. Counter keys:
                                 raw, ethernet, mpls, pppoe, vlan, fragmented, discarded,
                                 largest_bytes, ip, icmp, igmp, tcp, tcp_seq_errors,
                                 tcp_resets, udp, ip_bytes, wire_bytes, discarded_bytes,
                                 queue_dropped, capture_dropped, capture_filtered,
                                 flow_dropped, flow_evicted. Status keys: cpu_cores, uptime,
                                 flow_count, flow_count_prev, flows_purged, flows_expiring,
                                 flows_expired, flows_active, flows_in_use,
                                 flows_probation_expired, flows_evicted, cpu_user,
                                 cpu_user_prev, cpu_system, cpu_system_prev, maxrss_kb,
                                 maxrss_kb_prev, memrss_kb, memrss_kb_prev, dhc_status,
                                 fhc_status. Absent keys are 0 or false.
  {"op":"sync"}                  wait until the worker has run a whole pass of its loop that
                                 began after the sync: everything delivered before it has been
                                 filtered, encoded and dispatched, a requested reload applied,
                                 and the update payloads due at the end of that pass sent (up
                                 to about two seconds when the worker is idle)
  {"op":"sleep","ms":N}          wait N milliseconds

The plugin reads a flow's fields when its worker encodes an event, not when the event is
delivered: to have an event show the flow as it was, sync before changing that flow again. An
exception that the plugin throws back from an event is printed with the op's line number, and
playing goes on. On a scenario error the tool stops playing, lets the worker finish what it
holds (nothing delivered is lost), and exits with status 2.

Exit status:
  0  done
  1  the plugin refused to load (bad kv_plugin_abi record, kvPluginInit returned null or threw)
     or its worker could not be started
  2  usage or scenario error, a capture that cannot be read (or is damaged), or the output
     could not be written
  3  a sync (or a wait for the worker while playing captures) timed out: the worker stopped
     responding
)";

}  // namespace

std::string HelpText() {
  return kHelp;
}

std::string VersionText() {
  return std::string(kProgramName) + " " + kProgramVersion + "\n";
}

}  // namespace replay

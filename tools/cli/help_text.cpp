// The --help text (options, scenario ops, exit statuses) and the --version line.
#include "tools/cli/help_text.h"

#include "tools/constants.h"

namespace replay {

namespace {

constexpr const char* kHelp = R"(Usage: korvel-replay [OPTION]... [SCENARIO]
Load the processor plugin the way korveld does, play a scenario of daemon events against it and
print every sink call it makes. SCENARIO is a JSON Lines file; standard input when absent or "-".

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
  --sync-timeout S   seconds a "sync" waits for a worker that shows no progress (default: 10)
  --debug            show the daemon log's debug lines (kv_dprintf)
  -q, --quiet        no progress line
  -h, --help         show this help and exit
  --version          show the version and exit

Output: one JSON object per sink call, one per line, in call order:
  {"sink":S,"channel":C,"flags":N,"payload":DOC}
("channel" is an array of names for a call that names several). Invalid UTF-8 in names and
documents is replaced. Log lines go to standard error; so does a progress line (ops played, sink
calls) when standard error is a terminal and playing takes more than a second.

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
                                 tcp_resets, tcp_retrans}, has {NAME: true, false or null}
                                 overriding the detail test kvFlow::HasNAME (HttpUserAgent,
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
  2  usage or scenario error, or the output could not be written
  3  a sync timed out: the worker stopped responding
)";

}  // namespace

std::string HelpText() {
  return kHelp;
}

std::string VersionText() {
  return std::string(kProgramName) + " " + kProgramVersion + "\n";
}

}  // namespace replay

// The protocol, risk and API vocabulary as the daemon's reference lists it, kept as text for the
// tests to parse and compare with the built tables. Nothing here is taken from the row lists.
#pragma once

namespace vocabulary {
// kvRisk::Names: identifier and name.
inline constexpr const char* kRiskNames = R"text(
0 "None"; 1 "Anonymous Subscriber"; 2 "Binary Application Transfer"; 3 "Clear-Text Credentials";
4 "Desktop/File Sharing"; 5 "Fragmented DNS Message"; 6 "Large DNS Packet (512+ bytes)";
7 "Suspicious DNS Traffic"; 8 "Error Code"; 9 "Crawler/Bot"; 10 "Numeric IP Address";
11 "HTTP Suspicious Content"; 12 "HTTP Suspicious Header"; 13 "HTTP Suspicious URL";
14 "HTTP Suspicious User-Agent"; 15 "Text With Non-Printable Characters";
16 "Known Protocol on Non-standard Port"; 17 "Malformed Packet";
19 "Malicious SSL Cert/SHA1 Fingerprint"; 20 "Possible Exploit"; 21 "IDN Domain Name";
22 "Risky ASN"; 23 "Risky Domain Name"; 24 "SMB Insecure Version";
25 "SSH Obsolete Client Version/Cipher"; 26 "SSH Obsolete Server Version/Cipher";
27 "Suspicious DGA Domain name"; 28 "Suspicious Entropy"; 29 "TLS Certificate About To Expire";
30 "TLS Certificate Expired"; 31 "TLS Certificate Mismatch";
32 "TLS Certificate Validity Too Long"; 33 "TLS Fatal Alert"; 35 "TLS SNI Extension Not Found";
36 "Obsolete TLS (v1.1 or older)"; 37 "Self-signed Certificate"; 38 "TLS Suspicious ESNI Usage";
39 "TLS Suspicious Extension"; 40 "Uncommon TLS ALPN"; 41 "Weak TLS Cipher"; 42 "Unsafe Protocol";
43 "RCE Injection"; 44 "SQL Injection"; 45 "XSS Attack"; 46 "Unidirectional Traffic";
47 "TLS ALPN Not Found"; 48 "HTTP Obsolete Server"; 49 "Periodic Flow"; 50 "Minor Issues";
51 "TCP Connection Issues"; 52 "Fully Encrypted Flow"; 53 "TLS ALPN/SNI Mismatch";
55 "Binary File/Data Transfer"; 56 "Probing Attempt"; 57 "Malicous Fingerprint";
58 "Obfuscated Traffic"; all bits set "TODO Add Risk";
)text";

// kvRisk::NdpiMap (55 rows, nDPI risk code to risk identifier, in construction order).
inline constexpr const char* kRiskNdpiMap = R"text(
45 to 1; 4 to 2; 54 to 55; 36 to 3; 30 to 4; 38 to 5; 37 to 6; 23 to 7; 43 to 8; 44 to 9;
47 to 48; 25 to 11; 14 to 12; 13 to 13; 11 to 14; 39 to 15; 5 to 16; 17 to 17; 28 to 57; 29 to 19;
53 to 54; 49 to 50; 0 to 0; 12 to 10; 56 to 58; 48 to 49; 40 to 20; 55 to 56; 42 to 21; 26 to 22;
27 to 23; 20 to 24; 18 to 25; 19 to 26; 16 to 27; 35 to 28; 50 to 51; 52 to 53; 41 to 29; 9 to 30;
10 to 31; 32 to 32; 34 to 33; 24 to 35; 15 to 47; 7 to 36; 6 to 37; 33 to 39; 31 to 40; 8 to 41;
46 to 46; 22 to 42; 3 to 43; 2 to 44; 1 to 45;
)text";
// Codes 0, 13, 17, 32 and 46 map to the same number; code 53 maps to 54, which has no name;
// risk identifiers 38 and 52 and the all-ones identifier have no nDPI code.

// kvProto::Names (301 rows; listed here by identifier).
inline constexpr const char* kProtoNames = R"text(
0 "Unknown"; 1 "FTP/C"; 2 "POP3"; 3 "SMTP"; 4 "IMAP"; 5 "DNS"; 6 "IPP"; 7 "HTTP"; 8 "MDNS"; 9 "NTP"; 10 "NETBIOS"; 11 "NFS"; 12 "SSDP"; 13 "BGP"; 14 "SNMP"; 15 "XDMCP"; 16 "SMBv1"; 17 "SYSLOG"; 18 "DHCP"; 19 "PGSQL"; 20 "MYSQL"; 21 "FTP/S"; 23 "POP3/S"; 27 "COAP"; 28 "VMWARE"; 29 "SMTP/S"; 31 "UBNTAC2"; 35 "Gnutella"; 37 "BitTorrent"; 38 "Skype/Teams/Call"; 39 "SignalCall"; 40 "Memcached"; 41 "SMBv23"; 42 "Mining"; 43 "NestLog"; 44 "Modbus"; 46 "DataSaver"; 47 "Xbox"; 48 "QQ"; 50 "RTSP"; 51 "IMAP/S"; 52 "IceCast"; 55 "Zattoo"; 65 "IRC"; 67 "XMPP"; 73 "VRRP"; 74 "Steam"; 75 "HalfLife2"; 76 "WoW"; 77 "Telnet"; 78 "STUN"; 79 "IPSEC"; 80 "GRE"; 81 "ICMP"; 82 "IGMP"; 83 "EGP"; 84 "SCTP"; 85 "OSPF"; 86 "IPinIP"; 87 "RTP"; 88 "RDP"; 89 "VNC"; 91 "TLS"; 92 "SSH"; 93 "NNTP"; 94 "MGCP"; 95 "IAX"; 96 "TFTP"; 97 "AFP"; 100 "SIP"; 101 "TruPhone"; 102 "ICMPv6"; 103 "DHCPv6"; 104 "Armagetron"; 105 "Crossfire"; 106 "Dofus"; 109 "Guildwars"; 111 "Kerberos"; 112 "LDAP"; 114 "MSSQL/TDS"; 115 "PPTP"; 116 "Warcraft3"; 117 "WoKungFu"; 121 "Dropbox"; 127 "DCE/RPC"; 128 "NetFlow"; 129 "SFlow"; 130 "HTTP/Connect"; 131 "HTTP/Proxy"; 132 "Citrix"; 138 "CHECKMK"; 139 "AJP"; 142 "WhatsApp"; 144 "Viber"; 146 "RADIUS"; 148 "TeamViewer"; 150 "LotusNotes"; 151 "SAP"; 152 "GTP"; 153 "WSD"; 154 "LLMNR"; 155 "RemoteScan"; 156 "Spotify"; 158 "H323"; 159 "OpenVPN"; 160 "NOE"; 161 "Cisco/VPN"; 162 "TeamSpeak"; 164 "Cisco/Skinny"; 165 "RTCP"; 166 "RSYNC"; 167 "Oracle"; 168 "Corba"; 170 "Whois/DAS"; 171 "Collectd"; 172 "SOCKS"; 173 "Nintendo"; 174 "RTMP"; 175 "FTP/D"; 177 "ZMQ"; 181 "Megaco"; 182 "RESP"; 184 "VHUA"; 185 "Telegram"; 188 "QUIC"; 190 "EAQ"; 191 "OOKLA"; 192 "AMQP"; 194 "KakaoTalk/Voice"; 196 "HTTP/S"; 198 "MPEGTS"; 204 "BJNP"; 206 "WireGuard"; 207 "SMPP"; 209 "TINC"; 213 "Starcraft"; 214 "Teredo"; 222 "MQTT"; 223 "RX"; 226 "Git"; 227 "DRDA"; 229 "SOMEIP"; 230 "FIX"; 236 "LISP"; 237 "Diameter"; 238 "Apple/Push"; 243 "DoH"; 244 "DTLS"; 245 "Google/Call"; 246 "WhatsApp/Call"; 247 "Skype/Teams"; 248 "ZOOM"; 255 "Snapchat/Call"; 257 "SIP/S"; 258 "MQTT/S"; 259 "NNTP/S"; 260 "DoT"; 261 "DoQ"; 263 "AmongUs"; 264 "AVAST/SecureDNS"; 265 "CAPWAP"; 266 "Cassandra"; 267 "CheckPointHA"; 268 "DNP3"; 269 "DNSCrypt"; 270 "EtherNet/IP"; 271 "Genshin/Impact"; 272 "GTP/C"; 273 "GTP/P"; 274 "GTP/U"; 275 "HP/VirtGrp"; 276 "Cisco/HSRP"; 277 "IEC/60870/5/104"; 279 "IRC/S"; 280 "MongoDB"; 281 "NATS"; 282 "S7comm"; 283 "SOAP"; 284 "Targus/Dataspeed"; 285 "VXLAN"; 286 "Websocket"; 287 "Z39/50"; 288 "Zabbix"; 289 "i3D"; 290 "MPEG/Dash"; 291 "RakNet"; 292 "Riot/Games"; 293 "RSH"; 294 "SD/RTN"; 295 "TocaBoca"; 296 "UltraSurf"; 297 "Xiaomi"; 298 "PGM"; 299 "PIM"; 300 "Threema"; 301 "Alibaba/Cloud"; 302 "SYSLOG/S"; 303 "NAT/PMP"; 304 "Tuya/LP"; 305 "ElasticSearch"; 306 "AVAST"; 307 "CryNetwork"; 308 "FastCGI"; 309 "KISMET"; 310 "Line/Call"; 311 "Munin"; 312 "Syncthing"; 313 "TiVo/Connect"; 314 "TPLINK/SHP"; 315 "Tailscale"; 316 "Meraki/Cloud"; 317 "HerosOfTheStorm"; 318 "BACnet"; 319 "SourceEngine"; 320 "OICQ"; 321 "SRTP"; 322 "XMPP/S"; 323 "Bitcoin"; 324 "Apache/Thrift"; 325 "SLP"; 326 "HTTP/2"; 327 "Facebook/VoIP"; 328 "HAProxy"; 329 "RMCP"; 330 "ISO/11898/1/CAN"; 331 "Protobuf"; 332 "Ethereum"; 333 "Telegram/VoIP"; 334 "Apache/Kafka"; 335 "Beckhoff/ADS"; 336 "BFD"; 337 "ANSI/C1222"; 338 "CEPH"; 339 "CIP"; 340 "MS/RPCH"; 341 "DLEP"; 342 "Ether/S/Bus"; 343 "Ether/S/IO"; 344 "FINS"; 345 "Gaijin"; 346 "Gearman"; 347 "Hart/IP"; 348 "HiSLIP"; 349 "HealthLevel7"; 350 "IEC/62056"; 351 "IEEE/C37/118"; 352 "ISO/9506/1/MMS"; 353 "JSON/RPC"; 354 "KCP"; 355 "Monero"; 356 "Mumble/VoIP"; 357 "NetEaseGames"; 358 "NX/NoMachine"; 359 "OPC/UA"; 360 "OpenFlow"; 361 "PathOfExile"; 362 "PROFINET/IO"; 363 "PTP/2"; 364 "Radmin"; 365 "Raft"; 366 "Roughtime"; 367 "RTPS"; 368 "S7comm/Plus"; 369 "STOMP"; 370 "Tencent/Games"; 371 "UFTP"; 372 "UMAS"; 373 "Valve/SDR"; 374 "WebDAV"; 375 "yojimbo"; 376 "BFCP"; 377 "EGD"; 378 "CoD/Mobile"; 379 "PFCP"; 380 "FLUTE"; 381 "LoL/WildRift"; 382 "ElderScrollsOnline"; 383 "LDP"; 384 "KNXnet/IP"; 385 "Viber/VoIP"; 386 "ZUG"; 416 "JRMI"; 417 "RIPE/Atlas"; 418 "HTTP/LiveStream"; 420 "Nano/NP"; 421 "OpenWire"; 422 "CNP/IP"; 423 "ATG"; 424 "TRDP"; 425 "Lustre"; 426 "SONOS"; 427 "DingTalk"; 428 "paltalk"; 429 "Mikrotik/NDP"; 430 "DICOM"; 431 "IQIYI"; 432 "Nexon"; 433 "Blizzard"; 434 "LagoFast"; 435 "GearUPBooster"; all bits set "TODO"
)text";

// kvProto::AppTags: identifier, protocol name and tag.
inline constexpr const char* kAppTags = R"text(
238 "Apple/Push" "korvel.apple-push"; 306 "AVAST" "korvel.avast"; 323 "Bitcoin" "korvel.bitcoin";
427 "DingTalk" "korvel.dingtalk"; 327 "Facebook/VoIP" "korvel.meta";
310 "Line/Call" "korvel.line"; 316 "Meraki/Cloud" "korvel.meraki"; 43 "NestLog" "korvel.nest";
9 "NTP" "korvel.ntp"; 191 "OOKLA" "korvel.speedtest"; 428 "paltalk" "korvel.paltalk";
48 "QQ" "korvel.qq"; 417 "RIPE/Atlas" "korvel.ripe-atlas"; 39 "SignalCall" "korvel.signal";
38 "Skype/Teams/Call" "korvel.teams"; 255 "Snapchat/Call" "korvel.snapchat";
426 "SONOS" "korvel.sonos"; 156 "Spotify" "korvel.spotify"; 74 "Steam" "korvel.steam";
312 "Syncthing" "korvel.syncthing"; 148 "TeamViewer" "korvel.teamviewer";
333 "Telegram/VoIP" "korvel.telegram"; 313 "TiVo/Connect" "korvel.tivo";
314 "TPLINK/SHP" "korvel.tp-link"; 304 "Tuya/LP" "korvel.tuya-smart";
31 "UBNTAC2" "korvel.ubiquiti"; 246 "WhatsApp/Call" "korvel.whatsapp";
297 "Xiaomi" "korvel.xiaomi"; 248 "ZOOM" "korvel.zoom";
)text";

// kvProto::PortMap: one key, 91 ("TLS"), whose list holds these (port, protocol) pairs in order.
inline constexpr const char* kPortMap = R"text(
53 to 260 ("DoT"); 443 to 196 ("HTTP/S"); 563 to 259 ("NNTP/S"); 853 to 260 ("DoT");
465 to 29 ("SMTP/S"); 585 to 51 ("IMAP/S"); 587 to 29 ("SMTP/S"); 993 to 51 ("IMAP/S");
995 to 23 ("POP3/S"); 989 to 256 (no name); 990 to 21 ("FTP/S"); 1883 to 258 ("MQTT/S");
5061 to 257 ("SIP/S"); 6514 to 302 ("SYSLOG/S"); 6697 to 279 ("IRC/S"); 8883 to 258 ("MQTT/S");
)text";
// Protocol 256 has no name. The protocols reached only through this list (for example 196
// "HTTP/S", 260 "DoT", 258 "MQTT/S") have no nDPI code of their own.

// The API enumerations.
inline constexpr const char* kApi = R"text(
| `kvKorvelApiAuthMethod::ByName` | "basic" to 1, "bearer" to 2, "mtls" to 3 |
| `kvKorvelApiAuthMethod::Names` | 0 to "invalid", 1 to "basic", 2 to "bearer", 3 to "mtls" |
| `kvKorvelApiData::ByName` | "agent" to 1, "intel" to 2, "dev-discovery" to 3 |
| `kvKorvelApiData::Names` | 0 to "invalid", 1 to "agent", 2 to "intel", 3 to "dev-discovery" |
)text";
}  // namespace vocabulary

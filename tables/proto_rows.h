// Constant row lists of the protocol name, application tag and port tables, in
// construction order. Included only by tables.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "kv/ids.h"
#include "tables/table_build.h"

namespace kvProto::rows {
// Display names, by identifier (300 values between 0 and 435, then the all-ones sentinel).
inline constexpr kppTableRow<Id, const char*> kNames[] = {
    {Id{0}, "Unknown"},
    {Id{1}, "FTP/C"},
    {Id{2}, "POP3"},
    {Id{3}, "SMTP"},
    {Id{4}, "IMAP"},
    {Id{5}, "DNS"},
    {Id{6}, "IPP"},
    {Id{7}, "HTTP"},
    {Id{8}, "MDNS"},
    {Id{9}, "NTP"},
    {Id{10}, "NETBIOS"},
    {Id{11}, "NFS"},
    {Id{12}, "SSDP"},
    {Id{13}, "BGP"},
    {Id{14}, "SNMP"},
    {Id{15}, "XDMCP"},
    {Id{16}, "SMBv1"},
    {Id{17}, "SYSLOG"},
    {Id{18}, "DHCP"},
    {Id{19}, "PGSQL"},
    {Id{20}, "MYSQL"},
    {Id{21}, "FTP/S"},
    {Id{23}, "POP3/S"},
    {Id{27}, "COAP"},
    {Id{28}, "VMWARE"},
    {Id{29}, "SMTP/S"},
    {Id{31}, "UBNTAC2"},
    {Id{35}, "Gnutella"},
    {Id{37}, "BitTorrent"},
    {Id{38}, "Skype/Teams/Call"},
    {Id{39}, "SignalCall"},
    {Id{40}, "Memcached"},
    {Id{41}, "SMBv23"},
    {Id{42}, "Mining"},
    {Id{43}, "NestLog"},
    {Id{44}, "Modbus"},
    {Id{46}, "DataSaver"},
    {Id{47}, "Xbox"},
    {Id{48}, "QQ"},
    {Id{50}, "RTSP"},
    {Id{51}, "IMAP/S"},
    {Id{52}, "IceCast"},
    {Id{55}, "Zattoo"},
    {Id{65}, "IRC"},
    {Id{67}, "XMPP"},
    {Id{73}, "VRRP"},
    {Id{74}, "Steam"},
    {Id{75}, "HalfLife2"},
    {Id{76}, "WoW"},
    {Id{77}, "Telnet"},
    {Id{78}, "STUN"},
    {Id{79}, "IPSEC"},
    {Id{80}, "GRE"},
    {Id{81}, "ICMP"},
    {Id{82}, "IGMP"},
    {Id{83}, "EGP"},
    {Id{84}, "SCTP"},
    {Id{85}, "OSPF"},
    {Id{86}, "IPinIP"},
    {Id{87}, "RTP"},
    {Id{88}, "RDP"},
    {Id{89}, "VNC"},
    {Id{91}, "TLS"},
    {Id{92}, "SSH"},
    {Id{93}, "NNTP"},
    {Id{94}, "MGCP"},
    {Id{95}, "IAX"},
    {Id{96}, "TFTP"},
    {Id{97}, "AFP"},
    {Id{100}, "SIP"},
    {Id{101}, "TruPhone"},
    {Id{102}, "ICMPv6"},
    {Id{103}, "DHCPv6"},
    {Id{104}, "Armagetron"},
    {Id{105}, "Crossfire"},
    {Id{106}, "Dofus"},
    {Id{109}, "Guildwars"},
    {Id{111}, "Kerberos"},
    {Id{112}, "LDAP"},
    {Id{114}, "MSSQL/TDS"},
    {Id{115}, "PPTP"},
    {Id{116}, "Warcraft3"},
    {Id{117}, "WoKungFu"},
    {Id{121}, "Dropbox"},
    {Id{127}, "DCE/RPC"},
    {Id{128}, "NetFlow"},
    {Id{129}, "SFlow"},
    {Id{130}, "HTTP/Connect"},
    {Id{131}, "HTTP/Proxy"},
    {Id{132}, "Citrix"},
    {Id{138}, "CHECKMK"},
    {Id{139}, "AJP"},
    {Id{142}, "WhatsApp"},
    {Id{144}, "Viber"},
    {Id{146}, "RADIUS"},
    {Id{148}, "TeamViewer"},
    {Id{150}, "LotusNotes"},
    {Id{151}, "SAP"},
    {Id{152}, "GTP"},
    {Id{153}, "WSD"},
    {Id{154}, "LLMNR"},
    {Id{155}, "RemoteScan"},
    {Id{156}, "Spotify"},
    {Id{158}, "H323"},
    {Id{159}, "OpenVPN"},
    {Id{160}, "NOE"},
    {Id{161}, "Cisco/VPN"},
    {Id{162}, "TeamSpeak"},
    {Id{164}, "Cisco/Skinny"},
    {Id{165}, "RTCP"},
    {Id{166}, "RSYNC"},
    {Id{167}, "Oracle"},
    {Id{168}, "Corba"},
    {Id{170}, "Whois/DAS"},
    {Id{171}, "Collectd"},
    {Id{172}, "SOCKS"},
    {Id{173}, "Nintendo"},
    {Id{174}, "RTMP"},
    {Id{175}, "FTP/D"},
    {Id{177}, "ZMQ"},
    {Id{181}, "Megaco"},
    {Id{182}, "RESP"},
    {Id{184}, "VHUA"},
    {Id{185}, "Telegram"},
    {Id{188}, "QUIC"},
    {Id{190}, "EAQ"},
    {Id{191}, "OOKLA"},
    {Id{192}, "AMQP"},
    {Id{194}, "KakaoTalk/Voice"},
    {Id{196}, "HTTP/S"},
    {Id{198}, "MPEGTS"},
    {Id{204}, "BJNP"},
    {Id{206}, "WireGuard"},
    {Id{207}, "SMPP"},
    {Id{209}, "TINC"},
    {Id{213}, "Starcraft"},
    {Id{214}, "Teredo"},
    {Id{222}, "MQTT"},
    {Id{223}, "RX"},
    {Id{226}, "Git"},
    {Id{227}, "DRDA"},
    {Id{229}, "SOMEIP"},
    {Id{230}, "FIX"},
    {Id{236}, "LISP"},
    {Id{237}, "Diameter"},
    {Id{238}, "Apple/Push"},
    {Id{243}, "DoH"},
    {Id{244}, "DTLS"},
    {Id{245}, "Google/Call"},
    {Id{246}, "WhatsApp/Call"},
    {Id{247}, "Skype/Teams"},
    {Id{248}, "ZOOM"},
    {Id{255}, "Snapchat/Call"},
    {Id{257}, "SIP/S"},
    {Id{258}, "MQTT/S"},
    {Id{259}, "NNTP/S"},
    {Id{260}, "DoT"},
    {Id{261}, "DoQ"},
    {Id{263}, "AmongUs"},
    {Id{264}, "AVAST/SecureDNS"},
    {Id{265}, "CAPWAP"},
    {Id{266}, "Cassandra"},
    {Id{267}, "CheckPointHA"},
    {Id{268}, "DNP3"},
    {Id{269}, "DNSCrypt"},
    {Id{270}, "EtherNet/IP"},
    {Id{271}, "Genshin/Impact"},
    {Id{272}, "GTP/C"},
    {Id{273}, "GTP/P"},
    {Id{274}, "GTP/U"},
    {Id{275}, "HP/VirtGrp"},
    {Id{276}, "Cisco/HSRP"},
    {Id{277}, "IEC/60870/5/104"},
    {Id{279}, "IRC/S"},
    {Id{280}, "MongoDB"},
    {Id{281}, "NATS"},
    {Id{282}, "S7comm"},
    {Id{283}, "SOAP"},
    {Id{284}, "Targus/Dataspeed"},
    {Id{285}, "VXLAN"},
    {Id{286}, "Websocket"},
    {Id{287}, "Z39/50"},
    {Id{288}, "Zabbix"},
    {Id{289}, "i3D"},
    {Id{290}, "MPEG/Dash"},
    {Id{291}, "RakNet"},
    {Id{292}, "Riot/Games"},
    {Id{293}, "RSH"},
    {Id{294}, "SD/RTN"},
    {Id{295}, "TocaBoca"},
    {Id{296}, "UltraSurf"},
    {Id{297}, "Xiaomi"},
    {Id{298}, "PGM"},
    {Id{299}, "PIM"},
    {Id{300}, "Threema"},
    {Id{301}, "Alibaba/Cloud"},
    {Id{302}, "SYSLOG/S"},
    {Id{303}, "NAT/PMP"},
    {Id{304}, "Tuya/LP"},
    {Id{305}, "ElasticSearch"},
    {Id{306}, "AVAST"},
    {Id{307}, "CryNetwork"},
    {Id{308}, "FastCGI"},
    {Id{309}, "KISMET"},
    {Id{310}, "Line/Call"},
    {Id{311}, "Munin"},
    {Id{312}, "Syncthing"},
    {Id{313}, "TiVo/Connect"},
    {Id{314}, "TPLINK/SHP"},
    {Id{315}, "Tailscale"},
    {Id{316}, "Meraki/Cloud"},
    {Id{317}, "HerosOfTheStorm"},
    {Id{318}, "BACnet"},
    {Id{319}, "SourceEngine"},
    {Id{320}, "OICQ"},
    {Id{321}, "SRTP"},
    {Id{322}, "XMPP/S"},
    {Id{323}, "Bitcoin"},
    {Id{324}, "Apache/Thrift"},
    {Id{325}, "SLP"},
    {Id{326}, "HTTP/2"},
    {Id{327}, "Facebook/VoIP"},
    {Id{328}, "HAProxy"},
    {Id{329}, "RMCP"},
    {Id{330}, "ISO/11898/1/CAN"},
    {Id{331}, "Protobuf"},
    {Id{332}, "Ethereum"},
    {Id{333}, "Telegram/VoIP"},
    {Id{334}, "Apache/Kafka"},
    {Id{335}, "Beckhoff/ADS"},
    {Id{336}, "BFD"},
    {Id{337}, "ANSI/C1222"},
    {Id{338}, "CEPH"},
    {Id{339}, "CIP"},
    {Id{340}, "MS/RPCH"},
    {Id{341}, "DLEP"},
    {Id{342}, "Ether/S/Bus"},
    {Id{343}, "Ether/S/IO"},
    {Id{344}, "FINS"},
    {Id{345}, "Gaijin"},
    {Id{346}, "Gearman"},
    {Id{347}, "Hart/IP"},
    {Id{348}, "HiSLIP"},
    {Id{349}, "HealthLevel7"},
    {Id{350}, "IEC/62056"},
    {Id{351}, "IEEE/C37/118"},
    {Id{352}, "ISO/9506/1/MMS"},
    {Id{353}, "JSON/RPC"},
    {Id{354}, "KCP"},
    {Id{355}, "Monero"},
    {Id{356}, "Mumble/VoIP"},
    {Id{357}, "NetEaseGames"},
    {Id{358}, "NX/NoMachine"},
    {Id{359}, "OPC/UA"},
    {Id{360}, "OpenFlow"},
    {Id{361}, "PathOfExile"},
    {Id{362}, "PROFINET/IO"},
    {Id{363}, "PTP/2"},
    {Id{364}, "Radmin"},
    {Id{365}, "Raft"},
    {Id{366}, "Roughtime"},
    {Id{367}, "RTPS"},
    {Id{368}, "S7comm/Plus"},
    {Id{369}, "STOMP"},
    {Id{370}, "Tencent/Games"},
    {Id{371}, "UFTP"},
    {Id{372}, "UMAS"},
    {Id{373}, "Valve/SDR"},
    {Id{374}, "WebDAV"},
    {Id{375}, "yojimbo"},
    {Id{376}, "BFCP"},
    {Id{377}, "EGD"},
    {Id{378}, "CoD/Mobile"},
    {Id{379}, "PFCP"},
    {Id{380}, "FLUTE"},
    {Id{381}, "LoL/WildRift"},
    {Id{382}, "ElderScrollsOnline"},
    {Id{383}, "LDP"},
    {Id{384}, "KNXnet/IP"},
    {Id{385}, "Viber/VoIP"},
    {Id{386}, "ZUG"},
    {Id{416}, "JRMI"},
    {Id{417}, "RIPE/Atlas"},
    {Id{418}, "HTTP/LiveStream"},
    {Id{420}, "Nano/NP"},
    {Id{421}, "OpenWire"},
    {Id{422}, "CNP/IP"},
    {Id{423}, "ATG"},
    {Id{424}, "TRDP"},
    {Id{425}, "Lustre"},
    {Id{426}, "SONOS"},
    {Id{427}, "DingTalk"},
    {Id{428}, "paltalk"},
    {Id{429}, "Mikrotik/NDP"},
    {Id{430}, "DICOM"},
    {Id{431}, "IQIYI"},
    {Id{432}, "Nexon"},
    {Id{433}, "Blizzard"},
    {Id{434}, "LagoFast"},
    {Id{435}, "GearUPBooster"},
    {PROTO_TODO, "TODO"},
};

// Application tags.
inline constexpr kppTableRow<Id, const char*> kAppTags[] = {
    {Id{238}, "korvel.apple-push"},  // Apple/Push
    {Id{306}, "korvel.avast"},       // AVAST
    {Id{323}, "korvel.bitcoin"},     // Bitcoin
    {Id{427}, "korvel.dingtalk"},    // DingTalk
    {Id{327}, "korvel.meta"},        // Facebook/VoIP
    {Id{310}, "korvel.line"},        // Line/Call
    {Id{316}, "korvel.meraki"},      // Meraki/Cloud
    {Id{43}, "korvel.nest"},         // NestLog
    {Id{9}, "korvel.ntp"},           // NTP
    {Id{191}, "korvel.speedtest"},   // OOKLA
    {Id{428}, "korvel.paltalk"},     // paltalk
    {Id{48}, "korvel.qq"},           // QQ
    {Id{417}, "korvel.ripe-atlas"},  // RIPE/Atlas
    {Id{39}, "korvel.signal"},       // SignalCall
    {Id{38}, "korvel.teams"},        // Skype/Teams/Call
    {Id{255}, "korvel.snapchat"},    // Snapchat/Call
    {Id{426}, "korvel.sonos"},       // SONOS
    {Id{156}, "korvel.spotify"},     // Spotify
    {Id{74}, "korvel.steam"},        // Steam
    {Id{312}, "korvel.syncthing"},   // Syncthing
    {Id{148}, "korvel.teamviewer"},  // TeamViewer
    {Id{333}, "korvel.telegram"},    // Telegram/VoIP
    {Id{313}, "korvel.tivo"},        // TiVo/Connect
    {Id{314}, "korvel.tp-link"},     // TPLINK/SHP
    {Id{304}, "korvel.tuya-smart"},  // Tuya/LP
    {Id{31}, "korvel.ubiquiti"},     // UBNTAC2
    {Id{246}, "korvel.whatsapp"},    // WhatsApp/Call
    {Id{297}, "korvel.xiaomi"},      // Xiaomi
    {Id{248}, "korvel.zoom"},        // ZOOM
};

// The (port, resulting protocol) pairs of TLS, in order.
inline constexpr std::pair<uint16_t, Id> kTlsPorts[] = {
    {53, Id{260}},    // DoT
    {443, Id{196}},   // HTTP/S
    {563, Id{259}},   // NNTP/S
    {853, Id{260}},   // DoT
    {465, Id{29}},    // SMTP/S
    {585, Id{51}},    // IMAP/S
    {587, Id{29}},    // SMTP/S
    {993, Id{51}},    // IMAP/S
    {995, Id{23}},    // POP3/S
    {989, Id{256}},   // (no name)
    {990, Id{21}},    // FTP/S
    {1883, Id{258}},  // MQTT/S
    {5061, Id{257}},  // SIP/S
    {6514, Id{302}},  // SYSLOG/S
    {6697, Id{279}},  // IRC/S
    {8883, Id{258}},  // MQTT/S
};

// One row of the port table: a carrying protocol and its list of pairs.
struct PortListRow {
  Id carrier;
  const std::pair<uint16_t, Id>* pairs;
  std::size_t count;
};
inline constexpr PortListRow kPortMap[] = {
    {PROTO_TLS, kTlsPorts, sizeof(kTlsPorts) / sizeof(kTlsPorts[0])},
};
}  // namespace kvProto::rows

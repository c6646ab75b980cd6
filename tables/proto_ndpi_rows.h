// Constant row lists of the nDPI protocol tables: kNdpiMap (289 rows over 288 codes) and
// kNdpiUnmapped (160 codes). Included only by tables.cpp.
//
// The daemon's vocabulary fixes some rows and leaves the others open. Fixed: 0, 5, 7, 91 to
// themselves; 306 to 301, 69 to 263, 311 to 21, 370 to 127, 30 to 244, 269 to 39, 45 to 246, 189 to
// 248 and 368 to 342 (listed twice); the unmapped list begins 295, 280, 258, 59, 107, 108 and ends
// 34, 25, 124, 136. The open rows follow these rules, chosen so that every rule of the vocabulary holds
// and each protocol identifier is reached by at most one nDPI code:
//
// - Codes 0 to 255: a code whose number is a named protocol identifier maps to that identifier
//   (146 codes), except 196 "HTTP/S" (reached only through the TLS port list) and 21, 39, 127, 244,
//   246 and 248, whose identifiers the fixed rows give to other codes; those seven are unmapped.
//   Codes without a same-number name are unmapped, apart from the fixed 30, 45, 69 and 189.
// - Codes 256 to 447: 261 and 264 to 268 map to themselves (the identity run ends where the fixed
//   269 to 39 begins). Codes 256 to 260, 262 and 263 are unmapped (256 and 262 have no name, 257 to
//   260 are reached only through the TLS port list, 263 "AmongUs" comes from code 69). The other
//   codes fall into three runs, cut by the fixed rows 306 to 301 and 368 to 342: 270-305, 307-367
//   and 369-447. In each run the free codes are paired in increasing order with the run's free
//   identifiers in increasing order (269-300, 303-341 and 343-430, skipping the unnamed ones and
//   the port-only 279 "IRC/S" and 302 "SYSLOG/S"); the lowest codes of the run that find no
//   identifier stay unmapped (270-273; 307-310 and 312-328; 369 and 371-389).
// - Identifiers reached by no code: the port-only 196, 257, 258, 259, 260, 279, 302, and the five
//   newest, 431 to 435.
// - The unmapped list is the ten fixed codes in their places with the other 150 in increasing
//   order between them. The map's rows are in increasing code order, with 368 twice.
#pragma once

#include <cstdint>

#include "kv/ids.h"
#include "tables/table_build.h"

namespace kvProto::rows {
// nDPI protocol code to protocol identifier; the comment gives the identifier's name.
inline constexpr kppTableRow<uint16_t, Id> kNdpiMap[] = {
    {0, Id{0}},      // Unknown
    {1, Id{1}},      // FTP/C
    {2, Id{2}},      // POP3
    {3, Id{3}},      // SMTP
    {4, Id{4}},      // IMAP
    {5, Id{5}},      // DNS
    {6, Id{6}},      // IPP
    {7, Id{7}},      // HTTP
    {8, Id{8}},      // MDNS
    {9, Id{9}},      // NTP
    {10, Id{10}},    // NETBIOS
    {11, Id{11}},    // NFS
    {12, Id{12}},    // SSDP
    {13, Id{13}},    // BGP
    {14, Id{14}},    // SNMP
    {15, Id{15}},    // XDMCP
    {16, Id{16}},    // SMBv1
    {17, Id{17}},    // SYSLOG
    {18, Id{18}},    // DHCP
    {19, Id{19}},    // PGSQL
    {20, Id{20}},    // MYSQL
    {23, Id{23}},    // POP3/S
    {27, Id{27}},    // COAP
    {28, Id{28}},    // VMWARE
    {29, Id{29}},    // SMTP/S
    {30, Id{244}},   // DTLS
    {31, Id{31}},    // UBNTAC2
    {35, Id{35}},    // Gnutella
    {37, Id{37}},    // BitTorrent
    {38, Id{38}},    // Skype/Teams/Call
    {40, Id{40}},    // Memcached
    {41, Id{41}},    // SMBv23
    {42, Id{42}},    // Mining
    {43, Id{43}},    // NestLog
    {44, Id{44}},    // Modbus
    {45, Id{246}},   // WhatsApp/Call
    {46, Id{46}},    // DataSaver
    {47, Id{47}},    // Xbox
    {48, Id{48}},    // QQ
    {50, Id{50}},    // RTSP
    {51, Id{51}},    // IMAP/S
    {52, Id{52}},    // IceCast
    {55, Id{55}},    // Zattoo
    {65, Id{65}},    // IRC
    {67, Id{67}},    // XMPP
    {69, Id{263}},   // AmongUs
    {73, Id{73}},    // VRRP
    {74, Id{74}},    // Steam
    {75, Id{75}},    // HalfLife2
    {76, Id{76}},    // WoW
    {77, Id{77}},    // Telnet
    {78, Id{78}},    // STUN
    {79, Id{79}},    // IPSEC
    {80, Id{80}},    // GRE
    {81, Id{81}},    // ICMP
    {82, Id{82}},    // IGMP
    {83, Id{83}},    // EGP
    {84, Id{84}},    // SCTP
    {85, Id{85}},    // OSPF
    {86, Id{86}},    // IPinIP
    {87, Id{87}},    // RTP
    {88, Id{88}},    // RDP
    {89, Id{89}},    // VNC
    {91, Id{91}},    // TLS
    {92, Id{92}},    // SSH
    {93, Id{93}},    // NNTP
    {94, Id{94}},    // MGCP
    {95, Id{95}},    // IAX
    {96, Id{96}},    // TFTP
    {97, Id{97}},    // AFP
    {100, Id{100}},  // SIP
    {101, Id{101}},  // TruPhone
    {102, Id{102}},  // ICMPv6
    {103, Id{103}},  // DHCPv6
    {104, Id{104}},  // Armagetron
    {105, Id{105}},  // Crossfire
    {106, Id{106}},  // Dofus
    {109, Id{109}},  // Guildwars
    {111, Id{111}},  // Kerberos
    {112, Id{112}},  // LDAP
    {114, Id{114}},  // MSSQL/TDS
    {115, Id{115}},  // PPTP
    {116, Id{116}},  // Warcraft3
    {117, Id{117}},  // WoKungFu
    {121, Id{121}},  // Dropbox
    {128, Id{128}},  // NetFlow
    {129, Id{129}},  // SFlow
    {130, Id{130}},  // HTTP/Connect
    {131, Id{131}},  // HTTP/Proxy
    {132, Id{132}},  // Citrix
    {138, Id{138}},  // CHECKMK
    {139, Id{139}},  // AJP
    {142, Id{142}},  // WhatsApp
    {144, Id{144}},  // Viber
    {146, Id{146}},  // RADIUS
    {148, Id{148}},  // TeamViewer
    {150, Id{150}},  // LotusNotes
    {151, Id{151}},  // SAP
    {152, Id{152}},  // GTP
    {153, Id{153}},  // WSD
    {154, Id{154}},  // LLMNR
    {155, Id{155}},  // RemoteScan
    {156, Id{156}},  // Spotify
    {158, Id{158}},  // H323
    {159, Id{159}},  // OpenVPN
    {160, Id{160}},  // NOE
    {161, Id{161}},  // Cisco/VPN
    {162, Id{162}},  // TeamSpeak
    {164, Id{164}},  // Cisco/Skinny
    {165, Id{165}},  // RTCP
    {166, Id{166}},  // RSYNC
    {167, Id{167}},  // Oracle
    {168, Id{168}},  // Corba
    {170, Id{170}},  // Whois/DAS
    {171, Id{171}},  // Collectd
    {172, Id{172}},  // SOCKS
    {173, Id{173}},  // Nintendo
    {174, Id{174}},  // RTMP
    {175, Id{175}},  // FTP/D
    {177, Id{177}},  // ZMQ
    {181, Id{181}},  // Megaco
    {182, Id{182}},  // RESP
    {184, Id{184}},  // VHUA
    {185, Id{185}},  // Telegram
    {188, Id{188}},  // QUIC
    {189, Id{248}},  // ZOOM
    {190, Id{190}},  // EAQ
    {191, Id{191}},  // OOKLA
    {192, Id{192}},  // AMQP
    {194, Id{194}},  // KakaoTalk/Voice
    {198, Id{198}},  // MPEGTS
    {204, Id{204}},  // BJNP
    {206, Id{206}},  // WireGuard
    {207, Id{207}},  // SMPP
    {209, Id{209}},  // TINC
    {213, Id{213}},  // Starcraft
    {214, Id{214}},  // Teredo
    {222, Id{222}},  // MQTT
    {223, Id{223}},  // RX
    {226, Id{226}},  // Git
    {227, Id{227}},  // DRDA
    {229, Id{229}},  // SOMEIP
    {230, Id{230}},  // FIX
    {236, Id{236}},  // LISP
    {237, Id{237}},  // Diameter
    {238, Id{238}},  // Apple/Push
    {243, Id{243}},  // DoH
    {245, Id{245}},  // Google/Call
    {247, Id{247}},  // Skype/Teams
    {255, Id{255}},  // Snapchat/Call
    {261, Id{261}},  // DoQ
    {264, Id{264}},  // AVAST/SecureDNS
    {265, Id{265}},  // CAPWAP
    {266, Id{266}},  // Cassandra
    {267, Id{267}},  // CheckPointHA
    {268, Id{268}},  // DNP3
    {269, Id{39}},   // SignalCall
    {274, Id{269}},  // DNSCrypt
    {275, Id{270}},  // EtherNet/IP
    {276, Id{271}},  // Genshin/Impact
    {277, Id{272}},  // GTP/C
    {278, Id{273}},  // GTP/P
    {279, Id{274}},  // GTP/U
    {281, Id{275}},  // HP/VirtGrp
    {282, Id{276}},  // Cisco/HSRP
    {283, Id{277}},  // IEC/60870/5/104
    {284, Id{280}},  // MongoDB
    {285, Id{281}},  // NATS
    {286, Id{282}},  // S7comm
    {287, Id{283}},  // SOAP
    {288, Id{284}},  // Targus/Dataspeed
    {289, Id{285}},  // VXLAN
    {290, Id{286}},  // Websocket
    {291, Id{287}},  // Z39/50
    {292, Id{288}},  // Zabbix
    {293, Id{289}},  // i3D
    {294, Id{290}},  // MPEG/Dash
    {296, Id{291}},  // RakNet
    {297, Id{292}},  // Riot/Games
    {298, Id{293}},  // RSH
    {299, Id{294}},  // SD/RTN
    {300, Id{295}},  // TocaBoca
    {301, Id{296}},  // UltraSurf
    {302, Id{297}},  // Xiaomi
    {303, Id{298}},  // PGM
    {304, Id{299}},  // PIM
    {305, Id{300}},  // Threema
    {306, Id{301}},  // Alibaba/Cloud
    {311, Id{21}},   // FTP/S
    {329, Id{303}},  // NAT/PMP
    {330, Id{304}},  // Tuya/LP
    {331, Id{305}},  // ElasticSearch
    {332, Id{306}},  // AVAST
    {333, Id{307}},  // CryNetwork
    {334, Id{308}},  // FastCGI
    {335, Id{309}},  // KISMET
    {336, Id{310}},  // Line/Call
    {337, Id{311}},  // Munin
    {338, Id{312}},  // Syncthing
    {339, Id{313}},  // TiVo/Connect
    {340, Id{314}},  // TPLINK/SHP
    {341, Id{315}},  // Tailscale
    {342, Id{316}},  // Meraki/Cloud
    {343, Id{317}},  // HerosOfTheStorm
    {344, Id{318}},  // BACnet
    {345, Id{319}},  // SourceEngine
    {346, Id{320}},  // OICQ
    {347, Id{321}},  // SRTP
    {348, Id{322}},  // XMPP/S
    {349, Id{323}},  // Bitcoin
    {350, Id{324}},  // Apache/Thrift
    {351, Id{325}},  // SLP
    {352, Id{326}},  // HTTP/2
    {353, Id{327}},  // Facebook/VoIP
    {354, Id{328}},  // HAProxy
    {355, Id{329}},  // RMCP
    {356, Id{330}},  // ISO/11898/1/CAN
    {357, Id{331}},  // Protobuf
    {358, Id{332}},  // Ethereum
    {359, Id{333}},  // Telegram/VoIP
    {360, Id{334}},  // Apache/Kafka
    {361, Id{335}},  // Beckhoff/ADS
    {362, Id{336}},  // BFD
    {363, Id{337}},  // ANSI/C1222
    {364, Id{338}},  // CEPH
    {365, Id{339}},  // CIP
    {366, Id{340}},  // MS/RPCH
    {367, Id{341}},  // DLEP
    {368, Id{342}},  // Ether/S/Bus
    {368, Id{342}},  // Ether/S/Bus
    {370, Id{127}},  // DCE/RPC
    {390, Id{343}},  // Ether/S/IO
    {391, Id{344}},  // FINS
    {392, Id{345}},  // Gaijin
    {393, Id{346}},  // Gearman
    {394, Id{347}},  // Hart/IP
    {395, Id{348}},  // HiSLIP
    {396, Id{349}},  // HealthLevel7
    {397, Id{350}},  // IEC/62056
    {398, Id{351}},  // IEEE/C37/118
    {399, Id{352}},  // ISO/9506/1/MMS
    {400, Id{353}},  // JSON/RPC
    {401, Id{354}},  // KCP
    {402, Id{355}},  // Monero
    {403, Id{356}},  // Mumble/VoIP
    {404, Id{357}},  // NetEaseGames
    {405, Id{358}},  // NX/NoMachine
    {406, Id{359}},  // OPC/UA
    {407, Id{360}},  // OpenFlow
    {408, Id{361}},  // PathOfExile
    {409, Id{362}},  // PROFINET/IO
    {410, Id{363}},  // PTP/2
    {411, Id{364}},  // Radmin
    {412, Id{365}},  // Raft
    {413, Id{366}},  // Roughtime
    {414, Id{367}},  // RTPS
    {415, Id{368}},  // S7comm/Plus
    {416, Id{369}},  // STOMP
    {417, Id{370}},  // Tencent/Games
    {418, Id{371}},  // UFTP
    {419, Id{372}},  // UMAS
    {420, Id{373}},  // Valve/SDR
    {421, Id{374}},  // WebDAV
    {422, Id{375}},  // yojimbo
    {423, Id{376}},  // BFCP
    {424, Id{377}},  // EGD
    {425, Id{378}},  // CoD/Mobile
    {426, Id{379}},  // PFCP
    {427, Id{380}},  // FLUTE
    {428, Id{381}},  // LoL/WildRift
    {429, Id{382}},  // ElderScrollsOnline
    {430, Id{383}},  // LDP
    {431, Id{384}},  // KNXnet/IP
    {432, Id{385}},  // Viber/VoIP
    {433, Id{386}},  // ZUG
    {434, Id{416}},  // JRMI
    {435, Id{417}},  // RIPE/Atlas
    {436, Id{418}},  // HTTP/LiveStream
    {437, Id{420}},  // Nano/NP
    {438, Id{421}},  // OpenWire
    {439, Id{422}},  // CNP/IP
    {440, Id{423}},  // ATG
    {441, Id{424}},  // TRDP
    {442, Id{425}},  // Lustre
    {443, Id{426}},  // SONOS
    {444, Id{427}},  // DingTalk
    {445, Id{428}},  // paltalk
    {446, Id{429}},  // Mikrotik/NDP
    {447, Id{430}},  // DICOM
};

// nDPI protocol codes that map to no protocol identifier.
inline constexpr uint16_t kNdpiUnmapped[] = {
    295, 280, 258, 59,  107, 108, 21,  22,  24,  26,  32,  33,  36,  39,  49,  53,  54,  56,
    57,  58,  60,  61,  62,  63,  64,  66,  68,  70,  71,  72,  90,  98,  99,  110, 113, 118,
    119, 120, 122, 123, 125, 126, 127, 133, 134, 135, 137, 140, 141, 143, 145, 147, 149, 157,
    163, 169, 176, 178, 179, 180, 183, 186, 187, 193, 195, 196, 197, 199, 200, 201, 202, 203,
    205, 208, 210, 211, 212, 215, 216, 217, 218, 219, 220, 221, 224, 225, 228, 231, 232, 233,
    234, 235, 239, 240, 241, 242, 244, 246, 248, 249, 250, 251, 252, 253, 254, 256, 257, 259,
    260, 262, 263, 270, 271, 272, 273, 307, 308, 309, 310, 312, 313, 314, 315, 316, 317, 318,
    319, 320, 321, 322, 323, 324, 325, 326, 327, 328, 369, 371, 372, 373, 374, 375, 376, 377,
    378, 379, 380, 381, 382, 383, 384, 385, 386, 387, 388, 389, 34,  25,  124, 136,
};
}  // namespace kvProto::rows

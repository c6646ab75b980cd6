// NdpiProtocolMap: the spelling table and the list of unmapped protocols of nDPI 4.2, and the
// mapping they give through the vocabulary's names.
#include "tools/capture/classify/ndpi_protocol_map.h"

#include <string>
#include <unordered_map>

#include "tables/proto_tables.h"

namespace capture {

// nDPI 4.2 name first; the code it has in 4.2 after it. Most are case or separator differences;
// the others name the same protocol another way (Usenet is NNTP, Jabber is XMPP, Redis speaks
// RESP, DoH_DoT is DNS over HTTPS or TLS, which the vocabulary calls DoH; DoT comes by the TLS
// port list).
const NdpiSpelling kNdpiSpellings[] = {
    {"FTP_CONTROL", "FTP/C"},                 // 1
    {"NetBIOS", "NETBIOS"},                   // 10
    {"Syslog", "SYSLOG"},                     // 17
    {"PostgreSQL", "PGSQL"},                  // 19
    {"MySQL", "MYSQL"},                       // 20
    {"POPS", "POP3/S"},                       // 23
    {"VMware", "VMWARE"},                     // 28
    {"SMTPS", "SMTP/S"},                      // 29
    {"SkypeCall", "Skype/Teams/Call"},        // 38
    {"NestLogSink", "NestLog"},               // 43
    {"WhatsAppCall", "WhatsApp/Call"},        // 45
    {"IMAPS", "IMAP/S"},                      // 51
    {"CPHA", "CheckPointHA"},                 // 53
    {"Jabber", "XMPP"},                       // 67
    {"Nats", "NATS"},                         // 68
    {"WorldOfWarcraft", "WoW"},               // 76
    {"IPsec", "IPSEC"},                       // 79
    {"IP_in_IP", "IPinIP"},                   // 86
    {"Usenet", "NNTP"},                       // 93
    {"ICMPV6", "ICMPv6"},                     // 102
    {"DHCPV6", "DHCPv6"},                     // 103
    {"MsSQL-TDS", "MSSQL/TDS"},               // 114
    {"WorldOfKungFu", "WoKungFu"},            // 117
    {"Skype_Teams", "Skype/Teams"},           // 125
    {"DCE_RPC", "DCE/RPC"},                   // 127
    {"sFlow", "SFlow"},                       // 129
    {"HTTP_Connect", "HTTP/Connect"},         // 130
    {"HTTP_Proxy", "HTTP/Proxy"},             // 131
    {"Radius", "RADIUS"},                     // 146
    {"CiscoVPN", "Cisco/VPN"},                // 161
    {"CiscoSkinny", "Cisco/Skinny"},          // 164
    {"Whois-DAS", "Whois/DAS"},               // 170
    {"FTP_DATA", "FTP/D"},                    // 175
    {"ZeroMQ", "ZMQ"},                        // 177
    {"Redis", "RESP"},                        // 182
    {"Zoom", "ZOOM"},                         // 189
    {"Ookla", "OOKLA"},                       // 191
    {"KakaoTalk_Voice", "KakaoTalk/Voice"},   // 194
    {"DoH_DoT", "DoH"},                       // 196
    {"MPEG_TS", "MPEGTS"},                    // 198
    {"DNScrypt", "DNSCrypt"},                 // 208
    {"ApplePush", "Apple/Push"},              // 238
    {"TargusDataspeed", "Targus/Dataspeed"},  // 243
    {"IEC60870", "IEC/60870/5/104"},          // 245
    {"s7comm", "S7comm"},                     // 249
    {"WebSocket", "Websocket"},               // 251
    {"SnapchatCall", "Snapchat/Call"},        // 255
    {"HP_VIRTGRP", "HP/VirtGrp"},             // 256
    {"GenshinImpact", "Genshin/Impact"},      // 257
    {"Z39.50", "Z39/50"},                     // 260
    {"AVASTSecureDNS", "AVAST/SecureDNS"},    // 263
    {"FacebookVoip", "Facebook/VoIP"},        // 268
    {"SignalVoip", "SignalCall"},             // 269
    {"GTP_U", "GTP/U"},                       // 271
    {"GTP_C", "GTP/C"},                       // 272
    {"GTP_PRIME", "GTP/P"},                   // 273
    {"Alibaba", "Alibaba/Cloud"},             // 274
    {"EthernetIP", "EtherNet/IP"},            // 278
};
const size_t kNdpiSpellingCount = sizeof(kNdpiSpellings) / sizeof(kNdpiSpellings[0]);

// Mostly services and applications named by host (Google, Facebook, Netflix...), which the
// vocabulary does not carry, and protocols it lacks.
const char* const kNdpiUnmappedNames[] = {
    "Hotmail",
    "Direct_Download_Link",
    "AppleJuice",
    "DirectConnect",
    "ntop",
    "Kontiki",
    "OpenFT",
    "FastTrack",
    "eDonkey",
    "Signal",
    "TikTok",
    "PPStream",
    "ShoutCast",
    "Sopcast",
    "Discord",
    "TVUplayer",
    "QQLive",
    "Thunder",
    "OCSP",
    "FREE_64",
    "Ayiya",
    "Yahoo",
    "DisneyPlus",
    "GooglePlus",
    "Tumblr",
    "Stealthnet",
    "Aimini",
    "Fiesta",
    "Florensia",
    "AmazonAlexa",
    "MapleStory",
    "Slack",
    "Facebook",
    "Twitter",
    "GMail",
    "GoogleMaps",
    "YouTube",
    "Google",
    "NetFlix",
    "LastFM",
    "Waze",
    "YouTubeUpload",
    "Hulu",
    "Apple",
    "Webex",
    "AppleiCloud",
    "AppleiTunes",
    "WindowsUpdate",
    "Tuenti",
    "Messenger",
    "Tor",
    "UbuntuONE",
    "Wikipedia",
    "Amazon",
    "eBay",
    "CNN",
    "Pinterest",
    "Vevo",
    "Pandora",
    "KakaoTalk",
    "Twitch",
    "WeChat",
    "Snapchat",
    "Sina(Weibo)",
    "GoogleHangoutDuo",
    "IFLIX",
    "Github",
    "Reddit",
    "Deezer",
    "Instagram",
    "Microsoft",
    "HotspotShield",
    "IMO",
    "GoogleDrive",
    "OCS",
    "Microsoft365",
    "Cloudflare",
    "MS_OneDrive",
    "AppleStore",
    "OpenDNS",
    "PlayStore",
    "Playstation",
    "Pastebin",
    "LinkedIn",
    "SoundCloud",
    "CSGO",
    "GoogleServices",
    "AmazonVideo",
    "GoogleDocs",
    "WhatsAppFiles",
    "Bloomberg",
    "Teams",
    "AnyDesk",
    "AppleSiri",
    "Activision",
    "FortiClient",
    "Likee",
    "GitLab",
    "AmazonAWS",
    "Salesforce",
    "Vimeo",
    "Fuze",
    "Crashlytics",
    "Azure",
    "iCloudPrivateRelay",
    "Badoo",
    "AccuWeather",
    "GoogleClassroom",
};
const size_t kNdpiUnmappedCount = sizeof(kNdpiUnmappedNames) / sizeof(kNdpiUnmappedNames[0]);

NdpiProtocolMap::NdpiProtocolMap(const NdpiModule& module) {
  std::unordered_map<std::string, kvProto::Id> by_name;
  for (const auto& entry : kvProto::Names) by_name.emplace(entry.second, entry.first);
  std::unordered_map<std::string, std::string> spelling;
  for (const NdpiSpelling& row : kNdpiSpellings) spelling.emplace(row.ndpi, row.vocabulary);

  const uint16_t codes = module.Protocols();
  ids.assign(codes, kvProto::PROTO_UNKNOWN);
  mapped.assign(codes, false);
  for (uint16_t code = 0; code < codes; code++) {
    std::string name = module.Name(code);
    auto spelt = spelling.find(name);
    if (spelt != spelling.end()) name = spelt->second;
    auto found = by_name.find(name);
    if (found == by_name.end()) continue;
    ids[code] = found->second;
    mapped[code] = true;
  }
}

kvProto::Id NdpiProtocolMap::Map(uint16_t code) const {
  return code < ids.size() ? ids[code] : kvProto::PROTO_UNKNOWN;
}

bool NdpiProtocolMap::Mapped(uint16_t code) const {
  return code < mapped.size() && mapped[code];
}

}  // namespace capture

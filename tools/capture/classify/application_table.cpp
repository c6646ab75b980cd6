// ApplicationTable: nDPI 4.2's applications with their identifiers and tags, the protocols that
// are not applications, and the lookup by nDPI's protocol code built from their names.
#include "tools/capture/classify/application_table.h"

#include "tables/proto_tables.h"

namespace capture {

// An application is a product or service of one provider (a search engine, a streaming or
// social service, a messenger, a game, a cloud, a remote-desktop tool), whether nDPI finds it by
// host name above TLS, QUIC, HTTP or DNS (TLS.Google) or by its own dissector (WhatsApp, Steam).
// The tag names the product as its users know it; one product's several nDPI protocols share
// it (Skype_Teams and Teams go with Skype/Teams/Call's "korvel.teams"). The identifiers are
// fixed here, one per row; a row leaves nDPI's table only by being deleted with its number.
const ApplicationRow kApplicationRows[] = {
    // Applications the vocabulary names without a tag: its identifier, a tag of ours.
    {"VMware", kVocabularyIdentifier, "korvel.vmware"},
    {"DataSaver", kVocabularyIdentifier, "korvel.datasaver"},
    {"Xbox", kVocabularyIdentifier, "korvel.xbox"},
    {"Zattoo", kVocabularyIdentifier, "korvel.zattoo"},
    {"AmongUs", kVocabularyIdentifier, "korvel.among-us"},
    {"HalfLife2", kVocabularyIdentifier, "korvel.half-life"},
    {"WorldOfWarcraft", kVocabularyIdentifier, "korvel.world-of-warcraft"},
    {"TruPhone", kVocabularyIdentifier, "korvel.truphone"},
    {"Armagetron", kVocabularyIdentifier, "korvel.armagetron"},
    {"Crossfire", kVocabularyIdentifier, "korvel.crossfire"},
    {"Dofus", kVocabularyIdentifier, "korvel.dofus"},
    {"Guildwars", kVocabularyIdentifier, "korvel.guild-wars"},
    {"Warcraft3", kVocabularyIdentifier, "korvel.warcraft"},
    {"WorldOfKungFu", kVocabularyIdentifier, "korvel.world-of-kung-fu"},
    {"Dropbox", kVocabularyIdentifier, "korvel.dropbox"},
    {"Skype_Teams", kVocabularyIdentifier, "korvel.teams"},
    {"Citrix", kVocabularyIdentifier, "korvel.citrix"},
    {"WhatsApp", kVocabularyIdentifier, "korvel.whatsapp"},
    {"Viber", kVocabularyIdentifier, "korvel.viber"},
    {"LotusNotes", kVocabularyIdentifier, "korvel.lotus-notes"},
    {"SAP", kVocabularyIdentifier, "korvel.sap"},
    {"CiscoVPN", kVocabularyIdentifier, "korvel.cisco-vpn"},
    {"TeamSpeak", kVocabularyIdentifier, "korvel.teamspeak"},
    {"Nintendo", kVocabularyIdentifier, "korvel.nintendo"},
    {"VHUA", kVocabularyIdentifier, "korvel.vhua"},
    {"Telegram", kVocabularyIdentifier, "korvel.telegram"},
    {"EAQ", kVocabularyIdentifier, "korvel.eaq"},
    {"KakaoTalk_Voice", kVocabularyIdentifier, "korvel.kakaotalk"},
    {"Starcraft", kVocabularyIdentifier, "korvel.starcraft"},
    {"GenshinImpact", kVocabularyIdentifier, "korvel.genshin-impact"},
    {"AVASTSecureDNS", kVocabularyIdentifier, "korvel.avast"},
    {"Alibaba", kVocabularyIdentifier, "korvel.alibaba"},
    // Applications the vocabulary lacks: identifiers of our own.
    {"Hotmail", 10001, "korvel.hotmail"},
    {"ntop", 10002, "korvel.ntop"},
    {"Kontiki", 10003, "korvel.kontiki"},
    {"Signal", 10004, "korvel.signal"},
    {"TikTok", 10005, "korvel.tiktok"},
    {"PPStream", 10006, "korvel.ppstream"},
    {"Sopcast", 10007, "korvel.sopcast"},
    {"Discord", 10008, "korvel.discord"},
    {"TVUplayer", 10009, "korvel.tvuplayer"},
    {"QQLive", 10010, "korvel.qqlive"},
    {"Thunder", 10011, "korvel.thunder"},
    {"FREE_64", 10012, "korvel.free"},
    {"Yahoo", 10013, "korvel.yahoo"},
    {"DisneyPlus", 10014, "korvel.disney-plus"},
    {"GooglePlus", 10015, "korvel.google-plus"},
    {"Tumblr", 10016, "korvel.tumblr"},
    {"Aimini", 10017, "korvel.aimini"},
    {"Fiesta", 10018, "korvel.fiesta"},
    {"Florensia", 10019, "korvel.florensia"},
    {"AmazonAlexa", 10020, "korvel.alexa"},
    {"MapleStory", 10021, "korvel.maplestory"},
    {"Slack", 10022, "korvel.slack"},
    {"Facebook", 10023, "korvel.meta"},
    {"Twitter", 10024, "korvel.twitter"},
    {"GMail", 10025, "korvel.gmail"},
    {"GoogleMaps", 10026, "korvel.google-maps"},
    {"YouTube", 10027, "korvel.youtube"},
    {"Google", 10028, "korvel.google"},
    {"NetFlix", 10029, "korvel.netflix"},
    {"LastFM", 10030, "korvel.lastfm"},
    {"Waze", 10031, "korvel.waze"},
    {"YouTubeUpload", 10032, "korvel.youtube"},
    {"Hulu", 10033, "korvel.hulu"},
    {"Apple", 10034, "korvel.apple"},
    {"Webex", 10035, "korvel.webex"},
    {"AppleiCloud", 10036, "korvel.icloud"},
    {"AppleiTunes", 10037, "korvel.itunes"},
    {"WindowsUpdate", 10038, "korvel.windows-update"},
    {"Tuenti", 10039, "korvel.tuenti"},
    {"Messenger", 10040, "korvel.meta"},
    {"Tor", 10041, "korvel.tor"},
    {"UbuntuONE", 10042, "korvel.ubuntu-one"},
    {"Wikipedia", 10043, "korvel.wikipedia"},
    {"Amazon", 10044, "korvel.amazon"},
    {"eBay", 10045, "korvel.ebay"},
    {"CNN", 10046, "korvel.cnn"},
    {"Pinterest", 10047, "korvel.pinterest"},
    {"Vevo", 10048, "korvel.vevo"},
    {"Pandora", 10049, "korvel.pandora"},
    {"KakaoTalk", 10050, "korvel.kakaotalk"},
    {"Twitch", 10051, "korvel.twitch"},
    {"WeChat", 10052, "korvel.wechat"},
    {"Snapchat", 10053, "korvel.snapchat"},
    {"Sina(Weibo)", 10054, "korvel.weibo"},
    {"GoogleHangoutDuo", 10055, "korvel.google-meet"},
    {"IFLIX", 10056, "korvel.iflix"},
    {"Github", 10057, "korvel.github"},
    {"Reddit", 10058, "korvel.reddit"},
    {"Deezer", 10059, "korvel.deezer"},
    {"Instagram", 10060, "korvel.instagram"},
    {"Microsoft", 10061, "korvel.microsoft"},
    {"HotspotShield", 10062, "korvel.hotspot-shield"},
    {"IMO", 10063, "korvel.imo"},
    {"GoogleDrive", 10064, "korvel.google-drive"},
    {"OCS", 10065, "korvel.ocs"},
    {"Microsoft365", 10066, "korvel.microsoft-365"},
    {"Cloudflare", 10067, "korvel.cloudflare"},
    {"MS_OneDrive", 10068, "korvel.onedrive"},
    {"AppleStore", 10069, "korvel.app-store"},
    {"OpenDNS", 10070, "korvel.opendns"},
    {"PlayStore", 10071, "korvel.play-store"},
    {"Playstation", 10072, "korvel.playstation"},
    {"Pastebin", 10073, "korvel.pastebin"},
    {"LinkedIn", 10074, "korvel.linkedin"},
    {"SoundCloud", 10075, "korvel.soundcloud"},
    {"CSGO", 10076, "korvel.counter-strike"},
    {"GoogleServices", 10077, "korvel.google"},
    {"AmazonVideo", 10078, "korvel.prime-video"},
    {"GoogleDocs", 10079, "korvel.google-docs"},
    {"WhatsAppFiles", 10080, "korvel.whatsapp"},
    {"Bloomberg", 10081, "korvel.bloomberg"},
    {"Teams", 10082, "korvel.teams"},
    {"AnyDesk", 10083, "korvel.anydesk"},
    {"AppleSiri", 10084, "korvel.siri"},
    {"Activision", 10085, "korvel.activision"},
    {"FortiClient", 10086, "korvel.forticlient"},
    {"Likee", 10087, "korvel.likee"},
    {"GitLab", 10088, "korvel.gitlab"},
    {"AmazonAWS", 10089, "korvel.aws"},
    {"Salesforce", 10090, "korvel.salesforce"},
    {"Vimeo", 10091, "korvel.vimeo"},
    {"Fuze", 10092, "korvel.fuze"},
    {"Crashlytics", 10093, "korvel.crashlytics"},
    {"Azure", 10094, "korvel.azure"},
    {"iCloudPrivateRelay", 10095, "korvel.icloud-private-relay"},
    {"Badoo", 10096, "korvel.badoo"},
    {"AccuWeather", 10097, "korvel.accuweather"},
    {"GoogleClassroom", 10098, "korvel.google-classroom"},
};
const size_t kApplicationRowCount = sizeof(kApplicationRows) / sizeof(kApplicationRows[0]);

// Protocols, also those one vendor made (Check Point's CPHA, Cisco's Skinny), since many
// programs speak them: the detected protocol names them. Above another protocol
// (TLS.DoH_DoT, GTP.GTP_U) the flow's application is the vocabulary's protocol.
const NotApplicationRow kNotApplicationRows[] = {
    {"Unknown", NotApplication::kNothing},
    {"Direct_Download_Link", NotApplication::kKind},
    {"Mining", NotApplication::kKind},
#define KORVEL_PROTOCOL(name) {name, NotApplication::kProtocol}
    KORVEL_PROTOCOL("FTP_CONTROL"), KORVEL_PROTOCOL("POP3"), KORVEL_PROTOCOL("SMTP"),
    KORVEL_PROTOCOL("IMAP"), KORVEL_PROTOCOL("DNS"), KORVEL_PROTOCOL("IPP"),
    KORVEL_PROTOCOL("HTTP"), KORVEL_PROTOCOL("MDNS"), KORVEL_PROTOCOL("NetBIOS"),
    KORVEL_PROTOCOL("NFS"), KORVEL_PROTOCOL("SSDP"), KORVEL_PROTOCOL("BGP"),
    KORVEL_PROTOCOL("SNMP"), KORVEL_PROTOCOL("XDMCP"), KORVEL_PROTOCOL("SMBv1"),
    KORVEL_PROTOCOL("Syslog"), KORVEL_PROTOCOL("DHCP"), KORVEL_PROTOCOL("PostgreSQL"),
    KORVEL_PROTOCOL("MySQL"), KORVEL_PROTOCOL("POPS"), KORVEL_PROTOCOL("COAP"),
    KORVEL_PROTOCOL("SMTPS"), KORVEL_PROTOCOL("DTLS"), KORVEL_PROTOCOL("Gnutella"),
    KORVEL_PROTOCOL("BitTorrent"), KORVEL_PROTOCOL("Memcached"), KORVEL_PROTOCOL("SMBv23"),
    KORVEL_PROTOCOL("Modbus"), KORVEL_PROTOCOL("RTSP"), KORVEL_PROTOCOL("IMAPS"),
    KORVEL_PROTOCOL("IceCast"), KORVEL_PROTOCOL("CPHA"), KORVEL_PROTOCOL("MongoDB"),
    KORVEL_PROTOCOL("IRC"), KORVEL_PROTOCOL("Jabber"), KORVEL_PROTOCOL("Nats"),
    KORVEL_PROTOCOL("VRRP"), KORVEL_PROTOCOL("Telnet"), KORVEL_PROTOCOL("STUN"),
    KORVEL_PROTOCOL("IPsec"), KORVEL_PROTOCOL("GRE"), KORVEL_PROTOCOL("ICMP"),
    KORVEL_PROTOCOL("IGMP"), KORVEL_PROTOCOL("EGP"), KORVEL_PROTOCOL("SCTP"),
    KORVEL_PROTOCOL("OSPF"), KORVEL_PROTOCOL("IP_in_IP"), KORVEL_PROTOCOL("RTP"),
    KORVEL_PROTOCOL("RDP"), KORVEL_PROTOCOL("VNC"), KORVEL_PROTOCOL("TLS"),
    KORVEL_PROTOCOL("SSH"), KORVEL_PROTOCOL("Usenet"), KORVEL_PROTOCOL("MGCP"),
    KORVEL_PROTOCOL("IAX"), KORVEL_PROTOCOL("TFTP"), KORVEL_PROTOCOL("AFP"),
    KORVEL_PROTOCOL("SIP"), KORVEL_PROTOCOL("ICMPV6"), KORVEL_PROTOCOL("DHCPV6"),
    KORVEL_PROTOCOL("Kerberos"), KORVEL_PROTOCOL("LDAP"), KORVEL_PROTOCOL("MsSQL-TDS"),
    KORVEL_PROTOCOL("PPTP"), KORVEL_PROTOCOL("DCE_RPC"), KORVEL_PROTOCOL("NetFlow"),
    KORVEL_PROTOCOL("sFlow"), KORVEL_PROTOCOL("HTTP_Connect"), KORVEL_PROTOCOL("HTTP_Proxy"),
    KORVEL_PROTOCOL("CHECKMK"), KORVEL_PROTOCOL("AJP"), KORVEL_PROTOCOL("Radius"),
    KORVEL_PROTOCOL("GTP"), KORVEL_PROTOCOL("WSD"), KORVEL_PROTOCOL("LLMNR"),
    KORVEL_PROTOCOL("RemoteScan"), KORVEL_PROTOCOL("H323"), KORVEL_PROTOCOL("OpenVPN"),
    KORVEL_PROTOCOL("NOE"), KORVEL_PROTOCOL("CiscoSkinny"), KORVEL_PROTOCOL("RTCP"),
    KORVEL_PROTOCOL("RSYNC"), KORVEL_PROTOCOL("Oracle"), KORVEL_PROTOCOL("Corba"),
    KORVEL_PROTOCOL("Whois-DAS"), KORVEL_PROTOCOL("Collectd"), KORVEL_PROTOCOL("SOCKS"),
    KORVEL_PROTOCOL("RTMP"), KORVEL_PROTOCOL("FTP_DATA"), KORVEL_PROTOCOL("ZeroMQ"),
    KORVEL_PROTOCOL("Megaco"), KORVEL_PROTOCOL("Redis"), KORVEL_PROTOCOL("QUIC"),
    KORVEL_PROTOCOL("AMQP"), KORVEL_PROTOCOL("DoH_DoT"), KORVEL_PROTOCOL("MPEG_TS"),
    KORVEL_PROTOCOL("BJNP"), KORVEL_PROTOCOL("WireGuard"), KORVEL_PROTOCOL("SMPP"),
    KORVEL_PROTOCOL("DNScrypt"), KORVEL_PROTOCOL("TINC"), KORVEL_PROTOCOL("Teredo"),
    KORVEL_PROTOCOL("MQTT"), KORVEL_PROTOCOL("RX"), KORVEL_PROTOCOL("Git"),
    KORVEL_PROTOCOL("DRDA"), KORVEL_PROTOCOL("SOMEIP"), KORVEL_PROTOCOL("FIX"),
    KORVEL_PROTOCOL("LISP"), KORVEL_PROTOCOL("Diameter"), KORVEL_PROTOCOL("TargusDataspeed"),
    KORVEL_PROTOCOL("DNP3"), KORVEL_PROTOCOL("IEC60870"), KORVEL_PROTOCOL("CAPWAP"),
    KORVEL_PROTOCOL("Zabbix"), KORVEL_PROTOCOL("s7comm"), KORVEL_PROTOCOL("WebSocket"),
    KORVEL_PROTOCOL("SOAP"), KORVEL_PROTOCOL("HP_VIRTGRP"), KORVEL_PROTOCOL("Z39.50"),
    KORVEL_PROTOCOL("Cassandra"), KORVEL_PROTOCOL("GTP_U"), KORVEL_PROTOCOL("GTP_C"),
    KORVEL_PROTOCOL("GTP_PRIME"), KORVEL_PROTOCOL("EthernetIP"),
    // Peer-to-peer networks and file sharing, which many clients speak.
    KORVEL_PROTOCOL("AppleJuice"), KORVEL_PROTOCOL("DirectConnect"), KORVEL_PROTOCOL("OpenFT"),
    KORVEL_PROTOCOL("FastTrack"), KORVEL_PROTOCOL("eDonkey"), KORVEL_PROTOCOL("Stealthnet"),
    // Streaming, certificate status and tunnelling protocols the vocabulary lacks.
    KORVEL_PROTOCOL("ShoutCast"), KORVEL_PROTOCOL("OCSP"), KORVEL_PROTOCOL("Ayiya"),
#undef KORVEL_PROTOCOL
};
const size_t kNotApplicationRowCount = sizeof(kNotApplicationRows) / sizeof(kNotApplicationRows[0]);

ApplicationTable::ApplicationTable(const NdpiModule& module, const NdpiProtocolMap& map) {
  std::unordered_map<std::string, const ApplicationRow*> rows;
  for (const ApplicationRow& row : kApplicationRows) rows.emplace(row.ndpi, &row);
  by_code.assign(module.Protocols(), Application{});
  for (uint16_t code = 0; code < module.Protocols(); code++) {
    const std::string name = module.Name(code);
    const kvProto::Id id = map.Map(code);
    Application application;
    auto tagged = kvProto::AppTags.find(id);
    auto row = rows.find(name);
    if (map.Mapped(code) && id != kvProto::PROTO_UNKNOWN && tagged != kvProto::AppTags.end()) {
      application = {static_cast<uint32_t>(id), tagged->second};
    } else if (row != rows.end()) {
      const uint32_t own = row->second->id;
      application = {own == kVocabularyIdentifier ? static_cast<uint32_t>(id) : own,
                     row->second->tag};
    }
    if (!application.tag) continue;
    by_code[code] = application;
    by_name.emplace(name, application);
  }
}

Application ApplicationTable::Of(uint16_t code) const {
  return code < by_code.size() ? by_code[code] : Application{};
}

}  // namespace capture

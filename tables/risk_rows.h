// Constant row lists of the risk tables, in construction order. Included only by
// tables.cpp.
#pragma once

#include <cstdint>

#include "kv/ids.h"
#include "tables/table_build.h"

namespace kvRisk::rows {
// Display names, by identifier; 18, 34 and 54 have none.
inline constexpr kppTableRow<Id, const char*> kNames[] = {
    {Id{0}, "None"},
    {Id{1}, "Anonymous Subscriber"},
    {Id{2}, "Binary Application Transfer"},
    {Id{3}, "Clear-Text Credentials"},
    {Id{4}, "Desktop/File Sharing"},
    {Id{5}, "Fragmented DNS Message"},
    {Id{6}, "Large DNS Packet (512+ bytes)"},
    {Id{7}, "Suspicious DNS Traffic"},
    {Id{8}, "Error Code"},
    {Id{9}, "Crawler/Bot"},
    {Id{10}, "Numeric IP Address"},
    {Id{11}, "HTTP Suspicious Content"},
    {Id{12}, "HTTP Suspicious Header"},
    {Id{13}, "HTTP Suspicious URL"},
    {Id{14}, "HTTP Suspicious User-Agent"},
    {Id{15}, "Text With Non-Printable Characters"},
    {Id{16}, "Known Protocol on Non-standard Port"},
    {Id{17}, "Malformed Packet"},
    {Id{19}, "Malicious SSL Cert/SHA1 Fingerprint"},
    {Id{20}, "Possible Exploit"},
    {Id{21}, "IDN Domain Name"},
    {Id{22}, "Risky ASN"},
    {Id{23}, "Risky Domain Name"},
    {Id{24}, "SMB Insecure Version"},
    {Id{25}, "SSH Obsolete Client Version/Cipher"},
    {Id{26}, "SSH Obsolete Server Version/Cipher"},
    {Id{27}, "Suspicious DGA Domain name"},
    {Id{28}, "Suspicious Entropy"},
    {Id{29}, "TLS Certificate About To Expire"},
    {Id{30}, "TLS Certificate Expired"},
    {Id{31}, "TLS Certificate Mismatch"},
    {Id{32}, "TLS Certificate Validity Too Long"},
    {Id{33}, "TLS Fatal Alert"},
    {Id{35}, "TLS SNI Extension Not Found"},
    {Id{36}, "Obsolete TLS (v1.1 or older)"},
    {Id{37}, "Self-signed Certificate"},
    {Id{38}, "TLS Suspicious ESNI Usage"},
    {Id{39}, "TLS Suspicious Extension"},
    {Id{40}, "Uncommon TLS ALPN"},
    {Id{41}, "Weak TLS Cipher"},
    {Id{42}, "Unsafe Protocol"},
    {Id{43}, "RCE Injection"},
    {Id{44}, "SQL Injection"},
    {Id{45}, "XSS Attack"},
    {Id{46}, "Unidirectional Traffic"},
    {Id{47}, "TLS ALPN Not Found"},
    {Id{48}, "HTTP Obsolete Server"},
    {Id{49}, "Periodic Flow"},
    {Id{50}, "Minor Issues"},
    {Id{51}, "TCP Connection Issues"},
    {Id{52}, "Fully Encrypted Flow"},
    {Id{53}, "TLS ALPN/SNI Mismatch"},
    {Id{55}, "Binary File/Data Transfer"},
    {Id{56}, "Probing Attempt"},
    {Id{57}, "Malicous Fingerprint"},
    {Id{58}, "Obfuscated Traffic"},
    {RISK_TODO, "TODO Add Risk"},
};

// nDPI risk code to risk identifier, in the daemon's order; code 53 gives 54, which has no name.
inline constexpr kppTableRow<uint16_t, Id> kNdpiMap[] = {
    {45, Id{1}},   // Anonymous Subscriber
    {4, Id{2}},    // Binary Application Transfer
    {54, Id{55}},  // Binary File/Data Transfer
    {36, Id{3}},   // Clear-Text Credentials
    {30, Id{4}},   // Desktop/File Sharing
    {38, Id{5}},   // Fragmented DNS Message
    {37, Id{6}},   // Large DNS Packet (512+ bytes)
    {23, Id{7}},   // Suspicious DNS Traffic
    {43, Id{8}},   // Error Code
    {44, Id{9}},   // Crawler/Bot
    {47, Id{48}},  // HTTP Obsolete Server
    {25, Id{11}},  // HTTP Suspicious Content
    {14, Id{12}},  // HTTP Suspicious Header
    {13, Id{13}},  // HTTP Suspicious URL
    {11, Id{14}},  // HTTP Suspicious User-Agent
    {39, Id{15}},  // Text With Non-Printable Characters
    {5, Id{16}},   // Known Protocol on Non-standard Port
    {17, Id{17}},  // Malformed Packet
    {28, Id{57}},  // Malicous Fingerprint
    {29, Id{19}},  // Malicious SSL Cert/SHA1 Fingerprint
    {53, Id{54}},  // (no name)
    {49, Id{50}},  // Minor Issues
    {0, Id{0}},    // None
    {12, Id{10}},  // Numeric IP Address
    {56, Id{58}},  // Obfuscated Traffic
    {48, Id{49}},  // Periodic Flow
    {40, Id{20}},  // Possible Exploit
    {55, Id{56}},  // Probing Attempt
    {42, Id{21}},  // IDN Domain Name
    {26, Id{22}},  // Risky ASN
    {27, Id{23}},  // Risky Domain Name
    {20, Id{24}},  // SMB Insecure Version
    {18, Id{25}},  // SSH Obsolete Client Version/Cipher
    {19, Id{26}},  // SSH Obsolete Server Version/Cipher
    {16, Id{27}},  // Suspicious DGA Domain name
    {35, Id{28}},  // Suspicious Entropy
    {50, Id{51}},  // TCP Connection Issues
    {52, Id{53}},  // TLS ALPN/SNI Mismatch
    {41, Id{29}},  // TLS Certificate About To Expire
    {9, Id{30}},   // TLS Certificate Expired
    {10, Id{31}},  // TLS Certificate Mismatch
    {32, Id{32}},  // TLS Certificate Validity Too Long
    {34, Id{33}},  // TLS Fatal Alert
    {24, Id{35}},  // TLS SNI Extension Not Found
    {15, Id{47}},  // TLS ALPN Not Found
    {7, Id{36}},   // Obsolete TLS (v1.1 or older)
    {6, Id{37}},   // Self-signed Certificate
    {33, Id{39}},  // TLS Suspicious Extension
    {31, Id{40}},  // Uncommon TLS ALPN
    {8, Id{41}},   // Weak TLS Cipher
    {46, Id{46}},  // Unidirectional Traffic
    {22, Id{42}},  // Unsafe Protocol
    {3, Id{43}},   // RCE Injection
    {2, Id{44}},   // SQL Injection
    {1, Id{45}},   // XSS Attack
};
}  // namespace kvRisk::rows

// The local networks a tracker uses unless told otherwise.
#include "tools/capture/track/tracker_settings.h"

namespace capture {

const std::vector<std::string> kDefaultLocalNets = {
    "10.0.0.0/8",     "172.16.0.0/12", "192.168.0.0/16",  // private IPv4
    "169.254.0.0/16",                                     // IPv4 link-local
    "127.0.0.0/8",                                        // IPv4 loopback
    "fc00::/7",                                           // IPv6 unique-local
    "fe80::/10",                                          // IPv6 link-local
    "::1/128",                                            // IPv6 loopback
};

}  // namespace capture

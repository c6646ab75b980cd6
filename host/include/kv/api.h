// Visibility of the daemon library's types and functions, as the plugin and the stand-in see them.
#pragma once

// Every daemon type is exported by libkorveld and imported by its users, so that type information,
// virtual tables and exceptions cross the library boundary. The plugin hides its own symbols with a
// linker version script; these declarations keep the daemon's names resolvable from it.
#define KV_API __attribute__((visibility("default")))

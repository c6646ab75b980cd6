// The replay tool's fixed values: names, defaults, limits, exit statuses and the ABI it accepts.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "korvel_version.h"

namespace replay {

constexpr const char* kProgramName = "korvel-replay";
constexpr const char* kProgramVersion = KORVEL_VERSION;

// Exit statuses.
constexpr int kExitDone = 0;
constexpr int kExitPluginRefused = 1;
constexpr int kExitUsageOrScenario = 2;
constexpr int kExitSyncTimeout = 3;
// A second SIGINT while a live capture stops: the shell's status for a death by SIGINT.
constexpr int kExitInterrupted = 130;

// Defaults of the command line.
constexpr const char* kDefaultTag = "proc-core";
constexpr size_t kDefaultBuckets = 16;
constexpr size_t kMaxBuckets = size_t{1} << 20;
constexpr unsigned kDefaultSyncTimeoutSeconds = 10;
constexpr unsigned kMaxSyncTimeoutSeconds = 86400;
// The stdio buffer the sink lines are written through to an -o file: a write system call per
// buffer, where the default buffer costs one every few lines.
constexpr size_t kOutputFileBufferBytes = size_t{1} << 20;
// The capture options' seconds (update interval, idle times, linger) go up to a week.
constexpr uint64_t kMaxCaptureSeconds = 604800;
// A live capture's kernel buffer, in MiB (libpcap takes its size as an int of bytes).
constexpr uint32_t kDefaultCaptureBufferMb = 16;
constexpr uint32_t kMaxCaptureBufferMb = 2047;
// The largest --max-flows.
constexpr uint64_t kMaxFlowTableLimit = 4294967295;
constexpr const char* kRoleLan = "lan";
constexpr const char* kRoleWan = "wan";

// The plugin's file name, and where it lies relative to the tool in the build tree (the tool in
// <build>/tools, the plugin in <build>/plugin). The installed location is baked in by the build
// (KORVEL_REPLAY_PLUGIN_DIR, relative to the tool's directory).
constexpr const char* kPluginFileName = "libkorvel-proc-core.so.0";
constexpr const char* kBuildTreePluginDir = "../plugin";

// The plugin's parameter naming its configuration file.
constexpr const char* kConfFilenameParam = "conf_filename";
// Name of the configuration file inside the tool's private temporary directory.
constexpr const char* kTempConfigName = "korvel-proc-core.json";
constexpr const char* kTempDirTemplate = "korvel-replay.XXXXXX";

// Symbols the daemon looks up in a plugin.
constexpr const char* kAbiSymbol = "kv_plugin_abi";
constexpr const char* kInitSymbol = "kvPluginInit";

// The ABI record a plugin of this daemon-library interface carries: 32 bytes, little-endian.
constexpr size_t kAbiRecordSize = 32;
constexpr char kAbiMagic[4] = {'B', 'A', 'P', 'K'};
constexpr uint32_t kAbiLength = 32;
constexpr uint32_t kAbiInterfaceLevel = 25;
constexpr uint32_t kAbiDateStamp = 0x20230309;
constexpr uint32_t kAbiFixed16 = 1;
constexpr uint32_t kAbiFixed20 = 0;
constexpr uint32_t kAbiFixed24 = 2912;
constexpr uint32_t kAbiFixed28 = 72;

// A wait that sees the worker do nothing this long after work was queued for it wakes it again,
// in case it missed its wake-up (which would otherwise cost up to its one-second wait).
constexpr std::chrono::milliseconds kWakeCheckInterval{1};
// How long the tool waits for a worker that stopped answering to end after Terminate().
constexpr std::chrono::seconds kStuckWorkerJoinLimit{5};

// The progress line: shown on a terminal once playing has taken this long, redrawn this often.
constexpr std::chrono::milliseconds kProgressDelay{1000};
constexpr std::chrono::milliseconds kProgressInterval{200};

// Configuration documents nested deeper than this are refused: writing one out recurses once
// per level.
constexpr size_t kMaxConfigDepth = 512;

// Sink files: extensions by format, and the one added for compressed files.
constexpr const char* kJsonExtension = ".json";
constexpr const char* kMsgpackExtension = ".msgpack";
constexpr const char* kGzipExtension = ".gz";

}  // namespace replay

// The replay tests' helpers: the tool as a child process, files, the golden comparison.
#include "replay_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace korvel_test {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path), 0;
}

void SortArray(json& array) {
  if (!array.is_array()) return;
  std::sort(array.begin(), array.end(),
            [](const json& a, const json& b) { return a.dump() < b.dump(); });
}

// Sorts every array member of `object`, or the "addr" array of every object member.
void SortMembers(json& object, bool addr_of_members) {
  if (!object.is_object()) return;
  for (auto& entry : object.items()) {
    if (!addr_of_members) {
      SortArray(entry.value());
    } else if (entry.value().is_object() && entry.value().contains("addr")) {
      SortArray(entry.value()["addr"]);
    }
  }
}

}  // namespace

ScratchDir::ScratchDir() {
  const char* root = getenv("TMPDIR");
  path = std::string(root != nullptr && *root != '\0' ? root : "/tmp") + "/korvel-tools.XXXXXX";
  if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

ScratchDir::~ScratchDir() {
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ScratchDir::Write(const std::string& name, const std::string& content) const {
  std::ofstream(path + "/" + name, std::ios::binary) << content;
  return path + "/" + name;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReadGzip(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return "<cannot open " + path + ">";
  std::string content;
  char buffer[4096];
  for (int n; (n = gzread(file, buffer, sizeof(buffer))) > 0;) content.append(buffer, n);
  gzclose(file);
  return content;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<json> ReadMsgpackDocuments(const std::string& bytes) {
  std::vector<json> documents;
  // Each document is read alone; its encoding's length tells where the next one starts.
  for (size_t offset = 0, end = 1; offset < bytes.size(); end++) {
    if (end > bytes.size()) {
      ADD_FAILURE() << "trailing bytes at " << offset;
      break;
    }
    json document = json::from_msgpack(bytes.begin() + offset, bytes.begin() + end, true, false);
    if (!document.is_discarded()) {
      documents.push_back(document);
      offset = end;
    }
  }
  return documents;
}

ToolRun RunReplayTool(const std::vector<std::string>& args, const std::string& input,
                      const std::string& cwd) {
  ScratchDir streams;
  const std::string in_path = streams.Write("stdin", input);
  const std::string out_path = streams.Path() + "/stdout";
  const std::string err_path = streams.Path() + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in_path.c_str(), O_RDONLY, 0);
  for (const auto& [fd, file] : {std::pair{STDOUT_FILENO, &out_path}, {STDERR_FILENO, &err_path}})
    posix_spawn_file_actions_addopen(&actions, fd, file->c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<std::string> argv_text{KORVEL_REPLAY_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, KORVEL_REPLAY_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + std::string(KORVEL_REPLAY_PATH));
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  ToolRun run;
  if (WIFEXITED(wait_status)) run.status = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) run.status = 128 + WTERMSIG(wait_status);
  run.out = ReadFileText(out_path);
  run.err = ReadFileText(err_path);
  return run;
}

json NormalizeSinkRecord(const json& record) {
  json normalized = record;
  if (!normalized.is_object() || !normalized.contains("payload")) return normalized;
  json& payload = normalized["payload"];
  if (!payload.is_object()) return normalized;
  payload.erase("timestamp");
  const json type = payload.value("type", json());
  if (type == "interfaces") {
    SortMembers(payload, true);
  } else if (type == "endpoints") {
    SortMembers(payload, false);
  } else if (type.is_null() && payload.contains("version")) {  // the legacy document
    if (payload.contains("interfaces")) SortMembers(payload["interfaces"], true);
    if (payload.contains("devices")) SortMembers(payload["devices"], false);
    if (payload.contains("flows")) SortMembers(payload["flows"], false);
  }
  return normalized;
}

namespace {
// The agent status's members that measure the process playing the capture.
const char* const kProcessFigures[] = {"cpu_user",        "cpu_user_prev", "cpu_system",
                                       "cpu_system_prev", "maxrss_kb",     "maxrss_kb_prev",
                                       "memrss_kb",       "memrss_kb_prev"};

// The output with the process figures of agent status and legacy documents set to 0.
}  // namespace

std::string WithoutProcessFigures(const std::string& output) {
  std::string masked;
  for (const std::string& line : SplitLines(output)) {
    json record = json::parse(line, nullptr, false);
    if (record.is_object() && record.contains("payload") && record["payload"].is_object()) {
      json& payload = record["payload"];
      const json type = payload.value("type", json());
      if (type == "agent_status" || (type.is_null() && payload.contains("version"))) {
        for (const char* key : kProcessFigures) {
          if (payload.contains(key)) payload[key] = 0;
        }
      }
      masked += record.dump() + "\n";
    } else {
      masked += line + "\n";
    }
  }
  return masked;
}

std::string CompareReplayOutputs(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> want = SplitLines(expected);
  const std::vector<std::string> got = SplitLines(actual);
  for (size_t i = 0; i < std::max(want.size(), got.size()); i++) {
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    if (i >= want.size()) return where + "unexpected extra line " + got[i];
    if (i >= got.size()) return where + "missing line " + want[i];
    json records[2];
    for (int side = 0; side < 2; side++) {
      try {
        records[side] = NormalizeSinkRecord(json::parse(side == 0 ? want[i] : got[i]));
      } catch (const json::exception& e) {
        return where + (side == 0 ? "expected" : "output") + " line is not JSON: " + e.what();
      }
    }
    if (records[0] != records[1]) {
      return where + "expected " + records[0].dump() + "\n     got " + records[1].dump();
    }
  }
  return std::string();
}

}  // namespace korvel_test

// RunReplayTool and ScratchDir: the tool run as a child process with files for its streams.
#include "tool_runner.h"

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace korvel_test {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

}  // namespace

ScratchDir::ScratchDir() {
  const char* root = getenv("TMPDIR");
  std::string pattern =
      std::string(root != nullptr && *root != '\0' ? root : "/tmp") + "/korvel-tools-test.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

ScratchDir::~ScratchDir() {
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ScratchDir::Write(const std::string& name, const std::string& content) const {
  const std::string file = path + "/" + name;
  std::ofstream out(file, std::ios::binary);
  out << content;
  return file;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ToolRun RunReplayTool(const std::vector<std::string>& args, const std::string& input) {
  ScratchDir streams;
  const std::string in_path = streams.Write("stdin", input);
  const std::string out_path = streams.Path() + "/stdout";
  const std::string err_path = streams.Path() + "/stderr";

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);

  std::vector<std::string> argv_text{KORVEL_REPLAY_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  ToolRun run;
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, KORVEL_REPLAY_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + std::string(KORVEL_REPLAY_PATH));
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  if (WIFEXITED(wait_status)) {
    run.status = WEXITSTATUS(wait_status);
  } else if (WIFSIGNALED(wait_status)) {
    run.status = 128 + WTERMSIG(wait_status);
  }
  run.out = ReadFileText(out_path);
  run.err = ReadFileText(err_path);
  return run;
}

}  // namespace korvel_test

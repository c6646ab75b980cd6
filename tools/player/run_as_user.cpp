// RunAsUser: getpwnam_r, then initgroups, setgid and setuid in that order.
#include "tools/player/run_as_user.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace replay {

std::string RunAsUser::LookUp(const std::string& user) {
  name = user;
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  int rc;
  while ((rc = getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (rc != 0) return "--user " + user + ": " + std::strerror(rc);
  if (found == nullptr) return "--user " + user + ": no such user";
  uid = entry.pw_uid;
  gid = entry.pw_gid;
  return "";
}

std::string RunAsUser::Drop() const {
  auto failed = [this](const char* call) {
    return "--user " + name + ": " + call + ": " + std::strerror(errno);
  };
  if (initgroups(name.c_str(), gid) != 0) return failed("initgroups");
  if (setgid(gid) != 0) return failed("setgid");
  if (setuid(uid) != 0) return failed("setuid");
  if (uid != 0 && (setuid(0) == 0 || seteuid(0) == 0)) {
    return "--user " + name + ": root's privileges could be taken back";
  }
  return "";
}

}  // namespace replay

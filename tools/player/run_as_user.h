// RunAsUser: the user a live capture drops its privileges to once its interfaces are open.
#pragma once

#include <sys/types.h>

#include <string>

namespace replay {

// Main thread, before any other thread starts.
class RunAsUser {
 public:
  // Looks the user up; "" or "--user NAME: reason" (no such user).
  std::string LookUp(const std::string& name);
  // Takes the user's groups (initgroups), then its group (setgid), then its id (setuid), and
  // checks that the old ones cannot be taken back. "" or "--user NAME: reason".
  std::string Drop() const;

 private:
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
};

}  // namespace replay

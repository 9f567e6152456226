// The main of test programs that start themselves as a second process (see
// spawn_child.h): "--child ROLE FOLDER ARGS..." runs the role, anything else
// runs the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/spawn_child.h"

namespace qorlog::testing {
// Defined in spawn_child.cc.
int RunChildRole(const std::string& role, const std::string& folder, const std::vector<std::string>& args);
void SetSelfPath(const std::string& path);
}  // namespace qorlog::testing

int main(int argc, char** argv) {
  // A role may start a process of its own (a receiver), so it needs the path too.
  qorlog::testing::SetSelfPath(argv[0]);
  if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
    return qorlog::testing::RunChildRole(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

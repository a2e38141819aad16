// Runs a program to its end for a test, with a bound on how long it may take,
// and gives back its exit status and what it printed.
#pragma once

#include <string>
#include <vector>

namespace kovrad::test {

struct Finished {
  int status = -1;  // the exit status; -1 when it had to be killed or did not start
  std::string out;
  std::string err;
};

// `argv[0]` is the program's path; `input` is its standard input. The
// environment is this process's own.
Finished RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                    int timeout_ms = 60000);

}  // namespace kovrad::test

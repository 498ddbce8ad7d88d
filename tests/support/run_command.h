#pragma once
// Runs a shell command (a peer program such as dcmdump) and collects its exit status and output.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace quorvel::testing {

struct Outcome {
  int status;
  std::string out;  // standard output and error together
};

inline Outcome run(const std::string& command) {
  std::string out;
  FILE* f = popen((command + " 2>&1").c_str(), "r");
  if (!f) return {-1, ""};
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  const int st = pclose(f);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

}  // namespace quorvel::testing

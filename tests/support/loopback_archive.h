#pragma once
// Real DICOM peers on loopback for the tests: free ports, background processes, and an Orthanc
// archive started with a configuration of its own in the test's folder.
#include <netinet/in.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "run_command.h"

namespace quorvel::testing {

// A port nobody listens on now (the kernel's choice for port 0).
inline int freePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0;
  ::close(s);
  return ok ? ntohs(a.sin_port) : -1;
}

inline bool waitUntil(const std::function<bool()>& done, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return done();
}

inline std::string textOf(const std::filesystem::path& p) {
  std::ifstream in(p);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// A shell command in the background; its process id (the command itself when it starts with exec).
// It ends with the test program, even one killed before it could stop it.
inline pid_t spawn(const std::string& command) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

inline void stopProcess(pid_t& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

// A certificate authority (issuer empty) or a certificate it signs, PEM files NAME.key and NAME.crt
// made with the openssl tool; its output when it failed, or empty.
inline std::string makeCertificate(const std::filesystem::path& dir, const std::string& name,
                                   const std::string& issuer = "") {
  std::filesystem::create_directories(dir);
  const std::string at = (dir / name).string(), by = (dir / issuer).string(), tool = QUORVEL_OPENSSL;
  const std::string key = " -newkey rsa:2048 -nodes -subj /CN=" + name + " -keyout " + at + ".key";
  const std::string command = issuer.empty() ? tool + " req -x509 -days 2" + key + " -out " + at + ".crt"
                                             : tool + " req" + key + " -out " + at + ".csr && " + tool +
                                                   " x509 -req -days 2 -in " + at + ".csr -CA " + by + ".crt -CAkey " +
                                                   by + ".key -CAcreateserial -out " + at + ".crt";
  const Outcome made = run("(" + command + ") 2>&1");
  return made.status == 0 ? std::string() : made.out;
}

// Orthanc on loopback, knowing the AE title QUORVEL at ourPort (for queries and retrieves);
// started by start(), ended with the object.
class LoopbackArchive {
 public:
  LoopbackArchive(std::filesystem::path folder, int ourPort)
      : dicomPort(freePort()), httpPort(freePort()), folder_(std::move(folder)), ourPort_(ourPort) {}
  ~LoopbackArchive() { stopProcess(pid_); }

  // Whether its REST interface answered within the time.
  bool start() {
    std::filesystem::create_directories(folder_ / "db");
    nlohmann::json config{{"Name", "QuorvelTest"},
                          {"StorageDirectory", (folder_ / "db").string()},
                          {"IndexDirectory", (folder_ / "db").string()},
                          {"DicomAet", "ORTHANC"},
                          {"DicomPort", dicomPort},
                          {"HttpPort", httpPort},
                          {"RemoteAccessAllowed", false},
                          {"AuthenticationEnabled", false},
                          {"DicomAlwaysAllowStore", true},
                          {"DicomCheckModalityHost", false},
                          {"DicomModalities", {{"quorvel", {"QUORVEL", "127.0.0.1", ourPort_}}}},
                          {"Plugins", nlohmann::json::array()}};
    config.update(settings);
    std::ofstream(folder_ / "orthanc.json") << config.dump();
    pid_ = spawn(std::string("exec ") + QUORVEL_ORTHANC + " " + (folder_ / "orthanc.json").string() + " > " +
                 (folder_ / "orthanc.txt").string() + " 2>&1");
    return waitUntil([&] { return run(rest() + "/system").status == 0; }, 30);
  }
  std::string address() const { return "ORTHANC@127.0.0.1:" + std::to_string(dicomPort); }
  // curl on the REST interface: append the path.
  std::string rest() const { return std::string(QUORVEL_CURL) + " -sf http://127.0.0.1:" + std::to_string(httpPort); }
  int store(const std::filesystem::path& file) const {
    return run(std::string(QUORVEL_STORESCU) + " -aec ORTHANC 127.0.0.1 " + std::to_string(dicomPort) + " " +
               file.string())
        .status;
  }
  std::string log() const { return textOf(folder_ / "orthanc.txt"); }

  const int dicomPort, httpPort;
  nlohmann::json settings = nlohmann::json::object();  // added to (or replacing) the configuration's

  // TLS only, with NAME.key and NAME.crt from the folder, and callers' certificates required to
  // chain to AUTHORITY.crt.
  void requireTls(const std::filesystem::path& pki, const std::string& name, const std::string& authority) {
    settings.update({{"DicomTlsEnabled", true},
                     {"DicomTlsCertificate", (pki / (name + ".crt")).string()},
                     {"DicomTlsPrivateKey", (pki / (name + ".key")).string()},
                     {"DicomTlsTrustedCertificates", (pki / (authority + ".crt")).string()},
                     {"DicomTlsRemoteCertificateRequired", true}});
  }

 private:
  std::filesystem::path folder_;
  int ourPort_;
  pid_t pid_ = -1;
};

}  // namespace quorvel::testing

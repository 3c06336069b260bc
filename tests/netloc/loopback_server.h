// A server on 127.0.0.1 for one test: loopback_servers.py (Python's HTTP
// server or pyftpdlib) started in a child process, its port read from its
// first line of output, and the process killed when the test is done (or
// earlier, to cut a transfer). Waits for the port at most ten seconds.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace brimwell::testing {

inline constexpr char kLoopbackServers[] = BRIMWELL_SOURCE_DIR "/tests/netloc/loopback_servers.py";

class LoopbackServer {
 public:
  // `args`: the mode and its arguments ("http", root directory, ...).
  explicit LoopbackServer(const std::vector<std::string>& args) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      std::vector<std::string> all = {"/usr/bin/python3", kLoopbackServers};
      all.insert(all.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
      char buffer[64];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
      Stop();
      throw std::runtime_error("the loopback server did not start: " + line);
    }
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  ~LoopbackServer() { Stop(); }

  int Port() const { return port_; }
  // "127.0.0.1:port", as a location's Hostname.
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  // Kills the server at once (a server that goes away mid-transfer).
  void Stop() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int port_ = 0;
};

}  // namespace brimwell::testing

// Test support (header only): a local SMTP sink, Debian's aiosmtpd run as a child process on
// a free port of 127.0.0.1, started and stopped by the test, and the mails it received, read
// from its output.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tamsel::alerting::testing {

// A port nobody listens on right now.
inline int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  close(s);
  return ntohs(address.sin_port);
}

inline bool Accepts(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  bool connected = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(s);
  return connected;
}

struct ReceivedMail {
  std::string headers;  // as received, one per line
  std::string Header(const std::string& name) const {
    std::istringstream lines(headers);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind(name + ": ", 0) == 0) return line.substr(name.size() + 2);
    }
    return "";
  }
};

class SmtpSink {
 public:
  SmtpSink(std::filesystem::path output, int port) : output_(std::move(output)), port_(port) {}
  ~SmtpSink() { Stop(); }
  SmtpSink(const SmtpSink&) = delete;
  SmtpSink& operator=(const SmtpSink&) = delete;

  int Port() const { return port_; }

  // Starts the sink and waits until it takes connections.
  bool Start() {
    if (pid_ > 0) return true;
    pid_ = fork();
    if (pid_ == 0) {
      int fd = open(output_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      setenv("PYTHONUNBUFFERED", "1", 1);
      const std::string listen = "127.0.0.1:" + std::to_string(port_);
      execl("/usr/bin/python3", "python3", "-m", "aiosmtpd", "-n", "-l", listen.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (Accepts(port_)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

  // Every mail received so far, oldest first.
  std::vector<ReceivedMail> Mails() const {
    std::ifstream in(output_);
    std::vector<ReceivedMail> mails;
    std::string line;
    bool inMail = false, inHeaders = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find("MESSAGE FOLLOWS") != std::string::npos) {
        mails.emplace_back();
        inMail = inHeaders = true;
      } else if (line.find("END MESSAGE") != std::string::npos) {
        inMail = false;
      } else if (inMail && inHeaders) {
        if (line.empty()) {
          inHeaders = false;
        } else {
          mails.back().headers += line + "\n";
        }
      }
    }
    return mails;
  }

 private:
  std::filesystem::path output_;
  int port_;
  pid_t pid_ = 0;
};

}  // namespace tamsel::alerting::testing

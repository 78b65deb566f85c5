// TamselWeb: the web application of the log browser, served over HTTP.
//   TamselWeb --listen 127.0.0.1:8080 [--library PATH] [--resources DIR] [--threads N]
//             [--idle-minutes N]
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "web/web_app.h"

namespace {

constexpr const char* kUsage =
    "usage: TamselWeb [--listen HOST:PORT] [--library PATH] [--resources DIR]\n"
    "                 [--threads N] [--idle-minutes N]\n"
    "\n"
    "Serves the log browser and the administration pages of Tamsel.\n"
    "  --listen HOST:PORT  address to serve (default 127.0.0.1:8080; port 0 picks a free one)\n"
    "  --library PATH      libTamselReportsCom.so; its AppConfig.xml names the database\n"
    "                      (default: beside this program or in the build tree's reports/)\n"
    "  --resources DIR     folder with templates/ and static/ (default: beside this program)\n"
    "  --threads N         request threads, 32 to 64 (default 48)\n"
    "  --idle-minutes N    a session ends after N idle minutes (default 30)\n"
    "The network and local machine come from TAMSEL_NETWORK and TAMSEL_MACHINE.\n";

std::filesystem::path ProgramFolder() {
  std::error_code error;
  auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path() : self.parent_path();
}

std::filesystem::path DefaultLibrary(const std::filesystem::path& folder) {
  for (const auto& candidate :
       {folder / "libTamselReportsCom.so", folder / ".." / "reports" / "libTamselReportsCom.so",
        folder / ".." / "lib" / "libTamselReportsCom.so",
        folder / ".." / "lib" / "tamsel" / "libTamselReportsCom.so"}) {
    if (std::filesystem::exists(candidate)) return candidate.lexically_normal();
  }
  return folder / "libTamselReportsCom.so";
}

// Templates and static files: beside the program in a build folder, in share/tamsel once
// installed.
std::filesystem::path DefaultResources(const std::filesystem::path& folder) {
  const std::filesystem::path installed = folder / ".." / "share" / "tamsel";
  if (!std::filesystem::exists(folder / "templates") &&
      std::filesystem::exists(installed / "templates")) {
    return installed.lexically_normal();
  }
  return folder;
}

int Usage(const std::string& error) {
  std::fprintf(stderr, "TamselWeb: %s\n%s", error.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tamsel::web::WebOptions options;
  const std::filesystem::path folder = ProgramFolder();
  options.library = DefaultLibrary(folder);
  options.resources = DefaultResources(folder);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return Usage(arg + " needs a value");
    const std::string value = argv[++i];
    try {
      if (arg == "--listen") {
        const std::size_t colon = value.rfind(':');
        if (colon == std::string::npos) return Usage("--listen takes HOST:PORT");
        options.host = value.substr(0, colon);
        options.port = std::stoi(value.substr(colon + 1));
      } else if (arg == "--library") {
        options.library = std::filesystem::absolute(value);
      } else if (arg == "--resources") {
        options.resources = std::filesystem::absolute(value);
      } else if (arg == "--threads") {
        options.threads = std::stoi(value);
      } else if (arg == "--idle-minutes") {
        options.idleTimeout = std::chrono::minutes(std::stoi(value));
      } else {
        return Usage("unknown option " + arg);
      }
    } catch (const std::exception&) {
      return Usage("bad value for " + arg + ": " + value);
    }
  }

  // SIGINT and SIGTERM stop the server from a thread of their own.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    tamsel::web::WebApp app(options);
    std::thread stopper([&] {
      int received = 0;
      sigwait(&signals, &received);
      app.Stop();
    });
    const bool served = app.Listen();
    if (!served)
      std::fprintf(stderr, "TamselWeb: cannot listen on %s:%d\n", options.host.c_str(),
                   options.port);
    // Wake the stopper when the server ended for another reason.
    if (stopper.joinable()) {
      pthread_kill(stopper.native_handle(), SIGTERM);
      stopper.join();
    }
    return served ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "TamselWeb: %s\n", error.what());
    return 1;
  }
}

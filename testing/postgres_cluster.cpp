// The throwaway cluster: initdb with trust authentication, no TCP listener, fsync off
// (the data dies with the test), stopped "immediate" at exit.
#include "testing/postgres_cluster.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "testing/temp_dir.h"

namespace tamsel::testing {
namespace {

constexpr const char* kOwner = "postgres";
constexpr const char* kSuperuser = "tamsel";

std::filesystem::path FindServerPrograms() {
  std::error_code error;
  std::filesystem::path best;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
    const auto bin = entry.path() / "bin";
    if (std::filesystem::exists(bin / "pg_ctl", error) && bin > best) best = bin;
  }
  return best;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Prefixes a command so it runs as the cluster's owner when we are root.
std::string AsOwner(const std::string& command) {
  if (geteuid() != 0) return command;
  return "runuser -u " + std::string(kOwner) + " -- " + command;
}

std::string& Reason() {
  static std::string reason;
  return reason;
}

}  // namespace

std::filesystem::path PostgresCluster::SharedFolder() {
  const size_t hash = std::hash<std::string>{}(BuildDir().string());
  char name[64];
  std::snprintf(name, sizeof name, "/tmp/tamsel-pg-%u-%zx", static_cast<unsigned>(geteuid()), hash);
  return name;
}

PostgresCluster* PostgresCluster::Shared() {
  static std::unique_ptr<PostgresCluster> cluster = [] {
    std::unique_ptr<PostgresCluster> made(new PostgresCluster());
    made->bin_ = FindServerPrograms();
    made->folder_ = SharedFolder();
    if (made->Running()) {
      made->owned_ = false;
      return made;
    }
    made->folder_.clear();
    if (!made->Start(Reason())) made.reset();
    return made;
  }();
  return cluster.get();
}

void PostgresCluster::StartShared() {
  StopShared();  // a cluster left by an interrupted run
  PostgresCluster cluster;
  cluster.folder_ = SharedFolder();
  std::string why;
  if (!cluster.Start(why)) std::fprintf(stderr, "no PostgreSQL cluster: %s\n", why.c_str());
  cluster.owned_ = false;
}

void PostgresCluster::StopShared() {
  PostgresCluster cluster;
  cluster.bin_ = FindServerPrograms();
  cluster.folder_ = SharedFolder();
  cluster.started_ = std::filesystem::exists(cluster.folder_ / "data" / "postmaster.pid");
  cluster.Stop();
  cluster.owned_ = false;
}

std::string PostgresCluster::SharedTarget() {
  PostgresCluster cluster;
  cluster.bin_ = FindServerPrograms();
  cluster.folder_ = SharedFolder();
  cluster.owned_ = false;
  return cluster.Running() ? cluster.Target() : std::string();
}

bool PostgresCluster::Running() const {
  std::error_code error;
  return !bin_.empty() && std::filesystem::exists(folder_ / "data" / "postmaster.pid", error) &&
         std::filesystem::exists(folder_ / ".s.PGSQL.5432", error);
}

std::unique_ptr<PostgresCluster> PostgresCluster::Kept(const std::filesystem::path& folder,
                                                       std::string& why) {
  std::unique_ptr<PostgresCluster> cluster(new PostgresCluster());
  cluster->folder_ = folder;
  cluster->kept_ = true;
  cluster->bin_ = FindServerPrograms();
  if (cluster->Running()) {
    cluster->started_ = true;  // left by a run that was killed: taken over, stopped at the end
    return cluster;
  }
  if (!cluster->Start(why)) return nullptr;
  return cluster;
}

const std::string& PostgresCluster::SkipReason() { return Reason(); }

bool PostgresCluster::Start(std::string& why) {
  bin_ = FindServerPrograms();
  if (bin_.empty()) {
    why = "PostgreSQL server programs not installed";
    return false;
  }
  if (folder_.empty()) {
    char pattern[] = "/tmp/tamsel-pg-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      why = "cannot make a temporary folder";
      return false;
    }
    folder_ = pattern;
  } else {
    std::error_code error;
    if (!kept_) std::filesystem::remove_all(folder_, error);
    std::filesystem::create_directories(folder_, error);
  }
  // The socket folder must be reachable by the test programs whoever owns it.
  std::filesystem::permissions(
      folder_, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                   std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                   std::filesystem::perms::others_exec);
  if (geteuid() == 0) {
    const passwd* owner = getpwnam(kOwner);
    if (owner == nullptr || chown(folder_.c_str(), owner->pw_uid, owner->pw_gid) != 0) {
      why = "no unprivileged 'postgres' account to own the cluster";
      return false;
    }
  }
  const std::string data = (folder_ / "data").string();
  const std::string log = (folder_ / "server.log").string();
  std::error_code error;
  if (!kept_ || !std::filesystem::exists(folder_ / "data" / "PG_VERSION", error)) {
    const auto init =
        RunCommand(AsOwner(Quote((bin_ / "initdb").string()) + " -D " + Quote(data) + " -U " +
                           kSuperuser + " -A trust -E UTF8 --locale=C.UTF-8 --no-sync"),
                   true);
    if (init.exitCode != 0) {
      why = "initdb failed: " + init.output;
      return false;
    }
  }
  const std::string options = "-k " + folder_.string() +
                              " -c listen_addresses= -F -c full_page_writes=off"
                              " -c max_connections=60 -c shared_buffers=64MB";
  const auto start =
      RunCommand(AsOwner(Quote((bin_ / "pg_ctl").string()) + " -D " + Quote(data) + " -l " +
                         Quote(log) + " -o " + Quote(options) + " -w -t 60 start"),
                 true);
  started_ = start.exitCode == 0;
  if (!started_) why = "pg_ctl start failed: " + start.output;
  return started_;
}

PostgresCluster::~PostgresCluster() {
  if (owned_) Stop();
}

void PostgresCluster::Stop() {
  if (started_) {
    RunCommand(AsOwner(Quote((bin_ / "pg_ctl").string()) + " -D " +
                       Quote((folder_ / "data").string()) + " -m immediate -w stop"),
               true);
  }
  started_ = false;
  std::error_code error;
  if (!folder_.empty() && !kept_) std::filesystem::remove_all(folder_, error);
}

std::string PostgresCluster::Target() const {
  return "host=" + folder_.string() + " user=" + kSuperuser;
}

std::string PostgresCluster::ConnectionInfo(const std::string& database) const {
  return Target() + " dbname=" + database;
}

bool PostgresCluster::Psql(const std::string& sql, const std::string& database) const {
  const auto result = RunCommand(Quote((bin_ / "psql").string()) + " -X -q -v ON_ERROR_STOP=1 " +
                                     Quote(ConnectionInfo(database)) + " -c " + Quote(sql),
                                 true);
  return result.exitCode == 0;
}

}  // namespace tamsel::testing

// Test support: a throwaway PostgreSQL cluster in a temporary folder, listening only on a
// Unix socket there. initdb refuses to run as root, so under root the cluster belongs to the
// unprivileged `postgres` account. ctest starts one cluster per build folder before the
// tests that need it and stops it after them, failed or not (the fixture programs below);
// a test program run on its own starts a cluster of its own and stops it when it exits.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace tamsel::testing {

class PostgresCluster {
 public:
  // The program's cluster, started at the first call; nullptr when the server programs are
  // not installed or the cluster would not start (the reason is in SkipReason()).
  static PostgresCluster* Shared();
  static const std::string& SkipReason();

  // The fixture's cluster of this build folder: start (always succeeds, a failure only
  // leaves the tests to skip) and stop.
  static void StartShared();
  static void StopShared();
  // The libpq target ("host=… user=…", no database) of the fixture's cluster when it runs;
  // empty when it does not.
  static std::string SharedTarget();

  // A cluster whose data stays in `folder` from one run to the next (benchmarks keep the
  // databases they generated there): initialised when new, started, and stopped by the
  // destructor without removing anything. nullptr with the reason in `why`.
  static std::unique_ptr<PostgresCluster> Kept(const std::filesystem::path& folder,
                                               std::string& why);

  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  // The socket folder, for "host=<folder>" or an alias "host=/folder".
  const std::filesystem::path& SocketFolder() const { return folder_; }
  // The libpq target as the cluster's superuser, without a database.
  std::string Target() const;
  // A libpq connection string for `database` as the cluster's superuser.
  std::string ConnectionInfo(const std::string& database = "postgres") const;
  // Runs SQL through psql; true when it succeeded.
  bool Psql(const std::string& sql, const std::string& database = "postgres") const;

 private:
  PostgresCluster() = default;
  bool Start(std::string& why);
  void Stop();
  bool Running() const;
  static std::filesystem::path SharedFolder();

  std::filesystem::path folder_;
  std::filesystem::path bin_;
  bool started_ = false;
  bool owned_ = true;  // stopped and removed at the end of this process
  bool kept_ = false;  // its folder outlives it
};

}  // namespace tamsel::testing

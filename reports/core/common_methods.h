// CommonMethods: what every method of both classes shares and no client sees. The per-thread
// module state (connection string and trace file name), the trace log, the configuration read
// from AppConfig.xml, the connection, and the transaction check.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/data/connection.h"
#include "platform/network/regional.h"

namespace tamsel::reports::CommonMethods {

// The module state of the calling thread (the classes are apartment-threaded). Empty at the
// start of a call; filled by the first trace line and the first connection.
struct ModuleState {
  std::string sDBConnString;
  std::string sLogFileName;
  // The regional formats of the trace lines, read from the registry at the first line of a
  // call rather than at every line (the registry is the costly part of a trace line).
  std::optional<platform::network::RegionalFormats> regionalFormats;
};
ModuleState& State();

// Result codes of the frame.
inline constexpr std::int32_t kNoTransaction = -102;
inline constexpr std::int32_t kConfigNotLoadable = -103;

// Appends one line to the current hourly trace file; never fails (a lost line is lost).
void TraceWrite(std::string_view sText);

// Reads AppConfig.xml and stores the connection string; 0, -103, 91, 94, 13, 6, ...
std::int32_t DBConnStringInit();

// Builds the connection string if needed, makes a new Connection in `conn` and opens it.
std::int32_t DBConnectionOpen(std::optional<platform::data::Connection>& conn);

// Closes `conn` when it exists and is open; the reference is left to the caller.
std::int32_t DBConnectionClose(std::optional<platform::data::Connection>& conn);

// Raises -102 ("rcCOMRequiresTransactionErr", "This call requires transaction") when the call
// does not run in a COM+ transaction; 91 when there is no object context at all.
void TransactionCheck();

void ModuleStateClear();

// Builds sLogFileName for the current hour (run by TraceWrite only).
void LogFilePathInit();

// Reads LOGFILE/LogFilePath from AppConfig.xml into `sFolder` (left empty on failure).
std::int32_t LogFolderGet(std::string& sFolder);

// The full path of AppConfig.xml on this host.
std::string AppConfigPath();

// A number as trace lines write it: plain decimal, leading minus when negative.
std::string TraceNumber(std::int32_t value);

}  // namespace tamsel::reports::CommonMethods

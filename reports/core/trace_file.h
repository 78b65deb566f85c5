// The hourly trace files of the component: their names, where they lie on this host, and
// the format of a line. A folder written the Windows way ("D:\Logs", "\\SRV\Logs$" or empty,
// which means the root of the current drive, C:) lies on the local machine of the network;
// any other folder is a folder of this host.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/network/regional.h"

namespace tamsel::reports {

// folder + separator + "TamselReportsCom" + MM + DD + YYYY + "_" + HH + ".txt"; the separator
// is "\" for a Windows folder (so an empty folder gives "\TamselReportsCom…") and "/" else.
std::string TraceFileName(std::string_view folder, const std::tm& time);

// The host file of a trace file name; nothing when it cannot be resolved.
std::optional<std::filesystem::path> TraceFileHostPath(std::string_view fileName);

// One line: regional short date, a blank, regional long time, a TAB, the text, CR LF.
std::string TraceLine(const std::tm& now, const platform::network::RegionalFormats& formats,
                      std::string_view text);

// Appends `line` to the file, creating it when missing, with one open-append-close and one
// write, so lines of concurrent writers never interleave and none is overwritten. False
// when the line is lost (the caller goes on regardless).
bool AppendToTraceFile(std::string_view fileName, std::string_view line);

}  // namespace tamsel::reports

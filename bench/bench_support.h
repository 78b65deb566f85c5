// Shared pieces of the benchmark programs: stored log entries generated in bulk (a history a
// measurement runs against), ISO times, medians and the memory figures of this process.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/data/session.h"

namespace tamsel::bench {

// "YYYY-MM-DD HH:MM:SS" of seconds since 1970 (UTC).
std::string IsoTime(std::int64_t seconds);

// A history of stored entries: `records` rows spread evenly over `spanSeconds` from
// `firstSecond`, their times rising with their keys, over twenty servers (ids from 1001),
// the three classic logs, two hundred sources, ten users and 10,000 event ids.
struct History {
  std::int64_t records = 0;
  std::int64_t firstSecond = 0;
  std::int64_t spanSeconds = 365LL * 86400;
};

// Adds the history to a database of the current schema: the LogEntry indexes are dropped,
// the rows written in one transaction and the indexes built again from their definitions.
void FillHistory(platform::data::Session& session, const History& history);

// Copies the database `name` under `dataDir`, generating it first when it is missing or
// holds another number of entries, to `target`. Generating ten million entries takes
// minutes; a kept copy is reused by later runs.
void CopyHistoryDatabase(const std::filesystem::path& dataDir, const History& history,
                         const std::filesystem::path& target);

std::int64_t EntryCount(const std::filesystem::path& file);
// A kept database can be used again: it holds `records` entries and has this build's schema.
bool KeptDatabaseFits(const std::filesystem::path& file, std::int64_t records);

double SecondsSince(std::chrono::steady_clock::time_point start);

double Median(std::vector<double> values);

// Median milliseconds of `repeat` runs of `run` after one warm-up run.
double MedianMilliseconds(int repeat, const std::function<void()>& run);

// Peak resident memory since the last ResetPeak (VmHWM) and the present one (VmRSS), KiB.
long PeakKiB();
long ResidentKiB();
void ResetPeak();

// Whether this is a smoke run (TAMSEL_BENCH_SMOKE set by scripts/bench --smoke): every case
// runs once at a tiny size and its figures mean nothing.
bool SmokeRun();

// The machine's load average over the last minute, as `uptime` shows it.
double LoadAverage();

}  // namespace tamsel::bench

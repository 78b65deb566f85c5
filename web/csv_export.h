// The CSV export of every entry a filter selects: the key query the component generated (and
// checked) is walked through platform/data one row at a time, and the details of each batch
// of keys are read in one statement, so memory stays flat however many rows there are.
// UTF-8 with a byte-order mark, RFC 4180 quoting, CRLF line ends; no cell runs as a formula.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tamsel::web {

// A text that a spreadsheet would run as a formula (=, +, - or @ first, after any spaces or
// tabs) with a single quote before it, so that it shows as text; anything else as it is.
std::string SpreadsheetText(const std::string& text);
// One field as RFC 4180 writes it, made spreadsheet text first: quoted when it holds a quote,
// comma, CR or LF, with its quotes doubled.
std::string CsvField(const std::string& text);
// Fields joined by commas, ending in CRLF.
std::string CsvLine(const std::vector<std::string>& fields);
// A stored message as plain text: its "<br>" separators become line breaks.
std::string MessageText(const std::string& stored);

class CsvExport {
 public:
  // Opens the database of `connectionString` and starts `keyQuery` (first column LEID).
  // Raises platform::com::ComError when either fails.
  CsvExport(const std::string& connectionString, const std::string& keyQuery);
  ~CsvExport();
  CsvExport(const CsvExport&) = delete;
  CsvExport& operator=(const CsvExport&) = delete;

  // Appends the byte-order mark and header first, then up to `rows` entries to `out`; false
  // when nothing was left to write.
  bool Next(std::string& out, std::size_t rows);
  long long RowsWritten() const { return written_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  bool headerDone_ = false;
  long long written_ = 0;
};

}  // namespace tamsel::web

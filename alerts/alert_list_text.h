// An alert list as text for other programs: the selected rows as tab-separated text for the
// clipboard, and the whole list as comma-separated values (RFC 4180) for a file. Headings first,
// then the rows newest first, each cell as the list shows it. A text cell (Symbol, Exg, Desc,
// BBO: the server's own texts) that a spreadsheet would read as a formula, one starting with
// '=', '+', '-', '@', a tab or a CR, gets a leading apostrophe; times and counts never do.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "alerts/alert_list.h"

namespace kestrune {

// Whether the column holds the server's texts rather than a time or a count.
bool isAlertTextColumn(AlertKind kind, int column);
// Whether a spreadsheet would take a cell starting so for a formula (or a cell cut in two).
bool startsLikeFormula(std::string_view cell);

// Appends one field, quoted when it holds a comma, a quote, a CR or a LF (quotes doubled).
void appendCsvField(std::string& out, std::string_view field);

// The headings and the given rows (list row numbers, newest first = 0), one line each ending in
// a line feed, cells separated by tabs. A tab or line break inside a cell becomes a space so it
// cannot split the row. Rows beyond the list are skipped.
std::string alertRowsAsTsv(const AlertList& list, std::span<const std::size_t> rows);

// Writes a whole list as CSV in pieces, so a long export can show progress and stop. It keeps
// to the rows the list held when it was made: rows that arrive meanwhile go on top and are not
// part of it. It must not outlive a clear() of the list.
class AlertListCsvWriter {
 public:
  explicit AlertListCsvWriter(const AlertList& list);

  // Appends the headings (first call only) and up to maxRows further rows; lines end in CR LF.
  void writeSome(std::string& out, std::size_t maxRows);

  bool done() const { return written_ == rows_; }
  std::size_t rowsWritten() const { return written_; }
  std::size_t rowCount() const { return rows_; }

 private:
  const AlertList& list_;
  std::size_t rows_;
  std::size_t written_ = 0;
  bool headingsWritten_ = false;
};

}  // namespace kestrune

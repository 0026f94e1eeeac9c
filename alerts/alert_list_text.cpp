#include "alerts/alert_list_text.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

void appendCsvField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(field);
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

bool isAlertTextColumn(AlertKind kind, int column) {
  const char* heading = alertColumnHeading(kind, column);
  for (const char* text : {"Symbol", "Exg", "Desc", "BBO"}) {
    if (std::strcmp(heading, text) == 0) return true;
  }
  return false;
}

bool startsLikeFormula(std::string_view cell) {
  if (cell.empty()) return false;
  const char c = cell.front();
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

namespace {

void appendTsvCell(std::string& out, std::string_view cell) {
  for (char c : cell) out += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

// A text cell comes from the server: one that a spreadsheet would take for a formula is made
// plain text by a leading apostrophe. The Time and count columns are the program's own numbers.
bool needsApostrophe(const AlertList& list, int column, std::string_view cell) {
  return startsLikeFormula(cell) && isAlertTextColumn(list.kind(), column);
}

}  // namespace

std::string alertRowsAsTsv(const AlertList& list, std::span<const std::size_t> rows) {
  const int columns = list.columnCount();
  std::string out;
  out.reserve((rows.size() + 1) * 48);
  for (int c = 0; c < columns; ++c) {
    if (c > 0) out += '\t';
    appendTsvCell(out, alertColumnHeading(list.kind(), c));
  }
  out += '\n';
  for (std::size_t row : rows) {
    if (row >= list.size()) continue;
    for (int c = 0; c < columns; ++c) {
      if (c > 0) out += '\t';
      const std::string_view cell = list.cell(row, c);
      if (needsApostrophe(list, c, cell)) out += '\'';
      appendTsvCell(out, cell);
    }
    out += '\n';
  }
  return out;
}

AlertListCsvWriter::AlertListCsvWriter(const AlertList& list) : list_(list), rows_(list.size()) {}

void AlertListCsvWriter::writeSome(std::string& out, std::size_t maxRows) {
  const int columns = list_.columnCount();
  if (!headingsWritten_) {
    headingsWritten_ = true;
    for (int c = 0; c < columns; ++c) {
      if (c > 0) out += ',';
      appendCsvField(out, alertColumnHeading(list_.kind(), c));
    }
    out += "\r\n";
  }
  // Rows that arrived since the start sit on top: the k-th row of the export is further down.
  const std::size_t arrived = list_.size() >= rows_ ? list_.size() - rows_ : 0;
  const std::size_t end = written_ + std::min(maxRows, rows_ - written_);
  for (; written_ < end; ++written_) {
    const std::size_t row = arrived + written_;
    for (int c = 0; c < columns; ++c) {
      if (c > 0) out += ',';
      const std::string_view cell = list_.cell(row, c);
      if (needsApostrophe(list_, c, cell)) {
        std::string safe;
        safe.reserve(cell.size() + 1);
        safe += '\'';
        safe.append(cell);
        appendCsvField(out, safe);
      } else {
        appendCsvField(out, cell);
      }
    }
    out += "\r\n";
  }
}

}  // namespace kestrune

#include "alerts/alert_list_text.h"

#include <algorithm>

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

namespace {

void appendTsvCell(std::string& out, std::string_view cell) {
  for (char c : cell) out += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
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
      appendTsvCell(out, list.cell(row, c));
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
      appendCsvField(out, list_.cell(row, c));
    }
    out += "\r\n";
  }
}

}  // namespace kestrune

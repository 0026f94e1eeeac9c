// Alert records: the three list kinds, their columns, and the split of one decoded record text
// into the cells of one list row. Plain C++, no Qt: this runs on the receive thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrune {

// The three alert lists, in the order of the server's record kinds 1, 2 and 3.
enum class AlertKind : std::uint8_t { Raw = 0, Seq = 1, Algo = 2 };
inline constexpr int kAlertKindCount = 3;

// Colour code kept with every row: bit 0 is "count at or over the threshold", bit 1 is
// "symbol in the watched-symbol table".
enum RowColor : std::uint8_t { Normal = 0, Highlight = 1, SymFilter = 2, HighSymf = 3 };

inline constexpr int kMaxAlertColumns = 6;
// A field keeps at most 27 characters; a record at most 255. Longer input is cut, never stored.
inline constexpr std::size_t kAlertFieldMax = 27;
inline constexpr std::size_t kAlertRecordMax = 255;
// Recolouring reads a cell back through a watched-symbol-sized buffer: at most 24 characters.
inline constexpr std::size_t kRecolorCellMax = 24;

int alertColumnCount(AlertKind kind);
// Index of the "Count" column, the one compared with the list's threshold.
int alertCountColumn(AlertKind kind);
const char* alertColumnHeading(AlertKind kind, int column);

// The cells of one row in column order ("Time" first), each NUL-terminated.
struct AlertCells {
  std::uint8_t length[kMaxAlertColumns] = {};
  char text[kMaxAlertColumns][kAlertFieldMax + 1] = {};

  std::string_view cell(int column) const { return {text[column], length[column]}; }
  void set(int column, std::string_view value);
};

// Reads a count the way the server's numbers are meant: optional leading blanks and sign, then
// digits up to the first other character; no digits give 0. Values beyond 32 bits are clamped
// rather than wrapped, so a huge count can never turn negative and lose its highlight.
std::int32_t parseAlertCount(std::string_view text);

// Splits one decoded record into the cells of a row of the given list. Fields are separated by
// "|" or a line feed; missing fields stay empty; a field longer than 27 characters is cut and its
// remainder skipped; anything past 255 characters of text is ignored. The time field (six digits
// hhmmss) is shown as "hh:mm:ss", ending early when the field is shorter.
void splitAlertRecord(AlertKind kind, std::string_view text, AlertCells& cells);

}  // namespace kestrune

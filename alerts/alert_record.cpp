#include "alerts/alert_record.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kestrune {

namespace {

// Column of each record field (field 1 first); -1 marks a field that is not shown and kTime the
// field that is reformatted into the "Time" column.
constexpr int kNotShown = -1;
constexpr int kTime = -2;
constexpr int kMaxFields = 6;

struct KindLayout {
  int columns;
  int countColumn;
  int fieldColumn[kMaxFields];
  const char* headings[kMaxAlertColumns];
};

constexpr KindLayout kLayouts[kAlertKindCount] = {
    // Raw: symbol, (exchange), time, count, BBO, trades
    {5, 2, {1, kNotShown, kTime, 2, 4, 3}, {"Time", "Symbol", "Count", "Trades", "BBO", ""}},
    // Seq: symbol, exchange, time, count, BBO
    {5, 3, {1, 2, kTime, 3, 4, kNotShown}, {"Time", "Symbol", "Exg", "Count", "BBO", ""}},
    // Algo: symbol, exchange, description, time, count, BBO
    {6, 3, {1, 2, 5, kTime, 3, 4}, {"Time", "Symbol", "Exg", "Count", "BBO", "Desc"}},
};

const KindLayout& layoutOf(AlertKind kind) {
  auto index = static_cast<unsigned>(kind);
  return kLayouts[index < kAlertKindCount ? index : 0];
}

}  // namespace

int alertColumnCount(AlertKind kind) { return layoutOf(kind).columns; }

int alertCountColumn(AlertKind kind) { return layoutOf(kind).countColumn; }

const char* alertColumnHeading(AlertKind kind, int column) {
  if (column < 0 || column >= kMaxAlertColumns) return "";
  return layoutOf(kind).headings[column];
}

void AlertCells::set(int column, std::string_view value) {
  if (column < 0 || column >= kMaxAlertColumns) return;
  std::size_t n = std::min(value.size(), kAlertFieldMax);
  std::memcpy(text[column], value.data(), n);
  text[column][n] = '\0';
  length[column] = static_cast<std::uint8_t>(n);
}

std::int32_t parseAlertCount(std::string_view text) {
  std::size_t i = 0;
  auto isBlank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  };
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), kLimit);
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(std::min(value, kLimit - 1));
}

void splitAlertRecord(AlertKind kind, std::string_view text, AlertCells& cells) {
  const KindLayout& layout = layoutOf(kind);
  cells = AlertCells{};
  // The text ends at its first NUL as well, whatever length the caller handed over.
  text = text.substr(0, std::min(text.size(), kAlertRecordMax));
  if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);

  std::size_t pos = 0;
  for (int field = 0; field < kMaxFields && pos <= text.size(); ++field) {
    std::size_t end = text.find_first_of("|\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view value = text.substr(pos, std::min(end - pos, kAlertFieldMax));
    int column = layout.fieldColumn[field];
    if (column == kTime) {
      char shown[9];
      std::size_t n = 0;
      for (std::size_t k = 0; k < value.size() && k < 6; ++k) {
        shown[n++] = value[k];
        if (k == 1 || k == 3) shown[n++] = ':';
      }
      cells.set(0, {shown, n});
    } else if (column >= 0) {
      cells.set(column, value);
    }
    if (end >= text.size()) break;
    pos = end + 1;
  }
}

}  // namespace kestrune

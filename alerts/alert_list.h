// AlertList: the rows of one alert list, newest first. Rows are stored in arrival order in a
// chunked text arena (appending never moves earlier rows and never reallocates a big block) and
// presented reversed, so a new row at the top costs O(1). A row is an 8-byte reference holding its
// arena offset and its RowColor code, plus its cell texts, length-prefixed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "alerts/alert_record.h"

namespace kestrune {

class AlertList {
 public:
  explicit AlertList(AlertKind kind);
  AlertList(const AlertList&) = delete;
  AlertList& operator=(const AlertList&) = delete;
  // Rows built elsewhere (off the window thread) are handed over whole; the source is left empty.
  AlertList(AlertList&& other) noexcept;
  AlertList& operator=(AlertList&& other) noexcept;

  AlertKind kind() const { return kind_; }
  int columnCount() const { return columns_; }
  std::size_t size() const { return rows_; }
  bool empty() const { return rows_ == 0; }

  // Inserts a row at the top (it becomes row 0).
  void append(const AlertCells& cells, RowColor code);

  // Appends every row of newer after the rows held here, oldest first, so they end up on top.
  void appendNewer(const AlertList& newer);

  // Row 0 is the newest. Out-of-range rows and columns read as empty / Normal.
  std::string_view cell(std::size_t row, int column) const;
  RowColor code(std::size_t row) const;
  void setCode(std::size_t row, RowColor code);

  void clear();
  // Bytes held for rows (references and texts), for the memory budget.
  std::size_t memoryBytes() const;

 private:
  static constexpr std::size_t kTextBlock = std::size_t{1} << 18;  // 256 KiB of cell text
  static constexpr std::size_t kRefBlock = std::size_t{1} << 14;   // 16,384 row references

  std::uint64_t& refOf(std::size_t stored);
  const std::uint64_t* refAt(std::size_t row) const;

  AlertKind kind_;
  int columns_;
  std::size_t rows_ = 0;
  std::vector<std::unique_ptr<char[]>> textBlocks_;
  std::size_t textUsed_ = kTextBlock;  // bytes used in the last text block
  std::vector<std::unique_ptr<std::uint64_t[]>> refBlocks_;
};

}  // namespace kestrune

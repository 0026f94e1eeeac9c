#include "alerts/alert_list.h"

#include <cstring>
#include <utility>

namespace kestrune {

AlertList::AlertList(AlertKind kind) : kind_(kind), columns_(alertColumnCount(kind)) {}

AlertList::AlertList(AlertList&& other) noexcept
    : kind_(other.kind_),
      columns_(other.columns_),
      rows_(other.rows_),
      textBlocks_(std::move(other.textBlocks_)),
      textUsed_(other.textUsed_),
      refBlocks_(std::move(other.refBlocks_)) {
  other.clear();
}

AlertList& AlertList::operator=(AlertList&& other) noexcept {
  if (this != &other) {
    kind_ = other.kind_;
    columns_ = other.columns_;
    rows_ = other.rows_;
    textBlocks_ = std::move(other.textBlocks_);
    textUsed_ = other.textUsed_;
    refBlocks_ = std::move(other.refBlocks_);
    other.clear();
  }
  return *this;
}

void AlertList::appendNewer(const AlertList& newer) {
  AlertCells cells;
  for (std::size_t row = newer.size(); row-- > 0;) {
    for (int c = 0; c < columns_; ++c) cells.set(c, newer.cell(row, c));
    append(cells, newer.code(row));
  }
}

std::uint64_t& AlertList::refOf(std::size_t stored) {
  return refBlocks_[stored / kRefBlock][stored % kRefBlock];
}

const std::uint64_t* AlertList::refAt(std::size_t row) const {
  if (row >= rows_) return nullptr;
  std::size_t stored = rows_ - 1 - row;
  return &refBlocks_[stored / kRefBlock][stored % kRefBlock];
}

void AlertList::append(const AlertCells& cells, RowColor code) {
  std::size_t need = 0;
  for (int c = 0; c < columns_; ++c) need += 1 + cells.length[c];
  if (kTextBlock - textUsed_ < need) {
    textBlocks_.push_back(std::make_unique_for_overwrite<char[]>(kTextBlock));
    textUsed_ = 0;
  }
  if (rows_ % kRefBlock == 0 && rows_ / kRefBlock == refBlocks_.size()) {
    refBlocks_.push_back(std::make_unique_for_overwrite<std::uint64_t[]>(kRefBlock));
  }
  char* out = textBlocks_.back().get() + textUsed_;
  std::uint64_t offset = (textBlocks_.size() - 1) * kTextBlock + textUsed_;
  for (int c = 0; c < columns_; ++c) {
    *out++ = static_cast<char>(cells.length[c]);
    std::memcpy(out, cells.text[c], cells.length[c]);
    out += cells.length[c];
  }
  textUsed_ += need;
  refOf(rows_) = (offset << 8) | code;
  ++rows_;
}

std::string_view AlertList::cell(std::size_t row, int column) const {
  const std::uint64_t* ref = refAt(row);
  if (!ref || column < 0 || column >= columns_) return {};
  std::uint64_t offset = *ref >> 8;
  const char* p = textBlocks_[offset / kTextBlock].get() + offset % kTextBlock;
  for (int c = 0; c < column; ++c) p += 1 + static_cast<unsigned char>(*p);
  return {p + 1, static_cast<unsigned char>(*p)};
}

RowColor AlertList::code(std::size_t row) const {
  const std::uint64_t* ref = refAt(row);
  return ref ? static_cast<RowColor>(*ref & 0xFF) : Normal;
}

void AlertList::setCode(std::size_t row, RowColor code) {
  if (row >= rows_) return;
  std::uint64_t& ref = refOf(rows_ - 1 - row);
  ref = (ref & ~std::uint64_t{0xFF}) | code;
}

void AlertList::clear() {
  rows_ = 0;
  textBlocks_.clear();
  textUsed_ = kTextBlock;
  refBlocks_.clear();
}

std::size_t AlertList::memoryBytes() const {
  return textBlocks_.size() * kTextBlock + refBlocks_.size() * kRefBlock * sizeof(std::uint64_t);
}

}  // namespace kestrune

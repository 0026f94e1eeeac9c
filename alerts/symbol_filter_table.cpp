#include "alerts/symbol_filter_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "settings/regular_file.h"

namespace kestrune {

namespace {

bool entryLess(const SymbolEntry& a, const SymbolEntry& b) { return symbolText(a) < symbolText(b); }

bool isSeparator(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\0';
}

}  // namespace

SymbolEntry makeSymbolEntry(std::string_view symbol) {
  SymbolEntry entry{};
  std::size_t n = std::min(symbol.size(), kSymbolMax);
  std::memcpy(entry.data(), symbol.data(), n);
  return entry;
}

std::string_view symbolText(const SymbolEntry& entry) {
  return {entry.data(), strnlen(entry.data(), kSymbolMax)};
}

SymbolFilterTable::SymbolFilterTable(std::string path) : path_(std::move(path)) {}

bool SymbolFilterTable::loadSymbolFilters() {
  std::vector<SymbolEntry> loaded;
  // Only a regular file is read: a FIFO or a device of that name counts as a missing file.
  RegularFile file = openRegularFile(path_);
  if (file.isOpen()) {
    try {
      char word[kSymbolMax];
      std::size_t length = 0;
      bool inWord = false;
      char buffer[1 << 14];
      std::size_t got;
      auto finish = [&] {
        if (inWord) loaded.push_back(makeSymbolEntry({word, length}));
        inWord = false;
        length = 0;
      };
      while ((got = file.read(buffer, sizeof buffer)) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
          if (isSeparator(static_cast<unsigned char>(buffer[i]))) {
            finish();
          } else {
            inWord = true;
            if (length < kSymbolMax) word[length++] = buffer[i];
          }
        }
      }
      finish();
    } catch (const std::bad_alloc&) {
      loaded.clear();
      loaded.shrink_to_fit();
    }
  }
  std::sort(loaded.begin(), loaded.end(), entryLess);
  std::lock_guard lock(filterLock_);
  table_ = std::move(loaded);
  return !table_.empty();
}

int SymbolFilterTable::findSymbol(std::string_view symbol) const {
  // The lock is taken even to see whether a table exists: the window thread may be replacing it.
  std::lock_guard lock(filterLock_);
  auto it =
      std::lower_bound(table_.begin(), table_.end(), symbol,
                       [](const SymbolEntry& e, std::string_view s) { return symbolText(e) < s; });
  if (it == table_.end() || symbolText(*it) != symbol) return -1;
  return static_cast<int>(it - table_.begin());
}

bool SymbolFilterTable::hasSymbolFilters() const {
  std::lock_guard lock(filterLock_);
  return !table_.empty();
}

bool SymbolFilterTable::replaceSymbolFilters(std::span<const SymbolEntry> entries,
                                             std::string_view alarmFile,
                                             std::span<char> symbolAlarmFile) {
  // The new table and its file text are built before the lock is taken and the file is written
  // after it is let go: a lookup waits only for the swap, never for the disk. saveLock_ keeps the
  // file in step with the table installed last.
  std::vector<SymbolEntry> fresh;
  std::vector<std::uint8_t> text;
  bool built = true;
  try {
    fresh.reserve(entries.size());
    for (const SymbolEntry& e : entries) fresh.push_back(makeSymbolEntry(symbolText(e)));
    std::sort(fresh.begin(), fresh.end(), entryLess);
    text = fileText(fresh);
  } catch (const std::bad_alloc&) {
    fresh.clear();
    fresh.shrink_to_fit();
    built = false;
  }
  std::lock_guard save(saveLock_);
  {
    std::lock_guard lock(filterLock_);
    if (!symbolAlarmFile.empty()) {
      std::size_t n = std::min(alarmFile.size(), symbolAlarmFile.size() - 1);
      if (auto nul = alarmFile.find('\0'); nul != std::string_view::npos) n = std::min(n, nul);
      std::memcpy(symbolAlarmFile.data(), alarmFile.data(), n);
      std::fill(symbolAlarmFile.begin() + static_cast<std::ptrdiff_t>(n), symbolAlarmFile.end(),
                '\0');
    }
    table_.swap(fresh);
  }
  fresh.clear();  // the old table, freed outside the lock
  fresh.shrink_to_fit();
  if (!built || text.empty()) return false;
  // A FIFO of that name must not block the open: the file is replaced, never opened for writing
  // in place.
  return replaceFileContents(path_, text);
}

std::vector<std::uint8_t> SymbolFilterTable::fileText(const std::vector<SymbolEntry>& table) {
  std::vector<std::uint8_t> text;
  for (const SymbolEntry& e : table) {
    std::string_view s = symbolText(e);
    text.insert(text.end(), s.begin(), s.end());
    text.push_back('\n');
  }
  return text;
}

void SymbolFilterTable::releaseSymbolFilters() {
  std::lock_guard lock(filterLock_);
  table_.clear();
  table_.shrink_to_fit();
}

std::vector<SymbolEntry> SymbolFilterTable::entries() const {
  std::lock_guard lock(filterLock_);
  return table_;
}

}  // namespace kestrune

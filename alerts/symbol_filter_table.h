// SymbolFilterTable: the user's watched symbols, kept sorted so every alert record costs one
// binary search. Lookups come from the receive thread and the window thread; replacement from
// the window thread. filterLock guards the entries and the copy of the symbol alarm file name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// One symbol of at most 24 characters, NUL-terminated and zero-padded.
using SymbolEntry = std::array<char, 25>;
inline constexpr std::size_t kSymbolMax = 24;

// Builds an entry from text, cut to 24 characters.
SymbolEntry makeSymbolEntry(std::string_view symbol);
std::string_view symbolText(const SymbolEntry& entry);

class SymbolFilterTable {
 public:
  explicit SymbolFilterTable(std::string path = "SymbolFilter.txt");
  SymbolFilterTable(const SymbolFilterTable&) = delete;
  SymbolFilterTable& operator=(const SymbolFilterTable&) = delete;

  // Reads the file once at start-up. Any run of white space (or a NUL byte) separates symbols;
  // words longer than 24 characters are cut to 24. A missing, unreadable or empty file, or one
  // too large to hold, leaves no table. The entries are sorted after loading, so a hand-edited
  // file still gives correct lookups. Returns whether a table is present.
  bool loadSymbolFilters();

  // Index of the entry equal to symbol (byte for byte, case-sensitive), or -1.
  int findSymbol(std::string_view symbol) const;
  // A table with at least one entry is present.
  bool hasSymbolFilters() const;

  // Installs a new table (any order; it is sorted here) and copies alarmFile into symbolAlarmFile
  // (cut to fit, always NUL-terminated), both in one step under filterLock so a lookup never sees
  // a half-built table; then rewrites the file with the lock already let go. An empty entry list
  // leaves no table and does not write the file, which is never written empty. Returns whether
  // the file was written.
  bool replaceSymbolFilters(std::span<const SymbolEntry> entries, std::string_view alarmFile,
                            std::span<char> symbolAlarmFile);

  // Frees the table without writing the file.
  void releaseSymbolFilters();

  // A copy of the entries in table order, for the settings dialog to show.
  std::vector<SymbolEntry> entries() const;

  const std::string& path() const { return path_; }
  std::mutex& filterLock() const { return filterLock_; }

 private:
  static std::vector<std::uint8_t> fileText(const std::vector<SymbolEntry>& table);

  std::string path_;
  mutable std::mutex filterLock_;
  std::mutex saveLock_;  // one replacement (table and file) at a time; taken before filterLock_
  std::vector<SymbolEntry> table_;
};

}  // namespace kestrune

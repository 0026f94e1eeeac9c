#include "settings/monitor_settings.h"

#include <cstring>

namespace kestrune {

std::int32_t mulDivRound(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return 0;
  const std::int64_t num = static_cast<std::int64_t>(a) * b;
  const std::int64_t den = c;
  const bool negative = (num < 0) != (den < 0);
  const std::int64_t n = num < 0 ? -num : num;
  const std::int64_t d = den < 0 ? -den : den;
  const std::int64_t q = (n + d / 2) / d;
  return static_cast<std::int32_t>(negative ? -q : q);
}

LogFontRecord defaultLogFont(int dpiY) {
  LogFontRecord f;
  f.lfHeight = -mulDivRound(8, dpiY, 72);
  f.lfWidth = 0;
  f.lfEscapement = 1;
  f.lfOrientation = 1;
  f.lfWeight = 400;
  copyFixedText(f.lfFaceName, sizeof f.lfFaceName, "Arial");
  return f;
}

ColorRef& ChartColorTable::exchangeColor(int index) {
  ColorRef* const slots[kExchangeCount] = {&NQEXColor, &NYSEColor, &BOSTColor, &PACFColor,
                                           &BATSColor, &ISEXColor, &CINCColor, &CBOEColor,
                                           &CHICColor, &AMEXColor, &EDGXColor, &EDGEColor,
                                           &BATYColor, &PHILColor, &NQNMColor, &NSMLLColor};
  if (index < 0 || index >= kExchangeCount) index = 0;
  return *slots[index];
}

ColorRef ChartColorTable::exchangeColor(int index) const {
  return const_cast<ChartColorTable*>(this)->exchangeColor(index);
}

ChartColorTable& chartColors() {
  static ChartColorTable table;
  return table;
}

void copyFixedText(char* dest, std::size_t destSize, const char* src) {
  if (dest == nullptr || destSize == 0) return;
  std::size_t n = 0;
  if (src != nullptr) {
    while (n + 1 < destSize && src[n] != '\0') ++n;
    std::memcpy(dest, src, n);
  }
  std::memset(dest + n, 0, destSize - n);
}

std::int32_t leadingDecimal(const std::string& text) {
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) return INT32_MAX;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace kestrune

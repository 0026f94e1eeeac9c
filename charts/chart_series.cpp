#include "charts/chart_series.h"

#include <cstring>

namespace kestrune {

const char* const kExchangeSeriesNames[kChartExchangeCount] = {
    "NQEX", "NYSE", "BOST", "PACF", "BATS", "ISEX", "CINC", "CBOE",
    "CHIC", "AMEX", "EDGX", "EDGE", "BATY", "PHIL", "NQNM", "NSML"};
const char* const kTotalSeriesName = "TOTAL";

void setSeriesName(ChartSeries& series, const char* name) {
  if (name == nullptr) name = "";
  std::size_t n = std::strlen(name);
  if (n > sizeof(series.name) - 1) n = sizeof(series.name) - 1;
  std::memcpy(series.name, name, n);
  series.name[n] = '\0';
}

}  // namespace kestrune

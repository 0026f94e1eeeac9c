// The monitor's settings record: every user preference except the server connection, with its
// built-in default. The record is plain data; Kestrune.cfg reading and writing live in
// config_file.h, the conversion to Qt fonts and colours in record_convert.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrune {

// A colour as the configuration file keeps it: 0x00BBGGRR, red in the low byte.
using ColorRef = std::int32_t;

constexpr ColorRef rgbColor(int r, int g, int b) {
  return static_cast<ColorRef>((static_cast<std::uint32_t>(b & 0xFF) << 16) |
                               (static_cast<std::uint32_t>(g & 0xFF) << 8) |
                               static_cast<std::uint32_t>(r & 0xFF));
}
constexpr int colorRed(ColorRef c) { return c & 0xFF; }
constexpr int colorGreen(ColorRef c) { return (c >> 8) & 0xFF; }
constexpr int colorBlue(ColorRef c) { return (c >> 16) & 0xFF; }

constexpr int kExchangeCount = 16;   // exchange index order: NQEX ... NSMLL
constexpr int kAudioAlertSlots = 6;  // 0 Algo chart, 1 Listing chart, 2 Reporting chart,
                                     // 3 Raw list, 4 Seq list, 5 Algo list
constexpr int kReservedColors = 9;
constexpr std::size_t kFileNameSize = 255;  // file names and user names, NUL included
constexpr std::size_t kServerAddressSize = 64;
constexpr std::size_t kFaceNameSize = 32;

// Font description, 60 bytes, laid out exactly as the configuration file stores it.
struct LogFontRecord {
  std::int32_t lfHeight = 0;  // negative: character height in pixels
  std::int32_t lfWidth = 0;
  std::int32_t lfEscapement = 0;  // tenths of a degree
  std::int32_t lfOrientation = 0;
  std::int32_t lfWeight = 400;
  std::uint8_t lfItalic = 0;
  std::uint8_t lfUnderline = 0;
  std::uint8_t lfStrikeOut = 0;
  std::uint8_t lfCharSet = 0;
  std::uint8_t lfOutPrecision = 0;
  std::uint8_t lfClipPrecision = 0;
  std::uint8_t lfQuality = 0;
  std::uint8_t lfPitchAndFamily = 0;
  char lfFaceName[kFaceNameSize] = {};  // NUL-terminated
};
static_assert(sizeof(LogFontRecord) == 60, "font record must stay 60 bytes");

struct PointRecord {
  std::int32_t x = 0;
  std::int32_t y = 0;
};
struct RectRecord {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// Placement of the main frame, 44 bytes, laid out exactly as the configuration file stores it.
struct WindowPlacementRecord {
  std::uint32_t length = 44;
  std::uint32_t flags = 0;
  std::uint32_t showCmd = 1;  // 1 normal, 2 minimised, 3 maximised
  PointRecord ptMinPosition;
  PointRecord ptMaxPosition;
  RectRecord rcNormalPosition;
};
static_assert(sizeof(WindowPlacementRecord) == 44, "placement record must stay 44 bytes");

constexpr std::uint32_t kShowNormal = 1;
constexpr std::uint32_t kShowMinimized = 2;
constexpr std::uint32_t kShowMaximized = 3;
// Two more ways a placement written elsewhere may ask for a minimised window.
constexpr std::uint32_t kShowMinimize = 6;
constexpr std::uint32_t kShowMinNoActive = 7;
// Placement flag: a minimised window that comes back maximised.
constexpr std::uint32_t kRestoreToMaximized = 2;

// One WAV alarm slot.
struct AudioAlertSlot {
  char fileName[kFileNameSize] = {};  // at most 254 characters
  std::uint8_t use = 0;
  std::uint8_t loop = 0;
  std::int32_t threshold = 200;
};

// The Arial 8-point default of both fonts at a screen of dpiY vertical pixels per inch.
// Escapement and orientation are 1 (a tenth of a degree), as the program has always stored them.
LogFontRecord defaultLogFont(int dpiY = 96);

// Rounds a * b / c to the nearest integer, halves away from zero; 0 when c is 0.
std::int32_t mulDivRound(std::int32_t a, std::int32_t b, std::int32_t c);

// The chart colours. One table for the whole process: every chart and the chart template read it.
struct ChartColorTable {
  // Exchange series colours, exchange index 0 .. 15.
  ColorRef NQEXColor = 0x00FF9A00;
  ColorRef NYSEColor = 0x0000FF00;
  ColorRef BOSTColor = 0x00FF00FF;
  ColorRef PACFColor = 0x0000FFFF;
  ColorRef BATSColor = 0x000000FF;
  ColorRef ISEXColor = 0x00009AFF;
  ColorRef CINCColor = 0x0000FF9A;
  ColorRef CBOEColor = 0x00FFFF00;
  ColorRef CHICColor = 0x00009A00;
  ColorRef AMEXColor = 0x009AFF00;
  ColorRef EDGXColor = 0x00009A9A;
  ColorRef EDGEColor = 0x009A009A;
  ColorRef BATYColor = 0x00000094;
  ColorRef PHILColor = 0x00FF9A9A;
  ColorRef NQNMColor = 0x009A9AFF;
  ColorRef NSMLLColor = 0x00969696;
  // TOTAL series of each chart.
  ColorRef totalColorReporting = 0x00FF9A00;
  ColorRef totalColorListing = 0x0000FFFF;
  ColorRef totalColorAlgo = 0x0000FF00;
  // Chart areas.
  ColorRef graphAreaBk = 0x00000000;
  ColorRef graphAreaFg = 0x00FFFFFF;  // edited and stored; nothing is drawn in it
  ColorRef outlineFg = 0x00C8C8C8;
  ColorRef gridlineFg = 0x00A0A0A0;
  ColorRef insetsBk = 0x00373737;
  ColorRef insetsFg = 0x00FFFFFF;
  ColorRef chartAuxFg = 0x00FFFFFF;         // not editable
  ColorRef chartDotLineColor = 0x000000FF;  // dotted pen; not editable
  // Stored and restored unchanged; nothing draws with them.
  std::array<ColorRef, kReservedColors> reservedColor = {0x00FF00FF, 0x0000FFFF, 0x000000FF,
                                                         0x00009AFF, 0x0000FF9A, 0x009AFF00,
                                                         0x00FF9A9A, 0x00FF9A9A, 0x00FF9A9A};

  // Series colour of exchange index 0..15; an index out of range gives index 0's colour slot
  // rather than memory outside the table.
  ColorRef& exchangeColor(int index);
  ColorRef exchangeColor(int index) const;
};

// The process-wide colour table (defaults from process start).
ChartColorTable& chartColors();

// Everything else the monitor keeps between runs, in the order of its uses.
struct MonitorSettings {
  // Window and chart display.
  WindowPlacementRecord framePlacement;  // only meaningful once read from the file
  double hardMaxReporting = 100.0;
  double hardMaxListing = 100.0;
  double hardMaxAlgo = 100.0;
  std::uint8_t smartScaleReporting = 1;
  std::uint8_t smartScaleListing = 1;
  std::uint8_t smartScaleAlgo = 1;
  std::uint8_t colorLegendReporting = 1;
  std::uint8_t colorLegendListing = 1;
  std::uint8_t colorLegendAlgo = 1;
  std::uint8_t totalOnlyReporting = 0;
  std::uint8_t totalOnlyListing = 0;
  std::uint8_t totalOnlyAlgo = 0;
  std::int32_t dataPoints = 300;
  std::int32_t lineWidth = 1;
  std::array<std::uint8_t, kExchangeCount> listingExchangeOn = {1, 1, 1, 1, 1, 1, 1, 1,
                                                                1, 1, 1, 1, 1, 1, 1, 1};
  std::array<std::uint8_t, kExchangeCount> reportingExchangeOn = {1, 1, 1, 1, 1, 1, 1, 1,
                                                                  1, 1, 1, 1, 1, 1, 1, 1};

  // Data collection window; 0:0 to 0:0 means the whole day.
  std::int32_t collectStartHour = 0;
  std::int32_t collectStartMinute = 0;
  std::int32_t collectStopHour = 0;
  std::int32_t collectStopMinute = 0;
  std::int32_t collectStartMinuteOfDay = 0;  // hour * 60 + minute, kept in step
  std::int32_t collectStopMinuteOfDay = 0;

  // List row colours and highlight thresholds.
  ColorRef normalBk = 0x00FFFFFF;
  ColorRef normalFg = 0x00000000;
  ColorRef highlightBk = 0x000000FF;
  ColorRef highlightFg = 0x00FFFFFF;
  ColorRef symFilterBk = 0x00FF0000;
  ColorRef symFilterFg = 0x00FFFFFF;
  ColorRef highSymfBk = 0x0000FF00;
  ColorRef highSymfFg = 0x00000000;
  std::int32_t quoteCountRawThresh = 3000;
  std::int32_t quoteCountSeqThresh = 500;
  std::int32_t highAlgoCountsThresh = 250;

  // Fonts of the lists and of the charts.
  LogFontRecord listFont = defaultLogFont();
  LogFontRecord chartFont = defaultLogFont();

  // Column widths in pixels. The Raw list has 5 columns; its sixth slot is stored, not used.
  std::array<std::int32_t, 6> rawColumnWidths = {50, 60, 50, 50, 40, 40};
  std::array<std::int32_t, 5> seqColumnWidths = {50, 60, 45, 45, 44};
  std::array<std::int32_t, 6> algoColumnWidths = {50, 60, 45, 45, 40, 40};

  // Audio alarms and the symbol filter.
  std::array<AudioAlertSlot, kAudioAlertSlots> audioAlert = {};
  char symbolAlarmFile[kFileNameSize] = {};
  std::uint8_t useSymbolFilters = 0;
  std::uint8_t listEliminate = 0;
  std::uint8_t playAlarm = 0;
  std::uint8_t loopAlarm = 0;

  // Obsolete slots kept in the file only; always written as zeros, never used.
  std::int32_t legacyServerPort = 0;
  char legacyServerAddress[kServerAddressSize] = {};
  char legacyUserName[kFileNameSize] = {};
  char legacyPassword[kFileNameSize] = {};
};

// Copies text into a fixed-size field, cut to fit and always NUL-terminated.
void copyFixedText(char* dest, std::size_t destSize, const char* src);

// The value of a typed number: its leading decimal digits, 0 when there are none, stopping at
// INT32_MAX instead of wrapping on a very long run of digits.
std::int32_t leadingDecimal(const std::string& text);

}  // namespace kestrune

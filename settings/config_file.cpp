#include "settings/config_file.h"

#include <cstring>

#include "settings/regular_file.h"

namespace kestrune {
namespace {

// Reads fields from the front of a byte image. Once a field does not fit in what is left, that
// field and every later one keep their defaults.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  bool bytes(void* dest, std::size_t n) {
    if (!ok_ || data_.size() - pos_ < n) {
      ok_ = false;
      return false;
    }
    std::memcpy(dest, data_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  bool u8(std::uint8_t& v) { return bytes(&v, 1); }
  bool u32(std::uint32_t& v) {
    std::uint8_t b[4];
    if (!bytes(b, 4)) return false;
    v = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
  }
  bool i32(std::int32_t& v) {
    std::uint32_t u;
    if (!u32(u)) return false;
    v = static_cast<std::int32_t>(u);
    return true;
  }
  bool f64(double& v) {
    std::uint8_t b[8];
    if (!bytes(b, 8)) return false;
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = (u << 8) | b[i];
    std::memcpy(&v, &u, 8);
    return true;
  }
  // A text field: only taken whole, and then cut at its last byte so it always ends in a NUL.
  bool text(char* dest, std::size_t n) {
    std::vector<char> tmp(n);
    if (!bytes(tmp.data(), n)) return false;
    std::memcpy(dest, tmp.data(), n);
    dest[n - 1] = '\0';
    return true;
  }
  template <std::size_t N>
  void i32s(std::array<std::int32_t, N>& a, std::size_t count = N) {
    for (std::size_t i = 0; i < count && i < N; ++i) i32(a[i]);
  }
  template <std::size_t N>
  void u8s(std::array<std::uint8_t, N>& a) {
    for (auto& v : a) u8(v);
  }
  bool placement(WindowPlacementRecord& p) {
    std::uint8_t raw[44];
    if (!bytes(raw, sizeof raw)) return false;
    Reader r(std::span<const std::uint8_t>(raw, sizeof raw));
    r.u32(p.length);
    r.u32(p.flags);
    r.u32(p.showCmd);
    r.i32(p.ptMinPosition.x);
    r.i32(p.ptMinPosition.y);
    r.i32(p.ptMaxPosition.x);
    r.i32(p.ptMaxPosition.y);
    r.i32(p.rcNormalPosition.left);
    r.i32(p.rcNormalPosition.top);
    r.i32(p.rcNormalPosition.right);
    r.i32(p.rcNormalPosition.bottom);
    return true;
  }
  bool font(LogFontRecord& f) {
    std::uint8_t raw[60];
    if (!bytes(raw, sizeof raw)) return false;
    Reader r(std::span<const std::uint8_t>(raw, sizeof raw));
    r.i32(f.lfHeight);
    r.i32(f.lfWidth);
    r.i32(f.lfEscapement);
    r.i32(f.lfOrientation);
    r.i32(f.lfWeight);
    r.u8(f.lfItalic);
    r.u8(f.lfUnderline);
    r.u8(f.lfStrikeOut);
    r.u8(f.lfCharSet);
    r.u8(f.lfOutPrecision);
    r.u8(f.lfClipPrecision);
    r.u8(f.lfQuality);
    r.u8(f.lfPitchAndFamily);
    r.text(f.lfFaceName, sizeof f.lfFaceName);
    return true;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

class Writer {
 public:
  Writer() { out_.reserve(kConfigFileSize); }
  void bytes(const void* src, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(src);
    out_.insert(out_.end(), p, p + n);
  }
  void zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
  void u8(std::uint8_t v) { out_.push_back(v); }
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f64(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
  }
  // A text field of n bytes: the text up to its NUL, then zeros, so no stale bytes leak out.
  void text(const char* s, std::size_t n) {
    std::size_t len = 0;
    while (len + 1 < n && s[len] != '\0') ++len;
    bytes(s, len);
    zeros(n - len);
  }
  template <std::size_t N>
  void i32s(const std::array<std::int32_t, N>& a) {
    for (auto v : a) i32(v);
  }
  template <std::size_t N>
  void u8s(const std::array<std::uint8_t, N>& a) {
    for (auto v : a) u8(v);
  }
  void placement(const WindowPlacementRecord& p) {
    u32(p.length);
    u32(p.flags);
    u32(p.showCmd);
    i32(p.ptMinPosition.x);
    i32(p.ptMinPosition.y);
    i32(p.ptMaxPosition.x);
    i32(p.ptMaxPosition.y);
    i32(p.rcNormalPosition.left);
    i32(p.rcNormalPosition.top);
    i32(p.rcNormalPosition.right);
    i32(p.rcNormalPosition.bottom);
  }
  void font(const LogFontRecord& f) {
    i32(f.lfHeight);
    i32(f.lfWidth);
    i32(f.lfEscapement);
    i32(f.lfOrientation);
    i32(f.lfWeight);
    u8(f.lfItalic);
    u8(f.lfUnderline);
    u8(f.lfStrikeOut);
    u8(f.lfCharSet);
    u8(f.lfOutPrecision);
    u8(f.lfClipPrecision);
    u8(f.lfQuality);
    u8(f.lfPitchAndFamily);
    text(f.lfFaceName, sizeof f.lfFaceName);
  }
  std::vector<std::uint8_t> take() { return std::move(out_); }

 private:
  std::vector<std::uint8_t> out_;
};

void readAudioSlot(Reader& r, AudioAlertSlot& slot) {
  r.text(slot.fileName, sizeof slot.fileName);
  r.u8(slot.use);
  r.u8(slot.loop);
  r.i32(slot.threshold);
}

}  // namespace

ConfigReadResult parseConfig(std::span<const std::uint8_t> data, MonitorSettings& s,
                             ChartColorTable& c) {
  ConfigReadResult result;
  result.opened = true;
  Reader r(data);
  double version = 1.0;
  r.f64(version);
  result.version = version;

  // Version 1.0: the base block.
  WindowPlacementRecord placement;
  if (r.placement(placement)) {
    s.framePlacement = placement;
    result.placementRead = true;
  }
  // The old connection slots are skipped over; the per-user store holds those values now.
  {
    std::int32_t port;
    char address[kServerAddressSize];
    char user[kFileNameSize];
    char password[kFileNameSize];
    r.i32(port);
    r.text(address, sizeof address);
    r.text(user, sizeof user);
    r.text(password, sizeof password);
  }
  r.f64(s.hardMaxReporting);
  r.f64(s.hardMaxListing);
  r.f64(s.hardMaxAlgo);
  r.u8(s.smartScaleReporting);
  r.u8(s.smartScaleListing);
  r.u8(s.smartScaleAlgo);
  r.i32(s.dataPoints);

  // Each later block is gated by comparing the stored version with the block's as float64.
  if (version >= 1.1) {
    r.i32(s.collectStartHour);
    r.i32(s.collectStartMinute);
    r.i32(s.collectStopHour);
    r.i32(s.collectStopMinute);
    r.i32(s.collectStartMinuteOfDay);
    r.i32(s.collectStopMinuteOfDay);
  }
  if (version >= 1.2) {
    r.u8(s.colorLegendListing);
    r.u8(s.colorLegendReporting);
    r.u8(s.colorLegendAlgo);
  }
  if (version >= 1.3) {
    r.u8(s.totalOnlyReporting);
    r.u8(s.totalOnlyListing);
    r.u8(s.totalOnlyAlgo);
  }
  if (version >= 1.4) {
    for (int i = 0; i < kExchangeCount - 1; ++i) r.i32(c.exchangeColor(i));
    for (auto& v : c.reservedColor) r.i32(v);
    r.i32(c.totalColorReporting);
    r.i32(c.totalColorListing);
    r.i32(c.totalColorAlgo);
    r.i32(c.insetsBk);
    r.i32(c.graphAreaBk);
    r.i32(c.outlineFg);
    r.i32(c.graphAreaFg);
    r.i32(c.insetsFg);
    r.i32(c.chartAuxFg);
    r.i32(c.chartDotLineColor);
    r.i32(c.gridlineFg);
  }
  if (version >= 1.5) {
    for (auto& slot : s.audioAlert) readAudioSlot(r, slot);
  }
  if (version >= 1.6) {
    r.text(s.symbolAlarmFile, sizeof s.symbolAlarmFile);
    r.u8(s.useSymbolFilters);
    r.u8(s.listEliminate);
    r.u8(s.playAlarm);
    r.u8(s.loopAlarm);
  }
  if (version >= 1.7) result.listFontRead = r.font(s.listFont);
  if (version >= 1.8) {
    r.i32(s.normalBk);
    r.i32(s.normalFg);
    r.i32(s.highlightBk);
    r.i32(s.highlightFg);
    r.i32(s.quoteCountRawThresh);
    r.i32(s.quoteCountSeqThresh);
    r.i32(s.highAlgoCountsThresh);
  }
  if (version >= 1.9) {
    r.i32(s.symFilterBk);
    r.i32(s.symFilterFg);
    r.i32(s.highSymfBk);
    r.i32(s.highSymfFg);
  }
  if (version >= 2.0) result.chartFontRead = r.font(s.chartFont);
  if (version >= 2.1) {
    // Files before 2.3 carry only the five Raw widths that are shown.
    r.i32s(s.rawColumnWidths, version >= 2.3 ? 6 : 5);
    r.i32s(s.seqColumnWidths);
    r.i32s(s.algoColumnWidths);
  }
  if (version >= 2.2) r.i32(s.lineWidth);
  // The 2.5 block was placed before the 2.4 block when it was added.
  if (version >= 2.5) r.i32(c.NSMLLColor);
  if (version >= 2.4) {
    r.u8s(s.listingExchangeOn);
    r.u8s(s.reportingExchangeOn);
  }
  return result;
}

std::vector<std::uint8_t> serializeConfig(const MonitorSettings& s, const ChartColorTable& c) {
  Writer w;
  w.f64(kConfigVersion);
  w.placement(s.framePlacement);
  w.zeros(4 + kServerAddressSize + kFileNameSize + kFileNameSize);
  w.f64(s.hardMaxReporting);
  w.f64(s.hardMaxListing);
  w.f64(s.hardMaxAlgo);
  w.u8(s.smartScaleReporting);
  w.u8(s.smartScaleListing);
  w.u8(s.smartScaleAlgo);
  w.i32(s.dataPoints);
  w.i32(s.collectStartHour);
  w.i32(s.collectStartMinute);
  w.i32(s.collectStopHour);
  w.i32(s.collectStopMinute);
  w.i32(s.collectStartMinuteOfDay);
  w.i32(s.collectStopMinuteOfDay);
  w.u8(s.colorLegendListing);
  w.u8(s.colorLegendReporting);
  w.u8(s.colorLegendAlgo);
  w.u8(s.totalOnlyReporting);
  w.u8(s.totalOnlyListing);
  w.u8(s.totalOnlyAlgo);
  for (int i = 0; i < kExchangeCount - 1; ++i) w.i32(c.exchangeColor(i));
  for (auto v : c.reservedColor) w.i32(v);
  w.i32(c.totalColorReporting);
  w.i32(c.totalColorListing);
  w.i32(c.totalColorAlgo);
  w.i32(c.insetsBk);
  w.i32(c.graphAreaBk);
  w.i32(c.outlineFg);
  w.i32(c.graphAreaFg);
  w.i32(c.insetsFg);
  w.i32(c.chartAuxFg);
  w.i32(c.chartDotLineColor);
  w.i32(c.gridlineFg);
  for (const auto& slot : s.audioAlert) {
    w.text(slot.fileName, sizeof slot.fileName);
    w.u8(slot.use);
    w.u8(slot.loop);
    w.i32(slot.threshold);
  }
  w.text(s.symbolAlarmFile, sizeof s.symbolAlarmFile);
  w.u8(s.useSymbolFilters);
  w.u8(s.listEliminate);
  w.u8(s.playAlarm);
  w.u8(s.loopAlarm);
  w.font(s.listFont);
  w.i32(s.normalBk);
  w.i32(s.normalFg);
  w.i32(s.highlightBk);
  w.i32(s.highlightFg);
  w.i32(s.quoteCountRawThresh);
  w.i32(s.quoteCountSeqThresh);
  w.i32(s.highAlgoCountsThresh);
  w.i32(s.symFilterBk);
  w.i32(s.symFilterFg);
  w.i32(s.highSymfBk);
  w.i32(s.highSymfFg);
  w.font(s.chartFont);
  w.i32s(s.rawColumnWidths);
  w.i32s(s.seqColumnWidths);
  w.i32s(s.algoColumnWidths);
  w.i32(s.lineWidth);
  w.i32(c.NSMLLColor);
  w.u8s(s.listingExchangeOn);
  w.u8s(s.reportingExchangeOn);
  return w.take();
}

ConfigReadResult readConfigFile(MonitorSettings& settings, ChartColorTable& colors,
                                const std::string& path) {
  // Anything but a regular file (a FIFO, a device, a folder) counts as missing, as an unreadable
  // file does.
  RegularFile file = openRegularFile(path);
  if (!file.isOpen()) return {};
  // Anything past the newest layout's end is never read, so a huge file costs nothing.
  std::vector<std::uint8_t> data(kConfigFileSize);
  data.resize(file.read(data.data(), data.size()));
  return parseConfig(data, settings, colors);
}

bool writeConfigFile(MonitorSettings& settings, const ChartColorTable& colors,
                     const std::string& path) {
  settings.legacyServerPort = 0;
  std::memset(settings.legacyServerAddress, 0, sizeof settings.legacyServerAddress);
  std::memset(settings.legacyUserName, 0, sizeof settings.legacyUserName);
  std::memset(settings.legacyPassword, 0, sizeof settings.legacyPassword);
  const std::vector<std::uint8_t> image = serializeConfig(settings, colors);
  return replaceFileContents(path, image);
}

}  // namespace kestrune

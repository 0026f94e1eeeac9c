#include "alerts/alarm_mute.h"

#include <cstdio>

namespace kestrune {
namespace {

constexpr MuteChoice kChoices[] = {
    {MuteLength::FiveMinutes, "&5 Minutes", 5},
    {MuteLength::FifteenMinutes, "&15 Minutes", 15},
    {MuteLength::OneHour, "1 &Hour", 60},
    {MuteLength::UntilUnmuted, "&Until I Unmute", 0},
};

int minutesOf(MuteLength length) {
  for (const MuteChoice& c : kChoices) {
    if (c.length == length) return c.minutes;
  }
  return 0;
}

}  // namespace

std::span<const MuteChoice> muteChoices() { return kChoices; }

void AlarmMute::mute(MuteLength length, Clock::time_point now) {
  muted_ = true;
  const int minutes = minutesOf(length);
  if (minutes > 0) {
    until_ = now + std::chrono::minutes(minutes);
  } else {
    until_.reset();
  }
}

bool AlarmMute::unmute() {
  const bool was = muted_;
  muted_ = false;
  until_.reset();
  return was;
}

bool AlarmMute::expire(Clock::time_point now) {
  if (!muted_ || !until_ || now < *until_) return false;
  return unmute();
}

std::optional<AlarmMute::Clock::duration> AlarmMute::remaining(Clock::time_point now) const {
  if (!muted_ || !until_) return std::nullopt;
  return now < *until_ ? *until_ - now : Clock::duration::zero();
}

std::string mutedStatusText(std::optional<std::pair<int, int>> backAt) {
  if (!backAt) return "Alarms muted until you unmute them (Preferences, Mute Alarms)";
  char text[48];
  std::snprintf(text, sizeof text, "Alarms muted until %02d:%02d", backAt->first % 24,
                backAt->second % 60);
  return text;
}

std::string unmutedStatusText(bool timeUp) {
  return timeUp ? "Alarms are back on: the mute has run out" : "Alarms are back on";
}

std::pair<int, int> muteEndsAt(int hour, int minute, int second, int secondsFromNow) {
  long end = static_cast<long>(hour) * 3600 + minute * 60 + second + secondsFromNow;
  end = (end + 59) / 60;  // whole minutes, rounded up
  end %= 24 * 60;
  return {static_cast<int>(end / 60), static_cast<int>(end % 60)};
}

}  // namespace kestrune

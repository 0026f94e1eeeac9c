// The alarm mute: for how long alarms are silenced, whether they still are, and what the status
// line says about it. Plain C++ over a monotonic clock; the Qt layer (alarm_mute_control.h) owns
// the menu, the timer and the player. The mute lives only as long as the program: it is never
// stored, so a restart always starts with alarms on.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>

namespace kestrune {

enum class MuteLength { FiveMinutes, FifteenMinutes, OneHour, UntilUnmuted };

struct MuteChoice {
  MuteLength length;
  const char* caption;  // menu item, with its mnemonic
  int minutes;          // 0: until the user unmutes
};

// The "Mute Alarms" items in menu order.
std::span<const MuteChoice> muteChoices();

class AlarmMute {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts or replaces the mute; a new choice always wins over the one before, shorter or not.
  void mute(MuteLength length, Clock::time_point now);
  // Ends the mute at once; false when alarms were not muted.
  bool unmute();
  // Ends a timed mute whose time is up; true when it just ended.
  bool expire(Clock::time_point now);

  bool muted() const { return muted_; }
  // Time left of a timed mute (zero once due); nothing while unmuted or muted until unmuted.
  std::optional<Clock::duration> remaining(Clock::time_point now) const;

 private:
  bool muted_ = false;
  std::optional<Clock::time_point> until_;
};

// Status line texts. The clock time a timed mute ends is shown to the minute, rounded up so the
// alarms are never back later than the line says; hour and minute of that local time are given.
std::string mutedStatusText(std::optional<std::pair<int, int>> backAt);
std::string unmutedStatusText(bool timeUp);
// The local clock time (hour, minute) shown for a mute that ends secondsFromNow after the local
// time hour:minute:second.
std::pair<int, int> muteEndsAt(int hour, int minute, int second, int secondsFromNow);

}  // namespace kestrune

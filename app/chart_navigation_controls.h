// The chart navigation controls of the form's top row: the hour, minute and second edits that
// hold the time to go to, the Goto button and the six step buttons. They move the window the
// three charts share and draw all three again; the Data Points edit is the view's own.
#pragma once

#include <QString>
#include <cstdint>

namespace kestrune {

class CQuillfernViewerView;

// Seconds each step button moves the window by, or 0 for any other control.
std::int32_t stepSecondsOf(int controlId);

class ChartNavigationControls {
 public:
  explicit ChartNavigationControls(CQuillfernViewerView& view) : view_(view) {}

  // An edit of the form changed; true when it was one of the goto edits. The field takes the
  // text's leading integer (0 for an empty text); nothing is drawn.
  bool editChanged(int id, const QString& text);
  // A push button was clicked; true when it was Goto or a step button.
  bool buttonClicked(int id);

  std::int32_t gotoHour() const { return gotoHour_; }
  std::int32_t gotoMinute() const { return gotoMinute_; }
  std::int32_t gotoSecond() const { return gotoSecond_; }

 private:
  void redrawAllCharts();

  CQuillfernViewerView& view_;
  std::int32_t gotoHour_ = 0;
  std::int32_t gotoMinute_ = 0;
  std::int32_t gotoSecond_ = 0;
};

// Puts the controls in front of the view's edit and button hooks (the others still get every
// id that is not theirs). They live as long as the view's hooks do.
ChartNavigationControls& installChartNavigation(CQuillfernViewerView& view);

}  // namespace kestrune

// The monitor form (template 101): every control with its id, caption and rectangle in dialog
// units, and the pixel placements the view gives the lists and charts at start-up.
#pragma once

#include <QPoint>
#include <QRect>
#include <span>

#include "forms/dialog_layout.h"

namespace kestrune {

// Control ids of the form.
enum FormControlId : int {
  IDC_CLEAR = 1000,
  IDC_DATE = 1001,
  IDC_TIME = 1002,
  IDC_STATUS = 1003,
  IDC_RETRIEVE = 1004,
  IDC_VIEW_DATE = 1005,
  IDC_RAW_CAPTION = 1006,
  IDC_SEQ_CAPTION = 1007,
  IDC_ALGO_CAPTION = 1008,
  IDC_VIEW_DATE_LABEL = 1009,
  IDC_VIEW_DATE_HINT = 1010,
  IDC_GOTO_HOUR = 1014,
  IDC_GOTO_MINUTE = 1015,
  IDC_CLEAR_ALERTS = 1017,
  IDC_RAW_LIST = 1029,
  IDC_SEQ_LIST = 1030,
  IDC_ALGO_LIST = 1031,
  IDC_CONNECT = 1032,
  IDC_DISCONNECT = 1033,
  IDC_HARDMAX_ALGO_CAPTION = 1034,
  IDC_HARDMAX_LISTING_CAPTION = 1035,
  IDC_HARDMAX_REPORTING_CAPTION = 1036,
  IDC_HARDMAX_REPORTING = 1042,
  IDC_HARDMAX_LISTING = 1043,
  IDC_GOTO_SECOND = 1045,
  IDC_HARDMAX_ALGO = 1046,
  IDC_GOTO = 1051,
  IDC_DATA_POINTS = 1052,
  IDC_REPORTING_CHART = 1072,
  IDC_LISTING_CHART = 1073,
  IDC_ALGO_CHART = 1074,
  IDC_HOUR_BACK = 1084,
  IDC_HOUR_FORWARD = 1085,
  IDC_MINUTE_BACK = 1086,
  IDC_MINUTE_FORWARD = 1087,
  IDC_SECOND_BACK = 1088,
  IDC_SECOND_FORWARD = 1089,
  IDC_SMART_SCALE_REPORTING = 1100,
  IDC_SMART_SCALE_LISTING = 1101,
  IDC_SMART_SCALE_ALGO = 1102,
  IDC_LEGEND_LISTING = 1103,
  IDC_LEGEND_REPORTING = 1104,
  IDC_LEGEND_ALGO = 1105,
  IDC_TOTAL_ONLY_LISTING = 1106,
  IDC_TOTAL_ONLY_REPORTING = 1107,
  IDC_TOTAL_ONLY_ALGO = 1108,
};

// Id the logo picture carries (it has none of its own in the template).
inline constexpr int IDC_LOGO = 0;

// Size of the form in dialog units.
inline constexpr int kFormWidthDu = 885;
inline constexpr int kFormHeightDu = 481;

// The form's controls in template order.
std::span<const ControlRow> formControls();

// Where the start-up places a list and its caption, in pixels at scale 1.0.
struct ListPlacement {
  int captionId;
  int listId;
  QPoint caption;  // top-left of the caption; its size stays as the form made it
  QRect list;
  int columns;
};
std::span<const ListPlacement> listPlacements();  // Raw, Seq, Algo

// Chart surfaces in set-up order (Reporting, Listing, Algo) and their size at scale 1.0.
inline constexpr int kChartSurfaceIds[3] = {IDC_REPORTING_CHART, IDC_LISTING_CHART, IDC_ALGO_CHART};
inline constexpr int kChartWidthPx = 480;
inline constexpr int kChartHeightPx = 210;

// A pixel value of the start-up layout at the screen's scale: multiplied and truncated.
inline int scaledPixels(int px, double dpiScale) { return static_cast<int>(px * dpiScale); }

}  // namespace kestrune

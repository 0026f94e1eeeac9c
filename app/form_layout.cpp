#include "app/form_layout.h"

namespace kestrune {
namespace {

using K = ControlKind;

// Template 101, in its own order.
constexpr ControlRow kForm[] = {
    {IDC_LOGO, K::Picture, "", 7, 7, 101, 25, kBorder},
    {IDC_CONNECT, K::Button, "Connect", 117, 7, 50, 14, kNoFlags},
    {IDC_DISCONNECT, K::Button, "Disconnect", 117, 21, 50, 14, kNoFlags},
    {0, K::Label, "Status:", 173, 8, 24, 8, kNoFlags},
    {IDC_STATUS, K::Edit, "", 200, 7, 155, 12, kReadOnly | kMultiLine | kBorder},
    {0, K::Label, "Date:", 178, 23, 19, 8, kNoFlags},
    {IDC_DATE, K::Edit, "", 200, 21, 54, 12, kReadOnly | kAlignCenter},
    {0, K::Label, "Time:", 260, 23, 18, 8, kNoFlags},
    {IDC_TIME, K::Edit, "", 282, 21, 54, 12, kReadOnly | kAlignCenter},
    {0, K::Label, "EST", 340, 23, 13, 8, kNoFlags},
    {IDC_VIEW_DATE_LABEL, K::Label, "View Date:", 375, 8, 36, 8, kNoFlags},
    {IDC_VIEW_DATE, K::Edit, "", 417, 7, 42, 12, kAlignCenter},
    {IDC_VIEW_DATE_HINT, K::Label, "( MMDDYYYY )", 417, 21, 46, 8, kNoFlags},
    {IDC_RETRIEVE, K::Button, "Retrieve", 373, 17, 38, 14, kNoFlags},
    {IDC_CLEAR, K::Button, "CLEAR", 494, 33, 50, 14, kHidden | kDisabled},
    {0, K::Label, "Data Points", 569, 8, 37, 8, kNoFlags},
    {IDC_DATA_POINTS, K::Edit, "", 577, 17, 30, 12, kDigits | kAlignRight},
    {IDC_GOTO_HOUR, K::Edit, "", 616, 17, 18, 12, kDigits},
    {0, K::Label, ":", 636, 19, 8, 8, kAlignCenter},
    {IDC_GOTO_MINUTE, K::Edit, "", 646, 17, 18, 12, kDigits},
    {0, K::Label, ":", 666, 19, 8, 8, kAlignCenter},
    {IDC_GOTO_SECOND, K::Edit, "", 676, 17, 18, 12, kDigits},
    {IDC_GOTO, K::Button, "Goto", 698, 17, 34, 10, kGroupStart},
    {IDC_HOUR_BACK, K::Button, "<", 740, 15, 14, 12, kNoFlags},
    {0, K::Label, "H", 754, 18, 8, 8, kAlignCenter},
    {IDC_HOUR_FORWARD, K::Button, ">", 762, 15, 14, 12, kNoFlags},
    {IDC_MINUTE_BACK, K::Button, "<", 783, 15, 14, 12, kNoFlags},
    {0, K::Label, "M", 797, 18, 8, 8, kAlignCenter},
    {IDC_MINUTE_FORWARD, K::Button, ">", 805, 15, 14, 12, kNoFlags},
    {IDC_SECOND_BACK, K::Button, "<", 826, 15, 14, 12, kNoFlags},
    {0, K::Label, "S", 840, 18, 8, 8, kAlignCenter},
    {IDC_SECOND_FORWARD, K::Button, ">", 848, 15, 14, 12, kNoFlags},
    {IDC_CLEAR_ALERTS, K::Button, "Clear Alerts", 829, 40, 49, 12, kNoFlags},
    {IDC_RAW_CAPTION, K::Label, "High Quote Counts (RAW)", 7, 42, 85, 8, kNoFlags},
    {IDC_SEQ_CAPTION, K::Label, "High Quote Counts (Seq. per Exg)", 154, 43, 110, 8, kNoFlags},
    {IDC_ALGO_CAPTION, K::Label, "High Algo Seq. Counts (Seq. Per Exg)", 301, 43, 121, 8, kNoFlags},
    {IDC_RAW_LIST, K::List, "", 7, 55, 60, 50, kBorder},
    {IDC_SEQ_LIST, K::List, "", 153, 55, 60, 50, kBorder},
    {IDC_ALGO_LIST, K::List, "", 300, 55, 60, 50, kBorder},
    {IDC_HARDMAX_ALGO_CAPTION, K::Label, "Hard Max:", 577, 43, 34, 8, kAlignRight},
    {IDC_HARDMAX_ALGO, K::Edit, "", 616, 41, 26, 12, kDigits | kAlignRight},
    {IDC_SMART_SCALE_ALGO, K::CheckBox, "Smart Scale: ", 646, 43, 51, 8, kTextLeft | kFlat},
    {IDC_LEGEND_ALGO, K::CheckBox, "Color Legend:", 702, 43, 58, 8, kTextLeft | kFlat},
    {IDC_TOTAL_ONLY_ALGO, K::CheckBox, "Total Only:", 769, 43, 48, 8, kTextLeft | kFlat},
    {IDC_ALGO_CHART, K::Picture, "", 578, 55, 16, 14, kSunken},
    {IDC_HARDMAX_LISTING_CAPTION, K::Label, "Hard Max:", 577, 189, 34, 8, kAlignRight},
    {IDC_HARDMAX_LISTING, K::Edit, "", 616, 187, 26, 12, kDigits | kAlignRight},
    {IDC_SMART_SCALE_LISTING, K::CheckBox, "Smart Scale:", 646, 189, 51, 8, kTextLeft | kFlat},
    {IDC_LEGEND_LISTING, K::CheckBox, "Color Legend:", 702, 189, 58, 8, kTextLeft | kFlat},
    {IDC_TOTAL_ONLY_LISTING, K::CheckBox, "Total Only:", 769, 189, 48, 8, kTextLeft | kFlat},
    {IDC_LISTING_CHART, K::Picture, "", 578, 201, 16, 14, kSunken},
    {IDC_HARDMAX_REPORTING_CAPTION, K::Label, "Hard Max:", 577, 334, 34, 8, kAlignRight},
    {IDC_HARDMAX_REPORTING, K::Edit, "", 616, 332, 26, 12, kDigits | kAlignRight},
    {IDC_SMART_SCALE_REPORTING, K::CheckBox, "Smart Scale:", 646, 334, 51, 8, kTextLeft | kFlat},
    {IDC_LEGEND_REPORTING, K::CheckBox, "Color Legend:", 702, 334, 58, 8, kTextLeft | kFlat},
    {IDC_TOTAL_ONLY_REPORTING, K::CheckBox, "Total Only:", 769, 334, 48, 8, kTextLeft | kFlat},
    {IDC_REPORTING_CHART, K::Picture, "", 578, 347, 16, 14, kSunken},
};

constexpr ListPlacement kLists[] = {
    {IDC_RAW_CAPTION, IDC_RAW_LIST, {80, 70}, {15, 90, 265, 685}, 5},
    {IDC_SEQ_CAPTION, IDC_SEQ_LIST, {335, 70}, {285, 90, 265, 685}, 5},
    {IDC_ALGO_CAPTION, IDC_ALGO_LIST, {615, 70}, {555, 90, 301, 685}, 6},
};

}  // namespace

std::span<const ControlRow> formControls() { return kForm; }

std::span<const ListPlacement> listPlacements() { return kLists; }

}  // namespace kestrune

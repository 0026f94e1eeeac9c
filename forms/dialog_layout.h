// Dialogs and the main form are described by control tables (id, kind, caption, rectangle in
// dialog units) and built by one helper, so every window of the program places its controls the
// same way. One dialog unit is 1.5 px across and 1.625 px down at 96 dpi (the 6 x 13 base units
// of the 8-point dialog font), times the screen scale.
#pragma once

#include <QFont>
#include <QFrame>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <span>

class QDialog;
class QTableWidget;

namespace kestrune {

enum class ControlKind {
  Label,     // static text
  Button,    // push button
  CheckBox,  // two-state check box
  Radio,     // radio button
  Edit,      // single- or multi-line edit box (QLineEdit / QPlainTextEdit)
  GroupBox,  // captioned frame
  List,      // report-style list (QTableView); owners may swap in their own class
  Picture,   // picture or drawing surface (QFrame / QLabel)
  ComboBox,  // drop-down list
};

// Style flags of a control row; combine with |.
enum ControlFlag : std::uint32_t {
  kNoFlags = 0,
  kDisabled = 1u << 0,
  kHidden = 1u << 1,
  kReadOnly = 1u << 2,
  kDigits = 1u << 3,      // edit accepts digits only
  kAlignRight = 1u << 4,  // text right-aligned (edit or label)
  kAlignCenter = 1u << 5,
  kMultiLine = 1u << 6,    // edit: multi-line
  kBorder = 1u << 7,       // bordered (edit, picture, list)
  kSunken = 1u << 8,       // picture: sunken frame
  kTextLeft = 1u << 9,     // check box: text left of the box
  kFlat = 1u << 10,        // check box / button: flat look
  kDefault = 1u << 11,     // button: default push button
  kGroupStart = 1u << 12,  // starts a group of controls
  kPassword = 1u << 13,    // edit: hides what is typed
  kNoBorder = 1u << 14,    // edit: no frame
};

// One control of a dialog template. id 0 marks a control nobody addresses (a plain caption);
// it still gets an objectName ("0") so every control carries one.
struct ControlRow {
  int id = 0;
  ControlKind kind = ControlKind::Label;
  const char* caption = "";        // texts with '&' keep their mnemonic
  int x = 0, y = 0, w = 0, h = 0;  // dialog units
  std::uint32_t flags = kNoFlags;
};

// Converts dialog units to pixels at the given scale (rounded to the nearest pixel).
int dialogUnitsToPixelsX(double units, double dpiScale);
int dialogUnitsToPixelsY(double units, double dpiScale);
QRect dialogRectToPixels(int x, int y, int w, int h, double dpiScale);

// The 8-point dialog font at the given scale (Arial or the closest sans face installed). Set it on
// a dialog before building its controls so captions fit the rectangles of its table.
QFont dialogFont(double dpiScale);

// Gives a picture control the frame its row asks for: a sunken one is the 1-pixel half-sunken
// edge of a static control (dark above and left, light below and right), a bordered one a plain
// line. The frame is part of the control: what it shows goes in its contents rectangle.
void applyPictureFrame(QFrame* picture, std::uint32_t flags);

// Creates the control of one row on parent, places it and applies its flags. The new widget's
// objectName is the row's numeric id. Never returns null.
QWidget* buildControl(QWidget* parent, const ControlRow& row, double dpiScale);

// Builds every row of a table; the result maps id -> widget for the rows with a non-zero id.
std::map<int, QWidget*> buildControls(QWidget* parent, std::span<const ControlRow> rows,
                                      double dpiScale);

// Gives the controls of a table (widgets in row order) the keyboard groups their rows start: a
// group runs from a row marked kGroupStart (or the first row) to the next such row, and the arrow
// keys on a button or check box move the focus round inside it. buildControls does this itself.
void groupControls(QWidget* parent, std::span<const ControlRow> rows,
                   std::span<QWidget* const> widgets);

// Finds a control built by the helper under parent by its id; null when absent.
QWidget* findControl(const QWidget* parent, int id);

template <typename T>
T* findControlAs(const QWidget* parent, int id) {
  return qobject_cast<T*>(findControl(parent, id));
}

// Sets a preferences dialog up from its table: the dialog's own font at 8 points, a fixed size of
// width x height dialog units at the screen's scale, then every control. Returns that scale.
double setUpDialog(QDialog* dialog, int width, int height, std::span<const ControlRow> rows);

// Connects the OK button (id 1) to accept and Cancel (id 2) to reject; a dialog's own accept
// override is the one called. A button the table lacks is skipped.
void connectOkCancel(QDialog* dialog, int okId = 1, int cancelId = 2);

// A one-column pick list of the preference dialogs: a left-aligned caption over the column, no
// grid, one whole row selected at a time, nothing edited in place, never sorted.
QTableWidget* buildPickList(QWidget* parent, int id, const QRect& rect, const QString& caption,
                            int columnWidth, int rows);

// Calls apply(source->isEnabled()) now and again whenever source is enabled or disabled, for as
// long as owner lives: a menu item or a button that may be used exactly when a form control may.
void followEnabled(QWidget* source, QObject* owner, std::function<void(bool)> apply);

}  // namespace kestrune

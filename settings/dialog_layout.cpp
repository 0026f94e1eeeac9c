#include "settings/dialog_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTableView>
#include <cmath>

namespace kestrune {
namespace {

constexpr double kUnitX = 1.5;    // 6 px average character width / 4
constexpr double kUnitY = 1.625;  // 13 px character height / 8

Qt::Alignment textAlignment(std::uint32_t flags) {
  Qt::Alignment a = Qt::AlignVCenter;
  if (flags & kAlignRight) return a | Qt::AlignRight;
  if (flags & kAlignCenter) return a | Qt::AlignHCenter;
  return a | Qt::AlignLeft;
}

QWidget* makeEdit(QWidget* parent, const ControlRow& row) {
  const QString text = QString::fromLatin1(row.caption);
  if (row.flags & kMultiLine) {
    auto* e = new QPlainTextEdit(text, parent);
    e->setReadOnly(row.flags & kReadOnly);
    e->setLineWrapMode(QPlainTextEdit::NoWrap);
    e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    e->document()->setDocumentMargin(1);
    return e;
  }
  auto* e = new QLineEdit(text, parent);
  e->setReadOnly(row.flags & kReadOnly);
  e->setAlignment(textAlignment(row.flags));
  if (row.flags & kDigits) {
    e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
  }
  if (row.flags & kPassword) e->setEchoMode(QLineEdit::Password);
  if (row.flags & kNoBorder) e->setFrame(false);
  e->setTextMargins(0, 0, 0, 0);
  return e;
}

QWidget* makeWidget(QWidget* parent, const ControlRow& row) {
  const QString text = QString::fromLatin1(row.caption);
  switch (row.kind) {
    case ControlKind::Label: {
      auto* l = new QLabel(text, parent);
      l->setAlignment((textAlignment(row.flags) & ~Qt::AlignVCenter) | Qt::AlignTop);
      l->setTextFormat(Qt::PlainText);
      return l;
    }
    case ControlKind::Button: {
      auto* b = new QPushButton(text, parent);
      b->setDefault(row.flags & kDefault);
      b->setAutoDefault(false);
      b->setFlat(row.flags & kFlat);
      return b;
    }
    case ControlKind::CheckBox: {
      auto* c = new QCheckBox(text, parent);
      if (row.flags & kTextLeft) c->setLayoutDirection(Qt::RightToLeft);
      return c;
    }
    case ControlKind::Radio:
      return new QRadioButton(text, parent);
    case ControlKind::Edit:
      return makeEdit(parent, row);
    case ControlKind::GroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::List: {
      auto* t = new QTableView(parent);
      t->setSelectionBehavior(QAbstractItemView::SelectRows);
      t->setSortingEnabled(false);
      t->verticalHeader()->hide();
      t->setShowGrid(true);
      return t;
    }
    case ControlKind::Picture: {
      auto* f = new QFrame(parent);
      if (row.flags & kSunken) {
        f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      } else if (row.flags & kBorder) {
        f->setFrameStyle(QFrame::Box | QFrame::Plain);
      }
      return f;
    }
    case ControlKind::ComboBox:
      return new QComboBox(parent);
  }
  return new QWidget(parent);
}

}  // namespace

int dialogUnitsToPixelsX(double units, double dpiScale) {
  return static_cast<int>(std::lround(units * kUnitX * dpiScale));
}

int dialogUnitsToPixelsY(double units, double dpiScale) {
  return static_cast<int>(std::lround(units * kUnitY * dpiScale));
}

QRect dialogRectToPixels(int x, int y, int w, int h, double dpiScale) {
  // Edges are converted, not sizes, so neighbouring controls never overlap by rounding.
  const int left = dialogUnitsToPixelsX(x, dpiScale);
  const int top = dialogUnitsToPixelsY(y, dpiScale);
  const int right = dialogUnitsToPixelsX(x + w, dpiScale);
  const int bottom = dialogUnitsToPixelsY(y + h, dpiScale);
  return QRect(left, top, right - left, bottom - top);
}

QWidget* buildControl(QWidget* parent, const ControlRow& row, double dpiScale) {
  QWidget* w = makeWidget(parent, row);
  w->setObjectName(QString::number(row.id));
  w->setGeometry(dialogRectToPixels(row.x, row.y, row.w, row.h, dpiScale));
  if (row.flags & kDisabled) w->setEnabled(false);
  if (row.flags & kHidden) w->setVisible(false);
  return w;
}

std::map<int, QWidget*> buildControls(QWidget* parent, std::span<const ControlRow> rows,
                                      double dpiScale) {
  std::map<int, QWidget*> byId;
  for (const ControlRow& row : rows) {
    QWidget* w = buildControl(parent, row, dpiScale);
    if (row.id != 0) byId[row.id] = w;
  }
  return byId;
}

QWidget* findControl(const QWidget* parent, int id) {
  if (parent == nullptr || id == 0) return nullptr;
  return parent->findChild<QWidget*>(QString::number(id));
}

}  // namespace kestrune

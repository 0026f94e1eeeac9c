#include "forms/dialog_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTableView>
#include <QTableWidget>
#include <algorithm>
#include <cmath>

namespace kestrune {
namespace {

constexpr double kUnitX = 1.5;    // 6 px average character width / 4
constexpr double kUnitY = 1.625;  // 13 px character height / 8

// A check box with its caption left of the box, as the form's chart switches are drawn. The
// caption stays left-to-right text; only the box moves to the right edge.
class LeftTextCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const int box = style()->pixelMetric(QStyle::PM_IndicatorWidth, &opt, this);
    const int boxH = style()->pixelMetric(QStyle::PM_IndicatorHeight, &opt, this);
    QStyleOptionButton indicator = opt;
    indicator.rect = QRect(width() - box, (height() - boxH) / 2, box, boxH);
    p.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);
    const QRect textRect(0, 0, std::max(0, width() - box - 2), height());
    p.drawItemText(textRect, Qt::AlignLeft | Qt::AlignVCenter, opt.palette, isEnabled(), text(),
                   QPalette::WindowText);
    if (hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect = textRect;
      p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
  }
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

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
      if (row.flags & kTextLeft) return new LeftTextCheckBox(text, parent);
      return new QCheckBox(text, parent);
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

QFont dialogFont(double dpiScale) {
  QFont f(QStringLiteral("Arial"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(8.0 * 96.0 * dpiScale / 72.0))));
  return f;
}

QWidget* buildControl(QWidget* parent, const ControlRow& row, double dpiScale) {
  QWidget* w = makeWidget(parent, row);
  w->setObjectName(QString::number(row.id));
  QRect r = dialogRectToPixels(row.x, row.y, row.w, row.h, dpiScale);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    // Our sans face runs a little wider than the template's font: a caption grows to show its
    // whole text rather than lose its last characters, away from the side it is aligned to.
    const int need = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    if (need > r.width()) {
      const int extra = need - r.width();
      if (row.flags & kAlignRight) {
        r.setLeft(r.left() - extra);
      } else if (row.flags & kAlignCenter) {
        r.adjust(-extra / 2, 0, extra - extra / 2, 0);
      } else {
        r.setWidth(need);
      }
    }
  }
  w->setGeometry(r);
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

double setUpDialog(QDialog* dialog, int width, int height, std::span<const ControlRow> rows) {
  const double scale = dialog->logicalDpiX() / 96.0;
  // Controls are sized for the 8-point dialog font.
  QFont font = dialog->font();
  font.setPointSize(8);
  dialog->setFont(font);
  dialog->setFixedSize(dialogUnitsToPixelsX(width, scale), dialogUnitsToPixelsY(height, scale));
  buildControls(dialog, rows, scale);
  return scale;
}

QTableWidget* buildPickList(QWidget* parent, int id, const QRect& rect, const QString& caption,
                            int columnWidth, int rows) {
  auto* list = new QTableWidget(rows, 1, parent);
  list->setObjectName(QString::number(id));
  list->setGeometry(rect);
  list->setHorizontalHeaderLabels({caption});
  list->horizontalHeaderItem(0)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setColumnWidth(0, columnWidth);
  list->verticalHeader()->hide();
  list->verticalHeader()->setDefaultSectionSize(parent->fontMetrics().height() + 3);
  list->setShowGrid(false);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSortingEnabled(false);
  return list;
}

void connectOkCancel(QDialog* dialog, int okId, int cancelId) {
  if (auto* ok = findControlAs<QPushButton>(dialog, okId)) {
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  }
  if (auto* cancel = findControlAs<QPushButton>(dialog, cancelId)) {
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  }
}

}  // namespace kestrune

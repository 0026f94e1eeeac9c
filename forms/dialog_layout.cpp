#include "forms/dialog_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTableView>
#include <QTableWidget>
#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrune {
namespace {

constexpr double kUnitX = 1.5;    // 6 px average character width / 4
constexpr double kUnitY = 1.625;  // 13 px character height / 8

// A check box as the form draws its chart switches: the caption may stand left of the box (it
// stays left-to-right text; only the box moves to the right edge), and a flat box is a plain
// square, one line round the edit colour, with no bevel or shading, as tall as the control.
class FormCheckBox : public QCheckBox {
 public:
  FormCheckBox(const QString& text, bool textLeft, bool flat, QWidget* parent)
      : QCheckBox(text, parent), textLeft_(textLeft), flat_(flat) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (!textLeft_ && !flat_) {
      QCheckBox::paintEvent(event);
      return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QSize box = flat_ ? QSize(std::min(width(), height()), std::min(width(), height()))
                            : QSize(style()->pixelMetric(QStyle::PM_IndicatorWidth, &opt, this),
                                    style()->pixelMetric(QStyle::PM_IndicatorHeight, &opt, this));
    const int boxX = textLeft_ ? width() - box.width() : 0;
    const QRect boxRect(boxX, (height() - box.height()) / 2, box.width(), box.height());
    if (flat_) {
      drawFlatBox(p, boxRect, opt.palette);
    } else {
      QStyleOptionButton indicator = opt;
      indicator.rect = boxRect;
      p.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);
    }
    const QRect textRect = textLeft_ ? QRect(0, 0, std::max(0, boxX - 2), height())
                                     : QRect(box.width() + 3, 0, width(), height());
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

 private:
  void drawFlatBox(QPainter& p, const QRect& r, const QPalette& pal) const {
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    p.fillRect(r, pal.color(group, isDown() ? QPalette::Window : QPalette::Base));
    p.setPen(pal.color(group, QPalette::WindowText));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (checkState() == Qt::Unchecked) return;
    // The tick: down from the middle of the left side to near the bottom, then up to the right.
    const QRectF in = QRectF(r).adjusted(2.5, 2.5, -2.5, -2.5);
    const QPointF tick[] = {{in.left(), in.top() + in.height() * 0.45},
                            {in.left() + in.width() * 0.38, in.bottom() - in.height() * 0.05},
                            {in.right(), in.top() + in.height() * 0.1}};
    p.setPen(QPen(pal.color(group, QPalette::Text), std::max(1.5, r.height() / 7.0)));
    p.drawPolyline(tick, 3);
  }

  bool textLeft_;
  bool flat_;
};

// Arrow keys on a button or check box move the focus inside its group, wrapping at the group's
// ends, as in a dialog; edits and lists keep their arrows. Tab still visits every control.
class GroupNavigator : public QObject {
 public:
  GroupNavigator(std::vector<std::vector<QPointer<QWidget>>> groups, QObject* parent)
      : QObject(parent), groups_(std::move(groups)) {
    for (const auto& group : groups_) {
      for (const QPointer<QWidget>& w : group) {
        if (qobject_cast<QAbstractButton*>(w.data()) != nullptr) w->installEventFilter(this);
      }
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    int step = 0;
    if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Up) step = -1;
    if (key->key() == Qt::Key_Right || key->key() == Qt::Key_Down) step = 1;
    if (step == 0) return false;
    for (const auto& group : groups_) {
      const auto at =
          std::find_if(group.begin(), group.end(),
                       [watched](const QPointer<QWidget>& w) { return w.data() == watched; });
      if (at == group.end()) continue;
      const int n = static_cast<int>(group.size());
      const int from = static_cast<int>(at - group.begin());
      for (int k = 1; k < n; ++k) {
        QWidget* next = group[static_cast<std::size_t>(((from + step * k) % n + n) % n)];
        if (next != nullptr && next->isEnabled() && next->isVisible() &&
            (next->focusPolicy() & Qt::TabFocus)) {
          next->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
          break;
        }
      }
      return true;
    }
    return false;
  }

 private:
  std::vector<std::vector<QPointer<QWidget>>> groups_;
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
    case ControlKind::CheckBox:
      return new FormCheckBox(text, row.flags & kTextLeft, row.flags & kFlat, parent);
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
      applyPictureFrame(f, row.flags);
      return f;
    }
    case ControlKind::ComboBox:
      return new QComboBox(parent);
  }
  return new QWidget(parent);
}

}  // namespace

void applyPictureFrame(QFrame* picture, std::uint32_t flags) {
  if (flags & kSunken) {
    picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  } else if (flags & kBorder) {
    picture->setFrameStyle(QFrame::Box | QFrame::Plain);
  }
  picture->setLineWidth(1);
}

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
  std::vector<QWidget*> built;
  for (const ControlRow& row : rows) {
    QWidget* w = buildControl(parent, row, dpiScale);
    built.push_back(w);
    if (row.id != 0) byId[row.id] = w;
  }
  groupControls(parent, rows, built);
  return byId;
}

void groupControls(QWidget* parent, std::span<const ControlRow> rows,
                   std::span<QWidget* const> widgets) {
  std::vector<std::vector<QPointer<QWidget>>> groups(1);
  for (std::size_t i = 0; i < rows.size() && i < widgets.size(); ++i) {
    if ((rows[i].flags & kGroupStart) && !groups.back().empty()) groups.emplace_back();
    groups.back().emplace_back(widgets[i]);
  }
  if (groups.size() > 1) new GroupNavigator(std::move(groups), parent);
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

namespace {

class EnabledFollower : public QObject {
 public:
  EnabledFollower(QWidget* source, QObject* owner, std::function<void(bool)> apply)
      : QObject(owner), source_(source), apply_(std::move(apply)) {
    source->installEventFilter(this);
    apply_(source->isEnabled());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == source_ && event->type() == QEvent::EnabledChange) {
      apply_(source_->isEnabled());
    }
    return false;
  }

 private:
  QWidget* source_;
  std::function<void(bool)> apply_;
};

}  // namespace

void followEnabled(QWidget* source, QObject* owner, std::function<void(bool)> apply) {
  if (source == nullptr || !apply) return;
  new EnabledFollower(source, owner, std::move(apply));
}

}  // namespace kestrune

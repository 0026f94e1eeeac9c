#include "settings/color_prefs.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <cstring>

#include "forms/dialog_layout.h"
#include "settings/record_convert.h"

namespace kestrune {
namespace {

enum : int {
  kChartFontSample = 1070,
  kChartFontSelect = 1085,
  kListFontSample = 1069,
  kListFontSelect = 1084,
  kGraphAreaSample = 1129,
  kOutlineSample = 1131,
  kGridlineSample = 1132,
  kInsetsSample = 1130,
  kNormalSample = 1136,
  kHighlightSample = 1137,
  kSymFilterSample = 1138,
  kHighSymfSample = 1139,
  kBlackScheme = 1032,
  kWhiteScheme = 1041,
  kLineWidthEdit = 1053,
  kRawThreshEdit = 1019,
  kSeqThreshEdit = 1020,
  kAlgoThreshEdit = 1021,
  kElementList = 1127,
  kElementSample = 1128,
  kChooseElement = 1033,
  kResetAll = 1044,
};

const ControlRow kColorPrefsRows[] = {
    {0, ControlKind::Label, "Charts:", 17, 9, 25, 8, kNoFlags},
    {kChartFontSample, ControlKind::Edit, "", 16, 17, 79, 18, kReadOnly | kBorder},
    {kChartFontSelect, ControlKind::Button, "Select", 96, 17, 44, 11, kNoFlags},
    {kGraphAreaSample, ControlKind::Label, "GRAPH AREA", 17, 38, 48, 12, kBorder},
    {1034, ControlKind::Button, "Bk", 67, 38, 34, 13, kNoFlags},
    {1042, ControlKind::Button, "Fg", 101, 38, 34, 13, kNoFlags},
    {kOutlineSample, ControlKind::Label, "OUTLINE", 17, 51, 48, 12, kBorder},
    {1036, ControlKind::Button, "Fg", 67, 51, 34, 13, kNoFlags},
    {kGridlineSample, ControlKind::Label, "GRIDLINE", 17, 65, 48, 12, kBorder},
    {1037, ControlKind::Button, "Fg", 67, 65, 34, 13, kNoFlags},
    {kInsetsSample, ControlKind::Label, "INSETS", 17, 79, 48, 12, kBorder},
    {1035, ControlKind::Button, "Bk", 67, 79, 34, 13, kNoFlags},
    {1043, ControlKind::Button, "Fg", 101, 79, 34, 13, kNoFlags},
    {kBlackScheme, ControlKind::Button, "Black Scheme", 15, 97, 60, 12, kNoFlags},
    {kWhiteScheme, ControlKind::Button, "White Scheme", 15, 111, 60, 13, kNoFlags},
    {0, ControlKind::Label, "Line Width:", 81, 99, 37, 8, kNoFlags},
    {kLineWidthEdit, ControlKind::Edit, "", 122, 97, 15, 12, kDigits | kBorder},
    {0, ControlKind::Label, "Lists:", 17, 136, 18, 8, kNoFlags},
    {kListFontSample, ControlKind::Edit, "", 17, 144, 79, 18, kReadOnly | kBorder},
    {kListFontSelect, ControlKind::Button, "Select", 97, 144, 44, 11, kNoFlags},
    {kNormalSample, ControlKind::Label, "NORMAL", 17, 165, 48, 12, kBorder},
    {1045, ControlKind::Button, "Bk", 67, 165, 34, 13, kNoFlags},
    {1046, ControlKind::Button, "Fg", 101, 165, 34, 13, kNoFlags},
    {kHighlightSample, ControlKind::Label, "HIGHLIGHT", 17, 179, 48, 12, kBorder},
    {1047, ControlKind::Button, "Bk", 67, 179, 34, 13, kNoFlags},
    {1048, ControlKind::Button, "Fg", 101, 179, 34, 13, kNoFlags},
    {kSymFilterSample, ControlKind::Label, "SYMFILTER", 17, 193, 48, 12, kBorder},
    {1049, ControlKind::Button, "Bk", 67, 193, 34, 13, kNoFlags},
    {1050, ControlKind::Button, "Fg", 101, 193, 34, 13, kNoFlags},
    {kHighSymfSample, ControlKind::Label, "HIGH+SYMF", 17, 207, 48, 12, kBorder},
    {1051, ControlKind::Button, "Bk", 67, 207, 34, 13, kNoFlags},
    {1052, ControlKind::Button, "Fg", 101, 207, 34, 13, kNoFlags},
    {0, ControlKind::Label, "Highlight Color Filter Thresholds:", 18, 228, 104, 8, kNoFlags},
    {0, ControlKind::Label, "Quote Count (raw) Thresh:", 17, 242, 88, 8, kAlignRight},
    {kRawThreshEdit, ControlKind::Edit, "", 109, 240, 40, 12, kDigits | kBorder},
    {0, ControlKind::Label, "Quote Count (seq) Thresh:", 18, 256, 88, 8, kAlignRight},
    {kSeqThreshEdit, ControlKind::Edit, "", 109, 253, 40, 12, kDigits | kBorder},
    {0, ControlKind::Label, "High Algo Counts Thresh:", 23, 268, 82, 8, kAlignRight},
    {kAlgoThreshEdit, ControlKind::Edit, "", 109, 266, 40, 12, kDigits | kBorder},
    {0, ControlKind::Label, "Totals & Exchanges:", 165, 9, 66, 8, kNoFlags},
    {0, ControlKind::Label, "Color:", 297, 18, 20, 8, kNoFlags},
    {kElementSample, ControlKind::Label, "", 297, 27, 41, 12, kBorder},
    {kChooseElement, ControlKind::Button, "Choose", 297, 40, 34, 13, kNoFlags},
    // Left over in the template from an earlier layout: hidden, disabled and inert.
    {0, ControlKind::Label, "Color:", 297, 60, 20, 8, kHidden | kDisabled},
    {1133, ControlKind::Label, "", 297, 69, 41, 12, kBorder | kHidden | kDisabled},
    {1038, ControlKind::Button, "Choose", 297, 82, 34, 13, kHidden | kDisabled},
    {0, ControlKind::Label, "Color:", 297, 102, 20, 8, kHidden | kDisabled},
    {1134, ControlKind::Label, "", 297, 111, 41, 12, kBorder | kHidden | kDisabled},
    {1039, ControlKind::Button, "Choose", 297, 124, 34, 13, kHidden | kDisabled},
    {0, ControlKind::Label, "Color:", 297, 144, 20, 8, kHidden | kDisabled},
    {1135, ControlKind::Label, "", 297, 153, 41, 12, kBorder | kHidden | kDisabled},
    {1040, ControlKind::Button, "Choose", 297, 166, 34, 13, kHidden | kDisabled},
    {0, ControlKind::Label, "Color:", 297, 186, 20, 8, kHidden | kDisabled},
    {kResetAll, ControlKind::Button, "Reset All To Default", 84, 290, 74, 14, kNoFlags},
    {1, ControlKind::Button, "OK", 160, 290, 50, 14, kDefault},
    {2, ControlKind::Button, "Cancel", 212, 290, 50, 14, kNoFlags},
};

// Which colour each "Bk" / "Fg" / "Choose" button edits.
struct ColorButton {
  int id;
  PrefColor color;
};
constexpr ColorButton kColorButtons[] = {
    {1034, PrefColor::GraphAreaBk},
    {1042, PrefColor::GraphAreaFg},
    {1036, PrefColor::OutlineFg},
    {1037, PrefColor::GridlineFg},
    {1035, PrefColor::InsetsBk},
    {1043, PrefColor::InsetsFg},
    {1045, PrefColor::NormalBk},
    {1046, PrefColor::NormalFg},
    {1047, PrefColor::HighlightBk},
    {1048, PrefColor::HighlightFg},
    {1049, PrefColor::SymFilterBk},
    {1050, PrefColor::SymFilterFg},
    {1051, PrefColor::HighSymfBk},
    {1052, PrefColor::HighSymfFg},
    {kChooseElement, PrefColor::CurrentElement},
};

void paintSample(QWidget* sample, ColorRef fg, ColorRef bk) {
  if (sample == nullptr) return;
  QPalette p = sample->palette();
  p.setColor(QPalette::Window, toQColor(bk));
  p.setColor(QPalette::WindowText, toQColor(fg));
  sample->setPalette(p);
  sample->setAutoFillBackground(true);
  sample->update();
}

}  // namespace

CColorPrefs::CColorPrefs(const MonitorSettings& settings, const ChartColorTable& colors,
                         LogFontRecord& listFont, LogFontRecord& chartFont, QWidget* parent)
    : QDialog(parent), editor_(settings, colors), listFont_(listFont), chartFont_(chartFont) {
  setWindowTitle(QStringLiteral("Chart and List Colors / Font / Threshold Preferences"));
  const double scale = setUpDialog(this, 345, 311, kColorPrefsRows);
  for (auto* sample : findChildren<QLabel*>()) {
    if (sample->objectName() != QLatin1String("0")) {
      sample->setFrameStyle(QFrame::Box | QFrame::Plain);
      sample->setAlignment(Qt::AlignCenter);
    }
  }

  auto* elements = buildPickList(this, kElementList, dialogRectToPixels(165, 19, 123, 209, scale),
                                 QStringLiteral("Element Colors"), 250, kElementRows);
  for (int row = 0; row < kElementRows; ++row) {
    elements->setItem(row, 0, new QTableWidgetItem(QString::fromLatin1(elementName(row))));
  }
  elements->setCurrentItem(nullptr);
  elements->clearSelection();
  connect(elements, &QTableWidget::currentCellChanged, this, [this](int row) {
    editor_.selectElement(row);
    refreshSamples();
  });

  for (const ColorButton& b : kColorButtons) {
    connect(findControlAs<QPushButton>(this, b.id), &QPushButton::clicked, this,
            [this, which = b.color] { pickColor(which); });
  }
  connect(findControlAs<QPushButton>(this, kChartFontSelect), &QPushButton::clicked, this,
          [this] { pickFont(chartFont_, true); });
  connect(findControlAs<QPushButton>(this, kListFontSelect), &QPushButton::clicked, this,
          [this] { pickFont(listFont_, false); });
  connect(findControlAs<QPushButton>(this, kBlackScheme), &QPushButton::clicked, this, [this] {
    editor_.blackScheme();
    refreshSamples();
  });
  connect(findControlAs<QPushButton>(this, kWhiteScheme), &QPushButton::clicked, this, [this] {
    editor_.whiteScheme();
    refreshSamples();
  });
  connect(findControlAs<QPushButton>(this, kResetAll), &QPushButton::clicked, this,
          &CColorPrefs::resetAll);
  connectOkCancel(this);

  // The edits are filled before they are listened to; an int32 has at most 10 digits.
  writeNumberEdits();
  struct NumberEdit {
    int id;
    std::optional<Threshold> threshold;
  };
  const NumberEdit numberEdits[] = {{kRawThreshEdit, Threshold::QuoteCountRaw},
                                    {kSeqThreshEdit, Threshold::QuoteCountSeq},
                                    {kAlgoThreshEdit, Threshold::HighAlgoCounts},
                                    {kLineWidthEdit, std::nullopt}};
  for (const NumberEdit& e : numberEdits) {
    auto* edit = findControlAs<QLineEdit>(this, e.id);
    edit->setMaxLength(10);
    connect(edit, &QLineEdit::textChanged, this, [this, t = e.threshold](const QString& text) {
      const std::string digits = text.toLatin1().toStdString();
      if (t) {
        editor_.thresholdEdited(*t, digits);
      } else {
        editor_.lineWidthEdited(digits);
      }
    });
  }

  findControlAs<QLineEdit>(this, kChartFontSample)->setText(QStringLiteral("CHART FONT"));
  findControlAs<QLineEdit>(this, kListFontSample)->setText(QStringLiteral("LIST FONT"));
  refreshSamples();

  chooseColor = [this](ColorRef current) -> std::optional<ColorRef> {
    const QColor c = QColorDialog::getColor(toQColor(current), this);
    if (!c.isValid()) return std::nullopt;
    return fromQColor(c);
  };
  chooseFont = [this](const LogFontRecord& current) -> std::optional<LogFontRecord> {
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, toQFont(current, screenFontDpi(screen())), this);
    if (!ok) return std::nullopt;
    return fromQFont(f, screenFontDpi(screen()), current);
  };
  askYesNo = [this](const QString& title, const QString& text) {
    return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  };
}

void CColorPrefs::pickColor(PrefColor which) {
  if (!chooseColor) return;
  const std::optional<ColorRef> chosen = chooseColor(editor_.color(which));
  if (!chosen) return;
  editor_.setColor(which, *chosen);
  refreshSamples();
}

void CColorPrefs::pickFont(LogFontRecord& font, bool chart) {
  if (!chooseFont) return;
  const std::optional<LogFontRecord> chosen = chooseFont(font);
  if (!chosen) return;
  // The settings' font changes now, not at OK, and Cancel does not take it back.
  font = *chosen;
  font.lfFaceName[sizeof font.lfFaceName - 1] = '\0';
  if (chart && chartFontReplaced) chartFontReplaced();
  refreshSamples();
}

void CColorPrefs::resetAll() {
  if (!askYesNo || !askYesNo(QStringLiteral("Message"), QStringLiteral("Really Reset to Default?")))
    return;
  const LogFontRecord fresh = defaultLogFont(screenFontDpi(screen()));
  listFont_ = fresh;
  chartFont_ = fresh;
  if (chartFontReplaced) chartFontReplaced();
  editor_.resetToDefaults();
  writeNumberEdits();
  refreshSamples();
}

void CColorPrefs::writeNumberEdits() {
  const ColorPrefsValues& v = editor_.values();
  findControlAs<QLineEdit>(this, kRawThreshEdit)->setText(QString::number(v.quoteCountRawThresh));
  findControlAs<QLineEdit>(this, kSeqThreshEdit)->setText(QString::number(v.quoteCountSeqThresh));
  findControlAs<QLineEdit>(this, kAlgoThreshEdit)->setText(QString::number(v.highAlgoCountsThresh));
  findControlAs<QLineEdit>(this, kLineWidthEdit)->setText(QString::number(v.lineWidth));
}

void CColorPrefs::refreshSamples() {
  const ColorPrefsValues& v = editor_.values();
  const ChartColorTable& c = v.colors;
  paintSample(findControl(this, kGraphAreaSample), c.graphAreaFg, c.graphAreaBk);
  paintSample(findControl(this, kOutlineSample), c.outlineFg, v.outlinePreviewBk);
  paintSample(findControl(this, kGridlineSample), c.gridlineFg, v.gridlinePreviewBk);
  paintSample(findControl(this, kInsetsSample), c.insetsFg, c.insetsBk);
  paintSample(findControl(this, kNormalSample), v.list.normalFg, v.list.normalBk);
  paintSample(findControl(this, kHighlightSample), v.list.highlightFg, v.list.highlightBk);
  paintSample(findControl(this, kSymFilterSample), v.list.symFilterFg, v.list.symFilterBk);
  paintSample(findControl(this, kHighSymfSample), v.list.highSymfFg, v.list.highSymfBk);
  const ColorRef element = editor_.color(PrefColor::CurrentElement);
  paintSample(findControl(this, kElementSample), element, element);
  findControl(this, kChartFontSample)->setFont(toQFont(chartFont_, screenFontDpi(screen())));
  findControl(this, kListFontSample)->setFont(toQFont(listFont_, screenFontDpi(screen())));
  update();
}

bool applyColorPrefs(const ColorPrefsValues& result, bool confirmed, MonitorSettings& settings,
                     ChartColorTable& colors, const ColorPrefsHooks& hooks) {
  if (!confirmed) return false;
  const auto underLock = [&hooks](const std::function<void()>& steps) {
    if (hooks.underChartLock) {
      hooks.underChartLock(steps);
    } else {
      steps();
    }
  };

  if (hooks.eraseLists) hooks.eraseLists();
  settings.lineWidth = result.lineWidth;
  storeListColors(result.list, settings);
  if (hooks.styleLists) hooks.styleLists(settings);
  underLock([&] {
    if (hooks.pointChartsAtFont) hooks.pointChartsAtFont();
  });

  // Only a list whose threshold changed has its highlight marks recomputed; the count is
  // column 2 of the Raw list and column 3 of the Seq and Algo lists.
  struct ThresholdStep {
    int32_t& stored;
    int32_t wanted;
    int list;
    int column;
  };
  const ThresholdStep thresholds[] = {
      {settings.quoteCountRawThresh, result.quoteCountRawThresh, 0, 2},
      {settings.quoteCountSeqThresh, result.quoteCountSeqThresh, 1, 3},
      {settings.highAlgoCountsThresh, result.highAlgoCountsThresh, 2, 3},
  };
  for (const ThresholdStep& t : thresholds) {
    if (t.stored == t.wanted) continue;
    t.stored = t.wanted;
    if (hooks.recolorByThreshold) hooks.recolorByThreshold(t.list, t.column);
  }

  underLock([&] {
    // The two colours the dialog does not edit stay as the table has them now.
    const ColorRef aux = colors.chartAuxFg;
    const ColorRef dotLine = colors.chartDotLineColor;
    colors = result.colors;
    colors.chartAuxFg = aux;
    colors.chartDotLineColor = dotLine;
    if (hooks.applyChartColors) hooks.applyChartColors();
  });
  if (hooks.redrawAllCharts) hooks.redrawAllCharts();
  return true;
}

bool editColourPrefs(MonitorSettings& settings, ChartColorTable& colors,
                     const ColorPrefsHooks& hooks, QWidget* parent) {
  CColorPrefs dialog(settings, colors, settings.listFont, settings.chartFont, parent);
  if (hooks.pointChartsAtFont) {
    dialog.chartFontReplaced = [&hooks] {
      if (hooks.underChartLock) {
        hooks.underChartLock(hooks.pointChartsAtFont);
      } else {
        hooks.pointChartsAtFont();
      }
    };
  }
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  return applyColorPrefs(dialog.values(), confirmed, settings, colors, hooks);
}

}  // namespace kestrune

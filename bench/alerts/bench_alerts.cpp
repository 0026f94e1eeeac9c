// Alert intake into a list already holding 1,000,000 rows, its memory per row, the cost of
// painting a view over such a list, and exporting it as CSV.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "alerts/alert_intake.h"
#include "alerts/alert_list.h"
#include "alerts/alert_list_model.h"
#include "alerts/color_list_ctrl.h"

namespace kestrune {
namespace {

constexpr std::size_t kPrefill = 1'000'000;

std::vector<std::string> sampleRecords() {
  std::vector<std::string> out;
  for (int i = 0; i < 4096; ++i) {
    char record[64];
    std::snprintf(record, sizeof record, "S%d|7|09%04d|%d|X|%d", i % 5000, 1000 + i % 5000,
                  2500 + i % 1000, i % 90);
    out.emplace_back(record);
  }
  return out;
}

AlertRules rawRules() {
  AlertRules r;
  r.threshold = 3000;
  r.useSymbolFilters = true;
  r.slot = {"alarm.wav", true, false, 200};
  return r;
}

void fill(AlertList& list, const AlertIntake& intake, const std::vector<std::string>& records,
          std::size_t rows) {
  for (std::size_t i = 0; i < rows; ++i) {
    AlertDecision d = intake.take(AlertKind::Raw, records[i % records.size()], false);
    list.append(d.cells, d.code);
  }
}

// A Raw list model of `rows` rows shown in a 265 x 685 view, as the monitor shows it.
struct ShownList {
  SymbolFilterTable table{"/nonexistent/SymbolFilter.txt"};
  AlertIntake intake{table};
  std::vector<std::string> records = sampleRecords();
  AlertListModel model{AlertKind::Raw};
  CColorListCtrl view;

  explicit ShownList(std::size_t rows) {
    intake.setRules(AlertKind::Raw, rawRules());
    for (std::size_t i = 0; i < rows; ++i) {
      AlertDecision d = intake.take(AlertKind::Raw, records[i % records.size()], false);
      model.stage(d.cells, d.code);
    }
    model.commit();
    view.setAlertModel(&model);
    view.resize(265, 685);
    view.show();
    QCoreApplication::processEvents();
  }
};

// Receive-thread decision plus the window-thread append, with a watched-symbol table active.
void BM_IntakeIntoMillionRowList(benchmark::State& state) {
  SymbolFilterTable table("/nonexistent/SymbolFilter.txt");
  std::vector<SymbolEntry> watched;
  for (int i = 0; i < 500; ++i) {
    char symbol[16];
    std::snprintf(symbol, sizeof symbol, "S%d", i * 7);
    watched.push_back(makeSymbolEntry(symbol));
  }
  char alarm[255] = {};
  table.replaceSymbolFilters(watched, "", alarm);
  AlertIntake intake(table);
  intake.setRules(AlertKind::Raw, rawRules());
  auto records = sampleRecords();
  AlertList list(AlertKind::Raw);
  fill(list, intake, records, kPrefill);
  std::size_t i = 0;
  for (auto _ : state) {
    AlertDecision d = intake.takeRawAlert(records[i++ % records.size()]);
    if (d.addRow) list.append(d.cells, d.code);
    benchmark::DoNotOptimize(d.sound.play);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["rows"] = static_cast<double>(list.size());
  state.counters["bytes_per_row"] =
      static_cast<double>(list.memoryBytes()) / static_cast<double>(list.size());
}
BENCHMARK(BM_IntakeIntoMillionRowList)->Unit(benchmark::kNanosecond);

// Batches of 100 rows committed to the model (one insertion each) over a million-row list.
void BM_ModelBatchOverMillionRows(benchmark::State& state) {
  ShownList shown(kPrefill);
  AlertIntake& intake = shown.intake;
  AlertListModel& model = shown.model;
  const auto& records = shown.records;
  std::size_t i = 0;
  for (auto _ : state) {
    for (int k = 0; k < 100; ++k) {
      AlertDecision d = intake.takeRawAlert(records[i++ % records.size()]);
      model.stage(d.cells, d.code);
    }
    model.commit();
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_ModelBatchOverMillionRows)->Unit(benchmark::kMicrosecond);

// One scroll step and repaint of a 265 x 685 view; the cost must not grow with the row count.
void BM_ScrollRepaint(benchmark::State& state) {
  const auto rows = static_cast<std::size_t>(state.range(0));
  ShownList shown(rows);
  CColorListCtrl& view = shown.view;
  QScrollBar* bar = view.verticalScrollBar();
  int step = 0;
  for (auto _ : state) {
    bar->setValue((step += 997) % bar->maximum());
    view.viewport()->repaint();
  }
}
BENCHMARK(BM_ScrollRepaint)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The live list: a few new rows at the top and one repaint a frame, every visible row pushed down.
void BM_LiveRowsRepaint(benchmark::State& state) {
  ShownList shown(100000);
  std::size_t i = 0;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      AlertDecision d = shown.intake.takeRawAlert(shown.records[i++ % shown.records.size()]);
      shown.model.stage(d.cells, d.code);
    }
    shown.model.commit();
    shown.view.viewport()->repaint();
  }
}
BENCHMARK(BM_LiveRowsRepaint)->Unit(benchmark::kMicrosecond);

// "Export List as CSV..." of a million-row list into a file, progress dialog included.
void BM_ExportMillionRowsCsv(benchmark::State& state) {
  ShownList shown(kPrefill);
  QTemporaryDir dir;
  const QString path = dir.filePath("raw.csv");
  for (auto _ : state) {
    if (shown.view.exportCsvTo(path) != SaveOutcome::Saved) state.SkipWithError("not saved");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kPrefill));
  state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}
BENCHMARK(BM_ExportMillionRowsCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace kestrune

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

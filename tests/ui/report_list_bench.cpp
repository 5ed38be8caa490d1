// How long the device list takes to fill and to take a round of status
// reports, at the list's full size of 100 rows. Prints figures; judges nothing.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <optional>

#include "ui/report_list.h"

namespace {

constexpr int kRows = 100;
constexpr int kColumns = 13;

void add_columns(ui::ReportList& list) {
    for (int c = 0; c < kColumns; ++c) list.add_column(std::to_string(c), c < 6 ? 80 : 25);
}

void fill(ui::ReportList& list) {
    char index[8];
    for (int i = 1; i <= kRows; ++i) {
        std::snprintf(index, sizeof index, "%02d", i);
        const int row = list.insert_row(index);
        list.set_cell(row, 1, "00:11:22:33:44:" + std::to_string(i));
        list.set_cell(row, 2, "10.77.0." + std::to_string(i));
        list.set_cell(row, 3, "6001");
        list.set_cell(row, 4, "V1.2.3");
        list.set_cell(row, 5, "0x1a2b");
    }
}

void BM_FillHundredRows(benchmark::State& state) {
    ui::ReportList list(true);
    add_columns(list);
    list.resize(1200, 800);
    list.show();
    for (auto _ : state) {
        list.clear_rows();
        fill(list);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_FillHundredRows)->Unit(benchmark::kMillisecond);

// One status report per row (a mark and a message), then one repaint, with
// and without holding repaints back in a batch.
void BM_StatusRound(benchmark::State& state) {
    const bool batched = state.range(0) != 0;
    ui::ReportList list(true);
    add_columns(list);
    list.resize(1200, 800);
    list.show();
    fill(list);
    for (auto _ : state) {
        {
            std::optional<ui::ReportList::UpdateBatch> batch;
            if (batched) batch.emplace(list);
            for (int row = 0; row < kRows; ++row) {
                list.set_cell(row, 7, "\u221a");
                list.set_cell(row, 12, "Upgrade successful");
            }
        }
        list.viewport()->repaint();
    }
}
BENCHMARK(BM_StatusRound)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Drawing the whole list once, as a screen update after a round would.
void BM_RenderFullList(benchmark::State& state) {
    ui::ReportList list(true);
    add_columns(list);
    list.resize(1200, 800);
    fill(list);
    for (auto _ : state) benchmark::DoNotOptimize(list.grab());
}
BENCHMARK(BM_RenderFullList)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

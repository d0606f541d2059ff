// The grid's data side against plain containers holding the same data, in one run:
// filling a million six-cell rows (time and peak heap), sorting them on a number
// column and on a text column, and searching a column. Run with
//   --benchmark_repetitions=5 (the default below) and read min/median/max.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "cell_grid.h"
#include "fixed_locale.h"

// ---- heap accounting: every operator new is counted with its block header ----
namespace {
std::size_t g_live = 0;
std::size_t g_peak = 0;

inline std::size_t footprint(void* p) { return malloc_usable_size(p) + sizeof(void*); }
}  // namespace

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  g_live += footprint(p);
  if (g_live > g_peak) g_peak = g_live;
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  g_live -= footprint(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using qelvaro::grid::CellGrid;
using qelvaro::grid::FixedLocale;

constexpr int kRows = 1'000'000;
constexpr int kNumberCol = 3;
constexpr int kTextCol = 0;

const char* const kWords[] = {"display", "Network", "printer", "usb", "Audio", "storage", "Bluetooth",
                              "camera", "Keyboard", "mouse", "modem", "Battery", "sensor", "system"};

// The same million lines for every contender: six short tab-separated cells.
const std::vector<std::string>& lines() {
  static const std::vector<std::string> data = [] {
    std::mt19937 rng(2024);
    std::vector<std::string> out;
    out.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
      std::string line = kWords[rng() % 14];
      line += std::to_string(rng() % 1000);
      line += "\tVendor" + std::to_string(rng() % 50);
      line += "\tClass" + std::to_string(rng() % 20);
      line += '\t' + std::to_string(rng() % 100000);
      line += "\t000" + std::to_string(i % 10);
      line += "\toem" + std::to_string(rng() % 400) + ".inf";
      out.push_back(std::move(line));
    }
    return out;
  }();
  return data;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> cells;
  cells.reserve(6);
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    cells.emplace_back(line, start, tab == std::string::npos ? std::string::npos : tab - start);
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return cells;
}

std::unique_ptr<CellGrid> makeGrid() {
  auto grid = std::make_unique<CellGrid>(FixedLocale::english());
  for (int c = 0; c < 6; ++c) grid->AddColumn("C", 500, 4, c == kNumberCol ? 1 : 0);
  return grid;
}

void fillGrid(CellGrid& grid) {
  grid.SetRedraw(false);
  for (const auto& line : lines()) grid.AddItem(line);
}

std::vector<std::vector<std::string>> fillPlain() {
  std::vector<std::vector<std::string>> table;
  for (const auto& line : lines()) table.push_back(split(line));
  return table;
}

void reportPeak(benchmark::State& state, std::size_t before, std::size_t peak) {
  state.counters["peak_MB"] = static_cast<double>(peak - before) / 1e6;
}

void BM_Fill_CellGrid_AddItem(benchmark::State& state) {
  lines();
  for (auto _ : state) {
    const std::size_t before = g_live;
    g_peak = g_live;
    auto grid = makeGrid();
    fillGrid(*grid);
    benchmark::DoNotOptimize(grid->Rows());
    state.PauseTiming();
    reportPeak(state, before, g_peak);
    grid.reset();
    state.ResumeTiming();
  }
}

void BM_Fill_PlainVector(benchmark::State& state) {
  lines();
  for (auto _ : state) {
    const std::size_t before = g_live;
    g_peak = g_live;
    auto table = fillPlain();
    benchmark::DoNotOptimize(table.data());
    state.PauseTiming();
    reportPeak(state, before, g_peak);
    table = {};
    state.ResumeTiming();
  }
}

CellGrid& sharedGrid() {
  static std::unique_ptr<CellGrid> grid = [] {
    auto g = makeGrid();
    fillGrid(*g);
    return g;
  }();
  return *grid;
}

const std::vector<std::vector<std::string>>& sharedPlain() {
  static const auto table = fillPlain();
  return table;
}

void BM_Sort_CellGrid(benchmark::State& state) {
  CellGrid& grid = sharedGrid();
  const int col = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    grid.Sort(col, 0);  // back to the storage order, which is random
    state.ResumeTiming();
    grid.Sort(col, 2);
  }
}

void BM_Sort_StdSortNumberKeys(benchmark::State& state) {
  const auto& table = sharedPlain();
  std::vector<double> keys;
  keys.reserve(table.size());
  for (const auto& row : table) keys.push_back(std::strtod(row[kNumberCol].c_str(), nullptr));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<double> work = keys;
    state.ResumeTiming();
    std::sort(work.begin(), work.end());
    benchmark::DoNotOptimize(work.data());
  }
}

void BM_Sort_StdSortTextKeys(benchmark::State& state) {
  const auto& table = sharedPlain();
  std::vector<std::string> keys;
  keys.reserve(table.size());
  for (const auto& row : table) keys.push_back(FixedLocale::english().sortKey(row[kTextCol]));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string> work = keys;
    state.ResumeTiming();
    std::sort(work.begin(), work.end());
    benchmark::DoNotOptimize(work.data());
  }
}

// Searches for a text that no row holds, so every row is read.
constexpr const char* kMissing = "Scanner999";

// Arg 0: rows in storage order, like the plain table. Arg 1: after a sort on another
// column, so display order jumps around the row store.
void BM_Find_CellGrid_FindItem(benchmark::State& state) {
  CellGrid& grid = sharedGrid();
  if (state.range(0) == 0) grid.Sort(kTextCol, 0);
  else grid.Sort(kNumberCol, 2);
  for (auto _ : state) benchmark::DoNotOptimize(grid.FindItem(kMissing, kTextCol));
}

void BM_Find_PlainLoopIgnoringCase(benchmark::State& state) {
  const auto& table = sharedPlain();
  const std::string target = FixedLocale::english().upper(kMissing);
  auto equalsFolded = [](const std::string& text, const std::string& upperTarget) {
    if (text.size() != upperTarget.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (c != upperTarget[i]) return false;
    }
    return true;
  };
  for (auto _ : state) {
    int found = -1;
    for (std::size_t r = 0; r < table.size(); ++r)
      if (equalsFolded(table[r][kTextCol], target)) {
        found = static_cast<int>(r);
        break;
      }
    benchmark::DoNotOptimize(found);
  }
}

void BM_Find_PlainLoopExact(benchmark::State& state) {
  const auto& table = sharedPlain();
  const std::string target = kMissing;
  for (auto _ : state) {
    int found = -1;
    for (std::size_t r = 0; r < table.size(); ++r)
      if (table[r][kTextCol] == target) {
        found = static_cast<int>(r);
        break;
      }
    benchmark::DoNotOptimize(found);
  }
}

double minOf(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double maxOf(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

#define QELVARO_REPEATED(b) \
  BENCHMARK(b)->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", minOf)->ComputeStatistics("max", maxOf)

QELVARO_REPEATED(BM_Fill_CellGrid_AddItem)->Iterations(1);
QELVARO_REPEATED(BM_Fill_PlainVector)->Iterations(1);
QELVARO_REPEATED(BM_Sort_CellGrid)->Arg(kNumberCol)->Arg(kTextCol)->Iterations(1);
QELVARO_REPEATED(BM_Sort_StdSortNumberKeys)->Iterations(1);
QELVARO_REPEATED(BM_Sort_StdSortTextKeys)->Iterations(1);
QELVARO_REPEATED(BM_Find_CellGrid_FindItem)->Arg(0)->Arg(1)->Iterations(3);
QELVARO_REPEATED(BM_Find_PlainLoopIgnoringCase)->Iterations(3);
QELVARO_REPEATED(BM_Find_PlainLoopExact)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

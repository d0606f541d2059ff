// What the grid window costs on screen, side by side in one run under Wine: a full
// repaint of a window-sized grid holding 1,000 rows against one holding 1,000,000
// (painting should touch only the rows in view, so the two should cost the same),
// and scrolling one page of the big grid against a full repaint of the same window.
//
//   grid_paint_bench.exe [ROUNDS] [BATCH]
//
// Each round times every case once, in turn, so that noise from the shared machine
// falls on all of them alike; a sample is the mean of BATCH operations. Warm-up rounds
// come first and are not counted. Prints min/median/max per case, and each ratio both
// of the medians and per round. There is no benchmark library for mingw, hence the
// small harness on QueryPerformanceCounter.
//
// The cases:
//   repaint   the repaint marked due, then InvalidateRect + UpdateWindow: WM_PAINT draws
//             the whole grid onto the off-screen image and copies it to the window.
//   refresh   the grid's Refresh: metrics, scroll ranges, then the same drawing.
//   scroll    WM_VSCROLL SB_PAGEDOWN (the page set to the rows in view), then UpdateWindow.
//   at end    the repaint with the big grid scrolled to its last rows: what it costs
//             must not grow with the rows above the window either.
//   check boxes  the repaint of a grid with a check box on every row, as the main
//             window shows; each box is a visual style part.
// A full repaint should take at most 8 ms in every case.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cell_grid_window.h"

using namespace qelvaro::grid;

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kCols = 6;
constexpr int kWarmUpRounds = 3;
constexpr double kRepaintTargetMs = 8;

struct BenchHost : GridHost {
  GridFont AmbientFont() const override { return GridFont{"Tahoma", 8.25f}; }
};

double nowMs() {
  static const double perMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / perMs;
}

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;  // the grid covers the whole client area
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A top-level window filled by one grid of six columns: every window of the run sits at
// the same place, and the one being timed is raised first, so each paints in full.
struct GridUnderTest {
  BenchHost host;
  HWND frame = nullptr;
  CellGridWindow* window = nullptr;
  int rows = 0;
  double fillMs = 0;

  bool create(int rowCount, bool checkBoxes = false) {
    rows = rowCount;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    frame = CreateWindowW(L"GridPaintBenchFrame", L"grid paint bench", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                          nullptr, nullptr, instance, nullptr);
    if (!frame) return false;
    window = CellGridWindow::Create(frame, 1, 0, 0, kWidth, kHeight, &host);
    if (!window) return false;
    CellGrid& g = window->grid();
    g.SetScaleUnits(3);  // pixels
    g.SetShowRowNumbers(true);
    g.SetGridLines(1);
    g.SetBackColorEvenRowsEnabled(true);
    g.SetRowCheckBoxes(checkBoxes);
    const char* const captions[kCols] = {"Driver", "Class", "Provider", "Version", "Date", "Size"};
    for (const char* caption : captions) g.AddColumn(caption, 120);

    // Drawing stays off while filling, as a host filling a big grid does.
    const double start = nowMs();
    std::string line;
    for (int r = 0; r < rows; ++r) {
      const std::string n = std::to_string(r);
      line = "Device driver " + n + "\tSystem\tVendor " + std::to_string(r % 97) + "\t10.0." + n + "\t2024-0" +
             std::to_string(r % 9 + 1) + "-1" + std::to_string(r % 10) + "\t" + std::to_string(r * 7 % 100000);
      g.AddItem(line);
    }
    if (checkBoxes)
      for (int r = 0; r < rows; r += 3) g.SetRowChecked(r, true);
    g.SetRedraw(true);
    fillMs = nowMs() - start;
    // One page is what the window shows, so that every scroll brings in only new rows.
    window->display().SetSBLargeChange(1, window->display().VisibleRowCount());
    pump();
    return g.Rows() == rows;
  }

  void raise() {
    SetWindowPos(frame, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    pump();
  }

  HWND hwnd() const { return window->hwnd(); }
  GridDisplay& display() { return window->display(); }
};

struct Case {
  Case(std::string n, GridUnderTest* g, std::function<bool(GridUnderTest&)> o)
      : name(std::move(n)), grid(g), op(std::move(o)) {}
  std::string name;
  GridUnderTest* grid;
  std::function<bool(GridUnderTest&)> op;  // false when the operation did not do its work
  bool atEnd = false;                      // timed with the last rows in view
  std::vector<double> samples;             // ms per operation
  int failures = 0;
};

bool repaint(GridUnderTest& t) {
  t.display().DrawGrid(false, false);
  InvalidateRect(t.hwnd(), nullptr, FALSE);
  UpdateWindow(t.hwnd());
  return !t.display().PaintPending();
}

bool refresh(GridUnderTest& t) {
  t.window->grid().Refresh();
  return !t.display().PaintPending();
}

bool scrollPage(GridUnderTest& t) {
  const std::int32_t before = t.display().RowFirstVisible();
  SendMessageW(t.hwnd(), WM_VSCROLL, SB_PAGEDOWN, 0);
  UpdateWindow(t.hwnd());
  return t.display().RowFirstVisible() > before;
}

// Keeps the scrolled grid well away from its end (untimed).
void rewindIfNeeded(GridUnderTest& t) {
  if (t.display().RowFirstVisible() > t.rows / 2) {
    SendMessageW(t.hwnd(), WM_VSCROLL, SB_TOP, 0);
    pump();
  }
}

void timeOnce(Case& c, int batch, bool record) {
  c.grid->raise();
  if (c.atEnd) {
    SendMessageW(c.grid->hwnd(), WM_VSCROLL, SB_BOTTOM, 0);
    pump();
  } else {
    rewindIfNeeded(*c.grid);
  }
  bool ok = true;
  const double start = nowMs();
  for (int i = 0; i < batch; ++i) ok = c.op(*c.grid) && ok;
  const double elapsed = nowMs() - start;
  if (!record) return;
  c.samples.push_back(elapsed / batch);
  if (!ok) ++c.failures;
}

struct Stats {
  double min = 0, median = 0, max = 0;
};

Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  if (n == 0) return {};
  const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  return Stats{v.front(), median, v.back()};
}

void printCase(const Case& c) {
  const Stats s = stats(c.samples);
  std::printf("%-22s %10.3f %10.3f %10.3f\n", c.name.c_str(), s.min, s.median, s.max);
}

// The ratio of two cases: of their medians, and per round (each round's two samples
// were taken close together in time).
bool printRatio(const char* label, const Case& num, const Case& den, double target) {
  std::vector<double> perRound;
  for (std::size_t i = 0; i < num.samples.size() && i < den.samples.size(); ++i)
    perRound.push_back(num.samples[i] / den.samples[i]);
  const Stats r = stats(perRound);
  const double ofMedians = stats(num.samples).median / stats(den.samples).median;
  const bool met = ofMedians <= target;
  std::printf("%-34s %6.2fx of the medians; per round min/median/max %.2fx / %.2fx / %.2fx; target <= %.1fx: %s\n",
              label, ofMedians, r.min, r.median, r.max, target, met ? "met" : "MISSED");
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const int batch = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"GridPaintBenchFrame";
  RegisterClassW(&wc);

  GridUnderTest small, big, boxes;
  if (!small.create(1'000) || !big.create(1'000'000) || !boxes.create(1'000, true)) {
    std::fprintf(stderr, "could not create the grid windows\n");
    return 2;
  }
  std::printf("window %dx%d, %d columns, %d rows in view; filled 1,000 rows in %.0f ms, 1,000,000 in %.0f ms\n",
              kWidth, kHeight, kCols, big.display().VisibleRowCount(), small.fillMs, big.fillMs);

  std::vector<Case> cases;
  cases.emplace_back("repaint 1,000 rows", &small, repaint);
  cases.emplace_back("repaint 1,000,000 rows", &big, repaint);
  cases.emplace_back("scroll page 1,000,000", &big, scrollPage);
  cases.emplace_back("refresh 1,000 rows", &small, refresh);
  cases.emplace_back("refresh 1,000,000 rows", &big, refresh);
  cases.emplace_back("repaint 1,000,000 at end", &big, repaint);
  cases.back().atEnd = true;
  cases.emplace_back("repaint, check boxes", &boxes, repaint);

  for (int r = 0; r < kWarmUpRounds + rounds; ++r)
    for (Case& c : cases) timeOnce(c, batch, r >= kWarmUpRounds);

  std::printf("%d rounds of %d operations each (after %d warm-up rounds); ms per operation\n", rounds, batch,
              kWarmUpRounds);
  std::printf("%-22s %10s %10s %10s\n", "case", "min", "median", "max");
  for (const Case& c : cases) printCase(c);
  printRatio("repaint 1,000,000 / 1,000 rows", cases[1], cases[0], 1.2);
  printRatio("scroll page / repaint, 1,000,000", cases[2], cases[1], 2.0);
  printRatio("refresh 1,000,000 / 1,000 rows", cases[4], cases[3], 1.2);
  printRatio("repaint 1,000,000 end / top", cases[5], cases[1], 1.2);
  for (std::size_t i : {0u, 1u, 5u, 6u}) {
    const double median = stats(cases[i].samples).median;
    std::printf("%-34s %6.2f ms median; target <= %.0f ms: %s\n", cases[i].name.c_str(), median, kRepaintTargetMs,
                median <= kRepaintTargetMs ? "met" : "MISSED");
  }

  int failures = 0;
  for (const Case& c : cases) {
    if (c.failures) std::printf("%s: %d samples where the operation did nothing\n", c.name.c_str(), c.failures);
    failures += c.failures;
  }
  DestroyWindow(big.frame);
  DestroyWindow(small.frame);
  DestroyWindow(boxes.frame);
  std::fflush(stdout);
  return failures ? 1 : 0;
}

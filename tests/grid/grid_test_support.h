#pragma once
// Doubles for the grid's host and view: they record what the grid asked of them,
// and a test can plug handlers into the events it cares about.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cell_grid.h"
#include "fixed_locale.h"
#include "grid_error.h"

namespace qelvaro::grid::testing {

// The error number a call raises (a test failure when it raises none).
template <typename F>
ErrorNumber errorOf(F&& f) {
  try {
    f();
  } catch (const GridError& e) {
    return e.number();
  }
  ADD_FAILURE() << "no error raised";
  return ErrorNumber{};
}

class RecordingHost : public GridHost {
 public:
  std::vector<std::string> events;
  std::vector<std::string> changedProperties;
  GridFont ambient{"Tahoma", 9.0f};
  std::function<void(std::int32_t, std::int32_t, std::string&, bool&)> onAfterEdit;
  std::function<void(bool&, std::int32_t&, std::string&, std::string&, bool&)> onCustomSort;
  std::function<void()> onRowCountChanged;

  int count(const std::string& name) const {
    int n = 0;
    for (const auto& e : events) n += e == name;
    return n;
  }

  void RowCountChanged() override {
    events.push_back("RowCountChanged");
    if (onRowCountChanged) onRowCountChanged();
  }
  void RowColChanged() override { events.push_back("RowColChanged"); }
  void SelectionChanged() override { events.push_back("SelectionChanged"); }
  void SortComplete() override { events.push_back("SortComplete"); }
  void RowCheckChanged(std::int32_t) override { events.push_back("RowCheckChanged"); }
  void AfterEdit(std::int32_t row, std::int32_t col, std::string& value, bool& cancel) override {
    events.push_back("AfterEdit");
    if (onAfterEdit) onAfterEdit(row, col, value, cancel);
  }
  void CustomSort(bool& ascending, std::int32_t& col, std::string& v1, std::string& v2, bool& swap) override {
    ++customSortCalls;
    if (onCustomSort) onCustomSort(ascending, col, v1, v2, swap);
  }
  void PropertyChanged(std::string_view name) override { changedProperties.emplace_back(name); }
  void DoEvents() override { ++doEventsCalls; }
  GridFont AmbientFont() const override { return ambient; }

  int customSortCalls = 0;
  int doEventsCalls = 0;
};

class RecordingView : public GridView {
 public:
  int paints = 0, refreshes = 0, scrollBarUpdates = 0, metrics = 0, editorHides = 0;
  std::vector<std::int32_t> ensured;
  float clientWidth = 4000;

  void Paint() override { ++paints; }
  void Refresh() override { ++refreshes; }
  void UpdateScrollBars() override { ++scrollBarUpdates; }
  void CalcRowMetrics() override { ++metrics; }
  void EnsureRowVisible(std::int32_t row) override { ensured.push_back(row); }
  void HideEditor(GridControl*) override { ++editorHides; }
  float VisibleClientWidth() const override { return clientWidth; }
  void reset() { paints = refreshes = scrollBarUpdates = metrics = editorHides = 0; ensured.clear(); }
};

// A grid with an English locale, a recording host and view.
struct GridFixture {
  RecordingHost host;
  RecordingView view;
  CellGrid grid{FixedLocale::english(), &host, &view};

  std::vector<std::string> column(std::int32_t col) {
    std::vector<std::string> out;
    for (std::int32_t r = 0; r < grid.Rows(); ++r) out.push_back(grid.CellText(r, col));
    return out;
  }
};

}  // namespace qelvaro::grid::testing

// Long random sequences of grid operations, checking after every step that the row
// order map is a permutation, every column total is the sum of its cells' readings,
// every format entry is counted by exactly the cells that use it, the checked and
// selected counters match the flags, and every row still holds its own texts.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "grid_test_support.h"
#include "value_reading.h"

namespace qelvaro::grid {
namespace {

const char* const kTexts[] = {"1", "2.5", "-3", "$1,000", "abc", "true", "", "&H1F", "7 kg", "1e5",
                              "Zebra", "apple", "12/05", "3/1/2020", "x12", "long text beyond the inline size"};

class RandomRun {
 public:
  explicit RandomRun(unsigned seed) : rng_(seed) {}

  void run(int steps) {
    grid_.AddColumn("A");
    grid_.AddColumn("N", 500, 4, datatype::Number);
    grid_.AddColumn("B", 500, 4, datatype::Boolean);
    for (int step = 0; step < steps; ++step) {
      const int op = pick(20);
      lastOp_ = op;
      doOperation(op);
      check(step);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

 private:
  int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  std::string text() { return kTexts[pick(static_cast<int>(std::size(kTexts)))]; }
  std::int32_t row() { return grid_.Rows() == 0 ? 0 : pick(grid_.Rows() + 2) - 1; }  // -1 .. Rows
  std::int32_t col() { return pick(grid_.Cols()); }

  void doOperation(int op) {
    const std::int32_t rows = grid_.Rows();
    switch (op) {
      case 0:
      case 1:
      case 2: {
        std::string item;
        std::vector<std::string> texts(static_cast<std::size_t>(grid_.Cols()));
        const int pieces = pick(grid_.Cols() + 2);
        for (int p = 0; p < pieces; ++p) {
          const std::string t = text();
          if (p) item += '\t';
          item += t;
          if (p < grid_.Cols()) texts[static_cast<std::size_t>(p)] = t;
        }
        const std::int32_t id = nextId_++;
        grid_.AddItem(item, pick(rows + 3) - 1, pick(2), pick(2), pick(2), pick(4) != 0, id);
        shadow_[id] = texts;
        break;
      }
      case 3:
        if (rows > 0) {
          std::int32_t r = pick(rows);
          shadow_.erase(grid_.RowData(r));
          grid_.RemoveRow(r);
        }
        break;
      case 4:
        if (pick(10) == 0) {
          grid_.Clear();
          shadow_.clear();
        }
        break;
      case 5:
      case 6: {
        if (rows == 0) break;
        const std::int32_t r = pick(rows), c = col();
        const std::string t = text();
        grid_.SetCellText(r, c, t);
        shadow_[grid_.RowData(r)][static_cast<std::size_t>(c)] = t;
        break;
      }
      case 7: {
        if (rows == 0) break;
        const std::int32_t r = pick(rows), c = col();
        const CellVariant values[] = {CellVariant(2.5), CellVariant(true), CellVariant(std::string("9 x")),
                                      CellVariant(std::monostate{})};
        grid_.SetCellValue(r, c, values[pick(4)]);
        shadow_[grid_.RowData(r)][static_cast<std::size_t>(c)] = grid_.CellText(r, c);
        break;
      }
      case 8: grid_.SetCellBackColor(row(), col(), static_cast<Colour>(pick(4))); break;
      case 9: grid_.SetCellForeColor(row(), col(), static_cast<Colour>(pick(3))); break;
      case 10: grid_.SetCellFontName(row(), col(), pick(2) ? "Arial" : grid_.Font().name); break;
      case 11: grid_.SetRowBackColor(row(), static_cast<Colour>(pick(3))); break;
      case 12: grid_.Sort(col(), pick(3), pick(3) - 1, pick(3)); break;
      case 13: grid_.FilterOn(text(), col(), pick(8), pick(2)); break;
      case 14: grid_.FilterOff(pick(3)); break;
      case 15:
        if (grid_.Cols() < 6) {
          grid_.AddColumn("X", 500, 4, static_cast<std::int16_t>(pick(4)), {}, {}, 4, false, pick(grid_.Cols() + 1));
          for (auto& entry : shadow_) entry.second.emplace_back();
        }
        break;
      case 16: grid_.SetRowChecked(row(), pick(2)); break;
      case 17: grid_.SetRowSelected(row(), pick(2)); break;
      case 18: grid_.RowColSet(row(), pick(grid_.Cols() + 1) - 1); break;
      case 19:
        if (rows == 0) break;
        if (pick(3) == 0) {
          grid_.SetMultiSelect(pick(2));
          grid_.DeleteSelected();
          pruneShadow();
        } else {
          const std::int32_t r = pick(rows), c = col();
          grid_.SetCellChecked(r, c, pick(2));
          shadow_[grid_.RowData(r)][static_cast<std::size_t>(c)] = grid_.CellText(r, c);
        }
        break;
    }
  }

  // Forgets the rows that an operation removed.
  void pruneShadow() {
    std::map<std::int32_t, std::vector<std::string>> kept;
    for (std::int32_t r = 0; r < grid_.Rows(); ++r) {
      const auto it = shadow_.find(grid_.RowData(r));
      if (it != shadow_.end()) kept.insert(*it);
    }
    shadow_ = std::move(kept);
  }

  void check(int step) {
    SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(lastOp_));
    const std::int32_t rows = grid_.Rows();
    const std::int32_t cols = grid_.Cols();
    ASSERT_LE(rows, grid_.RowCapacity() > 0 ? grid_.RowCapacity() : 1);

    std::vector<bool> seen(static_cast<std::size_t>(rows), false);
    for (std::int32_t r = 0; r < rows; ++r) {
      const std::int32_t s = grid_.StoredIndex(r);
      ASSERT_TRUE(s >= 0 && s < rows && !seen[static_cast<std::size_t>(s)]) << "row order map is not a permutation";
      seen[static_cast<std::size_t>(s)] = true;
    }

    for (std::int32_t c = 0; c < cols; ++c) {
      double sum = 0, magnitude = 1;
      for (std::int32_t r = 0; r < rows; ++r) {
        const double v = rVal(grid_.RowRecord(r).Cells[c].Text.view(), grid_.locale());
        sum += v;
        magnitude += std::fabs(v);
      }
      ASSERT_NEAR(grid_.TotalsCol(c), sum, 1e-9 * magnitude) << "column " << c;
    }

    std::map<std::int16_t, std::int32_t> uses;
    for (std::int32_t r = 0; r < rows; ++r)
      for (std::int32_t c = 0; c < cols; ++c) {
        const std::int16_t f = grid_.RowRecord(r).Cells[c].FormatIndex;
        ASSERT_GE(f, -1);
        ASSERT_LT(f, static_cast<std::int32_t>(grid_.Formats().slots()));
        ++uses[f];
      }
    for (std::size_t i = 0; i < grid_.Formats().slots(); ++i)
      ASSERT_EQ(grid_.Formats().at(static_cast<std::int16_t>(i)).RefCount, uses[static_cast<std::int16_t>(i)])
          << "format entry " << i;

    std::int32_t checked = 0, selected = 0, hidden = 0;
    for (std::int32_t r = 0; r < rows; ++r) {
      checked += (grid_.RowRecord(r).Flags & rowflag::Checked) != 0;
      selected += (grid_.RowRecord(r).Flags & rowflag::Selected) != 0;
      hidden += !grid_.RowRecord(r).Visible;
    }
    ASSERT_EQ(grid_.CheckedCount(), checked);
    ASSERT_EQ(grid_.SelectedCount(), selected);
    ASSERT_EQ(grid_.HiddenRowCount(), hidden);

    ASSERT_EQ(shadow_.size(), static_cast<std::size_t>(rows));
    for (std::int32_t r = 0; r < rows; ++r) {
      const auto it = shadow_.find(grid_.RowData(r));
      ASSERT_NE(it, shadow_.end());
      for (std::int32_t c = 0; c < cols; ++c)
        ASSERT_EQ(grid_.RowRecord(r).Cells[c].Text.view(), it->second[static_cast<std::size_t>(c)])
            << "row " << r << " column " << c;
    }
    ASSERT_GE(grid_.Row(), -1);
    ASSERT_LT(grid_.Row(), std::max(rows, 1));
  }

  std::mt19937 rng_;
  testing::RecordingHost host_;
  CellGrid grid_{FixedLocale::english(), &host_};
  std::map<std::int32_t, std::vector<std::string>> shadow_;
  std::int32_t nextId_ = 1;
  int lastOp_ = -1;
};

TEST(RandomInvariants, HoldAfterEveryStep) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RandomRun(seed).run(1500);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(RandomInvariants, HoldUnderTheGermanLocale) {
  testing::RecordingHost host;
  CellGrid grid(FixedLocale::german(), &host);
  grid.AddColumn("N", 500, 4, datatype::Number);
  std::mt19937 rng(99);
  double expected = 0;
  for (int i = 0; i < 500; ++i) {
    const char* texts[] = {"1.000", "2,5", "12.5", ".5", "-3"};
    const char* t = texts[rng() % 5];
    if (grid.Rows() > 0 && rng() % 3 == 0) {
      const std::int32_t r = static_cast<std::int32_t>(rng() % static_cast<unsigned>(grid.Rows()));
      expected -= rVal(grid.CellText(r, 0), grid.locale());
      grid.RemoveRow(r);
    } else {
      grid.AddItem(t);
      expected += rVal(t, grid.locale());
    }
    ASSERT_NEAR(grid.TotalsCol(0), expected, 1e-6);
  }
}

}  // namespace
}  // namespace qelvaro::grid

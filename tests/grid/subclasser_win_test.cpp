// The subclasser under Wine: message tables, before and after calls, the handled
// flag and return value, the user value, and every error it reports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "subclasser.h"

namespace qelvaro::grid {
namespace {

constexpr UINT kProbe = WM_APP + 1;
constexpr UINT kOther = WM_APP + 2;

// A window whose own procedure answers kProbe with 42 and counts its calls.
int g_previousCalls = 0;
LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProbe || message == kOther) {
    ++g_previousCalls;
    return 42;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND makeWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SubclassProbe";
    RegisterClassW(&wc);
    registered = true;
  }
  return CreateWindowW(L"SubclassProbe", L"probe", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
}

struct Recorder : SubclassTarget {
  std::vector<std::string> calls;
  bool handleBefore = false;
  LRESULT beforeResult = 0;
  LRESULT seenAfter = -1;
  LONG_PTR seenUser = 0;
  std::size_t methods = 3;
  std::size_t lastIndex = 99;

  std::size_t SubclassMethodCount() const override { return methods; }
  void SubclassMethod(std::size_t index, SubclassCall& call) override {
    lastIndex = index;
    calls.push_back((call.before ? "before " : "after ") + std::to_string(call.message - WM_APP));
    seenUser = call.userValue;
    if (call.before && handleBefore) {
      call.handled = true;
      call.result = beforeResult;
    }
    if (!call.before) seenAfter = call.result;
  }
};

struct Fixture : ::testing::Test {
  Recorder target;
  Subclasser sub{&target};
  std::vector<std::string> reports;
  HWND hwnd = makeWindow();

  void SetUp() override {
    g_previousCalls = 0;
    sub.SetReporter([this](std::string_view routine, std::string_view message) {
      reports.push_back(std::string(routine) + ": " + std::string(message));
    });
  }
  void TearDown() override { DestroyWindow(hwnd); }
};

TEST_F(Fixture, BeforeAndAfterCallsAroundThePreviousProcedure) {
  ASSERT_TRUE(sub.sc_Subclass(hwnd, 77));
  EXPECT_EQ(target.lastIndex, 99u);
  sub.sc_WatchMsg(hwnd, kProbe, MSG_BEFORE_AND_AFTER);
  sub.sc_WatchMsg(hwnd, kOther, MSG_AFTER);
  EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 42);
  EXPECT_EQ(target.calls, (std::vector<std::string>{"before 1", "after 1"}));
  EXPECT_EQ(target.lastIndex, 2u);  // ordinal 1: the last method
  EXPECT_EQ(target.seenAfter, 42);
  EXPECT_EQ(target.seenUser, 77);
  EXPECT_EQ(g_previousCalls, 1);

  // Handled before: the previous procedure is skipped and the callback's value returned.
  target.calls.clear();
  target.handleBefore = true;
  target.beforeResult = 7;
  EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 7);
  EXPECT_EQ(g_previousCalls, 1);
  EXPECT_EQ(target.seenAfter, 7);
  EXPECT_EQ(SendMessageW(hwnd, kOther, 0, 0), 42);  // only in the after table
  EXPECT_EQ(target.calls, (std::vector<std::string>{"before 1", "after 1", "after 2"}));

  // Unwatched messages go straight through.
  target.calls.clear();
  sub.sc_UnwatchMsg(hwnd, kProbe, MSG_BEFORE_AND_AFTER);
  EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 42);
  EXPECT_TRUE(target.calls.empty());

  sub.sc_SetUserValue(hwnd, 5);
  EXPECT_EQ(sub.sc_UserValue(hwnd), 5);
  EXPECT_EQ(sub.sc_CallPrevProc(hwnd, kProbe, 0, 0), 42);
  EXPECT_TRUE(reports.empty());
}

TEST_F(Fixture, AllMessagesAndTableEdges) {
  ASSERT_TRUE(sub.sc_Subclass(hwnd));
  sub.sc_WatchMsg(hwnd, ALL_MESSAGES, MSG_BEFORE);
  EXPECT_EQ(sub.Table(hwnd, MSG_BEFORE)->count(), ALL_MESSAGES);
  SendMessageW(hwnd, kOther, 0, 0);
  EXPECT_EQ(target.calls, std::vector<std::string>{"before 2"});
  sub.sc_UnwatchMsg(hwnd, ALL_MESSAGES, MSG_BEFORE);
  EXPECT_EQ(sub.Table(hwnd, MSG_BEFORE)->count(), 0);

  for (int i = 1; i <= MSG_ENTRIES; ++i) sub.sc_WatchMsg(hwnd, WM_APP + 100 + i, MSG_AFTER);
  const MessageTable full = *sub.Table(hwnd, MSG_AFTER);
  EXPECT_EQ(full.count(), 32);
  EXPECT_TRUE(reports.empty());
  sub.sc_WatchMsg(hwnd, WM_APP + 500, MSG_AFTER);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0],
            "zAddMsg: Message table overflow. Either increase the value of Const MSG_ENTRIES or use ALL_MESSAGES "
            "instead of specific message values");
  EXPECT_EQ(0, std::memcmp(&full, sub.Table(hwnd, MSG_AFTER), sizeof full));

  // A full count stays full: a freed entry does not make room past 32.
  sub.sc_UnwatchMsg(hwnd, WM_APP + 105, MSG_AFTER);
  sub.sc_WatchMsg(hwnd, WM_APP + 600, MSG_AFTER);
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_EQ(sub.Table(hwnd, MSG_AFTER)->entries[5], 0);

  // Below the limit a freed entry is reused, and a listed message is not added
  // twice, even when a freed entry comes before it.
  for (int m : {1, 2, 3}) sub.sc_WatchMsg(hwnd, WM_APP + m, MSG_BEFORE);
  sub.sc_UnwatchMsg(hwnd, WM_APP + 1, MSG_BEFORE);
  sub.sc_WatchMsg(hwnd, WM_APP + 3, MSG_BEFORE);
  EXPECT_EQ(sub.Table(hwnd, MSG_BEFORE)->count(), 3);
  EXPECT_EQ(sub.Table(hwnd, MSG_BEFORE)->entries[1], 0);
  sub.sc_WatchMsg(hwnd, WM_APP + 9, MSG_BEFORE);
  EXPECT_EQ(sub.Table(hwnd, MSG_BEFORE)->entries[1], static_cast<std::int32_t>(WM_APP + 9));
  EXPECT_EQ(sub.Table(hwnd, MSG_BEFORE)->count(), 3);

  reports.clear();
  sub.sc_UnwatchMsg(hwnd, WM_MOUSEWHEEL, MSG_AFTER);
  EXPECT_EQ(reports, std::vector<std::string>{"zDelMsg: Message &H20A not found in table"});
}

TEST_F(Fixture, SubclassingErrors) {
  EXPECT_FALSE(sub.sc_Subclass(reinterpret_cast<HWND>(0x1234)));
  EXPECT_FALSE(sub.sc_Subclass(GetDesktopWindow()));
  target.methods = 1;
  EXPECT_FALSE(sub.sc_Subclass(hwnd, 0, 2));
  EXPECT_FALSE(sub.sc_Subclass(hwnd, 0, 0));
  EXPECT_EQ(reports, (std::vector<std::string>{"sc_Subclass: Invalid window handle",
                                               "sc_Subclass: Window handle belongs to another process",
                                               "sc_Subclass: Callback method not found",
                                               "sc_Subclass: Callback method not found"}));
  EXPECT_FALSE(sub.IsSubclassed(hwnd));
  EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 42);

  target.methods = 600;
  try {
    Subclasser::zAddressOf(&target, 1);
    FAIL();
  } catch (const SubclassError& e) {
    EXPECT_EQ(e.number(), 0x80040000u);
    EXPECT_EQ(e.source(), "zAddressOf");
    EXPECT_STREQ(e.what(), "Ordinal not found");
  }
}

TEST_F(Fixture, NotStartedAndUnknownWindows) {
  Subclasser fresh(&target);
  fresh.SetReporter([this](std::string_view r, std::string_view m) { reports.push_back(std::string(r) + ": " + std::string(m)); });
  fresh.sc_UnSubclass(hwnd);
  fresh.sc_WatchMsg(hwnd, kProbe);
  ASSERT_TRUE(fresh.sc_Subclass(hwnd));
  HWND other = makeWindow();
  fresh.sc_WatchMsg(other, kProbe);
  DestroyWindow(other);
  EXPECT_EQ(reports, (std::vector<std::string>{"sc_UnSubclass: Window handle isn't subclassed",
                                               "zMap_hWnd: Subclassing hasn't been started",
                                               "zMap_hWnd: Window handle isn't subclassed"}));
}

TEST_F(Fixture, TwiceReportsAndKeepsTheFirstAndUnsubclassRestores) {
  ASSERT_TRUE(sub.sc_Subclass(hwnd, 1));
  sub.sc_WatchMsg(hwnd, kProbe, MSG_AFTER);
  EXPECT_FALSE(sub.sc_Subclass(hwnd, 2));
  EXPECT_EQ(reports, std::vector<std::string>{"sc_Subclass: Window handle is already subclassed"});
  SendMessageW(hwnd, kProbe, 0, 0);
  EXPECT_EQ(target.calls, std::vector<std::string>{"after 1"});
  EXPECT_EQ(target.seenUser, 1);

  sub.sc_UnSubclass(hwnd);
  target.calls.clear();
  EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 42);
  EXPECT_TRUE(target.calls.empty());
  EXPECT_EQ(g_previousCalls, 2);
  // Subclassed again after that, and stopped with the others.
  ASSERT_TRUE(sub.sc_Subclass(hwnd));
  HWND second = makeWindow();
  ASSERT_TRUE(sub.sc_Subclass(second));
  sub.sc_StopAll();
  EXPECT_FALSE(sub.started());
  EXPECT_EQ(SendMessageW(second, kProbe, 0, 0), 42);
  DestroyWindow(second);
}

TEST_F(Fixture, UnsubclassingFromInsideTheCallbackIsSafe) {
  struct SelfRemoving : SubclassTarget {
    Subclasser* sub = nullptr;
    int calls = 0;
    std::size_t SubclassMethodCount() const override { return 1; }
    void SubclassMethod(std::size_t, SubclassCall& call) override {
      ++calls;
      if (call.before) sub->sc_UnSubclass(call.hwnd);
    }
  } remover;
  Subclasser own(&remover);
  remover.sub = &own;
  ASSERT_TRUE(own.sc_Subclass(hwnd));
  own.sc_WatchMsg(hwnd, kProbe, MSG_BEFORE_AND_AFTER);
  EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 42);
  EXPECT_EQ(remover.calls, 1);  // the after call is gone with the tables
  EXPECT_EQ(SendMessageW(hwnd, kProbe, 0, 0), 42);
  EXPECT_EQ(remover.calls, 1);
}

// The default report: an Application event log entry and a warning box whose
// title names the type and routine.
std::wstring g_boxText;
void CALLBACK CloseBox(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowW(L"#32770", L"Error in CellGrid.zDelMsg");
  if (!box) return;
  wchar_t text[256] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 256);
  g_boxText = text;
  KillTimer(nullptr, id);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST(SubclasserReport, DefaultReportShowsAWarningBox) {
  Recorder target;
  Subclasser sub(&target);
  HWND hwnd = makeWindow();
  ASSERT_TRUE(sub.sc_Subclass(hwnd));
  g_boxText.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseBox);
  sub.sc_UnwatchMsg(hwnd, 0x31A, MSG_AFTER);
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_boxText, L"Message &H31A not found in table.");
  DestroyWindow(hwnd);
}

}  // namespace
}  // namespace qelvaro::grid

#pragma once
// The grid's subclasser: it hooks a window's procedure and calls one chosen method
// of a callback object before and/or after the previous procedure, for the
// messages listed in two tables of 32 entries (or for all messages). It runs on the
// platform's own subclassing facility (SetWindowSubclass), so no code is written
// at run time; what it keeps of the classic design is the contract: the tables,
// the before/after calls with a handled flag and a return value, the user value,
// and the error reports.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qelvaro::grid {

inline constexpr std::int32_t MSG_ENTRIES = 32;
inline constexpr std::int32_t ALL_MESSAGES = -1;
// Table selectors.
inline constexpr std::int32_t MSG_BEFORE = 1;
inline constexpr std::int32_t MSG_AFTER = 2;
inline constexpr std::int32_t MSG_BEFORE_AND_AFTER = 3;

// What the callback gets: the message, whether this is the call before or after
// the previous procedure, and (writable before) the handled flag and the result.
struct SubclassCall {
  bool before;
  bool& handled;
  LRESULT& result;
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LONG_PTR& userValue;
};

// A callback object: its methods that the subclasser may call, in declaration
// order. The ordinal given to sc_Subclass counts from the last one (1 = last).
class SubclassTarget {
 public:
  virtual ~SubclassTarget() = default;
  virtual std::size_t SubclassMethodCount() const = 0;
  virtual void SubclassMethod(std::size_t index, SubclassCall& call) = 0;
};

// zAddressOf's failure: error number 0x80040000, source "zAddressOf".
class SubclassError : public std::runtime_error {
 public:
  SubclassError(std::uint32_t number, std::string source, const std::string& description)
      : std::runtime_error(description), number_(number), source_(std::move(source)) {}
  std::uint32_t number() const { return number_; }
  const std::string& source() const { return source_; }

 private:
  std::uint32_t number_;
  std::string source_;
};

struct MessageTable {
  std::int32_t entries[MSG_ENTRIES + 1] = {};  // [0] is the count, -1 = all messages
  std::int32_t count() const { return entries[0]; }
  bool contains(std::int32_t message) const;
};

class Subclasser {
 public:
  // reporter(routine, message); the default writes the event log and shows a box.
  using Reporter = std::function<void(std::string_view routine, std::string_view message)>;

  // `owner` is the callback object used when sc_Subclass is given none.
  explicit Subclasser(SubclassTarget* owner, std::string typeName = "CellGrid");
  ~Subclasser();
  Subclasser(const Subclasser&) = delete;
  Subclasser& operator=(const Subclasser&) = delete;

  void SetReporter(Reporter reporter) { reporter_ = std::move(reporter); }

  bool sc_Subclass(HWND hWnd, LONG_PTR userValue = 0, std::int32_t ordinal = 1, SubclassTarget* callback = nullptr,
                   bool debuggerSafety = false);
  void sc_UnSubclass(HWND hWnd);
  void sc_StopAll();
  void sc_WatchMsg(HWND hWnd, std::int32_t message, std::int32_t when = MSG_AFTER);
  void sc_UnwatchMsg(HWND hWnd, std::int32_t message, std::int32_t when = MSG_AFTER);
  LRESULT sc_CallPrevProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  LONG_PTR sc_UserValue(HWND hWnd);
  void sc_SetUserValue(HWND hWnd, LONG_PTR value);

  // Index + 1 of the method `ordinal` places from the end, 0 when there is none.
  static std::size_t zAddressOf(SubclassTarget* object, std::int32_t ordinal);
  struct Block;
  // The window's block, made current; reports and returns null when there is none.
  Block* zMap_hWnd(HWND hWnd);
  // On the current block's table (1 before, 2 after).
  void zAddMsg(std::int32_t message, std::int32_t table);
  void zDelMsg(std::int32_t message, std::int32_t table);
  // "<type>.<routine>: <message>" to the event log; a warning box "<message>." titled
  // "Error in <type>.<routine>".
  void zReport(std::string_view routine, std::string_view message);

  bool started() const { return started_; }
  bool IsSubclassed(HWND hWnd) const { return blocks_.count(keyOf(hWnd)) != 0; }
  // A window's table, for inspection (null when not subclassed).
  const MessageTable* Table(HWND hWnd, std::int32_t table) const;

 private:
  static std::string keyOf(HWND hWnd);
  static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
  static void release(Block* block);
  void stop(Block* block);

  SubclassTarget* owner_;
  std::string typeName_;
  Reporter reporter_;
  bool started_ = false;
  std::map<std::string, Block*> blocks_;  // keyed by the handle in decimal followed by "h"
  Block* current_ = nullptr;
  std::uint64_t serial_ = 0;
};

// The default report: the Application event log and a warning message box.
void ReportToEventLogAndBox(std::string_view source, std::string_view logText, std::string_view prompt,
                            std::string_view title);

}  // namespace qelvaro::grid

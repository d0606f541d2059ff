#include "subclasser.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "base/win32/wide_string.h"

namespace qelvaro::grid {

namespace {
constexpr UINT_PTR kSubclassId = 0x51C1A55;
constexpr std::size_t kMaxMethods = 511;
}  // namespace

struct Subclasser::Block {
  bool shutdown = false;
  HWND hwnd = nullptr;
  bool debuggerSafety = false;
  SubclassTarget* callback = nullptr;
  std::size_t method = 0;  // index + 1
  WNDPROC previous = nullptr;
  MessageTable before;
  MessageTable after;
  LONG_PTR userValue = 0;
  int depth = 0;       // calls of the window procedure running in this block
  bool installed = false;
  std::uint64_t serial = 0;  // order of subclassing, for stopping newest first
  Subclasser* owner = nullptr;
};

bool MessageTable::contains(std::int32_t message) const {
  if (entries[0] == ALL_MESSAGES) return true;
  for (std::int32_t i = 1; i <= entries[0] && i <= MSG_ENTRIES; ++i)
    if (entries[i] == message) return true;
  return false;
}

Subclasser::Subclasser(SubclassTarget* owner, std::string typeName)
    : owner_(owner), typeName_(std::move(typeName)) {}

Subclasser::~Subclasser() {
  // Quietly: a destroyed control has nobody left to tell.
  reporter_ = [](std::string_view, std::string_view) {};
  sc_StopAll();
}

std::string Subclasser::keyOf(HWND hWnd) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(hWnd)) + "h";
}

std::size_t Subclasser::zAddressOf(SubclassTarget* object, std::int32_t ordinal) {
  if (!object) return 0;
  const std::size_t count = object->SubclassMethodCount();
  if (count > kMaxMethods) throw SubclassError(0x80040000u, "zAddressOf", "Ordinal not found");
  if (ordinal < 1 || static_cast<std::size_t>(ordinal) > count) return 0;
  return count - static_cast<std::size_t>(ordinal) + 1;
}

void Subclasser::zReport(std::string_view routine, std::string_view message) {
  if (reporter_) {
    reporter_(routine, message);
    return;
  }
  const std::string where = typeName_ + "." + std::string(routine);
  ReportToEventLogAndBox(typeName_, where + ": " + std::string(message), std::string(message) + ".",
                         "Error in " + where);
}

void ReportToEventLogAndBox(std::string_view source, std::string_view logText, std::string_view prompt,
                            std::string_view title) {
  if (HANDLE log = RegisterEventSourceW(nullptr, base::widen(source).c_str())) {
    const std::wstring text = base::widen(logText);
    LPCWSTR strings[] = {text.c_str()};
    ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(log);
  }
  MessageBoxW(GetActiveWindow(), base::widen(prompt).c_str(), base::widen(title).c_str(), MB_OK | MB_ICONWARNING);
}

bool Subclasser::sc_Subclass(HWND hWnd, LONG_PTR userValue, std::int32_t ordinal, SubclassTarget* callback,
                             bool debuggerSafety) {
  static constexpr std::string_view kRoutine = "sc_Subclass";
  if (!IsWindow(hWnd)) {
    zReport(kRoutine, "Invalid window handle");
    return false;
  }
  DWORD process = 0;
  GetWindowThreadProcessId(hWnd, &process);
  if (process != GetCurrentProcessId()) {
    zReport(kRoutine, "Window handle belongs to another process");
    return false;
  }
  if (!callback) callback = owner_;
  const std::size_t method = zAddressOf(callback, ordinal);
  if (method == 0) {
    zReport(kRoutine, "Callback method not found");
    return false;
  }
  started_ = true;
  std::unique_ptr<Block> block(new (std::nothrow) Block);
  if (!block) {
    zReport(kRoutine, "VirtualAlloc failed, error: " + std::to_string(ERROR_NOT_ENOUGH_MEMORY));
    return false;
  }
  const std::string key = keyOf(hWnd);
  if (blocks_.count(key)) {
    zReport(kRoutine, "Window handle is already subclassed");
    return false;
  }
  block->hwnd = hWnd;
  block->debuggerSafety = debuggerSafety;
  block->callback = callback;
  block->method = method;
  block->userValue = userValue;
  block->previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
  SetLastError(0);
  if (!SetWindowSubclass(hWnd, &Subclasser::Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(block.get()))) {
    DWORD error = GetLastError();
    zReport(kRoutine, "SetWindowLong failed, error #" + std::to_string(error));
    return false;
  }
  block->installed = true;
  block->owner = this;
  block->serial = ++serial_;
  blocks_[key] = block.release();
  return true;
}

Subclasser::Block* Subclasser::zMap_hWnd(HWND hWnd) {
  if (!started_) {
    zReport("zMap_hWnd", "Subclassing hasn't been started");
    return nullptr;
  }
  auto it = blocks_.find(keyOf(hWnd));
  if (it == blocks_.end()) {
    zReport("zMap_hWnd", "Window handle isn't subclassed");
    return nullptr;
  }
  current_ = it->second;
  return current_;
}

void Subclasser::zAddMsg(std::int32_t message, std::int32_t table) {
  if (!current_) return;
  MessageTable& t = table == MSG_BEFORE ? current_->before : current_->after;
  std::int32_t& count = t.entries[0];
  if (message == ALL_MESSAGES) {
    count = ALL_MESSAGES;
    return;
  }
  // Every message already reaches a table of all messages.
  if (count == ALL_MESSAGES) return;
  if (count >= MSG_ENTRIES) {
    zReport("zAddMsg", std::string("Message table overflow. Either increase") +
                           " the value of Const MSG_ENTRIES or use ALL_MESSAGES" +
                           " instead of specific message values");
    return;
  }
  // Listed already: nothing to add, even when a freed entry comes first.
  for (std::int32_t i = 1; i <= count; ++i)
    if (t.entries[i] == message) return;
  for (std::int32_t i = 1; i <= count; ++i) {
    if (t.entries[i] == 0) {
      t.entries[i] = message;
      return;
    }
  }
  t.entries[count + 1] = message;
  ++count;
}

void Subclasser::zDelMsg(std::int32_t message, std::int32_t table) {
  if (!current_) return;
  MessageTable& t = table == MSG_BEFORE ? current_->before : current_->after;
  if (message == ALL_MESSAGES) {
    t.entries[0] = 0;
    return;
  }
  for (std::int32_t i = 1; i <= t.entries[0] && i <= MSG_ENTRIES; ++i) {
    if (t.entries[i] == message) {
      t.entries[i] = 0;
      return;
    }
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(message));
  zReport("zDelMsg", std::string("Message &H") + hex + " not found in table");
}

void Subclasser::sc_WatchMsg(HWND hWnd, std::int32_t message, std::int32_t when) {
  Block* b = zMap_hWnd(hWnd);
  if (!b || b->shutdown) return;
  if (when & MSG_BEFORE) zAddMsg(message, MSG_BEFORE);
  if (when & MSG_AFTER) zAddMsg(message, MSG_AFTER);
}

void Subclasser::sc_UnwatchMsg(HWND hWnd, std::int32_t message, std::int32_t when) {
  Block* b = zMap_hWnd(hWnd);
  if (!b || b->shutdown) return;
  if (when & MSG_BEFORE) zDelMsg(message, MSG_BEFORE);
  if (when & MSG_AFTER) zDelMsg(message, MSG_AFTER);
}

LRESULT Subclasser::sc_CallPrevProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Block* b = zMap_hWnd(hWnd);
  if (!b || b->shutdown) return 0;
  // Inside the window procedure the chain is walked by the facility itself.
  if (b->depth > 0) return DefSubclassProc(hWnd, message, wParam, lParam);
  return CallWindowProcW(b->previous, hWnd, message, wParam, lParam);
}

LONG_PTR Subclasser::sc_UserValue(HWND hWnd) {
  Block* b = zMap_hWnd(hWnd);
  return b ? b->userValue : 0;
}

void Subclasser::sc_SetUserValue(HWND hWnd, LONG_PTR value) {
  if (Block* b = zMap_hWnd(hWnd)) b->userValue = value;
}

const MessageTable* Subclasser::Table(HWND hWnd, std::int32_t table) const {
  auto it = blocks_.find(keyOf(hWnd));
  if (it == blocks_.end()) return nullptr;
  return table == MSG_BEFORE ? &it->second->before : &it->second->after;
}

void Subclasser::release(Block* block) {
  if (block->installed) RemoveWindowSubclass(block->hwnd, &Subclasser::Proc, kSubclassId);
  block->installed = false;
  delete block;
}

void Subclasser::stop(Block* block) {
  block->shutdown = true;
  block->owner = nullptr;
  block->before = MessageTable{};
  block->after = MessageTable{};
  block->callback = nullptr;
  if (current_ == block) current_ = nullptr;
  // A block whose procedure is running is released by that procedure on its way out.
  if (block->depth == 0) release(block);
}

void Subclasser::sc_UnSubclass(HWND hWnd) {
  if (!started_) {
    zReport("sc_UnSubclass", "Window handle isn't subclassed");
    return;
  }
  Block* b = zMap_hWnd(hWnd);
  if (!b) return;
  blocks_.erase(keyOf(hWnd));
  stop(b);
}

void Subclasser::sc_StopAll() {
  std::vector<Block*> all;
  for (auto& [key, block] : blocks_) all.push_back(block);
  blocks_.clear();
  // Newest first (the map orders by handle, not by age).
  std::sort(all.begin(), all.end(), [](const Block* a, const Block* b) { return a->serial > b->serial; });
  for (Block* block : all) stop(block);
  started_ = false;
  current_ = nullptr;
}

LRESULT CALLBACK Subclasser::Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  Block* b = reinterpret_cast<Block*>(data);
  if (b->shutdown || !b->callback) {
    const LRESULT r = DefSubclassProc(hWnd, message, wParam, lParam);
    if (b->shutdown && b->depth == 0) release(b);
    return r;
  }
  ++b->depth;
  bool handled = false;
  LRESULT result = 0;
  if (b->before.contains(static_cast<std::int32_t>(message))) {
    SubclassCall c{true, handled, result, hWnd, message, wParam, lParam, b->userValue};
    b->callback->SubclassMethod(b->method - 1, c);
  }
  if (!handled) result = DefSubclassProc(hWnd, message, wParam, lParam);
  if (!b->shutdown && b->after.contains(static_cast<std::int32_t>(message))) {
    bool afterHandled = false;
    SubclassCall c{false, afterHandled, result, hWnd, message, wParam, lParam, b->userValue};
    if (b->callback) b->callback->SubclassMethod(b->method - 1, c);
  }
  --b->depth;
  if (message == WM_NCDESTROY && !b->shutdown) {
    // The facility must be unhooked before the window is gone; the owner forgets it.
    if (Subclasser* owner = b->owner) {
      owner->blocks_.erase(keyOf(hWnd));
      if (owner->current_ == b) owner->current_ = nullptr;
    }
    b->owner = nullptr;
    b->shutdown = true;
    b->callback = nullptr;
  }
  if (b->shutdown && b->depth == 0) release(b);
  return result;
}

}  // namespace qelvaro::grid

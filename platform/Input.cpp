// What a user does to a dialog, turned into the messages a real user's actions would post.
#include "platform/Input.h"

#include <algorithm>
#include <optional>

#include "common/Log.h"
#include "platform/MessageQueue.h"
#include "platform/WindowTable.h"

namespace kx {

namespace {

void Report(const std::string& message) { Log(LogLevel::Error, LogCategory::Input, message); }

// The control's record when a user could reach it; the reason goes to the log otherwise. Call
// with WindowMutex held.
WindowRecord* Reachable(HWND root, int id, const char* action) {
  CWnd* control = FindControl(root, id);
  WindowRecord* record = control ? FindRecord(control->m_hWnd) : nullptr;
  const char* problem = nullptr;
  if (!record) {
    problem = "there is no such control";
  } else if (!control->IsWindowVisible()) {
    problem = "the control is hidden";
  } else if (!record->enabled) {
    problem = "the control is disabled";
  }
  if (problem) {
    Report(std::string(action) + " control " + std::to_string(id) + ": " + problem);
    return nullptr;
  }
  return record;
}

bool WrongKind(int id, const char* action) {
  Report(std::string(action) + " control " + std::to_string(id) + ": not a control of that kind");
  return false;
}

// The message a control's notification becomes; posted once the window table is let go, since
// the queue looks windows up while it holds its own lock.
MSG Notification(const WindowRecord& control, UINT code) {
  return MSG{control.parent, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(control.id), code),
             reinterpret_cast<LPARAM>(control.hwnd)};
}

bool Post(const std::optional<MSG>& msg) {
  return msg && PostMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

bool IsButton(ControlKind kind) {
  return kind == ControlKind::Button || kind == ControlKind::BitmapButton ||
         kind == ControlKind::Check || kind == ControlKind::Radio;
}

// Presses a button; the notification to post, or nothing when a user could not press it.
std::optional<MSG> Press(HWND root, int id) {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  WindowRecord* r = Reachable(root, id, "press");
  if (!r) return std::nullopt;
  if (!IsButton(r->kind)) {
    WrongKind(id, "press");
    return std::nullopt;
  }
  if (r->kind == ControlKind::Check) r->check = r->check ? 0 : 1;
  if (r->kind == ControlKind::Radio) {
    // Uncheck the rest of the group: the radio buttons around it up to the group marks.
    const auto& siblings = FindRecord(r->parent)->children;
    auto self = static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), r->hwnd) -
                                         siblings.begin());
    std::size_t start = self;
    while (start > 0 && !(FindRecord(siblings[start])->style & kGroup) &&
           FindRecord(siblings[start - 1])->kind == ControlKind::Radio) {
      --start;
    }
    for (std::size_t i = start; i < siblings.size(); ++i) {
      WindowRecord* s = FindRecord(siblings[i]);
      if (s->kind != ControlKind::Radio || (i > start && (s->style & kGroup))) break;
      s->check = 0;
    }
    r->check = 1;
  }
  return Notification(*r, BN_CLICKED);
}

}  // namespace

bool PressButton(HWND root, int id) { return Post(Press(root, id)); }

bool SetControlText(HWND root, int id, const std::string& text) {
  std::optional<MSG> msg;
  {
    std::lock_guard<std::recursive_mutex> lock(WindowMutex());
    WindowRecord* r = Reachable(root, id, "type into");
    if (!r) return false;
    if (r->kind != ControlKind::Edit) return WrongKind(id, "type into");
    r->text = text;
    msg = Notification(*r, EN_CHANGE);
  }
  return Post(msg);
}

bool ClickControl(HWND root, int id, POINT inControl, UINT keyFlags) {
  std::optional<MSG> msg;
  {
    std::lock_guard<std::recursive_mutex> lock(WindowMutex());
    WindowRecord* r = Reachable(root, id, "click");
    if (!r) return false;
    if (IsButton(r->kind)) {
      msg = Press(root, id);
    } else {
      const POINT at{r->rect.left + inControl.x, r->rect.top + inControl.y};
      msg = MSG{r->parent, WM_LBUTTONDOWN, keyFlags | MK_LBUTTON, MAKELPARAM(at.x, at.y)};
    }
  }
  return Post(msg);
}

bool ClickAt(HWND root, POINT inClient, UINT keyFlags) {
  if (!IsWindow(root)) {
    Report("click: no such window");
    return false;
  }
  return PostMessage(root, WM_LBUTTONDOWN, keyFlags | MK_LBUTTON,
                     MAKELPARAM(inClient.x, inClient.y));
}

bool SelectListEntry(HWND root, int id, int index) {
  std::optional<MSG> msg;
  {
    std::lock_guard<std::recursive_mutex> lock(WindowMutex());
    WindowRecord* r = Reachable(root, id, "select in");
    if (!r) return false;
    if (r->kind != ControlKind::ComboBox) return WrongKind(id, "select in");
    if (index < 0 || index >= static_cast<int>(r->items.size())) {
      Report("select in control " + std::to_string(id) + ": no entry " + std::to_string(index));
      return false;
    }
    r->curSel = index;
    msg = Notification(*r, CBN_SELCHANGE);
  }
  return Post(msg);
}

bool MoveSlider(HWND root, int id, int pos) {
  std::optional<MSG> msg;
  {
    std::lock_guard<std::recursive_mutex> lock(WindowMutex());
    WindowRecord* r = Reachable(root, id, "drag");
    if (!r) return false;
    if (r->kind != ControlKind::Slider) return WrongKind(id, "drag");
    r->pos = std::clamp(pos, r->rangeMin, r->rangeMax);
    r->notify.code = NM_RELEASEDCAPTURE;
    msg =
        MSG{r->parent, WM_NOTIFY, static_cast<WPARAM>(r->id), reinterpret_cast<LPARAM>(&r->notify)};
  }
  return Post(msg);
}

bool PressKey(HWND root, UINT virtualKey) {
  if (!IsWindow(root)) {
    Report("key: no such window");
    return false;
  }
  return PostMessage(root, WM_KEYDOWN, virtualKey, 0);
}

}  // namespace kx

// The windows a person would see on a screen, described for a front end that draws them elsewhere.
#include "platform/WindowList.h"

#include <algorithm>
#include <mutex>

#include "platform/Render.h"
#include "platform/WindowTable.h"

namespace kx {

namespace {

void AddControls(const WindowRecord& dialog, POINT clientOrigin, ShownWindow& out) {
  for (HWND child : dialog.children) {
    const WindowRecord* c = FindRecord(child);
    if (!c || !c->visible) continue;
    const POINT at{clientOrigin.x + c->rect.left, clientOrigin.y + c->rect.top};
    if (c->role == WindowRole::Dialog) {
      AddControls(*c, at, out);
      continue;
    }
    ShownControl s;
    s.hwnd = c->hwnd;
    s.dialog = dialog.hwnd;
    s.id = c->id;
    s.kind = c->kind;
    s.rect =
        RECT{at.x, at.y, at.x + c->rect.right - c->rect.left, at.y + c->rect.bottom - c->rect.top};
    s.text = DisplayText(c->text);
    s.enabled = c->enabled;
    s.check = c->check;
    for (const auto& item : c->items) s.items.push_back(DisplayText(item.first));
    s.curSel = c->curSel;
    s.rangeMin = c->rangeMin;
    s.rangeMax = c->rangeMax;
    s.pos = c->pos;
    out.controls.push_back(std::move(s));
  }
}

}  // namespace

std::vector<ShownWindow> ShownWindows() {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  std::vector<ShownWindow> windows;
  for (const WindowRecord* r : AllRecords()) {
    if (!r->topLevel || r->role != WindowRole::Dialog || !r->visible) continue;
    ShownWindow w;
    w.hwnd = r->hwnd;
    w.title = DisplayText(r->text);
    w.rect = r->rect;
    w.closeBox = CloseBox(*r);
    AddControls(*r, POINT{r->insets.left, r->insets.top}, w);
    windows.push_back(std::move(w));
  }
  return windows;
}

const ShownControl* ControlAt(const ShownWindow& window, POINT point) {
  for (auto it = window.controls.rbegin(); it != window.controls.rend(); ++it) {
    const RECT& r = it->rect;
    if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom)
      return &*it;
  }
  return nullptr;
}

}  // namespace kx

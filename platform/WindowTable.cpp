// The framework's own record of every window, shared by its parts; not for the windows' users.
#include "platform/WindowTable.h"

#include <algorithm>
#include <unordered_map>

namespace kx {

namespace {

std::unordered_map<std::uintptr_t, std::unique_ptr<WindowRecord>>& Table() {
  static std::unordered_map<std::uintptr_t, std::unique_ptr<WindowRecord>> table;
  return table;
}
std::uintptr_t g_nextWindow = 0x10000;
thread_local std::vector<HWND> t_dialogs;  // top-level dialogs of this thread, last = active

const cv::Scalar kFace(240, 240, 240);

}  // namespace

std::recursive_mutex& WindowMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

WindowRecord* FindRecord(HWND hwnd) {
  auto it = Table().find(reinterpret_cast<std::uintptr_t>(hwnd));
  return it == Table().end() ? nullptr : it->second.get();
}

WindowRecord& NewRecord() {
  auto record = std::make_unique<WindowRecord>();
  const std::uintptr_t id = g_nextWindow++;
  record->hwnd = reinterpret_cast<HWND>(id);
  WindowRecord& ref = *record;
  Table().emplace(id, std::move(record));
  return ref;
}

std::unique_ptr<WindowRecord> TakeRecord(HWND hwnd) {
  auto it = Table().find(reinterpret_cast<std::uintptr_t>(hwnd));
  if (it == Table().end()) return nullptr;
  std::unique_ptr<WindowRecord> record = std::move(it->second);
  Table().erase(it);
  return record;
}

std::vector<const WindowRecord*> AllRecords() {
  std::vector<const WindowRecord*> records;
  for (const auto& entry : Table()) records.push_back(entry.second.get());
  std::sort(records.begin(), records.end(), [](const WindowRecord* a, const WindowRecord* b) {
    return reinterpret_cast<std::uintptr_t>(a->hwnd) < reinterpret_cast<std::uintptr_t>(b->hwnd);
  });
  return records;
}

RECT CloseBox(const WindowRecord& record) {
  const int w = record.rect.right - record.rect.left;
  const int left = w - record.insets.right - 22;
  return RECT{left, 5, left + 18, record.insets.top - 5};
}

int LiveWindowCount() {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  return static_cast<int>(Table().size());
}

void ResetSurface(WindowRecord& record) {
  if (record.kind != ControlKind::Picture || record.role != WindowRole::Control) return;
  if (!record.surface) record.surface = std::make_shared<Surface>();
  const int w = std::max(0, record.rect.right - record.rect.left);
  const int h = std::max(0, record.rect.bottom - record.rect.top);
  cv::Mat pixels(h, w, CV_8UC3, kFace);
  if (record.bitmap) {
    cv::Mat image = BitmapToMat(record.bitmap);
    const int cw = std::min(w, image.cols);
    const int ch = std::min(h, image.rows);
    if (cw > 0 && ch > 0) image(cv::Rect(0, 0, cw, ch)).copyTo(pixels(cv::Rect(0, 0, cw, ch)));
  }
  std::lock_guard<std::mutex> lock(record.surface->mutex);
  record.surface->pixels = pixels;
}

POINT ClientOrigin(const WindowRecord& record) {
  POINT origin{record.rect.left + record.insets.left, record.rect.top + record.insets.top};
  if (!record.topLevel) {
    if (const WindowRecord* parent = FindRecord(record.parent)) {
      const POINT p = ClientOrigin(*parent);
      origin.x += p.x;
      origin.y += p.y;
    }
  }
  return origin;
}

std::vector<HWND>& ThreadDialogs() { return t_dialogs; }

void AddActiveDialog(HWND hwnd) {
  std::erase(t_dialogs, hwnd);
  t_dialogs.push_back(hwnd);
}

}  // namespace kx

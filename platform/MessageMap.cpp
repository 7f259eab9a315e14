// Message maps: tables that bind window messages and control notifications to On... handlers.
#include "platform/MessageMap.h"

#include "platform/Cursor.h"

namespace kx {

bool DispatchToMap(CCmdTarget* target, UINT message, WPARAM wParam, LPARAM lParam,
                   LRESULT* result) {
  UINT code = 0;
  UINT id = 0;
  if (message == WM_COMMAND) {
    code = HIWORD(wParam);
    id = LOWORD(wParam);
  } else if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header) return false;
    code = header->code;
    id = static_cast<UINT>(header->idFrom);
  }
  for (const MessageMap* map = target->GetMessageMap(); map;
       map = map->baseMap ? map->baseMap() : nullptr) {
    for (const MessageMapEntry& entry : map->entries) {
      if (entry.message != message || message == 0) continue;
      if ((message == WM_COMMAND || message == WM_NOTIFY) &&
          (entry.code != code || id < entry.idFirst || id > entry.idLast)) {
        continue;
      }
      entry.handler(target, id, wParam, lParam, result);
      return true;
    }
  }
  return false;
}

}  // namespace kx

const kx::MessageMap* CCmdTarget::GetThisMessageMap() {
  static const kx::MessageMap map{nullptr, {}};
  return &map;
}

const kx::MessageMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

void CCmdTarget::BeginWaitCursor() { kx::BeginWaitCursor(); }

void CCmdTarget::EndWaitCursor() { kx::EndWaitCursor(); }

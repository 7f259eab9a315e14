// Message maps: tables that bind window messages and control notifications to On... handlers.
// Threads: bound to one thread (the window's or the thread object's own).
#pragma once

#include <functional>
#include <vector>

#include "platform/WinDefs.h"

class CCmdTarget;

namespace kx {

// One binding. message 0 never matches. For WM_COMMAND the code and the control id come from
// wParam, for WM_NOTIFY from the NMHDR that lParam points at; other messages match on message only.
struct MessageMapEntry {
  UINT message = 0;
  UINT code = 0;
  UINT idFirst = 0;
  UINT idLast = 0;
  std::function<void(CCmdTarget* target, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result)>
      handler;
};

// A class's bindings and the way to its base class's map; unmatched messages go to the base.
struct MessageMap {
  const MessageMap* (*baseMap)() = nullptr;
  std::vector<MessageMapEntry> entries;
};

// Runs the first entry of target's map chain that matches; false when none does.
bool DispatchToMap(CCmdTarget* target, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

}  // namespace kx

// The root of everything that has a message map: windows and threads.
class CCmdTarget {
 public:
  CCmdTarget() = default;
  virtual ~CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;

  virtual const kx::MessageMap* GetMessageMap() const;

  // The wait cursor is shown while at least one Begin is not matched by an End
  // (kx::WaitCursorDepth).
  void BeginWaitCursor();
  void EndWaitCursor();

 protected:
  static const kx::MessageMap* GetThisMessageMap();
};

#define DECLARE_MESSAGE_MAP()                             \
 protected:                                               \
  static const ::kx::MessageMap* GetThisMessageMap();     \
                                                          \
 public:                                                  \
  const ::kx::MessageMap* GetMessageMap() const override; \
                                                          \
 protected:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                            \
  const ::kx::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const ::kx::MessageMap* theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                          \
    using TheBaseClass = baseClass;                                                       \
    static const ::kx::MessageMap messageMap {                                            \
      &TheBaseClass::GetThisMessageMap, {
#define END_MESSAGE_MAP() \
  }                       \
  }                       \
  ;                       \
  return &messageMap;     \
  }

#define KX_MAP_TARGET static_cast<ThisClass*>(target)

#define ON_COMMAND_EX_(msgCode, id, memberFxn)                                         \
  ::kx::MessageMapEntry{WM_COMMAND, static_cast<UINT>(msgCode), static_cast<UINT>(id), \
                        static_cast<UINT>(id),                                         \
                        [](CCmdTarget* target, UINT, WPARAM, LPARAM, LRESULT*) {       \
                          (KX_MAP_TARGET->*(memberFxn))();                             \
                        }},

#define ON_COMMAND(id, memberFxn) ON_COMMAND_EX_(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_COMMAND_EX_(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_COMMAND_EX_(CBN_SELCHANGE, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_COMMAND_EX_(EN_CHANGE, id, memberFxn)
#define ON_CONTROL(code, id, memberFxn) ON_COMMAND_EX_(code, id, memberFxn)

// memberFxn(UINT id) for every id from first to last.
#define ON_COMMAND_RANGE(first, last, memberFxn)                                          \
  ::kx::MessageMapEntry{WM_COMMAND, 0, static_cast<UINT>(first), static_cast<UINT>(last), \
                        [](CCmdTarget* target, UINT id, WPARAM, LPARAM, LRESULT*) {       \
                          (KX_MAP_TARGET->*(memberFxn))(id);                              \
                        }},

// memberFxn(NMHDR*, LRESULT*).
#define ON_NOTIFY(code, id, memberFxn)                                                        \
  ::kx::MessageMapEntry{WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id),            \
                        static_cast<UINT>(id),                                                \
                        [](CCmdTarget* target, UINT, WPARAM, LPARAM lParam, LRESULT* r) {     \
                          (KX_MAP_TARGET->*(memberFxn))(reinterpret_cast<NMHDR*>(lParam), r); \
                        }},

// memberFxn(UINT id, NMHDR*, LRESULT*) for every id from first to last.
#define ON_NOTIFY_RANGE(code, first, last, memberFxn)                                             \
  ::kx::MessageMapEntry{WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(first),             \
                        static_cast<UINT>(last),                                                  \
                        [](CCmdTarget* target, UINT id, WPARAM, LPARAM lParam, LRESULT* r) {      \
                          (KX_MAP_TARGET->*(memberFxn))(id, reinterpret_cast<NMHDR*>(lParam), r); \
                        }},

// Calls void OnLButtonDown(UINT nFlags, CPoint point), point in the window's client coordinates.
#define ON_WM_LBUTTONDOWN()                                                                    \
  ::kx::MessageMapEntry{WM_LBUTTONDOWN, 0, 0, 0,                                               \
                        [](CCmdTarget* target, UINT, WPARAM wParam, LPARAM lParam, LRESULT*) { \
                          KX_MAP_TARGET->OnLButtonDown(                                        \
                              static_cast<UINT>(wParam),                                       \
                              CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));             \
                        }},

// LRESULT memberFxn(WPARAM, LPARAM) for a message of the program's own.
#define ON_MESSAGE(message, memberFxn)                                                           \
  ::kx::MessageMapEntry{static_cast<UINT>(message), 0, 0, 0,                                     \
                        [](CCmdTarget* target, UINT, WPARAM wParam, LPARAM lParam, LRESULT* r) { \
                          *r = (KX_MAP_TARGET->*(memberFxn))(wParam, lParam);                    \
                        }},

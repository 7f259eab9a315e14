// What a user does to a dialog, turned into the messages a real user's actions would post.
// Threads: thread-safe: each action is posted to the window's own thread.
#pragma once

#include <string>

#include "platform/WinDefs.h"

namespace kx {

// Each function finds control id in root's window tree, acts as a user would and posts the
// notification to the control's dialog, so that it is handled by whichever pump runs next (also
// one nested in a long handler). All return false, with the reason in the log, when the control
// does not exist, is of the wrong kind, or is hidden or disabled (a user could not reach it).

// Push, bitmap, check and radio buttons: a check box toggles, a radio button is checked and its
// group unchecked, then BN_CLICKED goes to the dialog.
bool PressButton(HWND root, int id);
// Edits: replaces the text, then EN_CHANGE.
bool SetControlText(HWND root, int id, const std::string& text);
// A left click at a point of the control: on a button it presses it, elsewhere WM_LBUTTONDOWN
// with the point in the dialog's client coordinates and the key flags (MK_CONTROL, MK_SHIFT).
bool ClickControl(HWND root, int id, POINT inControl, UINT keyFlags = 0);
// A left click at a point of root's client area.
bool ClickAt(HWND root, POINT inClient, UINT keyFlags = 0);
// Drop-down lists: selects index, then CBN_SELCHANGE.
bool SelectListEntry(HWND root, int id, int index);
// Sliders: drags the thumb to pos (clamped) and lets go: NM_RELEASEDCAPTURE.
bool MoveSlider(HWND root, int id, int pos);
// A key pressed in the dialog (VK_RETURN, VK_ESCAPE).
bool PressKey(HWND root, UINT virtualKey);

}  // namespace kx

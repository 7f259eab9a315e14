// Controls: static texts and pictures, buttons, edits, sliders and drop-down lists.
// Threads: as for CWnd: member calls are thread-safe, messages are bound to the window's thread.
#pragma once

#include "platform/WinDefs.h"
#include "platform/Wnd.h"

class CStatic : public CWnd {
 public:
  // Shows the bitmap (not copied; the caller keeps ownership) and returns the one shown before,
  // which the caller deletes.
  HBITMAP SetBitmap(HBITMAP bitmap);
  HBITMAP GetBitmap() const;
};

class CButton : public CWnd {
 public:
  int GetCheck() const;
  void SetCheck(int check);
};

// A push button showing an image from the resources; pixels of the mask colour show the face.
class CBitmapButton : public CButton {
 public:
  // Loads bitmap id from the installed resources. resize: make the button the image's size.
  // FALSE (the reason goes to the log) when the resources have no such bitmap.
  BOOL LoadBitmap(UINT id, BOOL resize = TRUE, COLORREF mask = CLR_NONE);
};

class CEdit : public CWnd {};

class CSliderCtrl : public CWnd {
 public:
  // min above max is swapped. The position is clamped into the new range.
  void SetRange(int min, int max, BOOL redraw = FALSE);
  int GetRangeMin() const;
  int GetRangeMax() const;
  // Clamped into the range.
  void SetPos(int pos);
  int GetPos() const;
};

inline constexpr int CB_ERR = -1;

class CComboBox : public CWnd {
 public:
  // Appends; returns the new index.
  int AddString(const CString& text);
  int GetCount() const;
  void ResetContent();
  int GetLBText(int index, CString& text) const;
  // CB_ERR for a bad index.
  int SetItemDataPtr(int index, void* data);
  void* GetItemDataPtr(int index) const;
  // An index outside the list clears the selection and returns CB_ERR.
  int SetCurSel(int index);
  // CB_ERR (-1) when nothing is selected.
  int GetCurSel() const;
};

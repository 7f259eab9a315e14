// Data exchange between a dialog's controls and its members, in both directions.
// Threads: bound to one thread (the dialog's).
#pragma once

#include "platform/Wnd.h"

namespace kx {
// Thrown by CDataExchange::Fail and caught by UpdateData; it never leaves the framework.
struct DataExchangeFailure {};
}  // namespace kx

// One exchange. In the save direction a value that does not parse is reported to the user with
// a message box ("Please enter an integer." / "Please enter a number.") and Fail ends the
// exchange: UpdateData returns FALSE and the member keeps its value.
class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;

  // The control with this id; a missing one is reported in the log and fails the exchange.
  HWND PrepareCtrl(int id);
  // Ends the exchange (UpdateData returns FALSE).
  [[noreturn]] void Fail();
};

// Attaches control to the dialog's control with this id, once; its member calls then act on it
// and it receives the control's messages.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// Edit and static texts. Numbers are written as "%d", doubles as "%.15g", floats as "%.6g";
// read back they must be a whole number (surrounding blanks allowed) that fits the type.
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, double& value);
void DDX_Text(CDataExchange* pDX, int id, float& value);
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// Check box state 0, 1 or 2 (others load as 0).
void DDX_Check(CDataExchange* pDX, int id, int& value);
// Index of the checked button of the radio group that starts at id, -1 for none.
void DDX_Radio(CDataExchange* pDX, int id, int& value);
// Slider position; loading clamps it into the slider's range.
void DDX_Slider(CDataExchange* pDX, int id, int& value);
// Drop-down list selection, -1 for none; loading an index outside the list selects nothing.
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);

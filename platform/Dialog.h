// Dialogs from templates: modal and modeless, busy while a long operation runs, property pages
// and a minimal property sheet.
// Threads: bound to one thread: the thread that creates a dialog runs its loop and handlers.
#pragma once

#include <vector>

#include "platform/Controls.h"  // a dialog class declares its controls as members
#include "platform/DataExchange.h"
#include "platform/Wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate = 0, CWnd* pParent = nullptr);
  ~CDialog() override;

  // Creates the window from the template, runs OnInitDialog and the modal loop until EndDialog,
  // destroys the window and returns EndDialog's value; -1 when the window cannot be created
  // (no such template) or the thread is asked to quit meanwhile. The owner is disabled meanwhile.
  virtual INT_PTR DoModal();
  // Creates a modeless dialog (a child window when pParent is a page host); shown when the template
  // says so. FALSE when there is no such template.
  BOOL Create(UINT nIDTemplate, CWnd* pParent = nullptr);
  // Fills the controls from the members (UpdateData(FALSE)); TRUE lets the framework set the focus.
  virtual BOOL OnInitDialog();
  // Ends the modal loop with nResult; a modeless dialog is hidden.
  void EndDialog(int nResult);
  // Enter and the IDOK command: reads the controls and ends with IDOK when they pass.
  virtual void OnOK();
  // Escape, WM_CLOSE and the IDCANCEL command: ends with IDCANCEL.
  virtual void OnCancel();
  void SetHelpID(UINT nIDHelp) { m_nIDHelp = nIDHelp; }

  // A dialog is busy while a long operation (a run, a calibration, a capture) runs inside one of
  // its handlers and drives the machine. While busy, asking to close it (Enter, Escape, the close
  // box, the IDOK and IDCANCEL commands, EndDialog) neither hides nor ends it: the request calls
  // OnStopRequest, which stops the operation at its next check, and is carried out once the last
  // busy scope has ended. Scopes nest; a page's scope keeps its sheet busy too.
  class CBusyScope {
   public:
    explicit CBusyScope(CDialog& dialog);
    ~CBusyScope();
    CBusyScope(const CBusyScope&) = delete;
    CBusyScope& operator=(const CBusyScope&) = delete;

   private:
    CDialog& m_dialog;
  };
  bool IsBusy() const { return m_nBusy > 0; }
  // Whether a close was asked for during the current busy operation.
  bool IsClosePending() const { return m_nPendingClose != 0; }

  UINT m_nIDTemplate;
  UINT m_nIDHelp = 0;
  CWnd* m_pParentWnd;

 protected:
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // While busy, IDOK and IDCANCEL become close requests instead of reaching OnOK and OnCancel.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Called on the dialog's thread, once for each request to close the busy dialog: stop the busy
  // operation (no further move, search or cut) and let it return. Does nothing by default.
  virtual void OnStopRequest() {}
  // The dialog that holds this one and whose close requests concern this one's operations too:
  // a page's sheet. Null by default.
  virtual CDialog* BusyContainer() { return nullptr; }
  // Makes the window and its controls from a template and runs OnInitDialog. A child sits at
  // origin in the parent's client area; a top-level dialog is placed by the framework.
  BOOL CreateIndirect(const kx::DialogTemplate& tmpl, CWnd* parent, bool child, POINT origin = {});
  // Creates from tmpl (null: reports the missing template m_nIDTemplate, returns -1) and runs the
  // modal loop.
  INT_PTR RunModal(const kx::DialogTemplate* tmpl);

  DECLARE_MESSAGE_MAP()

 private:
  void BeginBusy(CDialog* operation);
  void EndBusy();
  // A close request while busy: remembered (the first one counts) and passed on as a stop.
  // command: IDOK or IDCANCEL to replay when the operation has ended; 0 for EndDialog(result).
  void RequestClose(UINT command, int result);

  bool m_bEndModal = false;
  int m_nModalResult = -1;
  int m_nBusy = 0;
  CDialog* m_pBusyOperation = nullptr;  // the dialog whose handler runs the busy operation
  UINT m_nPendingClose = 0;             // 0 none, IDOK/IDCANCEL, or kEndDialogRequest
  int m_nPendingResult = 0;
};

inline constexpr DWORD PSP_USETITLE = 0x0008;

// The page description the sheet reads: with PSP_USETITLE in dwFlags, pszTitle is the tab title,
// otherwise the template's caption is.
struct PROPSHEETPAGE {
  DWORD dwFlags = 0;
  const char* pszTitle = nullptr;
};

class CPropertySheet;

// A dialog living inside a property sheet. Its OnOK and OnCancel end nothing: the sheet does.
class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(UINT nIDTemplate);

  // Each time the page becomes active; after the first time it refills its controls.
  virtual BOOL OnSetActive();
  // Before another page becomes active or the sheet applies: reads the controls.
  virtual BOOL OnKillActive();
  // The sheet's Apply and OK: OnOK, then not modified any more. FALSE keeps the sheet open.
  virtual BOOL OnApply();
  void OnOK() override {}
  void OnCancel() override {}
  CDialog* BusyContainer() override;
  // Marks the page changed; the sheet's Apply button is enabled while a page is.
  void SetModified(BOOL bChanged = TRUE);
  BOOL IsModified() const { return m_bModified; }
  // The tab title as the sheet shows it.
  CString GetTitle() const;

  PROPSHEETPAGE m_psp;
  CPropertySheet* m_pSheet = nullptr;

 private:
  friend class CPropertySheet;
  bool m_bFirstSetActive = true;
  BOOL m_bModified = FALSE;
};

inline constexpr int ID_APPLY_NOW = 0x3021;

// A minimal sheet: the active page, OK, Cancel and Apply. Pages are created when first shown.
class CPropertySheet : public CDialog {
 public:
  explicit CPropertySheet(const char* caption = "", CWnd* pParent = nullptr);
  ~CPropertySheet() override;

  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CPropertyPage* GetPage(int index) const;
  CPropertyPage* GetActivePage() const;
  // Leaves the current page (OnKillActive must pass) and activates another.
  BOOL SetActivePage(int index);
  // Runs the sheet. OK: the active page's OnKillActive, every created page's OnApply, IDOK.
  // Cancel: every created page's OnCancel, IDCANCEL. Apply: OnApply of every created page.
  INT_PTR DoModal() override;
  // Called by pages when their modified state changes.
  void UpdateApplyButton();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnApplyNow();
  BOOL ApplyAll();

  DECLARE_MESSAGE_MAP()

 private:
  CString m_strCaption;
  std::vector<CPropertyPage*> m_pages;
  int m_nActive = -1;
  kx::DialogTemplate m_template;
};

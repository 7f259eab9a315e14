// Dialogs from templates: modal and modeless, property pages and a minimal property sheet.
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

  UINT m_nIDTemplate;
  UINT m_nIDHelp = 0;
  CWnd* m_pParentWnd;

 protected:
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Makes the window and its controls from a template and runs OnInitDialog. A child sits at
  // origin in the parent's client area; a top-level dialog is placed by the framework.
  BOOL CreateIndirect(const kx::DialogTemplate& tmpl, CWnd* parent, bool child, POINT origin = {});
  // Creates from tmpl (null: reports the missing template m_nIDTemplate, returns -1) and runs the
  // modal loop.
  INT_PTR RunModal(const kx::DialogTemplate* tmpl);

  DECLARE_MESSAGE_MAP()

 private:
  bool m_bEndModal = false;
  int m_nModalResult = -1;
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

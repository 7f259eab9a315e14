// A user-interface thread that hosts the run dialog modeless and above all other windows.
#include "run/KestrixThread.h"

#include "run/KestrixDialog.h"

CKestrixThread::CKestrixThread(unsigned int templateId, CWnd* parent, ObjList jobList,
                               uint64 imageObj)
    : m_nTemplateId(templateId),
      m_pParent(parent),
      m_JobList(std::move(jobList)),
      m_hImageObj(imageObj) {}

CKestrixThread::~CKestrixThread() { m_JobList.reset(); }

BOOL CKestrixThread::InitInstance() {
  m_pDialog = new CKestrixDialog(m_pParent, m_JobList, m_hImageObj);
  m_pDialog->Create(m_nTemplateId, nullptr);
  m_pMainWnd = m_pDialog;
  m_pActiveWnd = m_pDialog;
  m_pDialog->ShowWindow(SW_SHOW);
  m_pDialog->SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
  m_pDialog->UpdateWindow();
  return TRUE;
}

int CKestrixThread::ExitInstance() {
  if (m_pDialog) {
    m_pDialog->DestroyWindow();
    delete m_pDialog;
    m_pDialog = nullptr;
  }
  return CWinThread::ExitInstance();
}

// A user-interface thread that hosts the run dialog modeless and above all other windows.
// Threads: bound to its own thread once started.
#pragma once

#include "common/Export.h"
#include "host/HostServices.h"
#include "platform/WinThread.h"

class CKestrixDialog;

class KX_EXPORT CKestrixThread : public CWinThread {
 public:
  // Keeps the values for the dialog; nothing is created until the thread runs.
  CKestrixThread(unsigned int templateId = 0, CWnd* parent = nullptr, ObjList jobList = {},
                 uint64 imageObj = 0);
  ~CKestrixThread() override;

  // Creates the dialog modeless from the template, shows it topmost; TRUE runs the loop.
  BOOL InitInstance() override;
  // Destroys and deletes the dialog, then the base class's exit.
  int ExitInstance() override;

  CKestrixDialog* Dialog() const { return m_pDialog; }

 private:
  unsigned int m_nTemplateId;
  CKestrixDialog* m_pDialog = nullptr;
  CWnd* m_pParent;
  ObjList m_JobList;
  uint64 m_hImageObj;
};

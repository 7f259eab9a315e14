// A host's smallest use of the installed module: the exported window classes link and construct.
#include <cstdio>

#include "run/KestrixDialog.h"
#include "run/KestrixThread.h"

int main() {
  CKestrixDialog dialog;  // reads its settings from the (absent) host: the defaults
  void (*callback)(BYTE*, DWORD, DWORD, DWORD, DWORD, DWORD, void*, void*) =
      &CKestrixDialog::BmpFrameCallback;
  std::printf("kestrix module linked: %s\n", callback && !dialog.IsRunning() ? "yes" : "no");
  return 0;
}

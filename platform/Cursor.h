// The wait cursor: shown while a long operation holds its thread; recorded, since nothing is drawn.
// Threads: thread-safe.
#pragma once

namespace kx {

// How many wait cursors are open; the normal cursor shows at 0.
int WaitCursorDepth();
void BeginWaitCursor();
// Never goes below 0.
void EndWaitCursor();

}  // namespace kx

// Shows the wait cursor for the lifetime of the object.
class CWaitCursor {
 public:
  CWaitCursor() { kx::BeginWaitCursor(); }
  ~CWaitCursor() { kx::EndWaitCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

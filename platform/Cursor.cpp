// The wait cursor: shown while a long operation holds its thread; recorded, since nothing is drawn.
#include "platform/Cursor.h"

#include <atomic>

namespace kx {

namespace {
std::atomic<int> g_waitCursor{0};
}  // namespace

int WaitCursorDepth() { return g_waitCursor.load(); }

void BeginWaitCursor() { ++g_waitCursor; }

void EndWaitCursor() {
  int depth = g_waitCursor.load();
  while (depth > 0 && !g_waitCursor.compare_exchange_weak(depth, depth - 1)) {
  }
}

}  // namespace kx

// The host's list of object handles and the shared pointer the module passes lists around in.
// Threads: reentrant: a list and its cursor belong to one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "common/WinTypes.h"

// An ordered list with one iteration cursor kept in the list itself: the database's
// DBGetFirstMember resets the cursor, DBGetNextMember advances it. Reentrant: a list belongs to the
// window that made it.
template <typename T>
class CQvSimpleList {
 public:
  void Add(T value) { m_items.push_back(value); }
  void RemoveAll() {
    m_items.clear();
    m_cursor = 0;
  }
  int GetCount() const { return static_cast<int>(m_items.size()); }
  bool IsEmpty() const { return m_items.empty(); }
  // The item at index, or a value-initialised T when index is out of range.
  T GetAt(int index) const {
    return index >= 0 && index < GetCount() ? m_items[static_cast<std::size_t>(index)] : T{};
  }
  const std::vector<T>& Items() const { return m_items; }

  // Cursor iteration: First() restarts, Next() continues; both give T{} after the last item.
  T First() {
    m_cursor = 0;
    return Next();
  }
  T Next() { return m_cursor < m_items.size() ? m_items[m_cursor++] : T{}; }

 private:
  std::vector<T> m_items;
  std::size_t m_cursor = 0;
};

// A list of object handles as the module holds it; an empty pointer is no list.
using ObjList = std::shared_ptr<CQvSimpleList<uint64>>;

// The host's cutter object and the scoped record of the transform a cut runs under.
// Threads: a cut machine is bound to the window's thread; CTranslate is per thread.
#pragma once

#include "common/TM.h"
#include "host/ObjectList.h"

// The host's cutter. CallSection cuts the list's paths through the installed host: travel to the
// start of each subpath, cut along it. It returns once the moves are handed to the cutter driver,
// not when the head has arrived. Derive to observe or replace the cutting.
class CCutMachine {
 public:
  virtual ~CCutMachine();
  // tm, when not null, is applied to the paths first (the objects themselves are not changed).
  // True when the host took the whole list (an empty list included); false when there is no list,
  // no host, or the host could not cut it.
  virtual bool CallSection(const ObjList& list, const TM* tm);
};

// Marks a cut as running under tm for the lifetime of the object. It changes no object and no
// move: the transform is only recorded, for the host's display and diagnostics. Scopes nest per
// thread.
class CTranslate {
 public:
  explicit CTranslate(const TM& tm);
  ~CTranslate();
  CTranslate(const CTranslate&) = delete;
  CTranslate& operator=(const CTranslate&) = delete;
  const TM& GetTM() const { return m_tm; }

 private:
  TM m_tm;
  const CTranslate* m_previous;
};

namespace kx {
// The transform of the innermost live CTranslate of this thread, null when there is none.
const TM* ActiveTranslate();
}  // namespace kx

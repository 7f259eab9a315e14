// The host's cutter object and the scoped record of the transform a cut runs under.
#include "host/CutMachine.h"

#include "host/Host.h"

namespace {
thread_local const CTranslate* t_activeTranslate = nullptr;
}  // namespace

CCutMachine::~CCutMachine() = default;

bool CCutMachine::CallSection(const ObjList& list, const TM* tm) {
  return list && kx::Host() && kx::Host()->CutSection(*list, tm);
}

CTranslate::CTranslate(const TM& tm) : m_tm(tm), m_previous(t_activeTranslate) {
  t_activeTranslate = this;
}

CTranslate::~CTranslate() { t_activeTranslate = m_previous; }

namespace kx {
const TM* ActiveTranslate() { return t_activeTranslate ? &t_activeTranslate->GetTM() : nullptr; }
}  // namespace kx

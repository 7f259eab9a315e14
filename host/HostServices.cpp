// Everything of the host the module's windows call, in one include.
#include "host/HostServices.h"

#include "host/Host.h"

namespace kx {

CQvBitmap* ObjectBitmap(uint64 h) {
  ELEMENT* element = DBGetObjectElement(h);
  if (!element || element->type != kElementGeneric || !element->item) return nullptr;
  return static_cast<GENERIC_ITEM*>(element->item)->bitmap;
}

CCutMachine* HostCutMachine() {
  static CCutMachine machine;
  return Host() ? &machine : nullptr;
}

}  // namespace kx

// The object database as the module calls it: lists, copies, bounds, transforms, undo, selection.
// Threads: bound to one thread (the window's).
#pragma once

#include "common/Bounds.h"
#include "common/TM.h"
#include "common/WinTypes.h"
#include "host/HostObjects.h"
#include "host/ObjectList.h"

// Every function forwards to the installed host's database (kx::Host()); without a host, or for
// an unknown handle, they do nothing and return 0 / null. Document units, y up.

// A new, empty list.
ObjList DBCreateEmptyList();
// The list's first handle (restarting its cursor), then each next one; 0 after the last.
uint64 DBGetFirstMember(const ObjList& list);
uint64 DBGetNextMember(const ObjList& list);
void DBAddToList(const ObjList& list, uint64 h);
// Destroys the free copies in the list and empties it; a second call finds nothing to destroy.
void DBDestroyList(const ObjList& list);
void DBDestroyObject(uint64 h);

// Non-zero when h is a registration mark.
int ObjFilter_IsRegMark(uint64 h, int flags);
// A free copy of h, independent of it, destroyed with the list it is added to; 0 for unknown h.
uint64 DBCopyObject(uint64 h);

// 1 and the bounds of h; 0 and a zeroed record for an unknown or null handle.
int DBGetObjectBounds(uint64 h, BOUNDS* b);
// 1 and the bounds covering every member; 0 and a zeroed record when no member has bounds.
int DBGetMemberBounds(const ObjList& list, BOUNDS* b);
// Transforms h in place (a point p becomes tm.Map(p)); bounds follow at once, so the
// invalidate/validate pair the module calls afterwards only confirms them.
void DBApplyTM(uint64 h, const TM* tm);
void DBInvalidateBounds(uint64 h);
void DBValidateBounds(uint64 h);
// The object's element (see ELEMENT); null for an unknown handle.
ELEMENT* DBGetObjectElement(uint64 h);
// 1 and the transform applied to h since it was made; 0 (tm untouched) for an unknown handle.
int DBGetObjectTM(uint64 h, TM* tm);

// *inverse = the inverse of *tm; 1 on success, 0 (and the identity) for a singular tm.
int set_itm(const TM* tm, TM* inverse);
// Replaces *pt by its image under *tm.
void translate_point(NewWorldPt* pt, const TM* tm);

// Opens an undo step named name (flags ignored); everything the document gains, loses or changes
// until UNCloseStep(step) undoes as one. Returns 0 when a step is already open.
uint64 UNOpenStep(const char* name, int flags);
void UNCloseStep(uint64 step);
// Adds h to the document's object set.
void DSAddObject(uint64 h);

void DBDeselectAll();
void DBSelect(uint64 h);
void DBNotifySelectionChanged();

// A new image registration mark centred at position, width x height document units, in the
// document; 0 for a size not above 0.
uint64 CreateVarnoxRegMark(NewWorldPt position, double width, double height);
// Asks the host to redraw h.
void InvalidateObject(uint64 h, int how);

// The document's selection at construction, in selection order. Usable wherever a list is.
class CSelectedObjectList {
 public:
  CSelectedObjectList();
  int GetCount() const { return m_list->GetCount(); }
  // The handle at index (0 based), 0 out of range.
  uint64 GetAt(int index) const { return m_list->GetAt(index); }
  const ObjList& GetList() const { return m_list; }
  operator const ObjList&() const { return m_list; }

 private:
  ObjList m_list;
};

// Welds paths into one path object. The constructor's arguments are kept for the host's own
// options and do not change the result.
class CNormalWeld {
 public:
  CNormalWeld(int mode, int joins, int a, int b);
  // A new list holding one new free path object whose POLYARC has every subpath of the list's
  // paths in list order; an empty list when the list holds no path. The caller destroys the
  // object (DBDestroyObject) or the list (DBDestroyList).
  ObjList Weld(const ObjList& list, int flags);
};

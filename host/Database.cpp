// The object database as the module calls it, forwarding to the installed host.
#include "host/Database.h"

#include <algorithm>

#include "host/Host.h"
#include "host/QvBitmap.h"

namespace {
kx::IObjectDatabase* Db() {
  kx::IHost* host = kx::Host();
  return host ? &host->Database() : nullptr;
}
}  // namespace

ObjList DBCreateEmptyList() { return std::make_shared<CQvSimpleList<uint64>>(); }

uint64 DBGetFirstMember(const ObjList& list) { return list ? list->First() : 0; }
uint64 DBGetNextMember(const ObjList& list) { return list ? list->Next() : 0; }

void DBAddToList(const ObjList& list, uint64 h) {
  if (list && h != 0) list->Add(h);
}

void DBDestroyList(const ObjList& list) {
  if (!list) return;
  if (kx::IObjectDatabase* db = Db()) {
    db->DestroyList(*list);
  } else {
    list->RemoveAll();
  }
}

void DBDestroyObject(uint64 h) {
  if (kx::IObjectDatabase* db = Db()) db->DestroyObject(h);
}

int ObjFilter_IsRegMark(uint64 h, int) {
  kx::IObjectDatabase* db = Db();
  return db && db->IsRegMark(h) ? 1 : 0;
}

uint64 DBCopyObject(uint64 h) {
  kx::IObjectDatabase* db = Db();
  return db ? db->CopyObject(h) : 0;
}

int DBGetObjectBounds(uint64 h, BOUNDS* b) {
  if (!b) return 0;
  *b = BOUNDS{};
  kx::IObjectDatabase* db = Db();
  return db && db->GetBounds(h, b) ? 1 : 0;
}

int DBGetMemberBounds(const ObjList& list, BOUNDS* b) {
  if (!b) return 0;
  *b = BOUNDS{};
  kx::IObjectDatabase* db = Db();
  if (!db || !list) return 0;
  bool any = false;
  for (uint64 h : list->Items()) {
    BOUNDS one{};
    if (!db->GetBounds(h, &one)) continue;
    if (!any) {
      *b = one;
      any = true;
      continue;
    }
    b->minX = std::min(b->minX, one.minX);
    b->maxX = std::max(b->maxX, one.maxX);
    b->minY = std::min(b->minY, one.minY);
    b->maxY = std::max(b->maxY, one.maxY);
  }
  return any ? 1 : 0;
}

void DBApplyTM(uint64 h, const TM* tm) {
  if (kx::IObjectDatabase* db = Db(); db && tm) db->ApplyTM(h, *tm);
}

void DBInvalidateBounds(uint64 h) {
  if (kx::IObjectDatabase* db = Db()) db->InvalidateBounds(h);
}

void DBValidateBounds(uint64 h) {
  if (kx::IObjectDatabase* db = Db()) db->ValidateBounds(h);
}

ELEMENT* DBGetObjectElement(uint64 h) {
  kx::IObjectDatabase* db = Db();
  return db ? db->GetElement(h) : nullptr;
}

int DBGetObjectTM(uint64 h, TM* tm) {
  kx::IObjectDatabase* db = Db();
  return db && tm && db->GetObjectTM(h, tm) ? 1 : 0;
}

int set_itm(const TM* tm, TM* inverse) {
  if (!tm || !inverse) return 0;
  const double det = tm->m11 * tm->m22 - tm->m21 * tm->m12;
  if (det == 0.0) {
    *inverse = TM::Identity();
    return 0;
  }
  // x = (m22 (X - dx) - m21 (Y - dy)) / det, y = (m11 (Y - dy) - m12 (X - dx)) / det.
  TM inv;
  inv.m11 = tm->m22 / det;
  inv.m12 = -tm->m12 / det;
  inv.m21 = -tm->m21 / det;
  inv.m22 = tm->m11 / det;
  inv.dx = -(inv.m11 * tm->dx + inv.m21 * tm->dy);
  inv.dy = -(inv.m12 * tm->dx + inv.m22 * tm->dy);
  *inverse = inv;
  return 1;
}

void translate_point(NewWorldPt* pt, const TM* tm) {
  if (pt && tm) *pt = tm->Map(*pt);
}

uint64 UNOpenStep(const char* name, int) {
  kx::IObjectDatabase* db = Db();
  return db ? db->OpenStep(name ? name : "") : 0;
}

void UNCloseStep(uint64 step) {
  if (kx::IObjectDatabase* db = Db()) db->CloseStep(step);
}

void DSAddObject(uint64 h) {
  if (kx::IObjectDatabase* db = Db()) db->AddToDocument(h);
}

void DBDeselectAll() {
  if (kx::IObjectDatabase* db = Db()) db->DeselectAll();
}

void DBSelect(uint64 h) {
  if (kx::IObjectDatabase* db = Db()) db->Select(h);
}

void DBNotifySelectionChanged() {
  if (kx::IObjectDatabase* db = Db()) db->NotifySelectionChanged();
}

uint64 CreateVarnoxRegMark(NewWorldPt position, double width, double height) {
  kx::IObjectDatabase* db = Db();
  return db ? db->CreateRegMark(position, width, height) : 0;
}

void InvalidateObject(uint64 h, int how) {
  if (kx::IObjectDatabase* db = Db()) db->InvalidateObject(h, how);
}

CQvBitmap* NewQvBitmap() {
  kx::IObjectDatabase* db = Db();
  return db ? db->NewBitmap() : nullptr;
}

CSelectedObjectList::CSelectedObjectList() : m_list(DBCreateEmptyList()) {
  if (kx::IObjectDatabase* db = Db())
    for (uint64 h : db->Selection()) m_list->Add(h);
}

CNormalWeld::CNormalWeld(int, int, int, int) {}

ObjList CNormalWeld::Weld(const ObjList& list, int) {
  ObjList result = DBCreateEmptyList();
  kx::IObjectDatabase* db = Db();
  if (db && list) DBAddToList(result, db->Weld(*list));
  return result;
}

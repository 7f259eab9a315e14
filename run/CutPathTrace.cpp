// The run dialog's cut-path trace: the head draws the selected path at a tenth of its size.
#include "common/Units.h"
#include "run/KestrixDialog.h"

namespace {
const char kTraceCaption[] = "(*v*)Kestrix error";
const char kTraceSelection[] =
    "(*v*)Select the reference image object first and the path to trace second. Nothing was "
    "traced.";
}  // namespace

bool CKestrixDialog::DrawCutPath(kx::RoiImage* image, kx::RoiImage*, cv::Point) {
  const CSelectedObjectList selection;
  const uint64 hImage = selection.GetAt(0);
  const uint64 hPath = selection.GetAt(1);
  CQvBitmap* bitmap = kx::ObjectBitmap(hImage);
  const ELEMENT* pathElement = DBGetObjectElement(hPath);
  if (!image || !bitmap || !pathElement || pathElement->type != kElementPolyArc) {
    TMessageBox(this, kTraceSelection, kTraceCaption, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  // The window may not close under the moving head: a close request stops the trace first.
  CBusyScope busy(*this);

  ObjList list = DBCreateEmptyList();
  DBAddToList(list, hPath);
  CNormalWeld weld(1, 3, 0, 0);
  ObjList welded = weld.Weld(list, 1);
  const ELEMENT* element = DBGetObjectElement(DBGetFirstMember(welded));
  const POLYARC* path = element && element->type == kElementPolyArc
                            ? static_cast<const POLYARC*>(element->item)
                            : nullptr;

  TM placement = TM::Identity();
  DBGetObjectTM(hImage, &placement);
  TM inverse = TM::Identity();
  set_itm(&placement, &inverse);
  const cv::Rect roi = image->Roi();
  const long headX = m_ptHead.x;
  const long headY = m_ptHead.y;

  bool completed = true;
  for (int s = 0; path && s < path->get_sp_count() && completed; ++s) {
    const POLYPOINT* points = path->get_points(s);
    const int count = path->get_point_count(s);
    for (int j = 0; j < count; ++j) {
      if (m_bRunning == 0) {
        completed = false;
        break;
      }
      NewWorldPt p{points[j].x, points[j].y};
      translate_point(&p, &inverse);
      int px = 0, py = 0;
      bitmap->MapRealToBitmap(p.x, p.y, &px, &py, false);
      int u = px - roi.x;
      int v = py - roi.y;
      double cu = 0.0, cv = 0.0;
      if (CalcTwoCalPoint(u, v, &cu, &cv) == 0) {
        u = kx::TruncInt(cu);
        v = kx::TruncInt(cv);
      }
      // The products in doubles, the sums in single precision, as the trace always did.
      const float ox = static_cast<float>((u - kx::Half(roi.width)) * m_dScale * 0.1);
      const float oy = static_cast<float>((v - kx::Half(roi.height)) * m_dScale * 0.1);
      MoveTo(kx::Trunc(static_cast<float>(headX) + ox), kx::Trunc(static_cast<float>(headY) - oy));
    }
    if (completed) MoveTo(headX, headY);
  }

  DBDestroyList(welded);
  DBDestroyList(list);
  return completed;
}

// The embedded host's document: objects, the document's object set, selection and undo steps.
#include "embedded/Document.h"

#include <algorithm>

namespace kx {
namespace {

// The transform doing b first, then a.
TM Compose(const TM& a, const TM& b) {
  TM c;
  c.m11 = a.m11 * b.m11 + a.m21 * b.m12;
  c.m12 = a.m12 * b.m11 + a.m22 * b.m12;
  c.m21 = a.m11 * b.m21 + a.m21 * b.m22;
  c.m22 = a.m12 * b.m21 + a.m22 * b.m22;
  c.dx = a.m11 * b.dx + a.m21 * b.dy + a.dx;
  c.dy = a.m12 * b.dx + a.m22 * b.dy + a.dy;
  return c;
}

BOUNDS CornerBounds(const std::array<NewWorldPt, 4>& corners) {
  BOUNDS b;
  bool first = true;
  for (const NewWorldPt& p : corners) GrowBounds(b, p, first);
  return b;
}

std::array<NewWorldPt, 4> RectCorners(const BOUNDS& r) {
  return {NewWorldPt{r.minX, r.minY}, NewWorldPt{r.maxX, r.minY}, NewWorldPt{r.maxX, r.maxY},
          NewWorldPt{r.minX, r.maxY}};
}

}  // namespace

BOUNDS BitmapRect(const HostBitmap& bitmap) {
  const NewWorldPt o = bitmap.Origin();
  return BOUNDS{o.x, o.x + bitmap.GetRealWidth(), o.y, o.y + bitmap.GetRealHeight(), 0.0};
}

DocObject* Document::Get(uint64 h) {
  auto it = m_objects.find(h);
  return it == m_objects.end() ? nullptr : &it->second;
}

const DocObject* Document::Find(uint64 h) const {
  auto it = m_objects.find(h);
  return it == m_objects.end() ? nullptr : &it->second;
}

uint64 Document::Insert(DocObject object, bool inDocument) {
  const uint64 h = m_nextHandle++;
  object.inDocument = inDocument;
  m_objects.emplace(h, std::move(object));
  if (inDocument) m_order.push_back(h);
  return h;
}

void Document::Erase(uint64 h) {
  m_objects.erase(h);
  m_elements.erase(h);
  m_redraws.erase(h);
  std::erase(m_order, h);
  std::erase(m_selection, h);
}

uint64 Document::AddPath(std::vector<PathSegment> segments) {
  DocObject o;
  o.kind = ObjectKind::Path;
  o.segments = std::move(segments);
  return Insert(std::move(o), true);
}

uint64 Document::AddRegMark(const BOUNDS& area) {
  DocObject o;
  o.kind = ObjectKind::RegMark;
  o.corners = RectCorners(area);
  return Insert(std::move(o), true);
}

uint64 Document::AddBitmapObject(const cv::Mat& bgr, double x, double y, double widthDoc,
                                 double heightDoc) {
  if (widthDoc <= 0.0 || heightDoc <= 0.0) return 0;
  auto bitmap = std::make_shared<HostBitmap>(this);
  if (!bitmap->SetPixels(bgr)) return 0;
  bitmap->SetRealWidth(widthDoc);
  bitmap->SetRealHeight(heightDoc);
  bitmap->SetOrigin(NewWorldPt{x, y});
  DocObject o;
  o.kind = ObjectKind::Bitmap;
  o.bitmap = std::move(bitmap);
  return Insert(std::move(o), true);
}

int Document::RedrawCount(uint64 h) const {
  auto it = m_redraws.find(h);
  return it == m_redraws.end() ? 0 : it->second;
}

std::vector<std::string> Document::StepNames() const {
  std::vector<std::string> names;
  for (const Step& s : m_steps) names.push_back(s.name);
  return names;
}

bool Document::Undo() {
  if (m_steps.empty()) return false;
  const Step step = std::move(m_steps.back());
  m_steps.pop_back();
  for (const Change& c : step.changes) {
    if (!c.before) {
      Erase(c.handle);
      continue;
    }
    const bool wasIn = m_objects.contains(c.handle) && m_objects[c.handle].inDocument;
    m_objects[c.handle] = *c.before;
    if (c.before->inDocument && !wasIn) m_order.push_back(c.handle);
    if (!c.before->inDocument) std::erase(m_order, c.handle);
  }
  return true;
}

void Document::Reset(std::vector<std::pair<uint64, DocObject>> objects,
                     std::vector<uint64> selection) {
  m_objects.clear();
  m_order.clear();
  m_selection.clear();
  m_redraws.clear();
  m_elements.clear();
  m_newBitmaps.clear();
  m_openStep.reset();
  m_steps.clear();
  m_nextHandle = 1;
  for (auto& [h, object] : objects) {
    if (object.bitmap) object.bitmap->SetDocument(this);
    object.inDocument = true;
    m_objects[h] = std::move(object);
    m_order.push_back(h);
    m_nextHandle = std::max(m_nextHandle, h + 1);
  }
  for (uint64 h : selection)
    if (m_objects.contains(h)) m_selection.push_back(h);
}

uint64 Document::AttachBitmap(std::shared_ptr<HostBitmap> bitmap) {
  if (!bitmap) return 0;
  std::erase(m_newBitmaps, bitmap);
  DocObject o;
  o.kind = ObjectKind::Bitmap;
  o.bitmap = std::move(bitmap);
  return Insert(std::move(o), false);
}

bool Document::IsRegMark(uint64 h) {
  const DocObject* o = Get(h);
  return o && o->kind == ObjectKind::RegMark;
}

uint64 Document::CopyObject(uint64 h) {
  const DocObject* o = Get(h);
  if (!o) return 0;
  DocObject copy = *o;
  if (copy.bitmap) copy.bitmap = copy.bitmap->Clone();
  return Insert(std::move(copy), false);
}

void Document::DestroyList(CQvSimpleList<uint64>& list) {
  for (uint64 h : list.Items())
    if (const DocObject* o = Get(h); o && !o->inDocument) Erase(h);
  list.RemoveAll();
}

void Document::DestroyObject(uint64 h) {
  if (Get(h)) Erase(h);
}

bool Document::GetBounds(uint64 h, BOUNDS* bounds) {
  const DocObject* o = Get(h);
  if (!o || !bounds) return false;
  switch (o->kind) {
    case ObjectKind::Path:
      *bounds = PathBounds(o->segments);
      break;
    case ObjectKind::RegMark:
      *bounds = CornerBounds(o->corners);
      break;
    case ObjectKind::Bitmap: {
      std::array<NewWorldPt, 4> corners = RectCorners(BitmapRect(*o->bitmap));
      for (NewWorldPt& p : corners) p = o->tm.Map(p);
      *bounds = CornerBounds(corners);
      break;
    }
  }
  return true;
}

void Document::ApplyTM(uint64 h, const TM& tm) {
  DocObject* o = Get(h);
  if (!o) return;
  if (o->kind == ObjectKind::Path)
    for (PathSegment& s : o->segments) s.Transform(tm);
  if (o->kind == ObjectKind::RegMark)
    for (NewWorldPt& p : o->corners) p = tm.Map(p);
  o->tm = Compose(tm, o->tm);
}

bool Document::GetObjectTM(uint64 h, TM* tm) {
  const DocObject* o = Get(h);
  if (!o || !tm) return false;
  *tm = o->tm;
  return true;
}

// Bounds are computed from the geometry whenever they are asked for, so they can never be stale;
// the pair only has to accept the calls.
void Document::InvalidateBounds(uint64) {}
void Document::ValidateBounds(uint64) {}

ELEMENT* Document::GetElement(uint64 h) {
  const DocObject* o = Get(h);
  if (!o) return nullptr;
  std::unique_ptr<ElementHolder>& holder = m_elements[h];
  if (!holder) holder = std::make_unique<ElementHolder>();
  switch (o->kind) {
    case ObjectKind::Path:
      holder->polyarc.Subpaths() = FlattenPath(o->segments);
      holder->element = ELEMENT{kElementPolyArc, &holder->polyarc};
      break;
    case ObjectKind::RegMark:
      holder->element = ELEMENT{kElementArea, nullptr};
      break;
    case ObjectKind::Bitmap:
      holder->generic.bitmap = o->bitmap.get();
      holder->element = ELEMENT{kElementGeneric, &holder->generic};
      break;
  }
  return &holder->element;
}

uint64 Document::OpenStep(const std::string& name) {
  if (m_openStep) return 0;
  m_openStep = OpenStepState{m_nextStep++, name, m_objects, m_order};
  return m_openStep->id;
}

void Document::CloseStep(uint64 step) {
  if (!m_openStep || m_openStep->id != step) return;
  Step done{m_openStep->id, m_openStep->name, {}};
  const std::map<uint64, DocObject>& before = m_openStep->objects;
  for (const auto& [h, object] : before) {
    const DocObject* now = Get(h);
    if (!now) {
      done.changes.push_back(Change{h, object, std::nullopt});
    } else if (!(*now == object)) {
      done.changes.push_back(Change{h, object, *now});
    }
  }
  for (const auto& [h, object] : m_objects)
    if (!before.contains(h)) done.changes.push_back(Change{h, std::nullopt, object});
  m_openStep.reset();
  m_steps.push_back(std::move(done));
}

void Document::AddToDocument(uint64 h) {
  DocObject* o = Get(h);
  if (!o || o->inDocument) return;
  o->inDocument = true;
  m_order.push_back(h);
}

void Document::DeselectAll() { m_selection.clear(); }

void Document::Select(uint64 h) {
  if (Get(h) && std::find(m_selection.begin(), m_selection.end(), h) == m_selection.end())
    m_selection.push_back(h);
}

void Document::NotifySelectionChanged() { ++m_selectionNotifications; }

uint64 Document::Weld(const CQvSimpleList<uint64>& list) {
  DocObject welded;
  welded.kind = ObjectKind::Path;
  bool any = false;
  for (uint64 h : list.Items()) {
    const DocObject* o = Get(h);
    if (!o || o->kind != ObjectKind::Path) continue;
    welded.segments.insert(welded.segments.end(), o->segments.begin(), o->segments.end());
    any = true;
  }
  return any ? Insert(std::move(welded), false) : 0;
}

uint64 Document::CreateRegMark(NewWorldPt centre, double width, double height) {
  if (!(width > 0.0) || !(height > 0.0)) return 0;
  return AddRegMark(BOUNDS{centre.x - width / 2, centre.x + width / 2, centre.y - height / 2,
                           centre.y + height / 2, 0.0});
}

void Document::InvalidateObject(uint64 h, int) {
  if (Get(h)) ++m_redraws[h];
}

CQvBitmap* Document::NewBitmap() {
  m_newBitmaps.push_back(std::make_shared<HostBitmap>(this));
  return m_newBitmaps.back().get();
}

}  // namespace kx

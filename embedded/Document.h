// The embedded host's document: objects, the document's object set, selection and undo steps.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "host/Host.h"
#include "embedded/DocPath.h"
#include "embedded/HostBitmap.h"

namespace kx {

enum class ObjectKind { Path, RegMark, Bitmap };

// One object of the database. A path is its segments; a registration mark the four corners of its
// area (lower left, lower right, upper right, upper left before any transform); a bitmap object
// its bitmap, whose rectangle (origin and real size) is placed through tm.
struct DocObject {
  ObjectKind kind = ObjectKind::Path;
  std::vector<PathSegment> segments;
  std::array<NewWorldPt, 4> corners{};
  std::shared_ptr<HostBitmap> bitmap;
  // Transform applied since the object was made. Paths and marks carry it in their points
  // already; a bitmap object keeps its pixels and rectangle and is placed through it.
  TM tm = TM::Identity();
  bool inDocument = false;

  bool operator==(const DocObject&) const = default;
};

// The object database. Objects are either in the document (in the order they were added) or free
// copies, which live until DBDestroyList or DBDestroyObject. Undo steps record what changed
// between UNOpenStep and UNCloseStep. Reentrant.
class Document final : public IObjectDatabase {
 public:
  Document() = default;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Building a job in code; each returns the new handle of an object in the document.
  uint64 AddPath(std::vector<PathSegment> segments);
  // A registration mark covering the area (minimum and maximum x and y are read).
  uint64 AddRegMark(const BOUNDS& area);
  // A bitmap object from 8-bit BGR pixels, lower left corner at (x, y), widthDoc x heightDoc
  // document units; 0 for empty pixels or a size not above 0.
  uint64 AddBitmapObject(const cv::Mat& bgr, double x, double y, double widthDoc, double heightDoc);

  // Inspection.
  const std::vector<uint64>& Objects() const { return m_order; }
  const std::vector<uint64>& SelectedObjects() const { return m_selection; }
  const DocObject* Find(uint64 h) const;
  std::size_t LiveObjectCount() const { return m_objects.size(); }
  int RedrawCount(uint64 h) const;
  int SelectionNotifications() const { return m_selectionNotifications; }
  std::vector<std::string> StepNames() const;
  // Undoes the most recent closed step; false when there is none.
  bool Undo();

  // Replaces the whole content (used by loading). Objects are all placed in the document in the
  // given order; selection and undo history start empty except for the given selection.
  void Reset(std::vector<std::pair<uint64, DocObject>> objects, std::vector<uint64> selection);

  // A bitmap from NewBitmap becomes an object here (not yet in the document); its handle.
  uint64 AttachBitmap(std::shared_ptr<HostBitmap> bitmap);

  // IObjectDatabase
  bool IsRegMark(uint64 h) override;
  uint64 CopyObject(uint64 h) override;
  void DestroyList(CQvSimpleList<uint64>& list) override;
  void DestroyObject(uint64 h) override;
  bool GetBounds(uint64 h, BOUNDS* bounds) override;
  void ApplyTM(uint64 h, const TM& tm) override;
  bool GetObjectTM(uint64 h, TM* tm) override;
  void InvalidateBounds(uint64 h) override;
  void ValidateBounds(uint64 h) override;
  ELEMENT* GetElement(uint64 h) override;
  uint64 OpenStep(const std::string& name) override;
  void CloseStep(uint64 step) override;
  void AddToDocument(uint64 h) override;
  void DeselectAll() override;
  void Select(uint64 h) override;
  void NotifySelectionChanged() override;
  std::vector<uint64> Selection() override { return m_selection; }
  uint64 Weld(const CQvSimpleList<uint64>& list) override;
  uint64 CreateRegMark(NewWorldPt centre, double width, double height) override;
  void InvalidateObject(uint64 h, int how) override;
  CQvBitmap* NewBitmap() override;

 private:
  struct ElementHolder {
    ELEMENT element;
    GENERIC_ITEM generic;
    POLYARC polyarc;
  };
  // One object's state before and after a step; nothing means it did not exist.
  struct Change {
    uint64 handle = 0;
    std::optional<DocObject> before;
    std::optional<DocObject> after;
  };
  struct Step {
    uint64 id = 0;
    std::string name;
    std::vector<Change> changes;
  };
  struct OpenStepState {
    uint64 id = 0;
    std::string name;
    std::map<uint64, DocObject> objects;
    std::vector<uint64> order;
  };

  DocObject* Get(uint64 h);
  uint64 Insert(DocObject object, bool inDocument);
  void Erase(uint64 h);

  std::map<uint64, DocObject> m_objects;
  std::vector<uint64> m_order;
  std::vector<uint64> m_selection;
  int m_selectionNotifications = 0;
  std::map<uint64, int> m_redraws;
  std::map<uint64, std::unique_ptr<ElementHolder>> m_elements;
  std::vector<std::shared_ptr<HostBitmap>> m_newBitmaps;
  std::optional<OpenStepState> m_openStep;
  std::vector<Step> m_steps;
  uint64 m_nextHandle = 1;
  uint64 m_nextStep = 1;
};

// The rectangle a bitmap object covers before its transform: origin and real size.
BOUNDS BitmapRect(const HostBitmap& bitmap);

}  // namespace kx

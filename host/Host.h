// The host's services as interfaces, and the one installed host every window reaches them through.
// Threads: as each service says: the object database is bound to the window's thread; settings and
// translation are thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Bounds.h"
#include "common/TM.h"
#include "host/HostObjects.h"
#include "host/ObjectList.h"

class CQvBitmap;

namespace kx {

// The object database and document of the host. Handles are 64-bit, 0 is none; every operation
// accepts unknown handles and then does nothing (results 0, false or null). Coordinates are
// document units, y up. Bound to the thread of the window
// using it.
class IObjectDatabase {
 public:
  virtual ~IObjectDatabase() = default;

  virtual bool IsRegMark(uint64 h) = 0;
  // A free copy of h: a new object outside the document, independent of h.
  virtual uint64 CopyObject(uint64 h) = 0;
  // Destroys the free copies among the list's members and empties the list.
  virtual void DestroyList(CQvSimpleList<uint64>& list) = 0;
  // Destroys h, removing it from the document and the selection.
  virtual void DestroyObject(uint64 h) = 0;
  // Bounds of h; false and a zeroed record for an unknown handle.
  virtual bool GetBounds(uint64 h, BOUNDS* bounds) = 0;
  // Transforms h in place; its bounds follow.
  virtual void ApplyTM(uint64 h, const TM& tm) = 0;
  // The transform applied to h since it was made (identity for a new object).
  virtual bool GetObjectTM(uint64 h, TM* tm) = 0;
  virtual void InvalidateBounds(uint64 h) = 0;
  virtual void ValidateBounds(uint64 h) = 0;
  virtual ELEMENT* GetElement(uint64 h) = 0;

  // Undo steps: everything the document gains, loses or changes between open and close is one
  // step. Returns the step's id (0 when a step is already open).
  virtual uint64 OpenStep(const std::string& name) = 0;
  virtual void CloseStep(uint64 step) = 0;
  // Adds an object (made by a bitmap's CreateObject, or a free copy) to the document.
  virtual void AddToDocument(uint64 h) = 0;

  virtual void DeselectAll() = 0;
  virtual void Select(uint64 h) = 0;
  virtual void NotifySelectionChanged() = 0;
  // The selected objects in the order they were selected.
  virtual std::vector<uint64> Selection() = 0;

  // Welds the paths of the list into one new free path object; 0 when the list holds no path.
  virtual uint64 Weld(const CQvSimpleList<uint64>& list) = 0;
  // A new image registration mark in the document covering width x height around centre; 0 for a
  // size not above 0.
  virtual uint64 CreateRegMark(NewWorldPt centre, double width, double height) = 0;
  // Records a redraw request for h.
  virtual void InvalidateObject(uint64 h, int how) = 0;
  // A new empty bitmap owned by the database.
  virtual CQvBitmap* NewBitmap() = 0;
};

// Which settings file a read or write goes to: section settings use the caller's store type (the
// module always passes 1); device settings have a store of their own.
inline constexpr int kDeviceStore = -1;

// Text settings by store, section and key. Thread-safe.
class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;
  // The stored text, or nothing when the key is absent.
  virtual std::optional<std::string> Read(int store, std::string_view section,
                                          std::string_view key) = 0;
  // Stores the value; false when it could not be written (the stored values are then unchanged).
  virtual bool Write(int store, std::string_view section, std::string_view key,
                     std::string_view value) = 0;
};

// The translation service. Thread-safe.
class ITranslator {
 public:
  virtual ~ITranslator() = default;
  // Texts starting "(*v*)" are keys: their translation, or the text after the prefix when the
  // catalog lacks the key. Any other text comes back unchanged.
  virtual std::string Translate(std::string_view text) = 0;
};

// The host application as the module sees it.
class IHost {
 public:
  virtual ~IHost() = default;
  virtual IObjectDatabase& Database() = 0;
  virtual ISettingsStore& Settings() = 0;
  virtual ITranslator& Translator() = 0;
  // Cuts the paths of the list, through tm first when tm is not null; returns once the moves are
  // handed to the cutter driver. False when the host has no cutter or the cutter refused a move.
  virtual bool CutSection(const CQvSimpleList<uint64>& list, const TM* tm) = 0;
};

// The installed host, null until one is installed. The caller keeps ownership; install nullptr
// before destroying it. Without a host every call of the surface does nothing and reads give their
// defaults.
IHost* Host();
void InstallHost(IHost* host);

// Installs a host for the lifetime of the scope and restores the previous one afterwards.
class ScopedHost {
 public:
  explicit ScopedHost(IHost* host) : m_previous(Host()) { InstallHost(host); }
  ~ScopedHost() { InstallHost(m_previous); }
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;

 private:
  IHost* m_previous;
};

}  // namespace kx

// The embedded default host: document, settings, translation, cutting and resources in one
// installable object.
#include "embedded/EmbeddedHost.h"

#include "embedded/CutMachine.h"
#include "host/QvBitmap.h"
#include "host/Translation.h"
#include "platform/Operator.h"
#include "platform/Render.h"

namespace kx {

namespace {

// A new bitmap as the database hands it out: making its object adds to the document, and once it
// has one a front end may read it, so every call holds the document lock.
class LockedBitmap final : public CQvBitmap {
  template <typename F>
  auto Locked(F call) const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return call();
  }

 public:
  LockedBitmap(CQvBitmap& bitmap, std::recursive_mutex& mutex) : m_bitmap(bitmap), m_mutex(mutex) {}

  double GetRealWidth() const override { return Locked([&] { return m_bitmap.GetRealWidth(); }); }
  double GetRealHeight() const override {
    return Locked([&] { return m_bitmap.GetRealHeight(); });
  }
  uint64 CreateObject(int layer, bool select, int flags, uint64* handle) override {
    return Locked([&] { return m_bitmap.CreateObject(layer, select, flags, handle); });
  }
  void SetRealWidth(double width) override {
    Locked([&] { m_bitmap.SetRealWidth(width); });
  }
  void SetRealHeight(double height) override {
    Locked([&] { m_bitmap.SetRealHeight(height); });
  }
  bool Create(const BITMAPINFOHEADER* header, const BYTE* bits) override {
    return Locked([&] { return m_bitmap.Create(header, bits); });
  }
  int Width() const override { return Locked([&] { return m_bitmap.Width(); }); }
  int Height() const override { return Locked([&] { return m_bitmap.Height(); }); }
  bool Resample(int w, int h, int mode, int flag) override {
    return Locked([&] { return m_bitmap.Resample(w, h, mode, flag); });
  }
  int CopyDataBits(BYTE** bits) const override {
    return Locked([&] { return m_bitmap.CopyDataBits(bits); });
  }
  void MapRealToBitmap(double x, double y, int* px, int* py, bool clamp) const override {
    Locked([&] { m_bitmap.MapRealToBitmap(x, y, px, py, clamp); });
  }

 private:
  CQvBitmap& m_bitmap;
  std::recursive_mutex& m_mutex;
};

}  // namespace

// The document as the windows reach it: each call holds the document lock.
class EmbeddedHost::LockedDatabase final : public IObjectDatabase {
  template <typename F>
  auto Locked(F call) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return call();
  }

 public:
  LockedDatabase(Document& document, std::recursive_mutex& mutex)
      : m_document(document), m_mutex(mutex) {}

  bool IsRegMark(uint64 h) override { return Locked([&] { return m_document.IsRegMark(h); }); }
  uint64 CopyObject(uint64 h) override { return Locked([&] { return m_document.CopyObject(h); }); }
  void DestroyList(CQvSimpleList<uint64>& list) override {
    Locked([&] { m_document.DestroyList(list); });
  }
  void DestroyObject(uint64 h) override {
    Locked([&] { m_document.DestroyObject(h); });
  }
  bool GetBounds(uint64 h, BOUNDS* bounds) override {
    return Locked([&] { return m_document.GetBounds(h, bounds); });
  }
  void ApplyTM(uint64 h, const TM& tm) override {
    Locked([&] { m_document.ApplyTM(h, tm); });
  }
  bool GetObjectTM(uint64 h, TM* tm) override {
    return Locked([&] { return m_document.GetObjectTM(h, tm); });
  }
  void InvalidateBounds(uint64 h) override {
    Locked([&] { m_document.InvalidateBounds(h); });
  }
  void ValidateBounds(uint64 h) override {
    Locked([&] { m_document.ValidateBounds(h); });
  }
  ELEMENT* GetElement(uint64 h) override {
    return Locked([&] { return m_document.GetElement(h); });
  }
  uint64 OpenStep(const std::string& name) override {
    return Locked([&] { return m_document.OpenStep(name); });
  }
  void CloseStep(uint64 step) override {
    Locked([&] { m_document.CloseStep(step); });
  }
  void AddToDocument(uint64 h) override {
    Locked([&] { m_document.AddToDocument(h); });
  }
  void DeselectAll() override {
    Locked([&] { m_document.DeselectAll(); });
  }
  void Select(uint64 h) override {
    Locked([&] { m_document.Select(h); });
  }
  void NotifySelectionChanged() override {
    Locked([&] { m_document.NotifySelectionChanged(); });
  }
  std::vector<uint64> Selection() override {
    return Locked([&] { return m_document.Selection(); });
  }
  uint64 Weld(const CQvSimpleList<uint64>& list) override {
    return Locked([&] { return m_document.Weld(list); });
  }
  uint64 CreateRegMark(NewWorldPt centre, double width, double height) override {
    return Locked([&] { return m_document.CreateRegMark(centre, width, height); });
  }
  void InvalidateObject(uint64 h, int how) override {
    Locked([&] { m_document.InvalidateObject(h, how); });
  }
  // The bitmap is the document's; the front handed out with it lives as long as this host.
  CQvBitmap* NewBitmap() override {
    return Locked([&]() -> CQvBitmap* {
      CQvBitmap* bitmap = m_document.NewBitmap();
      if (!bitmap) return nullptr;
      m_bitmaps.push_back(std::make_unique<LockedBitmap>(*bitmap, m_mutex));
      return m_bitmaps.back().get();
    });
  }

 private:
  Document& m_document;
  std::recursive_mutex& m_mutex;
  std::vector<std::unique_ptr<LockedBitmap>> m_bitmaps;
};

EmbeddedHost::EmbeddedHost(const EmbeddedHostOptions& options)
    : m_database(std::make_unique<LockedDatabase>(m_document, m_documentMutex)),
      m_settings(options.configFolder),
      m_translator(options.catalogFolder, options.language) {
  // Whoever changed a setting learns at once that it was not kept, before anything goes on
  // with values the next start would not see.
  m_settings.SetFailureReporter([](const std::string& what) {
    const std::string text =
        "The settings could not be saved:\n" + what + "\nThe new values were not stored.";
    ::MessageBox(nullptr, text.c_str(), "Settings", MB_OK | MB_ICONERROR);
  });
}

EmbeddedHost::~EmbeddedHost() {
  if (Host() == this) {
    InstallHost(nullptr);
    SetDisplayTextFilter(nullptr);
  }
  if (kx::Resources() == &m_resources) InstallResources(nullptr);
}

void EmbeddedHost::Install() {
  InstallHost(this);
  InstallResources(&m_resources);
  // Windows show what a person reads: "(*v*)" keys through the translation service.
  SetDisplayTextFilter([](const std::string& text) { return Translate(text); });
}

IObjectDatabase& EmbeddedHost::Database() { return *m_database; }

// The lock is held while the moves are handed over: the cutter driver takes them without waiting
// for the head.
bool EmbeddedHost::CutSection(const CQvSimpleList<uint64>& list, const TM* tm) {
  std::lock_guard<std::recursive_mutex> lock(m_documentMutex);
  return kx::CutSection(m_document, list, tm) >= 0;
}

}  // namespace kx

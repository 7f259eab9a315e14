// What the served page drives: the embedded host on the simulated machine in real time (or on the
// configured real devices), the job document, and the module's windows, each on a user-interface
// thread of its own.
#include "web/ServeSession.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include <opencv2/imgproc.hpp>

#include "acquire/KestrixAcquireDialog.h"
#include "common/Log.h"
#include "embedded/DocFile.h"
#include "host/ResourceIds.h"
#include "platform/Clock.h"
#include "platform/WinThread.h"
#include "platform/WindowList.h"
#include "run/KestrixThread.h"
#include "scenario/SetupScript.h"
#include "sim/WorldImages.h"
#include "sim/WorldSetup.h"

namespace kx {

namespace {

// A user-interface thread that shows one modal window and ends when it is closed.
class ModalThread final : public CWinThread {
 public:
  explicit ModalThread(std::function<void()> show) : m_show(std::move(show)) {}
  BOOL InitInstance() override {
    m_show();
    return FALSE;
  }

 private:
  std::function<void()> m_show;
};

// The run dialog on its thread, as the host starts it. The dialog only hides when the user closes
// it; the host ends the thread then (Tidy), which destroys the dialog.
class ServedRunThread final : public CKestrixThread {
 public:
  ServedRunThread(ObjList jobList, uint64 imageObject, std::shared_ptr<std::atomic<HWND>> dialog)
      : CKestrixThread(IDD_KESTRIX_RUN, nullptr, std::move(jobList), imageObject),
        m_dialog(std::move(dialog)) {}
  BOOL InitInstance() override {
    const BOOL ok = CKestrixThread::InitInstance();
    if (m_pMainWnd) m_dialog->store(m_pMainWnd->m_hWnd);
    return ok;
  }

 private:
  std::shared_ptr<std::atomic<HWND>> m_dialog;
};

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool JobFilePath(const std::filesystem::path& jobDir, const std::string& name,
                 std::filesystem::path* path, std::string* error) {
  if (name.empty()) return Fail(error, "the file name is empty");
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return Fail(error, "the file name holds a control character");
    if (c == '/' || c == '\\')
      return Fail(error,
                  "\"" + name + "\" is not a plain file name: documents stay in the job folder");
  }
  if (name == "." || name == "..")
    return Fail(error,
                "\"" + name + "\" is not a plain file name: documents stay in the job folder");
  if (name.size() < 6 || name.compare(name.size() - 5, 5, ".json") != 0)
    return Fail(error, "\"" + name + "\" does not end in .json");
  if (path) *path = jobDir / name;
  return true;
}

ServeSession::ServeSession(const ServeOptions& options) : m_options(options) {
  std::filesystem::create_directories(m_options.configDir);
  const bool calibrated = std::filesystem::exists(m_options.configDir / "settings.ini");
  EmbeddedHostOptions hostOptions;
  hostOptions.configFolder = m_options.configDir;
  m_host = std::make_unique<EmbeddedHost>(hostOptions);
  m_host->Install();
  m_machine = std::make_unique<SimMachine>(m_options.world);
  // The world's calibration stands in for one only where the simulated camera is the camera; a
  // bad "Port Setup" is said when the devices are opened.
  PortSetup ports;
  std::string portError;
  const bool simulated = !ReadPortSetup(&ports, &portError) || (!ports.serial && !ports.camera);
  if (!calibrated && simulated)
    StoreSetupSettings(m_machine->GetWorld(), ResolveSetup(m_machine->GetWorld()));
  const JobDescription job = MakeJob(m_machine->GetWorld());
  m_job = BuildJobDocument(job, m_host->Doc());
  PlaceHead(job);
}

std::unique_ptr<ServeSession> ServeSession::Open(const ServeOptions& options, std::string* error) {
  auto session = std::make_unique<ServeSession>(options);
  if (!session->OpenDevices(error)) return nullptr;
  return session;
}

bool ServeSession::OpenDevices(std::string* error) {
  PortSetup ports;
  if (!ReadPortSetup(&ports, error)) return false;
  if (!ports.serial && !ports.camera) return true;
  m_devices = ConfiguredDevices::Open(false, error);
  if (!m_devices) return false;
  std::string text;
  if (ports.serial) text = "the cutter on " + ports.cutter.port.path;
  if (ports.camera)
    text += (text.empty() ? "" : " and ") + std::string("the camera ") + ports.video.source;
  if (!ports.serial || !ports.camera) text += " (the rest simulated)";
  m_devicesText = text;
  Log(LogLevel::Info, LogCategory::Web, "serving on " + text);
  return true;
}

std::string ServeSession::MachineName() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_devices) return m_devicesText;
  return m_options.worldName + " on the simulated machine";
}

void ServeSession::PlaceHead(const JobDescription& job) {
  if (job.marks.empty()) return;
  const cv::Rect2d& mark = job.marks.front();
  const cv::Point2d head = m_machine->GetWorld().HeadForCameraAt(
      m_machine->GetWorld().BedFromDoc(0, {mark.x + mark.width / 2, mark.y + mark.height / 2}));
  m_machine->Cutter().sendxyNoW(std::lround(head.x), std::lround(head.y), kMoveTravel);
}

ServeSession::~ServeSession() {
  CloseWindows();
  m_devices.reset();
  m_machine.reset();
  m_job = JobInDocument{};
  m_host.reset();
}

void ServeSession::Tidy() {
  std::lock_guard<std::mutex> lock(m_mutex);
  TidyLocked();
}

void ServeSession::TidyLocked() {
  std::vector<HWND> shown;
  for (const ShownWindow& w : ShownWindows()) shown.push_back(w.hwnd);
  for (const Served& t : m_threads) {
    const HWND dialog = t.dialog ? t.dialog->load() : nullptr;
    if (dialog && std::find(shown.begin(), shown.end(), dialog) == shown.end() &&
        !ThreadEnded(t.id))
      PostThreadMessage(t.id, WM_QUIT, 0, 0);
  }
}

bool ServeSession::IsOpen(const std::string& name) {
  TidyLocked();
  for (auto it = m_threads.begin(); it != m_threads.end();) {
    if (!ThreadEnded(it->id)) {
      if (it->name == name) return true;
      ++it;
    } else {
      WaitForThread(it->id);
      it = m_threads.erase(it);
    }
  }
  return false;
}

bool ServeSession::Command(const std::string& name, const std::string& file, std::string* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (name == kCommandRun) return OpenRun(error);
  if (name == kCommandSetup || name == kCommandAcquire) return OpenModal(name, error);
  if (name == kCommandOpen || name == kCommandSave) {
    std::filesystem::path path;
    if (!JobFilePath(m_options.jobDir, file, &path, error)) return false;
    return name == kCommandOpen ? OpenDocument(path, file, error) : SaveDocument(path, error);
  }
  return Fail(error, "unknown command \"" + name + "\"");
}

bool ServeSession::OpenRun(std::string* error) {
  if (IsOpen(kCommandRun)) return Fail(error, "the run dialog is already open");
  auto dialog = std::make_shared<std::atomic<HWND>>(nullptr);
  auto* thread = new ServedRunThread(m_job.jobList, m_job.imageObject, dialog);
  thread->CreateThread();
  m_threads.push_back(Served{kCommandRun, thread->m_nThreadID, dialog});
  return true;
}

bool ServeSession::OpenModal(const std::string& name, std::string* error) {
  if (IsOpen(name)) return Fail(error, "the " + name + " window is already open");
  std::function<void()> show;
  if (name == kCommandSetup) {
    show = [] {
      SetupSheet sheet;
      sheet.DoModal();
    };
  } else {
    show = [] {
      CKestrixAcquireDialog dialog;
      dialog.DoModal();
    };
  }
  auto* thread = new ModalThread(std::move(show));
  thread->CreateThread();
  m_threads.push_back(Served{name, thread->m_nThreadID, nullptr});
  return true;
}

bool ServeSession::AnyOpenLocked() {
  TidyLocked();
  return std::any_of(m_threads.begin(), m_threads.end(),
                     [](const Served& t) { return !ThreadEnded(t.id); });
}

bool ServeSession::OpenDocument(const std::filesystem::path& path, const std::string& name,
                                std::string* error) {
  if (!MayReplaceDocument(error)) return false;
  const auto lock = m_host->LockDocument();
  if (!LoadDocument(m_host->Doc(), path, error)) {
    // The file's errors, told with the name the user knows it by.
    if (error && path.filename() != name) {
      const std::string where = path.string();
      for (std::size_t at = 0; (at = error->find(where, at)) != std::string::npos;) {
        error->replace(at, where.size(), name);
        at += name.size();
      }
    }
    return false;
  }
  AdoptDocument();
  return true;
}

bool ServeSession::MayReplaceDocument(std::string* error) {
  // The run and acquire windows hold handles of the open document.
  if (!m_threads.empty() && (IsOpen(kCommandRun) || IsOpen(kCommandAcquire)))
    return Fail(error, "close the run and acquire windows before opening another document");
  return true;
}

void ServeSession::AdoptDocument() {
  const Document& doc = m_host->Doc();
  JobInDocument job;
  job.jobList = DBCreateEmptyList();
  for (const uint64 h : doc.Objects()) {
    const DocObject* o = doc.Find(h);
    if (!o) continue;
    if (o->kind == ObjectKind::Bitmap && job.imageObject == 0) job.imageObject = h;
    if (o->kind == ObjectKind::RegMark && job.marks.size() < 3) job.marks.push_back(h);
    if (o->kind == ObjectKind::Path) job.paths.push_back(h);
  }
  for (const uint64 h : job.marks) DBAddToList(job.jobList, h);
  for (const uint64 h : job.paths) DBAddToList(job.jobList, h);
  m_job = std::move(job);
}

bool ServeSession::SaveDocument(const std::filesystem::path& path, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(m_options.jobDir, ec);
  const auto lock = m_host->LockDocument();
  return kx::SaveDocument(m_host->Doc(), path, error);
}

bool ServeSession::OpenUploaded(const std::string& name, const std::string& content,
                                std::string* error) {
  if (content.size() > kMaxUploadBytes)
    return Fail(error, "document " + name + ": " + std::to_string(content.size()) +
                           " bytes is more than the " + std::to_string(kMaxUploadBytes) +
                           " bytes a document may have");
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!MayReplaceDocument(error)) return false;
  const auto documentLock = m_host->LockDocument();
  if (!ParseDocumentText(m_host->Doc(), content, name, error)) return false;
  AdoptDocument();
  return true;
}

bool ServeSession::DocumentText(std::string* text, std::string* error) {
  const auto lock = m_host->LockDocument();
  return WriteDocumentText(m_host->Doc(), text, error);
}

bool ServeSession::NewWorld(const std::string& file, int columns, int rows, std::string* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_devices) return Fail(error, "the session runs on real devices: there is no world to change");
  if (AnyOpenLocked())
    return Fail(error, "close every window before making a new world (the machine is in use)");
  WorldOptions world = m_options.world;
  std::string name;
  if (!file.empty()) {
    std::filesystem::path path;
    if (!JobFilePath(m_options.jobDir, file, &path, error)) return false;
    const bool read = m_options.readWorld ? m_options.readWorld(path, &world, error)
                                          : LoadWorldFile(path.string(), &world, error);
    if (!read) return false;
    name = file;
  } else {
    world.copies.columns = columns;
    world.copies.rows = rows;
    name = m_options.worldName + " with " + std::to_string(columns) + " x " +
           std::to_string(rows) + " copies";
  }
  const std::string invalid = ValidateWorldOptions(world);
  if (!invalid.empty()) return Fail(error, name + ": " + invalid);
  {
    // The old machine goes first: it gives the driver and the camera back as it found them.
    std::lock_guard<std::mutex> machineLock(m_machineMutex);
    m_machine.reset();
    m_machine = std::make_unique<SimMachine>(world);
  }
  const JobDescription job = MakeJob(m_machine->GetWorld());
  {
    const auto documentLock = m_host->LockDocument();
    m_host->Doc().Reset({}, {});
    m_job = BuildJobDocument(job, m_host->Doc());
  }
  PlaceHead(job);
  m_options.world = world;
  m_options.worldName = name;
  Log(LogLevel::Info, LogCategory::Web, "new world: " + name);
  return true;
}

cv::Mat ServeSession::JobPicture(int width) const {
  const auto lock = m_host->LockDocument();
  const Document& doc = m_host->Doc();
  // Every object's outline in document units, and the bounds of them all.
  struct Outline {
    ObjectKind kind;
    std::vector<std::vector<cv::Point2d>> lines;
    const DocObject* object;
  };
  std::vector<Outline> outlines;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  bool first = true;
  auto grow = [&](cv::Point2d p) {
    minX = first ? p.x : std::min(minX, p.x);
    maxX = first ? p.x : std::max(maxX, p.x);
    minY = first ? p.y : std::min(minY, p.y);
    maxY = first ? p.y : std::max(maxY, p.y);
    first = false;
  };
  for (const uint64 handle : doc.Objects()) {
    const DocObject* o = doc.Find(handle);
    if (!o) continue;
    Outline outline{o->kind, {}, o};
    if (o->kind == ObjectKind::Path) {
      for (const std::vector<POLYPOINT>& sub : FlattenPath(o->segments)) {
        std::vector<cv::Point2d> line;
        for (const POLYPOINT& p : sub) line.emplace_back(p.x, p.y);
        outline.lines.push_back(std::move(line));
      }
    } else if (o->kind == ObjectKind::RegMark) {
      std::vector<cv::Point2d> line;
      for (const NewWorldPt& p : o->corners) line.emplace_back(p.x, p.y);
      outline.lines.push_back(std::move(line));
    } else if (o->bitmap) {
      const NewWorldPt at = o->bitmap->Origin();
      const double w = o->bitmap->GetRealWidth();
      const double h = o->bitmap->GetRealHeight();
      std::vector<cv::Point2d> line;
      for (const NewWorldPt& p : {NewWorldPt{at.x, at.y}, NewWorldPt{at.x + w, at.y},
                                  NewWorldPt{at.x + w, at.y + h}, NewWorldPt{at.x, at.y + h}}) {
        const NewWorldPt q = o->tm.Map(p);
        line.emplace_back(q.x, q.y);
      }
      outline.lines.push_back(std::move(line));
    }
    for (const auto& line : outline.lines)
      for (const cv::Point2d& p : line) grow(p);
    outlines.push_back(std::move(outline));
  }
  if (first || width < 16) return {};
  const double margin = 8.0;
  // As wide as asked, and at most twice as high.
  const double scale = (width - 2 * margin) / std::max({maxX - minX, (maxY - minY) / 2, 1e-9});
  const int height = std::min(2 * width, static_cast<int>((maxY - minY) * scale + 2 * margin) + 1);
  cv::Mat picture(height, width, CV_8UC3, cv::Scalar(255, 255, 255));
  // Document (y up) to picture (y down).
  const cv::Matx33d pictureFromDoc(scale, 0, margin - minX * scale, 0, -scale,
                                   margin + maxY * scale, 0, 0, 1);
  auto toPicture = [&](cv::Point2d p) {
    const cv::Vec3d q = pictureFromDoc * cv::Vec3d(p.x, p.y, 1);
    return cv::Point(static_cast<int>(std::lround(q[0] * 16)),
                     static_cast<int>(std::lround(q[1] * 16)));
  };
  for (const Outline& o : outlines) {
    if (o.kind != ObjectKind::Bitmap) continue;
    const HostBitmap& bitmap = *o.object->bitmap;
    const cv::Mat& pixels = bitmap.Original();
    if (pixels.empty()) continue;
    // Bitmap pixels (top row first) to document units: the rectangle from the origin, then tm.
    const cv::Matx33d docFromPixel =
        cv::Matx33d(o.object->tm.m11, o.object->tm.m21, o.object->tm.dx, o.object->tm.m12,
                    o.object->tm.m22, o.object->tm.dy, 0, 0, 1) *
        cv::Matx33d(bitmap.GetRealWidth() / pixels.cols, 0, bitmap.Origin().x, 0,
                    -bitmap.GetRealHeight() / pixels.rows,
                    bitmap.Origin().y + bitmap.GetRealHeight(), 0, 0, 1);
    const cv::Matx33d m = pictureFromDoc * docFromPixel;
    const cv::Matx23d affine(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2));
    cv::warpAffine(pixels, picture, affine, picture.size(), cv::INTER_AREA,
                   cv::BORDER_TRANSPARENT);
  }
  for (const Outline& o : outlines) {
    if (o.kind == ObjectKind::Bitmap) continue;
    const bool mark = o.kind == ObjectKind::RegMark;
    for (const auto& line : o.lines) {
      std::vector<cv::Point> points;
      for (const cv::Point2d& p : line) points.push_back(toPicture(p));
      cv::polylines(picture, points, mark, mark ? cv::Scalar(200, 60, 0) : cv::Scalar(0, 0, 220),
                    mark ? 2 : 1, cv::LINE_AA, 4);
    }
  }
  return picture;
}

cv::Mat ServeSession::BedPicture() const {
  std::lock_guard<std::mutex> lock(m_machineMutex);
  if (m_devices) return {};
  const std::int64_t now = Clock().NowMicros();
  const SimCutter& cutter = m_machine->Cutter();
  return RenderBed(m_machine->GetWorld(), cutter.KnifeTrace(now), cutter.PositionAt(now));
}

ServeSession::MachineState ServeSession::Machine() const {
  std::lock_guard<std::mutex> lock(m_machineMutex);
  const std::int64_t now = Clock().NowMicros();
  const SimCutter& cutter = m_machine->Cutter();
  const cv::Point2d head = cutter.PositionAt(now);
  return MachineState{
      cv::Point(static_cast<int>(std::lround(head.x)), static_cast<int>(std::lround(head.y))),
      cutter.KnifeTrace(now).size()};
}

void ServeSession::CloseWindows() {
  // A busy window stops the machine before it goes: wait for each, ending the run dialog's
  // thread once its dialog has gone. A window still being made when this starts is asked once
  // it shows.
  std::vector<HWND> asked;
  for (;;) {
    for (const ShownWindow& w : ShownWindows()) {
      if (std::find(asked.begin(), asked.end(), w.hwnd) != asked.end()) continue;
      PostMessage(w.hwnd, WM_CLOSE, 0, 0);
      asked.push_back(w.hwnd);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    TidyLocked();
    if (std::all_of(m_threads.begin(), m_threads.end(),
                    [](const Served& t) { return ThreadEnded(t.id); }))
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const Served& t : m_threads) WaitForThread(t.id);
  m_threads.clear();
}

}  // namespace kx

// What the served page drives: the embedded host on the simulated machine in real time, the job
// document, and the module's windows, each on a user-interface thread of its own.
#include "web/ServeSession.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

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
  if (!calibrated) StoreSetupSettings(m_machine->GetWorld(), ResolveSetup(m_machine->GetWorld()));
  const JobDescription job = MakeJob(m_machine->GetWorld());
  m_job = BuildJobDocument(job, m_host->Doc());
  if (!job.marks.empty()) {
    const cv::Rect2d& mark = job.marks.front();
    const cv::Point2d head = m_machine->GetWorld().HeadForCameraAt(
        m_machine->GetWorld().BedFromDoc(0, {mark.x + mark.width / 2, mark.y + mark.height / 2}));
    m_machine->Cutter().sendxyNoW(std::lround(head.x), std::lround(head.y), kMoveTravel);
  }
}

ServeSession::~ServeSession() {
  CloseWindows();
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
    return name == kCommandOpen ? OpenDocument(path, error) : SaveDocument(path, error);
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

bool ServeSession::OpenDocument(const std::filesystem::path& path, std::string* error) {
  if (!m_threads.empty() && (IsOpen(kCommandRun) || IsOpen(kCommandAcquire)))
    return Fail(error, "close the run and acquire windows before opening another document");
  Document& doc = m_host->Doc();
  if (!LoadDocument(doc, path, error)) return false;
  JobInDocument job;
  job.jobList = DBCreateEmptyList();
  std::vector<uint64> paths;
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
  return true;
}

bool ServeSession::SaveDocument(const std::filesystem::path& path, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(m_options.jobDir, ec);
  return kx::SaveDocument(m_host->Doc(), path, error);
}

cv::Mat ServeSession::BedPicture() const {
  const std::int64_t now = Clock().NowMicros();
  const SimCutter& cutter = m_machine->Cutter();
  return RenderBed(m_machine->GetWorld(), cutter.KnifeTrace(now), cutter.PositionAt(now));
}

ServeSession::MachineState ServeSession::Machine() const {
  const std::int64_t now = Clock().NowMicros();
  const SimCutter& cutter = m_machine->Cutter();
  const cv::Point2d head = cutter.PositionAt(now);
  return MachineState{
      cv::Point(static_cast<int>(std::lround(head.x)), static_cast<int>(std::lround(head.y))),
      cutter.KnifeTrace(now).size()};
}

void ServeSession::CloseWindows() {
  for (const ShownWindow& w : ShownWindows()) PostMessage(w.hwnd, WM_CLOSE, 0, 0);
  // A busy window stops the machine before it goes: wait for each, ending the run dialog's
  // thread once its dialog has gone.
  for (;;) {
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

// What the served page drives: the embedded host on the simulated machine in real time (or on the
// configured real devices), the job document, and the module's windows, each on a user-interface
// thread of its own.
// Threads: thread-safe (commands come from the server's threads; each window lives on its own).
// The job document is read and replaced under the host's document lock (EmbeddedHost), which the
// windows' threads take for each call they make into it; the session's own lock (the job, the
// window threads) is taken before the document lock, never after it.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "devices/PortSetup.h"
#include "embedded/EmbeddedHost.h"
#include "scenario/Scenario.h"
#include "sim/SimMachine.h"
#include "sim/WorldOptions.h"

namespace kx {

struct ServeOptions {
  WorldOptions world;
  std::string worldName = "the built-in demo world";
  // Where the host keeps its settings. Without settings.ini the world's calibration is stored
  // there first, as if the camera had been calibrated.
  std::filesystem::path configDir = "out/config";
  // The job folder: the only folder documents are opened from and saved to.
  std::filesystem::path jobDir = "out";
  // Reads a world file of the job folder for the "world" command; null: a plain world file
  // (docs/world.md) without the run's sections.
  std::function<bool(const std::filesystem::path&, WorldOptions*, std::string*)> readWorld;
};

// The largest document the page may upload.
inline constexpr std::size_t kMaxUploadBytes = 32 * 1024 * 1024;

// The commands of the page's menu.
inline constexpr const char* kCommandRun = "run";          // the registration run dialog
inline constexpr const char* kCommandSetup = "setup";      // the camera setup sheet
inline constexpr const char* kCommandAcquire = "acquire";  // the acquire reference dialog
inline constexpr const char* kCommandOpen = "open";        // open a job document of the job folder
inline constexpr const char* kCommandSave = "save";        // save the job document into it
inline constexpr const char* kCommandWorld = "world";      // a new simulated world

class ServeSession {
 public:
  // Installs the host and the machine (on the system clock, so the head moves in real time) and
  // brings the head, as the operator would with the cutter's own controls, to where the camera
  // looks at the first copy's first mark.
  explicit ServeSession(const ServeOptions& options);
  // Closes every window (as its close box would), waits for their threads and uninstalls.
  ~ServeSession();
  ServeSession(const ServeSession&) = delete;
  ServeSession& operator=(const ServeSession&) = delete;

  // A session on the real devices "Port Setup" of the settings names (the simulated machine
  // stands in for whichever of cutter and camera it leaves out). Null with *error naming the key,
  // the port or the camera that cannot be used; nothing stays installed then.
  static std::unique_ptr<ServeSession> Open(const ServeOptions& options, std::string* error);

  // Runs a menu command; false with *error saying why not (unknown, a window of that kind already
  // open, a bad file name, a document that cannot be read or written). Does not block on the
  // window it opens.
  bool Command(const std::string& name, const std::string& file, std::string* error);

  // Replaces the simulated machine with a new world, and the document with that world's job:
  // the world file file of the job folder when file is not empty, else the present world with
  // columns x rows copies. Refused (false, *error saying why; nothing changed) while a window is
  // open, on real devices, and for a file or a grid that cannot be used. Settings stay as stored.
  bool NewWorld(const std::string& file, int columns, int rows, std::string* error);
  // Makes an uploaded document (name: the user's file name, for messages) the job document, as
  // opening it from the job folder would; nothing is written to the job folder. A document that
  // cannot be read is refused with the same errors as a file, and the open one stays.
  bool OpenUploaded(const std::string& name, const std::string& content, std::string* error);
  // The job document as its file holds it, for downloading. False with *error when it cannot be
  // written.
  bool DocumentText(std::string* text, std::string* error);

  // The job as the document holds it, 8-bit BGR, y up: the reference bitmap, the registration
  // marks (blue) and the cut paths (red), scaled to fit width pixels. Empty for an empty job.
  cv::Mat JobPicture(int width = 480) const;
  // Whether cutter and camera are both the simulated machine's (the bed can be shown).
  bool Simulated() const { return !m_devices; }
  // What the session runs on, for people: the world's name, or the real devices.
  std::string MachineName() const;

  // The bed with the printed sheet, the cuts made so far and the head, 8-bit BGR.
  cv::Mat BedPicture() const;
  // Where the head is (cutter units) and how many cut strokes the knife has made so far.
  struct MachineState {
    cv::Point head;
    std::size_t cutStrokes = 0;
  };
  MachineState Machine() const;
  const ServeOptions& Options() const { return m_options; }

  // Posts WM_CLOSE to every open window and waits until their threads have ended.
  void CloseWindows();
  // Ends the thread of a run dialog the user has closed (called often: the streaming loop).
  void Tidy();

 private:
  bool OpenRun(std::string* error);
  bool OpenModal(const std::string& name, std::string* error);
  bool OpenDocument(const std::filesystem::path& path, const std::string& name,
                    std::string* error);
  bool OpenDevices(std::string* error);
  // Brings the head to where the camera looks at the first copy's first mark.
  void PlaceHead(const JobDescription& job);
  bool AnyOpenLocked();
  bool SaveDocument(const std::filesystem::path& path, std::string* error);
  // False with *error while a window that holds the document's handles is open.
  bool MayReplaceDocument(std::string* error);
  // The document just read becomes the job: the first bitmap, the first three marks, the paths.
  // Call with both locks held.
  void AdoptDocument();
  // Whether the window thread of that name still runs; threads that have ended are forgotten.
  bool IsOpen(const std::string& name);
  void TidyLocked();

  ServeOptions m_options;
  std::unique_ptr<EmbeddedHost> m_host;
  mutable std::mutex m_machineMutex;  // m_machine, which a new world replaces
  std::unique_ptr<SimMachine> m_machine;
  std::unique_ptr<ConfiguredDevices> m_devices;
  std::string m_devicesText;
  mutable std::mutex m_mutex;  // the job and the thread table
  JobInDocument m_job;
  struct Served {
    std::string name;                           // the command that opened it
    DWORD id = 0;                               // framework thread id
    std::shared_ptr<std::atomic<HWND>> dialog;  // the run dialog, once created
  };
  std::vector<Served> m_threads;
};

// The file of the job folder a user's name stands for: a plain file name (no folder part, not
// "." or "..", no control characters) ending in ".json". False with *error naming the problem.
bool JobFilePath(const std::filesystem::path& jobDir, const std::string& name,
                 std::filesystem::path* path, std::string* error);

}  // namespace kx

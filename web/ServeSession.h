// What the served page drives: the embedded host on the simulated machine in real time, the job
// document, and the module's windows, each on a user-interface thread of its own.
// Threads: thread-safe (commands come from the server's threads; each window lives on its own).
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

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
};

// The commands of the page's menu.
inline constexpr const char* kCommandRun = "run";          // the registration run dialog
inline constexpr const char* kCommandSetup = "setup";      // the camera setup sheet
inline constexpr const char* kCommandAcquire = "acquire";  // the acquire reference dialog
inline constexpr const char* kCommandOpen = "open";        // open a job document of the job folder
inline constexpr const char* kCommandSave = "save";        // save the job document into it

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

  // Runs a menu command; false with *error saying why not (unknown, a window of that kind already
  // open, a bad file name, a document that cannot be read or written). Does not block on the
  // window it opens.
  bool Command(const std::string& name, const std::string& file, std::string* error);

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
  bool OpenDocument(const std::filesystem::path& path, std::string* error);
  bool SaveDocument(const std::filesystem::path& path, std::string* error);
  // Whether the window thread of that name still runs; threads that have ended are forgotten.
  bool IsOpen(const std::string& name);
  void TidyLocked();

  ServeOptions m_options;
  std::unique_ptr<EmbeddedHost> m_host;
  std::unique_ptr<SimMachine> m_machine;
  mutable std::mutex m_mutex;  // the document, the job and the thread table
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

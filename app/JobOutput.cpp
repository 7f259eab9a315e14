// What every main job writes: its folders checked before it runs, its files and pictures whole.
#include "app/JobOutput.h"

#include <new>
#include <string_view>
#include <system_error>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "host/AtomicFile.h"

namespace kx {

bool UsableFolder(const std::filesystem::path& folder, std::ostream& err) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    err << "kestrix: " << folder.string() << ": cannot create the output folder: " << ec.message()
        << "\n";
    return false;
  }
  const std::filesystem::path probe = folder / ".kestrix-write-test";
  std::string error;
  if (!WriteFileAtomically(probe, "", &error)) {
    err << "kestrix: " << folder.string() << ": cannot write into the output folder (" << error
        << ")\n";
    return false;
  }
  std::filesystem::remove(probe, ec);
  return true;
}

bool PrepareOutput(const std::filesystem::path& outDir, const std::filesystem::path& config,
                   std::ostream& err) {
  if (outDir.empty()) {
    err << "kestrix: the output folder has no name\n";
    return false;
  }
  return UsableFolder(outDir, err) && UsableFolder(config, err);
}

bool WriteText(const std::filesystem::path& path, const std::string& text, std::ostream& err) {
  std::string error;
  if (WriteFileAtomically(path, text, &error)) return true;
  err << "kestrix: " << error << "\n";
  return false;
}

bool WritePng(const std::filesystem::path& path, const std::function<cv::Mat()>& render,
              std::ostream& err) {
  std::vector<unsigned char> bytes;
  std::string what;
  try {
    const cv::Mat image = render();
    if (image.empty())
      what = "there is nothing to draw";
    else if (!cv::imencode(".png", image, bytes))
      what = "cannot encode the picture";
  } catch (const cv::Exception& e) {
    what = std::string("cannot make the picture: ") + e.what();
  } catch (const std::bad_alloc&) {
    what = "cannot make the picture: out of memory";
  }
  if (what.empty()) {
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (WriteFileAtomically(path, view, &what)) return true;
    err << "kestrix: " << what << "\n";
    return false;
  }
  err << "kestrix: " << path.string() << ": " << what << "\n";
  return false;
}

}  // namespace kx

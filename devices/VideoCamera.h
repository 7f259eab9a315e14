// A real camera behind the camera interface: OpenCV video capture (V4L2) by index or device path,
// or a video file or an image sequence replayed, turned to the module's 480 x 640 portrait frame.
// Threads: thread-safe; frames are delivered on the camera's own thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "host/Camera.h"
#include "host/FrameSinkList.h"

namespace kx {

struct VideoCameraOptions {
  // A device index ("0"), a device path ("/dev/video0"), a video file, or an image sequence
  // ("frames/%04d.png").
  std::string source = "0";
  int rotation = 90;         // clockwise degrees, 0, 90, 180 or 270, applied before mirroring
  bool mirror = false;       // left and right swapped after the rotation
  double replayRate = 15.0;  // frames a second for a file or a sequence
};

// The six camera values of the setup page ("Kestrix Setup").
struct CameraValues {
  int autoWhiteBalance = 0;
  int gammaMode = 0;
  int gain = 0;
  int sharpness = 0;
  int gamma = 0;
  int alcMode = 0;  // 0 Fixed AGC Off, 1 Full Auto AGC On, 2 Full Auto AGC Off, 3 Fixed AGC On
};

// The stored values, read through the installed host's settings.
CameraValues StoredCameraValues();

// A captured image turned to the module's frame: rotated, mirrored, then resized to 480 x 640
// when it is not that size already (a 4:3 camera turned a quarter fits exactly), 3 channels BGR.
cv::Mat PortraitFrame(const cv::Mat& captured, int rotation, bool mirror);

class VideoCamera final : public ICamera {
 public:
  explicit VideoCamera(VideoCameraOptions options);
  ~VideoCamera() override;
  VideoCamera(const VideoCamera&) = delete;
  VideoCamera& operator=(const VideoCamera&) = delete;

  // Opens the source; false with *error naming it when it cannot be opened or read.
  bool Open(std::string* error);
  // Whether the source is a live device (as opposed to a file or sequence replayed).
  bool Live() const { return m_live; }

  void AddSink(FrameCallback callback, void* context) override;
  void RemoveSink(void* context) override;

  // Sets the values on the device where it has a control for them and reads each back. Returns
  // the names of those that could not be applied (also logged once, in one line).
  std::vector<std::string> Apply(const CameraValues& values);

  // Grabs the newest frame and delivers it to the sinks on the calling thread. False at the end
  // of a replay or when the device gives nothing. Blocks for the capture.
  bool DeliverNext();
  // The camera thread: DeliverNext in a loop (a replay paced at its rate) until Stop or the end.
  void Start();
  void Stop();

 private:
  void Run();

  VideoCameraOptions m_opts;
  std::mutex m_captureMutex;
  cv::VideoCapture m_capture;
  bool m_live = false;
  FrameSinkList m_sinks;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  cv::Mat m_frame;  // the frame being delivered, kept so the bytes outlive the callbacks
};

}  // namespace kx

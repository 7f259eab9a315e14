// A real camera through OpenCV's video capture.
#include "devices/VideoCamera.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Log.h"
#include "host/Settings.h"

namespace kx {
namespace {

// A source that is all digits is a device index.
bool IsIndex(const std::string& source, int* index) {
  if (source.empty() || source.find_first_not_of("0123456789") != std::string::npos) return false;
  *index = std::atoi(source.c_str());
  return true;
}

}  // namespace

CameraValues StoredCameraValues() {
  CameraValues v;
  v.autoWhiteBalance = GetIntMorvane("Kestrix Setup", "Auto White Balance", 0, 1) != 0 ? 1 : 0;
  v.gammaMode = GetIntMorvane("Kestrix Setup", "Gamma Mode", 0, 1) != 0 ? 1 : 0;
  v.gain = GetIntMorvane("Kestrix Setup", "Gain", 0, 1);
  v.sharpness = GetIntMorvane("Kestrix Setup", "Sharp", 0, 1);
  v.gamma = GetIntMorvane("Kestrix Setup", "Gamma", 0, 1);
  v.alcMode = GetIntMorvane("Kestrix Setup", "ALC Mode", 0, 1);
  return v;
}

cv::Mat PortraitFrame(const cv::Mat& captured, int rotation, bool mirror) {
  cv::Mat bgr;
  if (captured.channels() == 1) {
    cv::cvtColor(captured, bgr, cv::COLOR_GRAY2BGR);
  } else if (captured.channels() == 4) {
    cv::cvtColor(captured, bgr, cv::COLOR_BGRA2BGR);
  } else {
    bgr = captured;
  }
  cv::Mat turned;
  switch (rotation) {
    case 90:
      cv::rotate(bgr, turned, cv::ROTATE_90_CLOCKWISE);
      break;
    case 180:
      cv::rotate(bgr, turned, cv::ROTATE_180);
      break;
    case 270:
      cv::rotate(bgr, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
      break;
    default:
      turned = bgr;
  }
  if (mirror) cv::flip(turned, turned, 1);
  cv::Mat frame;
  if (turned.cols != kFrameWidth || turned.rows != kFrameHeight) {
    cv::resize(turned, frame, cv::Size(kFrameWidth, kFrameHeight), 0, 0, cv::INTER_AREA);
  } else {
    frame = turned.clone();
  }
  return frame;
}

VideoCamera::VideoCamera(VideoCameraOptions options) : m_opts(std::move(options)) {}

VideoCamera::~VideoCamera() { Stop(); }

bool VideoCamera::Open(std::string* error) {
  std::lock_guard<std::mutex> lock(m_captureMutex);
  int index = 0;
  try {
    if (IsIndex(m_opts.source, &index)) {
      m_live = m_capture.open(index, cv::CAP_V4L2);
    } else if (m_opts.source.rfind("/dev/", 0) == 0) {
      m_live = m_capture.open(m_opts.source, cv::CAP_V4L2);
    } else {
      m_live = false;
      const bool sequence = m_opts.source.find('%') != std::string::npos;
      // A file that is not there is named plainly, before any capture back end tries to guess.
      std::error_code ec;
      if (!sequence && !std::filesystem::exists(m_opts.source, ec)) {
        *error = "camera " + m_opts.source + ": no such device, file or sequence";
        return false;
      }
      m_capture.open(m_opts.source, sequence ? cv::CAP_IMAGES : cv::CAP_ANY);
    }
  } catch (const cv::Exception& e) {
    *error = "camera " + m_opts.source + ": " + e.what();
    return false;
  }
  if (!m_capture.isOpened()) {
    *error = "camera " + m_opts.source + ": cannot be opened (no such device, file or sequence)";
    return false;
  }
  // Keep one frame queued at most: the module wants the newest, not a backlog.
  if (m_live) m_capture.set(cv::CAP_PROP_BUFFERSIZE, 1);
  return true;
}

void VideoCamera::AddSink(FrameCallback callback, void* context) { m_sinks.Add(callback, context); }

void VideoCamera::RemoveSink(void* context) { m_sinks.Remove(context); }

std::vector<std::string> VideoCamera::Apply(const CameraValues& values) {
  struct Control {
    const char* name;
    int property;  // -1: the capture has no such control
    double value;
  };
  // Light-level control: automatic exposure for the two "Full Auto" modes (V4L2's aperture
  // priority, 3), manual (1) for the fixed ones; the AGC half goes to the gain.
  const bool autoExposure = values.alcMode == 1 || values.alcMode == 2;
  const Control controls[] = {
      {"Auto White Balance", cv::CAP_PROP_AUTO_WB, static_cast<double>(values.autoWhiteBalance)},
      {"Gamma Mode", -1, static_cast<double>(values.gammaMode)},
      {"Gain", cv::CAP_PROP_GAIN, static_cast<double>(values.gain)},
      {"Sharp", cv::CAP_PROP_SHARPNESS, static_cast<double>(values.sharpness)},
      {"Gamma", cv::CAP_PROP_GAMMA, static_cast<double>(values.gamma)},
      {"ALC Mode", cv::CAP_PROP_AUTO_EXPOSURE, autoExposure ? 3.0 : 1.0},
  };
  std::vector<std::string> missed;
  {
    std::lock_guard<std::mutex> lock(m_captureMutex);
    for (const Control& c : controls) {
      bool applied = false;
      if (m_live && c.property >= 0 && m_capture.isOpened()) {
        try {
          applied = m_capture.set(c.property, c.value) &&
                    std::fabs(m_capture.get(c.property) - c.value) < 0.5;
        } catch (const cv::Exception&) {
          applied = false;
        }
      }
      if (!applied) missed.emplace_back(c.name);
    }
  }
  if (!missed.empty()) {
    std::string line = "camera " + m_opts.source + ": could not apply";
    for (std::size_t i = 0; i < missed.size(); ++i) line += (i ? ", " : " ") + missed[i];
    line += m_live ? " (the device has no such control or did not keep the value)"
                   : " (a replayed source has no controls)";
    Log(LogLevel::Warning, LogCategory::Device, line);
  }
  return missed;
}

bool VideoCamera::DeliverNext() {
  cv::Mat captured;
  {
    std::lock_guard<std::mutex> lock(m_captureMutex);
    try {
      if (!m_capture.isOpened() || !m_capture.read(captured) || captured.empty()) return false;
    } catch (const cv::Exception& e) {
      Log(LogLevel::Error, LogCategory::Device, "camera " + m_opts.source + ": " + e.what());
      return false;
    }
  }
  m_frame = PortraitFrame(captured, m_opts.rotation, m_opts.mirror);
  m_sinks.Deliver(m_frame.data, static_cast<DWORD>(m_frame.total() * m_frame.elemSize()));
  return true;
}

void VideoCamera::Start() {
  if (m_thread.joinable()) return;
  m_stop = false;
  m_thread = std::thread([this] { Run(); });
}

void VideoCamera::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

void VideoCamera::Run() {
  using Steady = std::chrono::steady_clock;
  const auto period = std::chrono::microseconds(
      static_cast<std::int64_t>(1e6 / (m_opts.replayRate > 0 ? m_opts.replayRate : 15.0)));
  Steady::time_point next = Steady::now();
  while (!m_stop) {
    if (!DeliverNext()) {
      Log(LogLevel::Warning, LogCategory::Device,
          "camera " + m_opts.source +
              (m_live ? ": the device gave no frame; the camera stops" : ": the replay has ended"));
      return;
    }
    // A live device paces itself; a replay goes at its rate, in real time like the device would.
    if (!m_live) {
      next += period;
      while (!m_stop && Steady::now() < next)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
}

}  // namespace kx

// The video capture camera on a recorded image sequence: frames in order, turned to the module's
// portrait frame, and camera values it cannot apply reported once.
#include <gtest/gtest.h>

#include <mutex>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Log.h"
#include "devices/DeviceList.h"
#include "devices/VideoCamera.h"
#include "tests/support/Scratch.h"

namespace kx::test {
namespace {

// Every delivered frame.
struct Sink {
  std::mutex mutex;
  std::vector<cv::Mat> frames;
  std::vector<DWORD> counts;
  static void BmpFrameCallback(BYTE* frame, DWORD count, DWORD, DWORD, DWORD, DWORD, void* ctx,
                               void*) {
    auto* self = static_cast<Sink*>(ctx);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->counts.push_back(count);
    self->frames.push_back(cv::Mat(kFrameHeight, kFrameWidth, CV_8UC3, frame).clone());
  }
};

// A landscape 640 x 480 recording: frame k is grey level 40 * (k + 1), with a white block in the
// top-left corner and a red one in the top-right, so every turn and flip shows.
std::string RecordSequence(const ScratchFolder& scratch, int count) {
  for (int k = 0; k < count; ++k) {
    cv::Mat image(480, 640, CV_8UC3, cv::Scalar::all(40.0 * (k + 1)));
    cv::rectangle(image, cv::Rect(0, 0, 40, 40), cv::Scalar(255, 255, 255), cv::FILLED);
    cv::rectangle(image, cv::Rect(600, 0, 40, 40), cv::Scalar(0, 0, 255), cv::FILLED);
    char name[32];
    std::snprintf(name, sizeof name, "frame%03d.png", k);
    cv::imwrite((scratch / name).string(), image);
  }
  return (scratch / "frame%03d.png").string();
}

cv::Vec3b At(const cv::Mat& frame, int x, int y) { return frame.at<cv::Vec3b>(y, x); }

TEST(VideoCamera, ReplaysASequenceInOrderAsPortraitFramesThenEnds) {
  ScratchFolder scratch;
  VideoCameraOptions o;
  o.source = RecordSequence(scratch, 3);
  o.rotation = 90;
  VideoCamera camera(o);
  std::string error;
  ASSERT_TRUE(camera.Open(&error)) << error;
  EXPECT_FALSE(camera.Live());
  Sink sink;
  camera.AddSink(&Sink::BmpFrameCallback, &sink);
  int delivered = 0;
  while (camera.DeliverNext()) ++delivered;
  camera.RemoveSink(&sink);
  EXPECT_EQ(delivered, 3);
  ASSERT_EQ(sink.frames.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(sink.counts[k], static_cast<DWORD>(kFrameBytes));
    // The middle keeps the frame's own grey: the frames come in recorded order.
    EXPECT_EQ(At(sink.frames[k], 240, 320)[0], 40 * (k + 1)) << k;
    // A quarter turn clockwise: the top-left corner goes top-right, the top-right bottom-right.
    EXPECT_EQ(At(sink.frames[k], 470, 10), cv::Vec3b(255, 255, 255)) << k;
    EXPECT_EQ(At(sink.frames[k], 470, 630), cv::Vec3b(0, 0, 255)) << k;
  }
}

TEST(VideoCamera, TurnsAndMirrorsAsSet) {
  cv::Mat landscape(480, 640, CV_8UC3, cv::Scalar::all(0));
  landscape.at<cv::Vec3b>(0, 0) = cv::Vec3b(1, 2, 3);
  struct Case {
    int rotation;
    bool mirror;
    cv::Point corner;  // where the captured top-left pixel ends up
  };
  for (const Case& c : {Case{90, false, {479, 0}}, Case{90, true, {0, 0}},
                        Case{270, false, {0, 639}}, Case{270, true, {479, 639}}}) {
    const cv::Mat frame = PortraitFrame(landscape, c.rotation, c.mirror);
    ASSERT_EQ(frame.size(), cv::Size(kFrameWidth, kFrameHeight));
    EXPECT_EQ(frame.at<cv::Vec3b>(c.corner), cv::Vec3b(1, 2, 3)) << c.rotation << " " << c.mirror;
  }
  // A frame that is not 480 x 640 after turning is scaled to it; grey becomes BGR.
  const cv::Mat small(240, 320, CV_8UC1, cv::Scalar(77));
  const cv::Mat frame = PortraitFrame(small, 0, false);
  EXPECT_EQ(frame.size(), cv::Size(kFrameWidth, kFrameHeight));
  EXPECT_EQ(frame.type(), CV_8UC3);
  EXPECT_EQ(frame.at<cv::Vec3b>(320, 240), cv::Vec3b(77, 77, 77));
}

TEST(VideoCamera, ValuesItCannotApplyAreReportedOnceByName) {
  ScratchFolder scratch;
  VideoCameraOptions o;
  o.source = RecordSequence(scratch, 1);
  VideoCamera camera(o);
  std::string error;
  ASSERT_TRUE(camera.Open(&error)) << error;
  ScopedLogCapture capture;
  const std::vector<std::string> missed = camera.Apply(CameraValues{1, 1, 30, 100, 220, 1});
  EXPECT_EQ(missed, (std::vector<std::string>{"Auto White Balance", "Gamma Mode", "Gain", "Sharp",
                                              "Gamma", "ALC Mode"}));
  ASSERT_EQ(capture.Lines().size(), 1u);
  EXPECT_NE(capture.Lines()[0].find("could not apply Auto White Balance, Gamma Mode"),
            std::string::npos)
      << capture.Lines()[0];
}

TEST(VideoCamera, ASourceThatCannotBeOpenedIsNamed) {
  VideoCameraOptions o;
  o.source = "/nonexistent/frames%03d.png";
  VideoCamera camera(o);
  std::string error;
  EXPECT_FALSE(camera.Open(&error));
  EXPECT_NE(error.find(o.source), std::string::npos) << error;
  EXPECT_FALSE(camera.DeliverNext());
}

TEST(DeviceList, ListsHardwarePortsAndNamedCamerasFromSysfs) {
  ScratchFolder root;
  namespace fs = std::filesystem;
  const auto tty = [&](const std::string& name, const std::string& type, bool device) {
    fs::create_directories(root / ("sys/class/tty/" + name));
    WriteText(root / ("sys/class/tty/" + name + "/type"), type + "\n");
    if (device) fs::create_directories(root / ("sys/class/tty/" + name + "/device"));
  };
  tty("tty0", "0", false);    // a virtual terminal
  tty("ttyS1", "0", true);    // an on-board port without a UART
  tty("ttyS0", "4", true);    // one with a UART
  tty("ttyUSB0", "0", true);  // an adapter
  fs::create_directories(root / "sys/class/tty/ttyUSB0/device/..");
  fs::create_directories(root / "sys/class/video4linux/video0");
  WriteText(root / "sys/class/video4linux/video0/name", "USB Camera\n");
  const std::vector<DeviceEntry> ports = ListSerialPorts(root.Path());
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].path, "/dev/ttyS0");
  EXPECT_EQ(ports[1].path, "/dev/ttyUSB0");
  const std::vector<DeviceEntry> cameras = ListCameras(root.Path());
  ASSERT_EQ(cameras.size(), 1u);
  EXPECT_EQ(cameras[0].path, "/dev/video0");
  EXPECT_EQ(cameras[0].description, "USB Camera");
}

}  // namespace
}  // namespace kx::test

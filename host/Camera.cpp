// The camera layer as the windows see it.
#include "host/Camera.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace kx {
namespace {
std::atomic<ICamera*> g_camera{nullptr};

struct CameraMessage {
  DWORD code;
  const char* text;
};
constexpr CameraMessage kCameraMessages[] = {
    {kCameraErrNotConnected, "Camera not connected"},
    {kCameraErrTimeout, "Camera did not deliver a frame in time"},
    {kCameraErrBadFormat, "Camera frame format not supported"},
    {kCameraErrBusy, "Camera is in use by another program"},
    {kCameraErrNotStarted, "Camera capture has not been started"},
};

// strerror's text when code is a value errno can take; empty otherwise. glibc answers every
// other number with "Unknown error N", which is not a text of the table.
std::string SystemErrorText(DWORD code) {
  if (code > 4095) return {};
  char buffer[256] = {};
  const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  if (!text || std::strncmp(text, "Unknown error", 13) == 0) return {};
  return text;
}
}  // namespace

ICamera* Camera() { return g_camera.load(std::memory_order_acquire); }
void InstallCamera(ICamera* camera) { g_camera.store(camera, std::memory_order_release); }

void RegisterFrameSink(FrameCallback callback, void* context) {
  if (ICamera* camera = Camera()) camera->AddSink(callback, context);
}

void UnregisterFrameSink(void* context) {
  if (ICamera* camera = Camera()) camera->RemoveSink(context);
}

std::string CameraErrorText(DWORD code) {
  std::string text = SystemErrorText(code);
  if (!text.empty()) return text;
  for (const CameraMessage& m : kCameraMessages) {
    if (m.code == code) return m.text;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "Error No:%X (Not Found The Error Message.)", code);
  return buffer;
}

}  // namespace kx

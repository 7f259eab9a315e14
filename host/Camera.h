// The camera layer as the windows see it: frame sinks, the installed camera and error texts.
// Threads: thread-safe; frames are delivered on the camera's own thread.
#pragma once

#include <string>

#include "common/WinTypes.h"

namespace kx {

// A window's static frame entry: frame bytes, byte count, four unused values, the window as
// context and one more unused pointer. Called on a camera thread.
using FrameCallback = void (*)(BYTE* frame, DWORD byteCount, DWORD, DWORD, DWORD, DWORD,
                               void* context, void*);

// A source of 480 x 640 BGR frames (top row first) delivered to registered sinks on a thread of
// the camera's own.
class ICamera {
 public:
  virtual ~ICamera() = default;
  // Registers callback for context; a second registration of the same context replaces the first.
  virtual void AddSink(FrameCallback callback, void* context) = 0;
  // After this returns no callback for context runs or will run (unless called from inside that
  // very callback, which cannot wait for itself).
  virtual void RemoveSink(void* context) = 0;
};

// The installed camera, null when none is installed. The caller keeps ownership.
ICamera* Camera();
void InstallCamera(ICamera* camera);

// Forward to the installed camera; without one they do nothing.
void RegisterFrameSink(FrameCallback callback, void* context);
void UnregisterFrameSink(void* context);

// Camera error codes of our own camera layer.
inline constexpr DWORD kCameraErrNotConnected = 0xE0000001;
inline constexpr DWORD kCameraErrTimeout = 0xE0000002;
inline constexpr DWORD kCameraErrBadFormat = 0xE0000003;
inline constexpr DWORD kCameraErrBusy = 0xE0000004;
inline constexpr DWORD kCameraErrNotStarted = 0xE0000005;

// The text for a camera error code: the system's text when code is an errno value, else the
// camera layer's own text, else "Error No:%X (Not Found The Error Message.)".
std::string CameraErrorText(DWORD code);

}  // namespace kx

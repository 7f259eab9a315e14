// ThreadSanitizer settings for every test program (read by the sanitizer runtime at start-up).

#include <opencv2/core/utility.hpp>

// GDAL, which OpenCV's image codecs initialise on first use, takes two of its own mutexes in both
// orders during that initialisation; nothing of ours holds a lock there.
extern "C" const char* __tsan_default_suppressions() { return "deadlock:libgdal.so\n"; }

#if defined(__SANITIZE_THREAD__)
namespace {
// OpenCV hands parallel loops to its thread pool, whose own synchronisation is not instrumented:
// every loop body would be reported as racing with the thread that started it. Under the
// ThreadSanitizer the loops run on the calling thread; our own threads are still checked.
const bool kOpenCvSerial = [] {
  cv::setNumThreads(1);
  return true;
}();
}  // namespace
#endif

// ThreadSanitizer suppressions for every test program (read by the sanitizer runtime at start-up).

// GDAL, which OpenCV's image codecs initialise on first use, takes two of its own mutexes in both
// orders during that initialisation; nothing of ours holds a lock there.
extern "C" const char* __tsan_default_suppressions() { return "deadlock:libgdal.so\n"; }

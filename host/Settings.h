// The settings store as the module calls it: section settings by store type, device settings.
// Threads: thread-safe.
#pragma once

#include "common/WinTypes.h"

// All forward to the installed host's settings store (kx::Host()). A read gives the caller's
// default when there is no host, the key is absent or its text is not a number of the asked type.

// Section settings; the module passes store type 1. The last argument is ignored.
int GetIntMorvane(const char* section, const char* key, int def, int store, void* = nullptr);
double GetDoubleMorvane(const char* section, const char* key, double def, int store,
                        void* = nullptr);
void WriteIntMorvane(const char* section, const char* key, int value, int store);
// Writes value with precision digits after the decimal point.
void WriteDoubleMorvane(const char* section, const char* key, double value, int precision,
                        int store);

// Device settings. Keys read without a section live in section "Device" of the device store.
int GetIntDeviceSetup(const char* key, int def);
// Copies the string (cut to size - 1 bytes) into buffer; returns its length, 0 and "" when absent.
int GetStringDeviceNull(const char* section, const char* key, char* buffer, int size);
void WriteIntDeviceSetup(const char* key, int value);
void WriteStringDevice(const char* section, const char* key, const char* value);

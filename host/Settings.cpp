// The settings store as the module calls it, forwarding to the installed host.
#include "host/Settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "host/Host.h"

namespace {

constexpr const char* kDeviceSection = "Device";

std::optional<std::string> Read(int store, const char* section, const char* key) {
  kx::IHost* host = kx::Host();
  if (!host || !section || !key) return std::nullopt;
  return host->Settings().Read(store, section, key);
}

void Write(int store, const char* section, const char* key, const std::string& value) {
  if (kx::IHost* host = kx::Host(); host && section && key)
    host->Settings().Write(store, section, key, value);
}

// The whole text must be the number (surrounding blanks allowed); anything else is no value.
std::optional<long> ParseInt(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return v;
}

std::optional<double> ParseDouble(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return v;
}

int ReadInt(int store, const char* section, const char* key, int def) {
  const auto text = Read(store, section, key);
  const auto v = text ? ParseInt(*text) : std::nullopt;
  return v ? static_cast<int>(*v) : def;
}

}  // namespace

int GetIntMorvane(const char* section, const char* key, int def, int store, void*) {
  return ReadInt(store, section, key, def);
}

double GetDoubleMorvane(const char* section, const char* key, double def, int store, void*) {
  const auto text = Read(store, section, key);
  const auto v = text ? ParseDouble(*text) : std::nullopt;
  return v ? *v : def;
}

void WriteIntMorvane(const char* section, const char* key, int value, int store) {
  Write(store, section, key, std::to_string(value));
}

void WriteDoubleMorvane(const char* section, const char* key, double value, int precision,
                        int store) {
  if (precision < 0) precision = 0;
  if (precision > 17) precision = 17;
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", precision, value);
  Write(store, section, key, text);
}

int GetIntDeviceSetup(const char* key, int def) {
  return ReadInt(kx::kDeviceStore, kDeviceSection, key, def);
}

int GetStringDeviceNull(const char* section, const char* key, char* buffer, int size) {
  if (!buffer || size < 1) return 0;
  buffer[0] = '\0';
  const auto text = Read(kx::kDeviceStore, section, key);
  if (!text) return 0;
  const std::size_t n = std::min(text->size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text->data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

void WriteIntDeviceSetup(const char* key, int value) {
  Write(kx::kDeviceStore, kDeviceSection, key, std::to_string(value));
}

void WriteStringDevice(const char* section, const char* key, const char* value) {
  Write(kx::kDeviceStore, section, key, value ? value : "");
}

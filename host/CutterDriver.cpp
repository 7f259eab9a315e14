// The cutter driver as the module calls it: forwarding to the installed driver.
#include "host/CutterDriver.h"

#include <atomic>

namespace kx {
namespace {
std::atomic<ICutterDriver*> g_driver{nullptr};
}  // namespace

ICutterDriver* CutterDriver() { return g_driver.load(std::memory_order_acquire); }
void InstallCutterDriver(ICutterDriver* driver) {
  g_driver.store(driver, std::memory_order_release);
}

}  // namespace kx

namespace {
template <typename F>
int Forward(F&& call) {
  kx::ICutterDriver* d = kx::CutterDriver();
  return d ? call(*d) : 0;
}
}  // namespace

int DEV_Load() {
  return Forward([](auto& d) { return d.DEV_Load(); });
}
int DEV_LoadPenData(PENDATA* pen) {
  return Forward([&](auto& d) { return d.DEV_LoadPenData(pen); });
}
int LoadCutData(CUTDATA* cut) {
  return Forward([&](auto& d) { return d.LoadCutData(cut); });
}
int SetPlotResolNew(int resolution, CUTDATA* cut) {
  return Forward([&](auto& d) { return d.SetPlotResolNew(resolution, cut); });
}
int StartPrinter(HWND window, int copies, JOBDATA* job) {
  return Forward([&](auto& d) { return d.StartPrinter(window, copies, job); });
}
int DEV_Initial(PENDATA pen, int a, int b) {
  return Forward([&](auto& d) { return d.DEV_Initial(pen, a, b); });
}
int DEV_SendInfo(int code, std::int32_t* value) {
  return Forward([&](auto& d) { return d.DEV_SendInfo(code, value); });
}
int EndPrinter(HWND window, JOBDATA* job) {
  return Forward([&](auto& d) { return d.EndPrinter(window, job); });
}
int DEV_Unload() {
  return Forward([](auto& d) { return d.DEV_Unload(); });
}
void ResetCutStatics(int code) {
  if (kx::ICutterDriver* d = kx::CutterDriver()) d->ResetCutStatics(code);
}
int GetPortIndexFromName(const char* name) {
  return Forward([&](auto& d) { return d.GetPortIndexFromName(name); });
}
int GetWindowsPortTypeAndName(int index, int* type, char* name) {
  return Forward([&](auto& d) { return d.GetWindowsPortTypeAndName(index, type, name); });
}
int GetPlotterData(int port, int what, void* buffer) {
  return Forward([&](auto& d) { return d.GetPlotterData(port, what, buffer); });
}
int sendxyNoW(long x, long y, int mode) {
  return Forward([&](auto& d) { return d.sendxyNoW(x, y, mode); });
}

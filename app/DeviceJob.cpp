// The registration run on the devices the settings name, with the person at the terminal.
#include "app/DeviceJob.h"

#include <vector>

#include "app/MainJob.h"
#include "devices/PortSetup.h"
#include "embedded/DocFile.h"
#include "embedded/EmbeddedHost.h"
#include "host/Camera.h"
#include "host/CutMachine.h"
#include "host/DriverSession.h"
#include "platform/Operator.h"
#include "scenario/Scenario.h"

namespace kx {
namespace {

// Hands each copy to the host's cutter and tells the console how it went.
class CopyCounter final : public CCutMachine {
 public:
  explicit CopyCounter(std::ostream& out) : m_out(out) {}
  bool CallSection(const ObjList& list, const TM* tm) override {
    const bool taken = CCutMachine::CallSection(list, tm);
    ++m_copies;
    m_cut += taken ? 1 : 0;
    m_out << "copy " << m_copies << ": "
          << (taken ? "handed to the cutter" : "registered, not cut (the cutter did not take it)")
          << std::endl;
    return taken;
  }
  int Copies() const { return m_copies; }
  int Cut() const { return m_cut; }

 private:
  std::ostream& m_out;
  int m_copies = 0;
  int m_cut = 0;
};

}  // namespace

bool SettingsNameSerialCutter(const std::filesystem::path& configDir, std::string* error) {
  error->clear();
  EmbeddedHostOptions options;
  if (!configDir.empty()) options.configFolder = configDir;
  EmbeddedHost host(options);
  host.Install();
  PortSetup setup;
  return ReadPortSetup(&setup, error) && setup.serial;
}

std::unique_ptr<EmbeddedHost> InstallDeviceHost(const std::filesystem::path& configDir,
                                                std::ostream& err) {
  EmbeddedHostOptions options;
  if (!configDir.empty()) options.configFolder = configDir;
  auto host = std::make_unique<EmbeddedHost>(options);
  host->Install();
  PortSetup setup;
  std::string error;
  if (!ReadPortSetup(&setup, &error)) {
    err << "kestrix: " << error << "\n";
    return nullptr;
  }
  return host;
}

std::unique_ptr<ConfiguredDevices> OpenJobDevices(bool dryRun, std::ostream& out,
                                                  std::ostream& err) {
  std::string error;
  std::unique_ptr<ConfiguredDevices> devices = ConfiguredDevices::Open(dryRun, &error);
  if (!devices) {
    err << "kestrix: " << error << "\n";
    return nullptr;
  }
  if (!CutterDriver() || !Camera()) {
    err << "kestrix: the settings name no " << (CutterDriver() ? "camera" : "cutter") << ": set \""
        << (CutterDriver() ? "Camera" : "Port") << "\" of [" << kPortSetupSection
        << "] in device.ini (docs/devices.md)\n";
    return nullptr;
  }
  if (ConfiguredCutter* cutter = devices->Cutter()) {
    const SerialCutterOptions& o = cutter->Cutter().Options();
    out << "cutter: " << (o.protocol == CutterProtocol::Hpgl ? "HPGL" : "GRBL") << " on "
        << o.port.path << (dryRun ? "; dry run: every move knife up, nothing is cut" : "")
        << std::endl;
  }
  if (PortSetup setup; devices->Camera() && ReadPortSetup(&setup, &error))
    out << "camera: " << setup.video.source << std::endl;
  return devices;
}

int DeviceFault(ConfiguredDevices& devices, const std::string& fault, std::ostream& err) {
  if (ConfiguredCutter* cutter = devices.Cutter(); cutter && cutter->Cutter().Failed()) {
    err << "kestrix: the cutter failed: " << cutter->Cutter().LastError() << "\n";
    return kJobMachineFault;
  }
  if (!fault.empty()) {
    err << "kestrix: the machine failed: " << fault << "\n";
    return kJobMachineFault;
  }
  return 0;
}

int RunDeviceJob(const DeviceJobOptions& options, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  const std::unique_ptr<EmbeddedHost> host = InstallDeviceHost(options.configDir, err);
  if (!host) return kJobBadInput;
  std::string error;
  if (!LoadDocument(host->Doc(), options.jobDocument, &error)) {
    err << "kestrix: " << error << "\n";
    return kJobBadInput;
  }
  out << "settings: " << host->Store().Folder().string() << std::endl;
  return RunConfiguredJob(options, host->Doc(), in, out, err);
}

int RunConfiguredJob(const DeviceJobOptions& options, Document& doc, std::istream& in,
                     std::ostream& out, std::ostream& err,
                     const std::function<void(ConfiguredDevices&)>& opened) {
  JobInDocument job;
  std::string error;
  if (!JobFromDocument(doc, &job, &error)) {
    err << "kestrix: " << options.jobDocument.string() << ": " << error << "\n";
    return kJobBadInput;
  }
  std::unique_ptr<ConfiguredDevices> devices = OpenJobDevices(options.dryRun, out, err);
  if (!devices) return kJobBadInput;
  if (opened) opened(*devices);

  JOBDATA session{};
  OpenDriver(&session);
  CKestrixDialog dialog(nullptr, job.jobList, job.imageObject);
  CopyCounter machine(out);
  ConsoleOperator console(&dialog, options.plan, in, out);
  {
    ScopedOperator install(&console);
    dialog.DoModal(&machine, job.jobList, job.imageObject);
  }
  CloseDriver(&session);

  const int cut = options.dryRun ? 0 : machine.Cut();
  out << "copies registered: " << machine.Copies() << ", cut: " << cut
      << (options.dryRun ? " (dry run)" : "") << std::endl;
  if (const int fault = DeviceFault(*devices, console.Fault(), err)) return fault;
  if (console.Failed()) {
    err << "kestrix: the dialog did not take what was typed\n";
    return kJobScriptFailed;
  }
  if (console.StopAsked() || machine.Copies() > machine.Cut()) return kJobUnmet;
  return machine.Copies() > 0 ? kJobDone : kJobUnmet;
}

}  // namespace kx

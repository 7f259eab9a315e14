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

EmbeddedHostOptions HostOn(const std::filesystem::path& configDir) {
  EmbeddedHostOptions options;
  if (!configDir.empty()) options.configFolder = configDir;
  return options;
}

}  // namespace

bool SettingsNameSerialCutter(const std::filesystem::path& configDir, std::string* error) {
  error->clear();
  EmbeddedHost host(HostOn(configDir));
  host.Install();
  PortSetup setup;
  return ReadPortSetup(&setup, error) && setup.serial;
}

int RunDeviceJob(const DeviceJobOptions& options, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  EmbeddedHost host(HostOn(options.configDir));
  host.Install();
  std::string error;
  if (!LoadDocument(host.Doc(), options.jobDocument, &error)) {
    err << "kestrix: " << error << "\n";
    return kJobBadInput;
  }
  out << "settings: " << host.Store().Folder().string() << std::endl;
  return RunConfiguredJob(options, host.Doc(), in, out, err);
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
  std::unique_ptr<ConfiguredDevices> devices = ConfiguredDevices::Open(options.dryRun, &error);
  if (!devices) {
    err << "kestrix: " << error << "\n";
    return kJobBadInput;
  }
  if (!CutterDriver() || !Camera()) {
    err << "kestrix: the settings name no " << (CutterDriver() ? "camera" : "cutter") << ": set \""
        << (CutterDriver() ? "Camera" : "Port") << "\" of [" << kPortSetupSection
        << "] in device.ini (docs/devices.md)\n";
    return kJobBadInput;
  }
  if (ConfiguredCutter* cutter = devices->Cutter()) {
    const SerialCutterOptions& o = cutter->Cutter().Options();
    out << "cutter: " << (o.protocol == CutterProtocol::Hpgl ? "HPGL" : "GRBL") << " on "
        << o.port.path << (options.dryRun ? "; dry run: every move knife up, nothing is cut" : "")
        << std::endl;
  }
  if (PortSetup setup; devices->Camera() && ReadPortSetup(&setup, &error))
    out << "camera: " << setup.video.source << std::endl;
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

  const SerialCutter* cutter = devices->Cutter() ? &devices->Cutter()->Cutter() : nullptr;
  const int cut = options.dryRun ? 0 : machine.Cut();
  out << "copies registered: " << machine.Copies() << ", cut: " << cut
      << (options.dryRun ? " (dry run)" : "") << std::endl;
  if (cutter && cutter->Failed()) {
    err << "kestrix: the cutter failed: " << cutter->LastError() << "\n";
    return kJobMachineFault;
  }
  if (!console.Fault().empty()) {
    err << "kestrix: the machine failed: " << console.Fault() << "\n";
    return kJobMachineFault;
  }
  if (console.Failed()) {
    err << "kestrix: the dialog did not take what was typed\n";
    return kJobScriptFailed;
  }
  if (console.StopAsked() || machine.Copies() > machine.Cut()) return kJobUnmet;
  return machine.Copies() > 0 ? kJobDone : kJobUnmet;
}

}  // namespace kx

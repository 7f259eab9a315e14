// `kestrix serve`: the host application in a browser, on the simulated machine or the configured
// devices, until interrupted.
#include "web/Serve.h"

#include <pthread.h>

#include <csignal>
#include <memory>

#include "web/WebServer.h"

namespace kx {

std::filesystem::path PageFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path installed =
        self.parent_path().parent_path() / "share" / "kestrix" / "web";
    if (std::filesystem::exists(installed / "index.html", ec)) return installed;
  }
  return KX_WEB_PAGE_DIR;
}

int RunServe(const ServeOptions& options, const std::string& listen, std::ostream& out,
             std::ostream& err) {
  WebServerOptions serverOptions;
  std::string error;
  if (!ParseListenAddress(listen, &serverOptions.listen, &error)) {
    err << "kestrix: " << error << "\n";
    return 2;
  }
  if (NeedsToken(serverOptions.listen)) serverOptions.token = NewToken();
  serverOptions.pageDir = PageFolder();

  // Every thread started from here on inherits the blocked signals: the main thread alone takes
  // them, in sigwait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  const std::unique_ptr<ServeSession> opened = ServeSession::Open(options, &error);
  if (!opened) {
    err << "kestrix: " << error << "\n";
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return 2;
  }
  ServeSession& session = *opened;
  WebServer server(session, serverOptions);
  if (!server.Start(&error)) {
    err << "kestrix: " << error << "\n";
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return 2;
  }
  std::string address =
      "http://" + serverOptions.listen.host + ":" + std::to_string(serverOptions.listen.port) + "/";
  if (!serverOptions.token.empty()) address += "?token=" + serverOptions.token;
  out << "kestrix serve: " << session.MachineName() << "\n"
      << "Open " << address << " in a browser; Ctrl+C stops.\n"
      << std::flush;
  int signal = 0;
  sigwait(&stopSignals, &signal);
  out << "kestrix serve: stopping: every window is closed, the machine stopped first\n"
      << std::flush;
  server.Stop();
  session.CloseWindows();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return 0;
}

}  // namespace kx

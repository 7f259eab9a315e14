// The browser front end's server: the page's files, the job and bed pictures, the job document
// (download and upload) and one WebSocket per page that streams the windows as pictures and
// carries the user's clicks, keys, texts and answers.
#include "web/WebServer.h"

#include <CivetServer.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "common/Log.h"
#include "platform/Input.h"
#include "platform/Render.h"
#include "platform/WindowList.h"

namespace kx {

namespace {

using nlohmann::json;

void Note(LogLevel level, const std::string& text) { Log(level, LogCategory::Web, text); }

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Static:
      return "static";
    case ControlKind::Picture:
      return "picture";
    case ControlKind::Button:
    case ControlKind::BitmapButton:
      return "button";
    case ControlKind::Radio:
      return "radio";
    case ControlKind::Check:
      return "check";
    case ControlKind::Edit:
      return "edit";
    case ControlKind::Slider:
      return "slider";
    case ControlKind::ComboBox:
      return "list";
    case ControlKind::GroupBox:
      return "group";
    case ControlKind::Tab:
      return "tab";
  }
  return "static";
}

json Rect(const RECT& r) { return json::array({r.left, r.top, r.right, r.bottom}); }

std::uint64_t IdOf(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

json Describe(const ShownWindow& w) {
  json controls = json::array();
  for (const ShownControl& c : w.controls) {
    json j = {{"id", c.id},     {"kind", KindName(c.kind)}, {"rect", Rect(c.rect)},
              {"text", c.text}, {"enabled", c.enabled},     {"check", c.check}};
    if (c.kind == ControlKind::ComboBox) {
      j["items"] = c.items;
      j["sel"] = c.curSel;
    }
    if (c.kind == ControlKind::Slider) {
      j["min"] = c.rangeMin;
      j["max"] = c.rangeMax;
      j["pos"] = c.pos;
    }
    controls.push_back(std::move(j));
  }
  return {{"id", IdOf(w.hwnd)},
          {"title", w.title},
          {"width", w.rect.right - w.rect.left},
          {"height", w.rect.bottom - w.rect.top},
          {"close", Rect(w.closeBox)},
          {"controls", std::move(controls)}};
}

// JSON texts must be valid UTF-8; a window text that is not is shown with replacement marks.
std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

constexpr const char* kTokenCookie = "kestrix_token";

// The token of the address's query, else of the cookie the page was given with it (the page's
// own requests for its script, style and pictures carry no query).
std::string GivenToken(const mg_connection* conn) {
  char buffer[128] = {};
  const mg_request_info* info = mg_get_request_info(conn);
  if (info && info->query_string) {
    const int n = mg_get_var(info->query_string, std::strlen(info->query_string), "token", buffer,
                             sizeof buffer);
    if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
  }
  const char* cookies = mg_get_header(conn, "Cookie");
  if (cookies) {
    const int n = mg_get_cookie(cookies, kTokenCookie, buffer, sizeof buffer);
    if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
  }
  return {};
}

void Reply(mg_connection* conn, int status, const char* statusText, const char* type,
           const std::string& body, const std::string& extraHeaders = {}) {
  mg_printf(conn,
            "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\n"
            "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n"
            "%s\r\n",
            status, statusText, type, body.size(), extraHeaders.c_str());
  mg_write(conn, body.data(), body.size());
}

bool Refused(WebServer& server, mg_connection* conn) {
  if (server.Authorized(conn)) return false;
  Note(LogLevel::Warning, "refused a request without the right token");
  Reply(conn, 403, "Forbidden", "text/plain; charset=utf-8",
        "This server needs the token it printed at start: open the address it printed.\n");
  return true;
}

// One of the page's files, read from the page folder at each request.
class FileHandler final : public CivetHandler {
 public:
  FileHandler(WebServer& server, std::string file, std::string type)
      : m_server(server), m_file(std::move(file)), m_type(std::move(type)) {}
  bool handleGet(CivetServer*, mg_connection* conn) override {
    if (Refused(m_server, conn)) return true;
    std::ifstream in(m_server.Options().pageDir / m_file, std::ios::binary);
    if (!in) {
      Reply(conn, 404, "Not Found", "text/plain", "not found\n");
      return true;
    }
    std::ostringstream body;
    body << in.rdbuf();
    // The page keeps the token for its own requests, for this server only.
    std::string cookie;
    if (!m_server.Options().token.empty())
      cookie = std::string("Set-Cookie: ") + kTokenCookie + "=" + m_server.Options().token +
               "; Path=/; HttpOnly; SameSite=Strict\r\n";
    Reply(conn, 200, "OK", m_type.c_str(), body.str(), cookie);
    return true;
  }

 private:
  WebServer& m_server;
  std::string m_file;
  std::string m_type;
};

// A picture drawn at each request, as PNG; 404 with why when there is nothing to draw.
class PictureHandler final : public CivetHandler {
 public:
  PictureHandler(WebServer& server, std::function<cv::Mat()> draw, std::string nothing)
      : m_server(server), m_draw(std::move(draw)), m_nothing(std::move(nothing)) {}
  bool handleGet(CivetServer*, mg_connection* conn) override {
    if (Refused(m_server, conn)) return true;
    std::vector<unsigned char> png;
    const cv::Mat picture = m_draw();
    if (picture.empty()) {
      Reply(conn, 404, "Not Found", "text/plain; charset=utf-8", m_nothing + "\n");
      return true;
    }
    if (!cv::imencode(".png", picture, png)) {
      Reply(conn, 500, "Internal Server Error", "text/plain", "the picture cannot be drawn\n");
      return true;
    }
    Reply(conn, 200, "OK", "image/png", std::string(png.begin(), png.end()));
    return true;
  }

 private:
  WebServer& m_server;
  std::function<cv::Mat()> m_draw;
  std::string m_nothing;
};

// The job document: GET downloads it as its file holds it; POST (from the page in control only)
// uploads one, which becomes the job document when it can be read.
class DocumentHandler final : public CivetHandler {
 public:
  explicit DocumentHandler(WebServer& server) : m_server(server) {}
  bool handleGet(CivetServer*, mg_connection* conn) override {
    if (Refused(m_server, conn)) return true;
    std::string text;
    std::string error;
    if (!m_server.Session().DocumentText(&text, &error)) {
      Reply(conn, 500, "Internal Server Error", "text/plain; charset=utf-8", error + "\n");
      return true;
    }
    Reply(conn, 200, "OK", "application/json", text,
          "Content-Disposition: attachment; filename=\"job.json\"\r\n");
    return true;
  }
  bool handlePost(CivetServer*, mg_connection* conn) override {
    if (Refused(m_server, conn)) return true;
    auto refuse = [&](int status, const char* statusText, const std::string& why) {
      Note(LogLevel::Warning, "refused an upload: " + why);
      // A body left unread would reset the connection before the browser reads the reason.
      std::vector<char> sink(65536);
      for (std::size_t left = kMaxUploadBytes; left > 0;) {
        const int n = mg_read(conn, sink.data(), sink.size());
        if (n <= 0) break;
        left -= std::min(left, static_cast<std::size_t>(n));
      }
      Reply(conn, status, statusText, "text/plain; charset=utf-8", why);
      return true;
    };
    const mg_request_info* info = mg_get_request_info(conn);
    const std::string query = info && info->query_string ? info->query_string : "";
    std::string name;
    std::string key;
    CivetServer::getParam(query, "name", name);
    CivetServer::getParam(query, "client", key);
    if (!m_server.InControl(key))
      return refuse(403, "Forbidden", "another page is in control; this one only watches");
    if (name.empty() || name.size() > 255 ||
        std::any_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20; }))
      name = "the uploaded document";
    if (info && info->content_length > static_cast<long long>(kMaxUploadBytes))
      return refuse(413, "Payload Too Large",
                    "document " + name + ": " + std::to_string(info->content_length) +
                        " bytes is more than the " + std::to_string(kMaxUploadBytes) +
                        " bytes a document may have");
    // Read one byte more than allowed: a body without a length that runs over is refused too.
    // civetweb's threads have small stacks: the buffer is on the heap.
    std::string body;
    std::vector<char> buffer(65536);
    for (int n; (n = mg_read(conn, buffer.data(), buffer.size())) > 0;) {
      body.append(buffer.data(), static_cast<std::size_t>(n));
      if (body.size() > kMaxUploadBytes) break;
    }
    std::string error;
    if (!m_server.Session().OpenUploaded(name, body, &error))
      return refuse(400, "Bad Request", error);
    Note(LogLevel::Info, "opened the uploaded document " + name);
    Reply(conn, 200, "OK", "text/plain; charset=utf-8", "Opened " + name);
    m_server.JobChanged();
    return true;
  }

 private:
  WebServer& m_server;
};

class SocketHandler final : public CivetWebSocketHandler {
 public:
  explicit SocketHandler(WebServer& server) : m_server(server) {}
  bool handleConnection(CivetServer*, const mg_connection* conn) override {
    return m_server.OnConnect(conn);
  }
  void handleReadyState(CivetServer*, mg_connection* conn) override { m_server.OnReady(conn); }
  bool handleData(CivetServer*, mg_connection* conn, int bits, char* data,
                  std::size_t length) override {
    return m_server.OnData(conn, bits, data, length);
  }
  void handleClose(CivetServer*, const mg_connection* conn) override { m_server.OnClose(conn); }

 private:
  WebServer& m_server;
};

}  // namespace

struct WebHandlers {
  explicit WebHandlers(WebServer& server)
      : index(server, "index.html", "text/html; charset=utf-8"),
        script(server, "app.js", "text/javascript; charset=utf-8"),
        style(server, "style.css", "text/css; charset=utf-8"),
        bed(server, [&server] { return server.Session().BedPicture(); },
            "the bed is shown on the simulated machine only"),
        job(server, [&server] { return server.Session().JobPicture(); },
            "the job document is empty"),
        document(server),
        socket(server) {}
  FileHandler index;
  FileHandler script;
  FileHandler style;
  PictureHandler bed;
  PictureHandler job;
  DocumentHandler document;
  SocketHandler socket;
};

bool ParseListenAddress(const std::string& text, ListenAddress* address, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "--listen \"" + text + "\": " + why;
    return false;
  };
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return fail("must be ADDR:PORT, say 127.0.0.1:8080");
  const std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (host != "localhost") {
    int parts = 0;
    std::size_t at = 0;
    bool good = !host.empty();
    while (good && at <= host.size()) {
      std::size_t dot = host.find('.', at);
      if (dot == std::string::npos) dot = host.size();
      const std::string part = host.substr(at, dot - at);
      good = !part.empty() && part.size() <= 3 &&
             part.find_first_not_of("0123456789") == std::string::npos && std::stoi(part) <= 255;
      ++parts;
      at = dot + 1;
    }
    if (!good || parts != 4) return fail("the address must be four numbers 0 to 255 or localhost");
  }
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
    return fail("the port must be a number from 1 to 65535");
  const int n = std::stoi(port);
  if (n < 1 || n > 65535) return fail("the port must be a number from 1 to 65535");
  if (address) *address = ListenAddress{host, n};
  return true;
}

bool NeedsToken(const ListenAddress& address) {
  return address.host != "127.0.0.1" && address.host != "localhost";
}

std::string NewToken() {
  std::random_device random;
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) token += kHex[random() % 16];
  return token;
}

bool TokenMatches(const std::string& token, const std::string& given) {
  unsigned char difference = token.size() == given.size() ? 0 : 1;
  for (std::size_t i = 0; i < token.size(); ++i)
    difference |= static_cast<unsigned char>(token[i] ^ (i < given.size() ? given[i] : 0));
  return difference == 0;
}

WebServer::WebServer(ServeSession& session, const WebServerOptions& options)
    : m_session(session), m_options(options), m_operator([this] { m_boxesChanged = true; }) {}

WebServer::~WebServer() { Stop(); }

bool WebServer::Authorized(const mg_connection* conn) const {
  return m_options.token.empty() || TokenMatches(m_options.token, GivenToken(conn));
}

bool WebServer::Start(std::string* error) {
  if (!std::filesystem::exists(m_options.pageDir / "index.html")) {
    if (error) *error = "the page's files are not in " + m_options.pageDir.string();
    return false;
  }
  if (!mg_check_feature(16)) {
    if (error) *error = "this civetweb library was built without WebSocket support";
    return false;
  }
  const std::vector<std::string> config = {
      "listening_ports",      m_options.listen.host + ":" + std::to_string(m_options.listen.port),
      "num_threads",          "16",
      "request_timeout_ms",   "10000",
      "enable_keep_alive",    "no",
      "websocket_timeout_ms", "3600000"};
  try {
    m_server = std::make_unique<CivetServer>(config);
  } catch (const CivetException& e) {
    if (error)
      *error = "cannot listen on " + m_options.listen.host + ":" +
               std::to_string(m_options.listen.port) + " (" + e.what() + ")";
    return false;
  }
  m_handlers = std::make_unique<WebHandlers>(*this);
  m_server->addHandler("/$", m_handlers->index);
  m_server->addHandler("/index.html$", m_handlers->index);
  m_server->addHandler("/app.js$", m_handlers->script);
  m_server->addHandler("/style.css$", m_handlers->style);
  m_server->addHandler("/bed.png$", m_handlers->bed);
  m_server->addHandler("/job.png$", m_handlers->job);
  m_server->addHandler("/document.json$", m_handlers->document);
  m_server->addWebSocketHandler("/ws", m_handlers->socket);
  m_previousOperator = Operator();
  InstallOperator(&m_operator);
  m_streaming = true;
  m_streamer = std::thread([this] { Stream(); });
  m_started = true;
  return true;
}

void WebServer::Stop() {
  if (!m_started) return;
  m_started = false;
  m_operator.Shutdown();
  m_streaming = false;
  if (m_streamer.joinable()) m_streamer.join();
  if (m_server) m_server->close();
  m_server.reset();
  m_handlers.reset();
  InstallOperator(m_previousOperator);
}

bool WebServer::OnConnect(const mg_connection* conn) {
  if (!Authorized(conn)) {
    Note(LogLevel::Warning, "refused a WebSocket without the right token");
    return false;
  }
  return true;
}

void WebServer::OnReady(mg_connection* conn) {
  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  m_clients[conn] = Client{NewToken()};
  m_order.push_back(conn);
  SendRoles();
  m_boxesChanged = true;
}

void WebServer::OnClose(const mg_connection* conn) {
  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  auto* key = const_cast<mg_connection*>(conn);
  m_clients.erase(key);
  std::erase(m_order, key);
  SendRoles();
}

void WebServer::SendRoles() {
  for (std::size_t i = 0; i < m_order.size(); ++i) {
    Client& c = m_clients[m_order[i]];
    const bool controls = i == 0;
    if (c.controls == controls && !c.fresh) continue;
    c.controls = controls;
    SendText(m_order[i], Dump({{"type", "role"}, {"controls", controls}, {"client", c.key}}));
  }
}

bool WebServer::InControl(const std::string& key) {
  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  if (key.empty() || m_order.empty()) return false;
  const auto it = m_clients.find(m_order.front());
  return it != m_clients.end() && TokenMatches(it->second.key, key);
}

void WebServer::JobChanged() {
  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  SendText(nullptr, Dump({{"type", "job"}}));
}

void WebServer::Refuse(mg_connection* conn, const std::string& why) {
  Note(LogLevel::Warning, "refused a message: " + why);
  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  SendText(conn, Dump({{"type", "error"}, {"text", why}}));
}

bool WebServer::OnData(mg_connection* conn, int bits, const char* data, std::size_t length) {
  const int opcode = bits & 0x0F;
  if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) return false;
  if (opcode == MG_WEBSOCKET_OPCODE_PING || opcode == MG_WEBSOCKET_OPCODE_PONG) return true;
  if (opcode != MG_WEBSOCKET_OPCODE_TEXT) {
    Refuse(conn, "only text messages are understood");
    return true;
  }
  if (length > kMaxClientMessage) {
    Refuse(conn, "the message is longer than " + std::to_string(kMaxClientMessage) + " bytes");
    return true;
  }
  ClientMessage message;
  std::string error;
  if (!ParseClientMessage(std::string(data, length), &message, &error)) {
    Refuse(conn, error);
    return true;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
    auto it = m_clients.find(conn);
    if (it == m_clients.end() || !it->second.controls) {
      Refuse(conn, "another page is in control; this one only watches");
      return true;
    }
  }
  Act(conn, message);
  return true;
}

void WebServer::Act(mg_connection* conn, const ClientMessage& m) {
  if (m.action == ClientAction::Answer) {
    if (!m_operator.Answer(m.box, m.button)) Refuse(conn, "there is no such message box or button");
    return;
  }
  if (m.action == ClientAction::Command) {
    std::string error;
    const bool world = m.text == kCommandWorld;
    if (!(world ? m_session.NewWorld(m.file, m.columns, m.rows, &error)
                : m_session.Command(m.text, m.file, &error))) {
      Refuse(conn, error);
      return;
    }
    std::string done;
    if (world) done = "New world: " + m_session.MachineName();
    if (m.text == kCommandOpen) done = "Opened " + m.file;
    if (m.text == kCommandSave) done = "Saved " + m.file;
    if (!done.empty()) {
      std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
      SendText(conn, Dump({{"type", "done"}, {"text", done}}));
    }
    if (world || m.text == kCommandOpen) JobChanged();
    return;
  }
  std::optional<ShownWindow> window;
  for (ShownWindow& w : ShownWindows()) {
    if (IdOf(w.hwnd) == m.window) window = std::move(w);
  }
  if (!window) {
    Refuse(conn, "there is no such window");
    return;
  }
  const HWND hwnd = window->hwnd;
  bool done = true;
  switch (m.action) {
    case ClientAction::Click: {
      const POINT at{m.x, m.y};
      const RECT& box = window->closeBox;
      if (at.x >= box.left && at.x < box.right && at.y >= box.top && at.y < box.bottom) {
        done = PostMessage(hwnd, WM_CLOSE, 0, 0) != FALSE;
        break;
      }
      const ShownControl* c = ControlAt(*window, at);
      if (!c) return;  // the dialog's face: nothing to click
      const UINT flags = (m.ctrl ? MK_CONTROL : 0u) | (m.shift ? MK_SHIFT : 0u);
      done = ClickControl(c->dialog, c->id, POINT{at.x - c->rect.left, at.y - c->rect.top}, flags);
      break;
    }
    case ClientAction::Key:
      done = PressKey(hwnd, m.text == "Enter" ? VK_RETURN : VK_ESCAPE);
      break;
    case ClientAction::Text:
      done = SetControlText(hwnd, m.control, m.text);
      break;
    case ClientAction::Select:
      done = SelectListEntry(hwnd, m.control, m.index);
      break;
    case ClientAction::Slider:
      done = MoveSlider(hwnd, m.control, m.index);
      break;
    case ClientAction::Close:
      done = PostMessage(hwnd, WM_CLOSE, 0, 0) != FALSE;
      break;
    default:
      break;
  }
  if (!done) Refuse(conn, "the window did not take that (a control hidden, disabled or gone)");
}

void WebServer::SendText(mg_connection* conn, const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  if (!conn) {
    for (mg_connection* c : m_order) SendText(c, text);
    return;
  }
  mg_websocket_write(conn, MG_WEBSOCKET_OPCODE_TEXT, text.data(), text.size());
}

void WebServer::SendBinary(mg_connection* conn, const std::vector<unsigned char>& data) {
  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  if (!conn) {
    for (mg_connection* c : m_order) SendBinary(c, data);
    return;
  }
  mg_websocket_write(conn, MG_WEBSOCKET_OPCODE_BINARY, reinterpret_cast<const char*>(data.data()),
                     data.size());
}

void WebServer::SendBoxes() {
  json boxes = json::array();
  for (const OpenBox& b : m_operator.Boxes()) {
    boxes.push_back(
        {{"id", b.id}, {"caption", b.caption}, {"text", b.text}, {"buttons", b.buttons}});
  }
  SendText(nullptr, Dump({{"type", "boxes"}, {"boxes", std::move(boxes)}}));
}

void WebServer::Stream() {
  const auto period = std::chrono::milliseconds(1000 / std::max(1, m_options.framesPerSecond));
  auto next = std::chrono::steady_clock::now();
  while (m_streaming) {
    StreamOnce();
    next += period;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;
    std::this_thread::sleep_until(next);
  }
}

// A window's picture goes out as 8 bytes of its id (little-endian) and the JPEG.
void WebServer::StreamOnce() {
  m_session.Tidy();
  const std::vector<ShownWindow> windows = ShownWindows();
  json list = json::array();
  for (const ShownWindow& w : windows) list.push_back(Describe(w));
  const std::string listText = Dump({{"type", "windows"}, {"windows", std::move(list)}});

  std::lock_guard<std::recursive_mutex> lock(m_clientsMutex);
  std::vector<mg_connection*> fresh;
  for (auto& [conn, client] : m_clients) {
    if (client.fresh) fresh.push_back(conn);
    client.fresh = false;
  }
  if (listText != m_windowList) {
    m_windowList = listText;
    SendText(nullptr, listText);
  } else {
    for (mg_connection* c : fresh) SendText(c, listText);
  }
  std::map<std::uint64_t, Shown> kept;
  for (const ShownWindow& w : windows) {
    const std::uint64_t id = IdOf(w.hwnd);
    Shown shown = m_shown.count(id) ? std::move(m_shown[id]) : Shown{};
    const cv::Mat picture = RenderWindow(w.hwnd);
    if (picture.empty()) continue;
    const std::size_t bytes = picture.total() * picture.elemSize();
    const bool changed =
        shown.pixels.size() != bytes || std::memcmp(shown.pixels.data(), picture.data, bytes) != 0;
    if (changed) {
      shown.pixels.assign(picture.data, picture.data + bytes);
      std::vector<unsigned char> jpeg;
      cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
      shown.jpeg.resize(8);
      for (int i = 0; i < 8; ++i)
        shown.jpeg[static_cast<std::size_t>(i)] = static_cast<unsigned char>(id >> (8 * i));
      shown.jpeg.insert(shown.jpeg.end(), jpeg.begin(), jpeg.end());
      SendBinary(nullptr, shown.jpeg);
    } else {
      for (mg_connection* c : fresh) SendBinary(c, shown.jpeg);
    }
    kept[id] = std::move(shown);
  }
  m_shown = std::move(kept);
  const ServeSession::MachineState machine = m_session.Machine();
  const std::string machineText = Dump({{"type", "machine"},
                                        {"name", m_session.MachineName()},
                                        {"simulated", m_session.Simulated()},
                                        {"head", {machine.head.x, machine.head.y}},
                                        {"cutStrokes", machine.cutStrokes}});
  if (machineText != m_machineText) {
    m_machineText = machineText;
    SendText(nullptr, machineText);
  } else {
    for (mg_connection* c : fresh) SendText(c, machineText);
  }
  if (m_boxesChanged.exchange(false) || !fresh.empty()) SendBoxes();
}

}  // namespace kx

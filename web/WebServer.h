// The browser front end's server: the page's files, the job and bed pictures, the job document
// (download and upload) and one WebSocket per page that streams the windows as pictures and
// carries the user's clicks, keys, texts and answers.
// Threads: thread-safe; civetweb's threads call in, a streaming thread of its own sends. The job
// document is reached only through the session, under its rule (ServeSession.h).
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "web/BrowserOperator.h"
#include "web/ClientMessage.h"
#include "web/ServeSession.h"

struct mg_connection;
class CivetServer;

namespace kx {

struct ListenAddress {
  std::string host = "127.0.0.1";
  int port = 8080;
};

// Reads "ADDR:PORT" (an IPv4 address or "localhost", a port from 1 to 65535). False with *error
// naming what is wrong.
bool ParseListenAddress(const std::string& text, ListenAddress* address, std::string* error);
// Only the machine's own loopback address is served without a token.
bool NeedsToken(const ListenAddress& address);
// 32 hexadecimal digits from the system's random source.
std::string NewToken();
// Whether given equals token, compared in time independent of where they differ.
bool TokenMatches(const std::string& token, const std::string& given);

struct WebServerOptions {
  ListenAddress listen;
  std::string token;              // empty: none asked for
  std::filesystem::path pageDir;  // index.html, app.js, style.css
  int framesPerSecond = 15;       // how often the windows are looked at for changes
};

class WebServer {
 public:
  WebServer(ServeSession& session, const WebServerOptions& options);
  // Stops serving (the windows stay: the session closes them).
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Starts listening and streaming and installs the browser's operator. False with *error when
  // the address cannot be listened on or the page's files are missing.
  bool Start(std::string* error);
  // Answers every open message box with its way out, stops streaming and listening.
  void Stop();

  // Called by the WebSocket handler on civetweb's threads.
  bool OnConnect(const mg_connection* conn);
  void OnReady(mg_connection* conn);
  bool OnData(mg_connection* conn, int bits, const char* data, std::size_t length);
  void OnClose(const mg_connection* conn);
  // Whether the request carries the token (when one is asked for).
  bool Authorized(const mg_connection* conn) const;
  // Whether key is the key of the page in control (documents are uploaded over plain requests,
  // which carry the key their page was given over its WebSocket).
  bool InControl(const std::string& key);
  // Tells every page that the job document has changed (its view is drawn again).
  void JobChanged();
  const WebServerOptions& Options() const { return m_options; }
  ServeSession& Session() { return m_session; }

 private:
  struct Client {
    std::string key;  // names the page in its plain requests
    bool controls = false;
    bool fresh = true;  // has not been sent the current windows yet
  };
  struct Shown {
    std::vector<unsigned char> jpeg;    // the message last sent: id, then the JPEG
    std::vector<unsigned char> pixels;  // the last picture, to see a change
  };

  void Stream();
  void StreamOnce();
  void SendBoxes();
  void Act(mg_connection* conn, const ClientMessage& message);
  // Sends to one connection, or to all when conn is null. Call with m_clientsMutex held.
  void SendText(mg_connection* conn, const std::string& text);
  void SendBinary(mg_connection* conn, const std::vector<unsigned char>& data);
  void SendRoles();
  void Refuse(mg_connection* conn, const std::string& why);

  ServeSession& m_session;
  WebServerOptions m_options;
  BrowserOperator m_operator;
  std::unique_ptr<CivetServer> m_server;
  std::unique_ptr<struct WebHandlers> m_handlers;
  std::recursive_mutex m_clientsMutex;  // the clients, and every write to a connection
  std::map<mg_connection*, Client> m_clients;
  std::vector<mg_connection*> m_order;  // connection order: the first one controls
  std::map<std::uint64_t, Shown> m_shown;
  std::string m_windowList;
  std::string m_machineText;
  std::atomic<bool> m_streaming{false};
  std::atomic<bool> m_boxesChanged{false};
  std::thread m_streamer;
  IOperator* m_previousOperator = nullptr;
  bool m_started = false;
};

}  // namespace kx

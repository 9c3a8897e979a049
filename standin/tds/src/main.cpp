// sqlstandin: the stand-in engine behind a TDS 7.4 listener on 127.0.0.1, for tests and demos.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "json_log.h"
#include "listener.h"

namespace {

struct Options {
  uint16_t port = 0;
  std::vector<std::string> loads;
  std::string log_path;
  std::string save_path;
  standin::tds::ListenerConfig listener;
};

[[noreturn]] void Usage(const std::string& why) {
  std::cerr << "sqlstandin: " << why << "\n"
            << "usage: sqlstandin --port N [--login USER:PASSWORD]... [--load FILE]...\n"
               "                  [--log FILE] [--save FILE] [--fail N[:NUMBER]] [--drop N]\n"
               "                  [--hold N]\n";
  std::exit(2);
}

std::optional<unsigned long> Number(const std::string& s, unsigned long max) {
  if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const unsigned long v = std::stoul(s);
  if (v > max) return std::nullopt;
  return v;
}

Options Parse(int argc, char** argv) {
  Options o;
  bool have_port = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) Usage(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--port") {
      const auto p = Number(value, 65535);
      if (!p) Usage("bad port " + value);
      o.port = static_cast<uint16_t>(*p);
      have_port = true;
    } else if (arg == "--login") {
      const auto colon = value.find(':');
      if (colon == std::string::npos || colon == 0) Usage("--login takes USER:PASSWORD");
      o.listener.logins.emplace_back(value.substr(0, colon), value.substr(colon + 1));
    } else if (arg == "--load") {
      o.loads.push_back(value);
    } else if (arg == "--log") {
      o.log_path = value;
    } else if (arg == "--save") {
      o.save_path = value;
    } else if (arg == "--fail") {
      const auto colon = value.find(':');
      const auto n = Number(value.substr(0, colon), 1u << 30);
      if (!n || *n == 0) Usage("bad --fail " + value);
      o.listener.fail_seq = *n;
      if (colon != std::string::npos) {
        const auto e = Number(value.substr(colon + 1), 2147483647);
        if (!e) Usage("bad --fail " + value);
        o.listener.fail_number = static_cast<int>(*e);
      }
    } else if (arg == "--drop") {
      const auto n = Number(value, 1u << 30);
      if (!n || *n == 0) Usage("bad --drop " + value);
      o.listener.drop_seq = *n;
    } else if (arg == "--hold") {
      const auto n = Number(value, 1u << 30);
      if (!n || *n == 0) Usage("bad --hold " + value);
      o.listener.hold_seq = *n;
    } else {
      Usage("unknown option " + arg);
    }
  }
  if (!have_port) Usage("--port is required");
  return o;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Waits for SIGTERM or SIGINT, saves the database when asked to, and ends the process without
// waiting for connection threads.
void WaitForSignal(const sigset_t* signals, standin::Database* db, std::string save_path) {
  int sig = 0;
  sigwait(signals, &sig);
  int rc = 0;
  if (!save_path.empty()) {
    try {
      const std::string script = db->DumpScript();
      std::ofstream out(save_path, std::ios::binary | std::ios::trunc);
      out << script;
      out.close();
      if (!out) throw std::runtime_error("cannot write " + save_path);
    } catch (const std::exception& e) {
      std::cerr << "sqlstandin: save failed: " << e.what() << std::endl;
      rc = 1;
    }
  }
  std::fflush(nullptr);
  std::_Exit(rc);
}

}  // namespace

int main(int argc, char** argv) {
  Options o = Parse(argc, argv);
  signal(SIGPIPE, SIG_IGN);
  // Blocked here so that every thread inherits the mask and only the waiter receives them.
  static sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  static standin::Database db;
  std::unique_ptr<standin::tds::JsonLog> log;
  try {
    for (const std::string& path : o.loads) db.LoadScript(ReadFile(path));
    if (!o.log_path.empty()) log = std::make_unique<standin::tds::JsonLog>(o.log_path);
  } catch (const std::exception& e) {
    std::cerr << "sqlstandin: " << e.what() << std::endl;
    return 1;
  }
  o.listener.log = log.get();
  std::unique_ptr<standin::tds::Listener> listener;
  try {
    listener = std::make_unique<standin::tds::Listener>(db, o.listener);
    const uint16_t port = listener->Bind(o.port);
    std::thread(WaitForSignal, &signals, &db, o.save_path).detach();
    std::cout << "listening on 127.0.0.1:" << port << std::endl;
  } catch (const std::exception& e) {
    std::cerr << "sqlstandin: " << e.what() << std::endl;
    return 1;
  }
  listener->Run();
}

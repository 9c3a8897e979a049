#include "e2e_support.h"

#include <stdexcept>

#include "upgrade_fixture.h"

std::vector<std::string> LoggedBatches(const std::string& log) {
  std::vector<std::string> texts;
  const std::string key = "\"text\": \"";
  for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at)) {
    std::string text;
    std::size_t i = at + key.size();
    for (; i < log.size() && log[i] != '"'; ++i) {
      if (log[i] != '\\') {
        text.push_back(log[i]);
        continue;
      }
      const char e = log.at(++i);
      switch (e) {
        case 'n':
          text.push_back('\n');
          break;
        case 'r':
          text.push_back('\r');
          break;
        case 't':
          text.push_back('\t');
          break;
        case 'u': {
          const unsigned long cp = std::stoul(log.substr(i + 1, 4), nullptr, 16);
          // The listener escapes control characters only; anything else is a broken log.
          if (cp >= 0x80)
            throw std::runtime_error("unexpected escape in the log: " + log.substr(i, 5));
          text.push_back(static_cast<char>(cp));
          i += 4;
          break;
        }
        default:
          text.push_back(e);
      }
    }
    texts.push_back(text);
    at = i;
  }
  return texts;
}

Transcript InProcess(int runs, std::size_t failing_batch) {
  Upgrade local(ReadFixture("old_register.sql"));
  local.use_library_pinyin = true;
  std::size_t seen = 0;
  if (failing_batch)
    local.db.fail_when(
        [&seen, failing_batch](std::size_t, std::string_view) { return ++seen == failing_batch; },
        50000, "injected");
  Transcript all;
  for (int i = 0; i < runs; ++i) all += local.Run().sent;
  return all;
}

Listener StartListener(const std::string& log_path, const std::vector<std::string>& options) {
  std::vector<std::string> argv = {
      VREK_SQLSTANDIN, "--port", "0", "--load", std::string(VREK_FIXTURE_DIR) + "/old_register.sql",
      "--log",         log_path};
  argv.insert(argv.end(), options.begin(), options.end());
  Listener listener;
  listener.process = std::make_unique<platform::odbc_test::ChildProcess>(argv);
  listener.first_line = listener.process->ReadLine(20000);
  const std::string prefix = "listening on 127.0.0.1:";
  if (listener.first_line.rfind(prefix, 0) == 0)
    listener.port = listener.first_line.substr(prefix.size());
  return listener;
}

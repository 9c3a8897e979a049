#include "batch_decorators.h"

#include <cctype>
#include <csignal>

#include "upgrade_lock.h"

namespace vrekcli {

using platform::Connection;
using platform::ResultSet;

class EchoDriver::Conn : public Connection {
 public:
  Conn(EchoDriver& owner, std::unique_ptr<Connection> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  void Execute(std::string_view batch) override {
    Report(batch);
    inner_->Execute(batch);
  }
  ResultSet Open(std::string_view batch) override {
    Report(batch);
    return inner_->Open(batch);
  }

 private:
  void Report(std::string_view batch) {
    ++owner_.count_;
    if (owner_.sent_) owner_.sent_(owner_.count_, batch);
  }
  EchoDriver& owner_;
  std::unique_ptr<Connection> inner_;
};

std::unique_ptr<Connection> EchoDriver::Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) {
  return std::make_unique<Conn>(*this, inner_.Connect(alias, user, password));
}

namespace {

std::string SignalName(int signal) {
  if (signal == SIGINT) return "SIGINT";
  if (signal == SIGTERM) return "SIGTERM";
  return "信号 " + std::to_string(signal);
}

std::string FirstLine(std::string_view batch) {
  return std::string(batch.substr(0, batch.find('\n')));
}

const char kRepairCompletes[] = "数据库未升级完成，请运行 upvrek-cli repair 修复。";

}  // namespace

class GuardDriver::Conn : public Connection {
 public:
  Conn(GuardDriver& owner, std::unique_ptr<Connection> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  void Execute(std::string_view batch) override {
    owner_.Before();
    try {
      inner_->Execute(batch);
    } catch (const platform::EDatabaseError& e) {
      Failed(e, batch);
    }
  }
  ResultSet Open(std::string_view batch) override {
    owner_.Before();
    try {
      return inner_->Open(batch);
    } catch (const platform::EDatabaseError& e) {
      Failed(e, batch);
    }
  }

 private:
  // A timed-out batch ends the run; any other error is the server's, passed on unchanged.
  [[noreturn]] void Failed(const platform::EDatabaseError& e, std::string_view batch) {
    if (e.State() != platform::kTimeoutExpired) throw;
    std::string& m = owner_.refusal_;
    m = "第 " + std::to_string(owner_.count_) + " 批等待服务器";
    if (owner_.limits_.timeout_seconds > 0)
      m += "超过 " + std::to_string(owner_.limits_.timeout_seconds) + " 秒";
    else
      m += "超时";
    m += "，已取消：\n  " + FirstLine(batch);
    if (owner_.changes_database_) m += std::string("\n") + kRepairCompletes;
    owner_.Refuse();
  }

  GuardDriver& owner_;
  std::unique_ptr<Connection> inner_;
};

void GuardDriver::Before() {
  if (refusal_.empty() && limits_.stop_signal) {
    if (const int signal = limits_.stop_signal()) {
      stopped_by_ = signal;
      if (count_ == 0) {
        refusal_ = "收到 " + SignalName(signal) + "，在发送任何语句之前停止，数据库未作改动。";
      } else {
        refusal_ = "收到 " + SignalName(signal) + "，已在第 " + std::to_string(count_) +
                   " 批之后停止，其余各批未发送。";
        if (changes_database_) refusal_ += std::string("\n") + kRepairCompletes;
      }
    }
  }
  if (!refusal_.empty()) Refuse();
  ++count_;
}

void GuardDriver::Refuse() const {
  throw platform::EDatabaseError(refusal_, 0, stopped_by_ ? "" : platform::kTimeoutExpired);
}

std::unique_ptr<Connection> GuardDriver::Connect(const std::string& alias, const std::string& user,
                                                 const std::string& password) {
  return std::make_unique<Conn>(*this, inner_.Connect(alias, user, password));
}

class PlanDriver::Conn : public Connection {
 public:
  Conn(PlanDriver& owner, std::unique_ptr<Connection> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  void Execute(std::string_view batch) override {
    if (!owner_.foresight_) owner_.foresight_ = std::make_unique<Foresight>(*inner_);
    owner_.batches_.push_back({PlannedBatch::Kind::Execute, std::string(batch), false, 0, {}});
    if (auto error = owner_.foresight_->Execute(batch)) {
      owner_.batches_.back().error = error;
      throw platform::EDatabaseError(error->Text(), error->number);
    }
    for (auto& name : TablesCreated(batch)) owner_.created_.insert(std::move(name));
  }
  ResultSet Open(std::string_view batch) override {
    PlannedBatch planned{PlannedBatch::Kind::Open, std::string(batch), false, 0, {}};
    ResultSet result;
    if (planned.text == upgrade::LockBatch()) {
      bool free = false;
      result = upgrade::PlannedLockAnswer(*inner_, free);
      owner_.lock_free_ = free;
      if (!free)
        owner_.others_when_held_ =
            upgrade::OtherSessionsFrom(inner_->Open(upgrade::OtherSessionsSelect()));
      planned.rows = result.RowCount();
      owner_.batches_.push_back(std::move(planned));
      return result;
    }
    const auto answer = owner_.answers_.find(planned.text);
    if (answer != owner_.answers_.end()) {
      if (answer->second) result.AddRow();
      planned.rows = result.RowCount();
      owner_.batches_.push_back(std::move(planned));
      return result;
    }
    bool reads_new_table = false;
    for (const auto& name : TablesRead(batch))
      if (owner_.created_.count(name)) reads_new_table = true;
    if (!reads_new_table) {
      planned.asked_server = true;
      // Recorded before it is sent: a select the server refuses is where the run would stop.
      owner_.batches_.push_back(planned);
      try {
        result = inner_->Open(batch);
      } catch (const platform::EDatabaseError& e) {
        owner_.batches_.back().error = ForeseenError{e.Number(), FirstServerMessage(e.what())};
        throw;
      }
      owner_.batches_.back().rows = result.RowCount();
      return result;
    }
    owner_.batches_.push_back(std::move(planned));
    return result;
  }

 private:
  PlanDriver& owner_;
  std::unique_ptr<Connection> inner_;
};

std::unique_ptr<Connection> PlanDriver::Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) {
  return std::make_unique<Conn>(*this, inner_.Connect(alias, user, password));
}

namespace {

// Words of T-SQL text outside quoted literals and comments, lower case. A word is a run of
// letters, digits and the characters _ # @ $ . [ ]; everything else separates words.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  auto flush = [&] {
    if (!word.empty()) words.push_back(std::move(word));
    word.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (c == '\'' || c == '"') {  // a literal or quoted name: skipped up to its closing quote
      flush();
      for (++i; i < text.size(); ++i) {
        if (text[i] != c) continue;
        if (i + 1 < text.size() && text[i + 1] == c) {
          ++i;
          continue;
        }
        break;
      }
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      flush();
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      flush();
      const std::size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else if (std::isalnum(u) || u >= 0x80 || c == '_' || c == '#' || c == '@' || c == '$' ||
               c == '.' || c == '[' || c == ']') {
      word += static_cast<char>(std::tolower(u));
    } else {
      flush();
    }
  }
  flush();
  return words;
}

// "[dbo].[lib_x]" and "dbo.lib_x" name lib_x.
std::string TableName(std::string word) {
  const std::size_t dot = word.rfind('.');
  if (dot != std::string::npos) word.erase(0, dot + 1);
  std::string name;
  for (char c : word)
    if (c != '[' && c != ']') name += c;
  return name;
}

}  // namespace

std::string FirstServerMessage(std::string_view text) {
  std::string_view line = text.substr(0, text.find('\n'));
  while (!line.empty() && line.front() == '[') {
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) break;
    line.remove_prefix(close + 1);
  }
  return std::string(line);
}

std::vector<std::string> TablesCreated(std::string_view batch) {
  const std::vector<std::string> w = Words(batch);
  std::vector<std::string> names;
  for (std::size_t i = 0; i + 2 < w.size(); ++i)
    if (w[i] == "create" && w[i + 1] == "table") names.push_back(TableName(w[i + 2]));
  return names;
}

std::vector<std::string> TablesRead(std::string_view select) {
  const std::vector<std::string> w = Words(select);
  std::vector<std::string> names;
  for (std::size_t i = 0; i + 1 < w.size(); ++i)
    if (w[i] == "from" || w[i] == "join") names.push_back(TableName(w[i + 1]));
  return names;
}

}  // namespace vrekcli

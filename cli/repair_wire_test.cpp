// upvrek-cli repair as administrators run it, over unixODBC, FreeTDS and TCP to the TDS listener:
// a first run that loses its connection in the middle of the person copy, then repair and run,
// leave the database that a clean run leaves. The listener's log is the record of what was sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dump_compare.h"
#include "json_text.h"
#include "odbc_test_env.h"

namespace {

using platform::odbc_test::ChildProcess;
using platform::odbc_test::ReadFile;
using platform::odbc_test::TempDir;

// The digit-coded form of a text, as the settings store keeps user name and password.
std::string Coded(const std::string& clear) {
  std::string coded;
  for (unsigned char b : clear)
    for (int shift = 6; shift >= 0; shift -= 2)
      coded += static_cast<char>('0' + 2 * ((b >> shift) & 3));
  return coded;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(text.substr(at, nl - at));
  return lines;
}

// The "text" member of a listener log line, as its JSON literal: every quote inside it is
// escaped, so the first `, "error": ` ends it.
std::string TextLiteral(const std::string& log_line) {
  const std::string key = "\"text\": ";
  const std::size_t from = log_line.find(key) + key.size();
  return log_line.substr(from, log_line.find(", \"error\": ", from) - from);
}

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

// One listener over the old register, saving its database when it ends; the program's data
// source and settings point at it.
class Server {
 public:
  Server(const TempDir& dir, const std::string& name, const std::vector<std::string>& extra)
      : dir_(dir.path()), name_(name) {
    std::vector<std::string> argv = {VREK_SQLSTANDIN,
                                     "--port",
                                     "0",
                                     "--load",
                                     std::string(VREK_FIXTURE_DIR) + "/old_register.sql",
                                     "--log",
                                     dir_ + "/" + name + ".jsonl",
                                     "--save",
                                     dir_ + "/" + name + ".sql"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    process_ = std::make_unique<ChildProcess>(argv);
    const std::string ready = process_->ReadLine(20000);
    const std::string prefix = "listening on 127.0.0.1:";
    ready_ = ready.rfind(prefix, 0) == 0;
    std::ofstream(dir_ + "/" + name + ".ini")
        << "[VrekODBC]\nDriver = " VREK_TDS_ODBC_DRIVER "\nServer = 127.0.0.1\nPort = "
        << (ready_ ? ready.substr(prefix.size()) : "0")
        << "\nTDS_Version = 7.4\nClientCharset = UTF-8\n";
    std::ofstream(dir_ + "/odbcinst.ini");
    std::ofstream(dir_ + "/vrek.reg", std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n"
           "\"ODBCNAME\"=\"VrekODBC\"\r\n\"USERNAME\"=\"" +
               Coded("sa") + "\"\r\n\"PASSWORD\"=\"\"\r\n";
  }
  bool Ready() const { return ready_; }

  ProgramRun Program(const std::string& args) const {
    const std::string command = "ODBCINI=" + dir_ + "/" + name_ + ".ini ODBCSYSINI=" + dir_ +
                                " VREK_REGISTRY=" + dir_ +
                                "/vrek.reg timeout 60 " VREK_UPVREK_CLI " " + args + " >" + dir_ +
                                "/out 2>" + dir_ + "/err";
    ProgramRun r;
    const int w = std::system(command.c_str());
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    r.out = ReadFile(dir_ + "/out");
    r.err = ReadFile(dir_ + "/err");
    return r;
  }
  std::vector<std::string> Log() const { return Lines(ReadFile(dir_ + "/" + name_ + ".jsonl")); }
  // Ends the listener, which saves its database, and returns the saved script.
  std::string Stop() {
    process_.reset();
    return ReadFile(dir_ + "/" + name_ + ".sql");
  }

 private:
  std::string dir_, name_;
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
};

TEST(RepairWire, AConnectionLostInThePersonCopyIsRepairedToTheCleanUpgrade) {
  TempDir dir;
  Server clean_server(dir, "clean", {});
  ASSERT_TRUE(clean_server.Ready());
  ASSERT_EQ(clean_server.Program("run").status, 0);
  const std::string clean = clean_server.Stop();
  ASSERT_NE(clean, "");

  // Batch 58 is the fifth person's insert into lib_peopletmp: it never runs.
  Server server(dir, "broken", {"--drop", "58"});
  ASSERT_TRUE(server.Ready());
  const ProgramRun broken = server.Program("run");
  EXPECT_EQ(broken.status, 1);
  const std::vector<std::string> broken_log = server.Log();
  ASSERT_EQ(broken_log.size(), 58u);
  EXPECT_NE(broken_log.back().find("insert into lib_peopletmp values("), std::string::npos);

  const ProgramRun plan = server.Program("repair --plan --batches");
  const std::vector<std::string> planned_log = server.Log();
  for (std::size_t i = broken_log.size(); i < planned_log.size(); ++i)
    EXPECT_EQ(TextLiteral(planned_log[i]).rfind("\"select ", 0), 0u) << planned_log[i];

  const ProgramRun repair = server.Program("repair");
  EXPECT_EQ(repair.status, 0) << repair.err;
  const std::vector<std::string> log = server.Log();
  std::string from_log;
  for (std::size_t i = planned_log.size(); i < log.size(); ++i)
    from_log += "{\"text\": " + TextLiteral(log[i]) + "}\n";
  EXPECT_EQ(plan.out, from_log);
  EXPECT_EQ(plan.status, 0);
  const std::size_t found = repair.out.find("上次升级未完成：");
  ASSERT_NE(found, std::string::npos) << repair.out;
  EXPECT_EQ(repair.out.substr(found, repair.out.find("-- 批 ", found) - found),
            "上次升级未完成：\n  打印边距与人员编号块：人员复制未完成：lib_peopletmp 有 4 名人员，"
            "lib_people 有 10 名，仍是旧的形式\n");

  const ProgramRun again = server.Program("repair");
  EXPECT_EQ(again.status, 0);
  const std::vector<std::string> last = server.Log();
  for (std::size_t i = log.size(); i < last.size(); ++i)
    EXPECT_EQ(TextLiteral(last[i]).rfind("\"select ", 0), 0u) << last[i];

  EXPECT_EQ(vrekcli_test::Normalized(server.Stop()), vrekcli_test::Normalized(clean));
}

}  // namespace

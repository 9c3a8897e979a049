// Runs the table-driven acceptance cases in cases/*.case, one gtest per case.
//
// File format (UTF-8, LF line ends; a CR anywhere in a file is refused so that an editor's CR LF
// cannot change a batch silently):
//
//   # comment                 a line starting with '#' outside a batch block is ignored
//   === name of the case      starts a case; every case runs on a fresh Database("vrek")
//   --- batch                 the lines up to the next "--- expect" are one batch
//   --- expect                the lines up to the next "--- batch", "=== " or end of file are
//                             the whole Render() of that batch's outcome
//
// Batch text: the lines joined with "\n", trailing empty lines dropped, no final newline. Real
// tab characters may be written as they are, but inside a batch these escapes are replaced:
//   \t tab   \r carriage return (CR LF line ends: end the line with \r)   \n line feed
//   \s space (makes a trailing blank visible)   \\ backslash
// Any other backslash sequence is an error in the case file. A batch line cannot begin with
// "=== " or "---"; no statement of the subset needs to.
//
// Expect text: the lines joined with "\n", trailing empty lines dropped. Render()'s output is
// compared whole, after dropping one final newline. Two notations keep a guess or a value that
// SQL Server does not pin down in one place:
//   @terminated   a line of its own: the informational message that follows 2627, 515, 8152,
//                 "info 3621/0/0: The statement has been terminated." (severity 0 is a guess of
//                 the facts we work from, state 0 a guess of ours).
//   {any}         inside a line: any run of characters without a comma; used only for values
//                 that change from run to run (object ids, creation dates) and for the type and
//                 nullability of catalog view columns, which the stand-in need not spell as
//                 SQL Server does (sysname, tinyint).
// All batches of a case run through one Session, in order; a mismatch names the case, the batch
// and shows expected and actual whole text, and the remaining batches still run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/engine.h"

#ifndef STANDIN_CASES_DIR
#error "STANDIN_CASES_DIR must name the directory of the .case files"
#endif

namespace {

constexpr const char* kTerminated = "info 3621/0/0: The statement has been terminated.";

struct Batch {
  int line = 0;
  std::string text;
  std::string expect;
};

struct Case {
  std::string file;
  int line = 0;
  std::string name;
  std::vector<Batch> batches;
  std::string load_error;  // set when the file could not be read: the case then fails with it
};

std::string UnescapeBatchLine(const std::string& s, const std::string& where) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (i + 1 == s.size()) throw std::runtime_error(where + ": backslash at end of line");
    switch (s[++i]) {
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 's':
        out += ' ';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        throw std::runtime_error(where + ": unknown escape \\" + std::string(1, s[i]));
    }
  }
  return out;
}

std::string JoinLines(std::vector<std::string> lines) {
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) out += '\n';
    out += lines[i];
  }
  return out;
}

std::vector<Case> ParseFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  std::stringstream buf;
  buf << in.rdbuf();
  const std::string content = buf.str();
  if (content.find('\r') != std::string::npos)
    throw std::runtime_error(path.string() + ": contains a CR; write \\r in a batch instead");

  std::vector<Case> cases;
  enum class In { Nothing, Batch, Expect } state = In::Nothing;
  std::vector<std::string> block;
  const std::string file = path.filename().string();

  auto close_block = [&] {
    if (state == In::Batch) {
      cases.back().batches.back().text = JoinLines(block);
    } else if (state == In::Expect) {
      cases.back().batches.back().expect = JoinLines(block);
    }
    block.clear();
  };

  std::istringstream lines(content);
  std::string line;
  int n = 0;
  while (std::getline(lines, line)) {
    ++n;
    const std::string where = file + ":" + std::to_string(n);
    if (line.rfind("=== ", 0) == 0) {
      if (state == In::Batch) throw std::runtime_error(where + ": batch without --- expect");
      close_block();
      state = In::Nothing;
      Case c;
      c.file = file;
      c.line = n;
      c.name = line.substr(4);
      cases.push_back(std::move(c));
    } else if (line == "--- batch") {
      if (cases.empty()) throw std::runtime_error(where + ": batch before the first case");
      if (state == In::Batch) throw std::runtime_error(where + ": batch without --- expect");
      close_block();
      state = In::Batch;
      Batch b;
      b.line = n;
      cases.back().batches.push_back(std::move(b));
    } else if (line == "--- expect") {
      if (state != In::Batch) throw std::runtime_error(where + ": expect without a batch");
      close_block();
      state = In::Expect;
    } else if (line.rfind("---", 0) == 0) {
      throw std::runtime_error(where + ": unknown section line: " + line);
    } else if (state == In::Batch) {
      block.push_back(UnescapeBatchLine(line, where));
    } else if (!line.empty() && line[0] == '#') {
      // comment
    } else if (state == In::Expect) {
      block.push_back(line == "@terminated" ? std::string(kTerminated) : line);
    } else if (!line.empty()) {
      throw std::runtime_error(where + ": text outside a batch or expect block");
    }
  }
  if (state == In::Batch) throw std::runtime_error(file + ": last batch without --- expect");
  close_block();
  for (const auto& c : cases)
    if (c.batches.empty())
      throw std::runtime_error(file + ":" + std::to_string(c.line) + ": case without batches");
  return cases;
}

std::vector<Case> LoadAll() {
  std::vector<Case> all;
  std::vector<std::filesystem::path> files;
  try {
    for (const auto& e : std::filesystem::directory_iterator(STANDIN_CASES_DIR))
      if (e.path().extension() == ".case") files.push_back(e.path());
  } catch (const std::exception& e) {
    Case c;
    c.file = "cases";
    c.name = "loading";
    c.load_error = e.what();
    return {c};
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    try {
      auto cs = ParseFile(f);
      all.insert(all.end(), cs.begin(), cs.end());
    } catch (const std::exception& e) {
      Case c;
      c.file = f.filename().string();
      c.name = "parse error";
      c.load_error = e.what();
      all.push_back(c);
    }
  }
  if (all.empty()) {
    Case c;
    c.file = "cases";
    c.name = "no cases";
    c.load_error = std::string("no .case file in ") + STANDIN_CASES_DIR;
    all.push_back(c);
  }
  return all;
}

// Matches `pat` against `s` where "{any}" stands for any run of characters other than ',' and
// '\n'. Recursion happens only at a wildcard, so its depth is the number of wildcards.
bool WildcardMatch(std::string_view pat, std::string_view s) {
  static constexpr std::string_view kAny = "{any}";
  const std::size_t star = pat.find(kAny);
  if (star == std::string_view::npos) return pat == s;
  if (s.substr(0, star) != pat.substr(0, star)) return false;
  std::string_view rest_pat = pat.substr(star + kAny.size());
  std::string_view rest = s.substr(star);
  for (std::size_t k = 0;; ++k) {
    if (WildcardMatch(rest_pat, rest.substr(k))) return true;
    if (k == rest.size() || rest[k] == ',' || rest[k] == '\n') return false;
  }
}

// gtest prints a parameter when a test fails; the case's name and place are what help.
void PrintTo(const Case& c, std::ostream* os) { *os << c.file << ":" << c.line << " " << c.name; }

class CaseTest : public ::testing::TestWithParam<Case> {};

TEST_P(CaseTest, Run) {
  const Case& c = GetParam();
  ASSERT_TRUE(c.load_error.empty()) << c.load_error;
  standin::Database db("vrek");
  standin::Session session(db);
  for (std::size_t i = 0; i < c.batches.size(); ++i) {
    const Batch& b = c.batches[i];
    std::string actual = standin::Render(session.Execute(b.text));
    if (!actual.empty() && actual.back() == '\n') actual.pop_back();
    if (!WildcardMatch(b.expect, actual)) {
      ADD_FAILURE_AT(c.file.c_str(), b.line)
          << "case \"" << c.name << "\" (" << c.file << ":" << c.line << "), batch " << i + 1
          << " of " << c.batches.size() << ":\n"
          << b.text << "\n--- expected\n"
          << b.expect << "\n--- actual\n"
          << actual << "\n---";
    }
  }
}

std::string TestName(const ::testing::TestParamInfo<Case>& info) {
  const Case& c = info.param;
  std::string stem = c.file.substr(0, c.file.rfind('.'));
  std::string raw = stem + "_" + c.name;
  std::string out;
  for (unsigned char ch : raw) {
    const bool ok =
        (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    if (ok) {
      out += static_cast<char>(ch);
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  if (out.size() > 90) out.resize(90);
  // Names must be unique; the index keeps them so even when two cases read alike.
  return out + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTest, ::testing::ValuesIn(LoadAll()), TestName);

}  // namespace

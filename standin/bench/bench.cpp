// Inserts N rows one statement per batch into a table with a primary key and a second index,
// for N = 25,000, 50,000 and 100,000, and prints statements per second and time per statement:
// if the engine is linear, the time per statement stays flat as N doubles. Then reads the
// 100,000-row table back with one select and prints rows per second.
//
// Usage: standin_bench [N ...]   (default 25000 50000 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "standin/engine.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A barcode that does not follow the insert order, so the index is not fed sorted keys.
std::string Barcode(long i) {
  const unsigned long h = (static_cast<unsigned long>(i) * 2654435761UL) % 1000000007UL;
  char buf[32];
  std::snprintf(buf, sizeof buf, "69%011lu", h);
  return buf;
}

std::string InsertStatement(long i) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "insert into lib_liushui (ls_id, ls_barcode, ls_pname, ls_number, ls_date) values "
                "(%ld, '%s', '打印纸%ld', %ld.50, '2004-01-05T09:00:00')",
                i, Barcode(i).c_str(), i % 1000, i % 97);
  return buf;
}

struct Result {
  std::unique_ptr<standin::Database> db;
  long failures = 0;
};

Result Fill(long n) {
  Result r;
  r.db = std::make_unique<standin::Database>("vrek");
  standin::Session s(*r.db);
  s.Execute(
      "create table lib_liushui (ls_id int not null constraint PK_lib_liushui primary key "
      "nonclustered, "
      "ls_barcode char(20) not null, ls_pname char(40) default(''), ls_number numeric(15,2) "
      "default(0), "
      "ls_date datetime)");
  s.Execute(
      "create index PK_lib_liushui_barcode on lib_liushui(ls_barcode) WITH "
      "PAD_INDEX,FILLFACTOR=85");
  const auto start = Clock::now();
  for (long i = 1; i <= n; ++i)
    if (s.Execute(InsertStatement(i)).Failed()) ++r.failures;
  const double t = SecondsSince(start);
  std::printf("insert  N=%7ld  %8.3f s  %10.0f statements/s  %8.2f us/statement  failures %ld\n", n,
              t, static_cast<double>(n) / t, t * 1e6 / static_cast<double>(n), r.failures);
  std::fflush(stdout);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtol(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {25000, 50000, 100000};

  Result largest;
  long largest_n = 0;
  for (long n : sizes) {
    Result r = Fill(n);
    if (n >= largest_n) {
      largest = std::move(r);
      largest_n = n;
    }
  }

  standin::Session s(*largest.db);
  const auto start = Clock::now();
  const standin::BatchOutcome o = s.Execute("select * from lib_liushui");
  const double t = SecondsSince(start);
  const std::size_t rows = o.statements.empty() ? 0 : o.statements[0].rows.size();
  std::printf("select  N=%7ld  %8.3f s  %10.0f rows/s  (%zu rows)\n", largest_n, t,
              static_cast<double>(rows) / t, rows);
  return largest.failures == 0 && rows == static_cast<std::size_t>(largest_n) ? 0 : 1;
}

// Prints how long 100,000 single-row INSERT batches take on a table with a primary key and an
// index (in quarters, so that growth shows), and how long SELECT * of those rows takes.
#include <chrono>
#include <cstdio>
#include <string>

#include "standin/engine.h"
int main() {
  standin::Database db;
  standin::Session s(db);
  s.Execute(
      "create table P (id int not null, code char(20) not null, name char(40) default(''), qty "
      "numeric(15,2) default(0))\n"
      "alter table P add constraint PK_P primary key nonclustered (id)\n"
      "create index PK_P_code on P(code) WITH PAD_INDEX,FILLFACTOR=85");
  auto t0 = std::chrono::steady_clock::now();
  auto last = t0;
  for (int i = 1; i <= 100000; ++i) {
    std::string b = "insert into P(id, code, name, qty) values (" + std::to_string(i) + ", 'C" +
                    std::to_string(i * 7) + "', '名称" + std::to_string(i) + "', 12.50)";
    auto o = s.Execute(b);
    if (o.Failed()) {
      std::printf("failed at %d: %s\n", i, o.FirstError()->text.c_str());
      return 1;
    }
    if (i % 25000 == 0) {
      auto now = std::chrono::steady_clock::now();
      std::printf("rows %6d: last 25000 inserts %.3f s\n", i,
                  std::chrono::duration<double>(now - last).count());
      last = now;
    }
  }
  auto t1 = std::chrono::steady_clock::now();
  auto o = s.Execute("select * from P");
  auto t2 = std::chrono::steady_clock::now();
  std::printf("100000 inserts %.3f s; select * returned %zu rows in %.3f s\n",
              std::chrono::duration<double>(t1 - t0).count(), o.statements[0].rows.size(),
              std::chrono::duration<double>(t2 - t1).count());
  auto o2 = s.Execute("select count(*) from P where code = 'C700'");
  auto t3 = std::chrono::steady_clock::now();
  std::printf("count(*) where code = 'C700' over 100000 rows: %s in %.3f s\n",
              o2.statements[0].rows.at(0).at(0).Text().c_str(),
              std::chrono::duration<double>(t3 - t2).count());
}

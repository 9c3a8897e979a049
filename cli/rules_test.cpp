// The pieces of the plan that need no database: which tables a batch creates or a select reads,
// and the JSON text of a batch, which must be the listener's log escaping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_decorators.h"
#include "json_log.h"
#include "json_text.h"

namespace {

using Names = std::vector<std::string>;

TEST(TablesCreated, NamesAfterCreateTableOnly) {
  EXPECT_EQ(
      vrekcli::TablesCreated("create table ver_manage ( \n\t\tvm_mess \tchar(40) default('')\n) "),
      Names{"ver_manage"});
  EXPECT_EQ(
      vrekcli::TablesCreated("CREATE  TABLE [dbo].[Lib_X](a int)\ncreate table dbo.y (b int)"),
      (Names{"lib_x", "y"}));
  EXPECT_EQ(vrekcli::TablesCreated("create index PK_lib_vrek_name on lib_vrek_name(gn_name)"),
            Names{});
  EXPECT_EQ(vrekcli::TablesCreated("insert into t values('create table z (')"), Names{});
  EXPECT_EQ(vrekcli::TablesCreated("-- create table a\n/* create table b */ drop table c"),
            Names{});
}

TEST(TablesRead, NamesAfterFromAndJoinInSubqueriesToo) {
  EXPECT_EQ(vrekcli::TablesRead("select vm_mess from ver_manage\nwhere vm_mess='ZZ20110520.DEPT'"),
            Names{"ver_manage"});
  EXPECT_EQ(vrekcli::TablesRead("select name from syscolumns where name='un_unitpy' and id in "
                                "(select id from sysobjects where name = 'lib_unit')"),
            (Names{"syscolumns", "sysobjects"}));
  EXPECT_EQ(vrekcli::TablesRead("select * from sysobjects where name ='from ver_manage'"),
            Names{"sysobjects"});
  EXPECT_EQ(vrekcli::TablesRead("select a.x from A a join [dbo].B b on a.k=b.k"),
            (Names{"a", "b"}));
}

// The plan's line of a batch is the listener's log line of it without "seq" and "error", byte for
// byte, so that the two compare as text.
TEST(JsonText, BatchLineIsTheListenerLogsTextMember) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::vector<std::string> texts = {"", all, std::string("a\0b", 3),
                                          "insert into lib_unit values ('请选择','',0)\r\n\t\"x\\"};
  for (const std::string& t : texts) {
    const std::string line = vrekcli::JsonBatchLine(t);
    ASSERT_GE(line.size(), 2u);
    EXPECT_EQ(standin::tds::JsonLogLine(7, t, nullptr),
              "{\"seq\":7," + line.substr(1, line.size() - 2) + ",\"error\":null}\n")
        << t;
  }
  EXPECT_EQ(vrekcli::JsonBatchLine("a\n'b'\t\"c\" 中\x01"),
            "{\"text\":\"a\\n'b'\\t\\\"c\\\" 中\\u0001\"}");
}

}  // namespace

#include "transcripts.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

Transcript& operator+=(Transcript& a, const Transcript& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Transcript operator+(Transcript a, const Transcript& b) { return a += b; }

Transcript ReadTranscript(const std::string& name) {
  const std::string path = std::string(VREK_TRANSCRIPT_DIR) + "/" + name + ".txt";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("no transcript " + path);
  std::ostringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  Transcript batches;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find(kBatchEnd, at)) != std::string::npos;
       at = end + kBatchEnd.size())
    batches.push_back(text.substr(at, end - at));
  if (at != text.size()) throw std::runtime_error(path + " does not end with a batch's end");
  return batches;
}

Transcript Lock() { return ReadTranscript("lock"); }
Transcript OtherSessions() { return ReadTranscript("other_sessions"); }
bool ChangesNothing(const std::string& batch) {
  return batch.rfind("select ", 0) == 0 || batch == Lock().front();
}

Transcript UpgradedRun() { return ReadTranscript("upgraded_run"); }
Transcript Ledger() { return ReadTranscript("ledger"); }
Transcript ScrapReason() { return ReadTranscript("scrap_reason"); }
Transcript Units() { return ReadTranscript("units"); }
Transcript PeopleHead() { return ReadTranscript("people_head"); }
Transcript PeopleTail() { return ReadTranscript("people_tail"); }
Transcript StockTaking() { return ReadTranscript("stock_taking"); }
Transcript Company() { return ReadTranscript("company"); }
Transcript CheckedFields() { return ReadTranscript("checked_fields"); }
Transcript AssetNamesHead() { return ReadTranscript("asset_names_head"); }

Transcript CheckOnOldRegister() { return ReadTranscript("check_old_register"); }
Transcript CheckOnUpgraded() { return ReadTranscript("check_upgraded"); }
Transcript CliUpgradedRun() {
  return Lock() + OtherSessions() + CheckOnUpgraded() + UpgradedRun() + CheckOnUpgraded();
}

Transcript CheckedUpgradedRun() {
  return Lock() + CheckOnUpgraded() + UpgradedRun() + CheckOnUpgraded();
}

std::string MarkLookup(const std::string& mark) {
  return "select vm_mess from ver_manage\nwhere vm_mess='" + mark + "'";
}

std::string MarkInsert(const std::string& mark) {
  return "insert into ver_manage(vm_mess)values('" + mark + "')";
}

Transcript UpgradedSlice(size_t from, size_t to) {
  Transcript all = UpgradedRun();
  return Transcript(all.begin() + static_cast<long>(from), all.begin() + static_cast<long>(to));
}

std::vector<std::vector<std::string>> UnitSeedRows() {
  return {{"请选择", "", "0"}, {"个", "g", "1"},  {"套", "t", "2"},  {"米", "m", "7"},
          {"Kg", "k", "8"},    {"台", "t", "9"},  {"张", "z", "10"}, {"盏", "z", "11"},
          {"支", "z", "12"},   {"卷", "j", "16"}, {"把", "b", "18"}, {"付", "f", "20"},
          {"条", "t", "25"},   {"瓶", "p", "27"}, {"包", "b", "31"}, {"双", "s", "32"},
          {"盒", "h", "33"},   {"批", "p", "34"}, {"本", "b", "35"}, {"面", "m", "43"},
          {"床", "c", "44"},   {"只", "z", "46"}, {"筒", "t", "48"}, {"副", "f", "56"},
          {"箱", "x", "65"},   {"层", "c", "72"}, {"T", "t", "73"}};
}

std::string PersonInsert(const std::vector<std::string>& v) {
  std::string s = "insert into lib_peopletmp values(";
  for (size_t i = 0; i < v.size(); ++i) s += "\n'" + v[i] + (i + 1 == v.size() ? "')" : "',");
  return s;
}

std::vector<std::vector<std::string>> CheckedFieldRows() {
  return {{"lib_vrek", "vr_id", "设备编号", "1"},       {"lib_vrek", "vr_name", "设备名称", "1"},
          {"lib_vrek", "vr_type", "型号", "0"},         {"lib_vrek", "vr_style", "规格", "0"},
          {"lib_vrek", "vr_productor", "厂家", "0"},    {"lib_vrek", "vr_prono", "出厂号", "0"},
          {"lib_vrek", "vr_price", "单价", "1"},        {"lib_vrek", "vr_kind", "经费科目", "0"},
          {"lib_vrek", "vr_usetype", "使用方向", "0"},  {"lib_vrek", "vr_checkno", "票据号", "0"},
          {"lib_liushui", "ls_barcode", "条形码", "1"}, {"lib_liushui", "ls_zcode", "类别", "0"},
          {"lib_liushui", "ls_pname", "名称", "1"},     {"lib_liushui", "ls_type", "型号", "0"},
          {"lib_liushui", "ls_style", "规格", "0"},     {"lib_liushui", "ls_pingz", "凭证号", "0"},
          {"lib_liushui", "ls_number", "数量", "1"},    {"lib_liushui", "ls_price", "单价", "1"}};
}

std::string NameInsert(const std::string& name, const std::string& initials) {
  return "insert into lib_vrek_name values('" + name + "','" + initials + "') ";
}

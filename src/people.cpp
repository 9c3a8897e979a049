#include "people.h"

#include <cctype>
#include <cstdio>
#include <map>

#include "sqltext.h"
#include "text/text.h"

using platform::EVariantError;
using platform::TQuery;

const PersonField kPersonFields[8] = {
    {"pe_no", PersonField::Kind::Number, 9, "人员编号"},
    {"pe_sign", PersonField::Kind::Text, 1, "标志"},
    {"pe_name", PersonField::Kind::Text, 8, "姓名"},
    {"pe_sex", PersonField::Kind::Text, 2, "性别"},
    {"pe_bdate", PersonField::Kind::Date, 0, "出生日期"},
    {"pe_pass", PersonField::Kind::Text, 9, "密码"},
    {"pe_card", PersonField::Kind::Text, 20, "卡号"},
    {"pe_dept", PersonField::Kind::Number, 0, "部门"},
};

namespace {

// yyyymmdd, as snprintf's "%04d%02d%02d" writes it, without its cost: the copy formats a date for
// every person, twice.
std::string DateDigits(const platform::TDateTime& d) {
  if (d.Year < 0 || d.Year > 9999 || d.Month < 0 || d.Month > 99 || d.Day < 0 || d.Day > 99) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.Year, d.Month, d.Day);
    return buf;
  }
  std::string out(8, '0');
  const int parts[3][2] = {{d.Year, 4}, {d.Month, 2}, {d.Day, 2}};
  size_t end = 0;
  for (const auto& [value, width] : parts) {
    end += static_cast<size_t>(width);
    int v = value;
    for (size_t i = end; v > 0; v /= 10) out[--i] = static_cast<char>('0' + v % 10);
  }
  return out;
}

// How the new char(9) primary key compares numbers: letter case and trailing blanks ignored.
std::string KeyOf(const std::string& number) {
  std::string key = number;
  while (!key.empty() && key.back() == ' ') key.pop_back();
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

std::string PersonValueText(const TQuery& query, const PersonField& field) {
  platform::Variant v = query.GetFieldValue(field.column);
  switch (field.kind) {
    case PersonField::Kind::Number:
      return std::to_string(v.AsInteger());
    case PersonField::Kind::Text:
      return TrimBlanks(v.AsString());
    case PersonField::Kind::Date:
      return DateDigits(v.AsDateTime());
  }
  return "";
}

std::vector<std::string> UnconvertiblePeople(TQuery& query) {
  std::vector<std::string> problems;
  std::map<std::string, std::string> numbers_seen;  // key -> number as first seen
  for (; !query.Eof(); query.Next()) {
    std::string reasons;
    auto add = [&reasons](const std::string& r) { reasons += (reasons.empty() ? "" : "，") + r; };
    for (const PersonField& f : kPersonFields) {
      std::string text;
      try {
        text = PersonValueText(query, f);
      } catch (const EVariantError&) {
        add(std::string(f.label) + (query.GetFieldValue(f.column).IsNull() ? "为空" : "无法转换"));
        continue;
      }
      if (f.kind == PersonField::Kind::Number && f.width > 0 &&
          text.size() > static_cast<size_t>(f.width)) {
        add(std::string(f.label) + "超过" + std::to_string(f.width) + "位");
      } else if (f.kind == PersonField::Kind::Text) {
        try {
          if (text::Utf8ToGbk(text, text::Mode::kStrict).size() > static_cast<size_t>(f.width))
            add(std::string(f.label) + "超过" + std::to_string(f.width) + "个字节");
        } catch (const text::ETextConversionError&) {
          add(std::string(f.label) + "含有无法保存的字符");
        }
      }
      if (&f == &kPersonFields[0]) {
        auto [it, fresh] = numbers_seen.emplace(KeyOf(text), text);
        if (!fresh) add("人员编号与" + it->second + "重复");
      }
    }
    if (!reasons.empty()) {
      platform::Variant no = query.GetFieldValue("pe_no");
      problems.push_back("人员编号 " +
                         (no.IsNull() ? std::string("（空）") : TrimBlanks(no.AsString())) + "：" +
                         reasons);
    }
  }
  return problems;
}

std::string UnconvertiblePeopleMessage(const std::vector<std::string>& problems) {
  constexpr size_t kShown = 20;
  std::string text =
      "人员数据无法转换为新的人员编号格式，升级已停止，人员数据未作任何改动。"
      "请修正以下人员后重新升级：";
  for (size_t i = 0; i < problems.size() && i < kShown; ++i) text += "\n" + problems[i];
  if (problems.size() > kShown)
    text += "\n……另有" + std::to_string(problems.size() - kShown) + "名人员无法转换";
  return text;
}

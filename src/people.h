// The person fields as the re-keying carries them from the old lib_people into the new one,
// shared by the pre-flight check and the inserts so that both convert alike.
#pragma once

#include <string>
#include <vector>

#include "platform/database.h"

struct PersonField {
  enum class Kind { Number, Text, Date };
  const char* column;
  Kind kind;
  int width;          // bytes of code page 936 that the new column holds; 0: not text
  const char* label;  // the field as users call it
};

// The eight fields in the order of the new table's columns.
extern const PersonField kPersonFields[8];

// The value text of one field of the query's current row, before quoting:
//   Number: decimal digits of the whole number (NULL or a non-number throws EVariantError);
//   Text:   the text without leading and trailing characters of code 32 or below, NULL as "";
//   Date:   yyyymmdd, a form the server reads alike under every DATEFORMAT (NULL throws).
std::string PersonValueText(const platform::TQuery& query, const PersonField& field);

// Checks every row of the open query as the re-keying would treat it, and returns one line per
// person it could not carry ("人员编号 12：姓名超过8个字节"), in row order. The query is left at
// its end.
std::vector<std::string> UnconvertiblePeople(platform::TQuery& query);

// The message of the error that stops the upgrade for those persons (at most 20 named).
std::string UnconvertiblePeopleMessage(const std::vector<std::string>& problems);

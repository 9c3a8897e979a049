// Parses a batch into statements. Anything outside the subset is refused the way the server
// refuses invalid syntax: SqlError 102 / 156 (thrown), naming the token where parsing failed.
#pragma once

#include <string_view>
#include <vector>

#include "ast.h"

namespace standin {

std::vector<Statement> ParseBatch(std::string_view batch_utf8);

}  // namespace standin

// JSON text for the machine-readable plan (`upvrek-cli plan --batches`). The escaping is the
// one the TDS listener's batch log uses, so that a plan and a log compare line by line.
#pragma once

#include <string>
#include <string_view>

namespace vrekcli {

// `text` as a JSON string literal, quotes included: `"`, `\` and control characters escaped
// (\n \r \t, the others as \u00XX); every other byte, UTF-8 sequences included, kept as is.
std::string JsonString(std::string_view text);

// {"text": "..."}, without a line break.
std::string JsonBatchLine(std::string_view batch);

}  // namespace vrekcli

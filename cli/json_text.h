// JSON text for the machine-readable plan (`upvrek-cli plan --batches`), written as the TDS
// listener writes its batch log, so that a plan and a log's "text" members compare line by line.
#pragma once

#include <string>
#include <string_view>

namespace vrekcli {

// {"text":"..."}, without a line break.
std::string JsonBatchLine(std::string_view batch);

}  // namespace vrekcli

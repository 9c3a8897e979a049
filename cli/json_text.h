// JSON text for the machine-readable plan (`upvrek-cli plan --batches`), written as the TDS
// listener writes its batch log, so that a plan and a log's "text" members compare line by line.
#pragma once

#include <string>
#include <string_view>

namespace vrekcli {

struct ForeseenError;

// {"text":"..."}, without a line break; with an error, {"text":"...","error":{"number":N,
// "message":"..."}}, the form in which the listener logs a batch that failed.
std::string JsonBatchLine(std::string_view batch, const ForeseenError* error = nullptr);

}  // namespace vrekcli

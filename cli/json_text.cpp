#include "json_text.h"

#include <nlohmann/json.hpp>

#include "foresight.h"

namespace vrekcli {

std::string JsonBatchLine(std::string_view batch, const ForeseenError* error) {
  nlohmann::ordered_json line{{"text", batch}};
  if (error) line["error"] = {{"number", error->number}, {"message", error->message}};
  // A byte that is not UTF-8 becomes U+FFFD, as in the listener's log.
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace vrekcli

#include "json_text.h"

#include <nlohmann/json.hpp>

namespace vrekcli {

std::string JsonBatchLine(std::string_view batch) {
  // A byte that is not UTF-8 becomes U+FFFD, as in the listener's log.
  return nlohmann::ordered_json{{"text", batch}}.dump(-1, ' ', false,
                                                      nlohmann::json::error_handler_t::replace);
}

}  // namespace vrekcli

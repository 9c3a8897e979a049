// SQL_BATCH requests and the reply to them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "standin/engine.h"

namespace standin::tds {

// The batch text in UTF-8 from a SQL_BATCH payload (ALL_HEADERS skipped, UCS-2LE decoded).
// nullopt, with the reason in detail, when the headers are malformed or the text has an odd
// number of bytes.
std::optional<std::string> BatchText(std::string_view payload, std::string& detail);

// The reply payload for an outcome, as SQL Server sends it: per statement its messages, its
// columns and rows, then DONE (MORE on all but the last, COUNT and ERROR as the outcome says).
// A batch without statements still gets a final DONE. Values of a kind that does not fit their
// column go out as NULL and are counted in *mismatched when given.
std::string BatchReply(const BatchOutcome& outcome, std::size_t* mismatched = nullptr);

// The reply to a request the listener refuses (RPC, transaction manager): one error and DONE.
std::string RefusalReply(int number, std::string_view text);

}  // namespace standin::tds

#include "batch.h"

#include <cstdint>

#include "text/text.h"
#include "tokens.h"

namespace standin::tds {
namespace {

// DONE's current-command field: SELECT for results, otherwise left unspecified.
constexpr uint16_t kCommandSelect = 0xC1;

}  // namespace

std::optional<std::string> BatchText(std::string_view payload, std::string& detail) {
  if (payload.size() < 4) {
    detail = "SQL batch without ALL_HEADERS";
    return std::nullopt;
  }
  uint32_t total = 0;
  for (int i = 3; i >= 0; --i) total = (total << 8) | static_cast<unsigned char>(payload[i]);
  if (total < 4 || total > payload.size()) {
    detail = "ALL_HEADERS length " + std::to_string(total) + " out of range";
    return std::nullopt;
  }
  const std::string_view text = payload.substr(total);
  if (text.size() % 2 != 0) {
    detail = "SQL batch text of an odd number of bytes";
    return std::nullopt;
  }
  // Any UTF-16 is accepted, as the server accepts any UCS-2; an unpaired surrogate becomes U+FFFD.
  return text::Utf16LeToUtf8(text, text::Mode::kLossy);
}

std::string BatchReply(const BatchOutcome& outcome, std::size_t* mismatched) {
  TokenWriter w;
  const auto& statements = outcome.statements;
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const StatementOutcome& s = statements[i];
    for (const standin::Message& m : s.messages) w.WriteMessage(m);
    if (s.has_result) w.WriteResult(s.columns, s.rows);
    uint16_t status = 0;
    if (i + 1 < statements.size()) status |= done::kMore;
    if (s.has_count) status |= done::kCount;
    if (s.failed) status |= done::kError;
    w.WriteDone(status, s.has_result ? kCommandSelect : 0,
                s.has_count ? static_cast<uint64_t>(s.count) : 0);
  }
  if (statements.empty()) w.WriteDone(0, 0, 0);
  if (mismatched != nullptr) *mismatched = w.MismatchedValues();
  return w.Bytes();
}

std::string RefusalReply(int number, std::string_view text) {
  TokenWriter w;
  w.WriteMessage(standin::Message{number, 16, 1, std::string(text)});
  w.WriteDone(done::kError, 0, 0);
  return w.Bytes();
}

}  // namespace standin::tds

// TransactionMemo: a bounded map of keys for one write transaction.
#include "platform/data/transaction_memo.h"

namespace tamsel::platform::data {

std::optional<std::int64_t> TransactionMemo::Find(std::string_view key) const {
  auto found = keys_.find(key);
  if (found == keys_.end()) return std::nullopt;
  return found->second;
}

void TransactionMemo::Keep(std::string_view key, std::int64_t value) {
  auto found = keys_.find(key);
  if (found != keys_.end()) {
    found->second = value;
    return;
  }
  if (keys_.size() >= kMaxKeys) keys_.clear();
  keys_.emplace(std::string(key), value);
}

void TransactionMemo::Forget(std::string_view key) {
  auto found = keys_.find(key);
  if (found != keys_.end()) keys_.erase(found);
}

}  // namespace tamsel::platform::data

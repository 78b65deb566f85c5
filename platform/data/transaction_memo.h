// TransactionMemo: keys a procedure looked up or added inside a write transaction, kept for its
// later calls in the same transaction. Holding the write lock, no other connection can change
// what was read; the session drops the memo when its own connection may have (see
// Session::Memo).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tamsel::platform::data {

class TransactionMemo {
 public:
  // Past this many keys the memo starts again, so a transaction of many distinct names
  // cannot grow it without bound.
  static constexpr std::size_t kMaxKeys = 4096;

  std::optional<std::int64_t> Find(std::string_view key) const;
  void Keep(std::string_view key, std::int64_t value);
  void Forget(std::string_view key);
  void Clear() { keys_.clear(); }
  std::size_t Size() const { return keys_.size(); }

 private:
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_map<std::string, std::int64_t, TextHash, std::equal_to<>> keys_;
};

}  // namespace tamsel::platform::data

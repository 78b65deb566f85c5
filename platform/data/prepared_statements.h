// The statements a server connection keeps prepared, by their text: a bounded set, the least
// recently used leaving first, so a connection that sees ever new texts (pages that carry
// their offset and filters in the SQL) does not keep every one of them on the server.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tamsel::platform::data {

// A prepared statement of the link: its server name and the shape of its result.
struct ServerPrepared {
  std::string name;
  int parameters = 0;
  std::vector<std::string> columns;  // spelled as the statement or the schema spells them
  std::vector<unsigned> types;       // the columns' type OIDs
  bool returnsKey = false;           // an INSERT rewritten to return the new key
};

class PreparedStatements {
 public:
  // Keeps at most `limit` statements; past it, the least recently used go `batch` at a
  // time, so the server is asked to free them in one round trip now and then.
  PreparedStatements(std::size_t limit, std::size_t batch);

  // The statement prepared for `sql`, now the most recently used; null when none is kept.
  // A caller holds the pointer while it runs the statement, which keeps it from being
  // freed on the server meanwhile.
  std::shared_ptr<const ServerPrepared> Find(std::string_view sql);
  // Keeps a newly prepared statement, letting the least recently used go when past the
  // limit.
  std::shared_ptr<const ServerPrepared> Add(std::string_view sql, ServerPrepared prepared);
  // Lets every statement go (their result shapes may have changed).
  void Clear();
  // The server names of statements let go that no caller holds any more, to be freed on the
  // server; they are forgotten here.
  std::vector<std::string> TakeReleased();

  std::size_t Size() const { return byText_.size(); }

 private:
  struct Entry {
    std::string sql;
    std::shared_ptr<const ServerPrepared> prepared;
  };
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  using Order = std::list<Entry>;  // most recently used first

  std::size_t limit_;
  std::size_t batch_;
  Order order_;
  // Keys view the texts held by order_'s entries, whose nodes never move.
  std::unordered_map<std::string_view, Order::iterator, TextHash, std::equal_to<>> byText_;
  std::vector<std::shared_ptr<const ServerPrepared>> released_;
};

}  // namespace tamsel::platform::data

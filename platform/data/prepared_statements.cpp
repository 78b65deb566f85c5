// The server connection's bounded set of prepared statements.
#include "platform/data/prepared_statements.h"

#include <algorithm>

namespace tamsel::platform::data {

PreparedStatements::PreparedStatements(std::size_t limit, std::size_t batch)
    : limit_(std::max<std::size_t>(limit, 1)),
      batch_(std::clamp<std::size_t>(batch, 1, std::max<std::size_t>(limit, 1))) {}

std::shared_ptr<const ServerPrepared> PreparedStatements::Find(std::string_view sql) {
  const auto found = byText_.find(sql);
  if (found == byText_.end()) return nullptr;
  order_.splice(order_.begin(), order_, found->second);
  return found->second->prepared;
}

std::shared_ptr<const ServerPrepared> PreparedStatements::Add(std::string_view sql,
                                                              ServerPrepared prepared) {
  const auto found = byText_.find(sql);
  if (found != byText_.end()) {
    released_.push_back(std::move(found->second->prepared));
    order_.erase(found->second);
    byText_.erase(found);
  }
  order_.push_front(
      {std::string(sql), std::make_shared<const ServerPrepared>(std::move(prepared))});
  byText_.emplace(order_.front().sql, order_.begin());
  if (order_.size() > limit_) {
    // Down to the limit less a batch, so the next batch - 1 new texts free nothing.
    while (order_.size() > limit_ - batch_ && order_.size() > 1) {
      byText_.erase(order_.back().sql);
      released_.push_back(std::move(order_.back().prepared));
      order_.pop_back();
    }
  }
  return order_.front().prepared;
}

void PreparedStatements::Clear() {
  for (Entry& entry : order_) released_.push_back(std::move(entry.prepared));
  byText_.clear();
  order_.clear();
}

std::vector<std::string> PreparedStatements::TakeReleased() {
  std::vector<std::string> names;
  // A statement still held by a caller is freed at a later call, once it is done with it.
  const auto idle = std::stable_partition(released_.begin(), released_.end(),
                                          [](const auto& held) { return held.use_count() > 1; });
  for (auto it = idle; it != released_.end(); ++it) names.push_back((*it)->name);
  released_.erase(idle, released_.end());
  return names;
}

}  // namespace tamsel::platform::data

// Answers a pass read from machines' registries (the message files of a source, the name of
// an account), kept under a key together with the stamps of the registries they came from.
// An answer is served again only while every one of those registries has the same usable
// stamp, so it is always what a fresh read would give.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "collector/file_stamp.h"

namespace tamsel::collector {

template <class Answer>
class RegistryAnswers {
 public:
  using Stamps = std::vector<RegistryStamps::Stamp>;

  // The answer kept for `key` when it was read under exactly these stamps, else null.
  const Answer* Find(const std::string& key, const Stamps& stamps) const {
    auto found = answers_.find(key);
    if (found == answers_.end() || found->second.first != stamps) return nullptr;
    return &found->second.second;
  }
  // Keeps an answer read after the stamps were taken; one read under an unusable stamp (a
  // machine out of reach, a registry just changed) is not kept.
  void Keep(const std::string& key, const Stamps& stamps, Answer answer) {
    for (const auto& stamp : stamps) {
      if (!stamp.usable) {
        answers_.erase(key);
        return;
      }
    }
    answers_[key] = {stamps, std::move(answer)};
  }
  void Clear() { answers_.clear(); }

 private:
  std::map<std::string, std::pair<Stamps, Answer>> answers_;
};

// What ResolveMessageFiles found for a source.
struct MessageFilesAnswer {
  int result = 0;
  std::string categoryMessageFile;
  std::string eventMessageFile;
};

}  // namespace tamsel::collector

// Language fallback of FormatMessage over the languages of one message table resource.

#include "platform/messages/language_selection.h"

#include <vector>

namespace tamsel::platform::messages {
namespace {

thread_local LANGID threadLanguage = 0;

std::optional<std::size_t> IndexOf(std::span<const LANGID> available, LANGID language) {
  for (std::size_t i = 0; i < available.size(); ++i) {
    if (available[i] == language) return i;
  }
  return std::nullopt;
}

void AddWithNeutralSub(std::vector<LANGID>& order, LANGID language) {
  if (language == 0) return;
  order.push_back(language);
  order.push_back(MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL));
}

std::vector<LANGID> CandidateOrder(LANGID requested) {
  std::vector<LANGID> order;
  if (requested == 0) {
    order = {0x0000, GetThreadUILanguage(), GetUserDefaultUILanguage(),
             GetSystemDefaultUILanguage(), LANG_ENGLISH_US};
  } else if (PRIMARYLANGID(requested) == LANG_NEUTRAL) {
    order = {requested, 0x0000};
    if (SUBLANGID(requested) != SUBLANG_SYS_DEFAULT) {
      AddWithNeutralSub(order, GetThreadUILanguage());
      AddWithNeutralSub(order, GetUserDefaultUILanguage());
    }
    AddWithNeutralSub(order, GetSystemDefaultUILanguage());
    order.push_back(LANG_ENGLISH_US);
  } else {
    order = {requested, MAKELANGID(PRIMARYLANGID(requested), SUBLANG_NEUTRAL), 0x0000};
  }
  return order;
}

}  // namespace

LANGID GetThreadUILanguage() { return threadLanguage; }
void SetThreadUILanguage(LANGID language) { threadLanguage = language; }
LANGID GetUserDefaultUILanguage() { return LANG_ENGLISH_US; }
LANGID GetSystemDefaultUILanguage() { return LANG_ENGLISH_US; }

Win32Error SelectLanguage(std::span<const LANGID> available, std::uint32_t requested,
                          std::size_t& index) {
  if (available.empty() || requested > 0xFFFF) return ERROR_RESOURCE_LANG_NOT_FOUND;
  const auto language = static_cast<LANGID>(requested);
  for (LANGID candidate : CandidateOrder(language)) {
    if (auto found = IndexOf(available, candidate)) {
      index = *found;
      return ERROR_SUCCESS;
    }
  }
  // Only the "not explicit" requests take whatever language the module has.
  if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
    index = 0;
    return ERROR_SUCCESS;
  }
  return ERROR_RESOURCE_LANG_NOT_FOUND;
}

}  // namespace tamsel::platform::messages

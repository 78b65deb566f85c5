// Texts of the message resolution that do not need the service object: the fallback
// description, line breaks made HTML-ready, and the share path of a registered message file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamsel::collector {

inline constexpr const char* kFallbackDescription =
    "The service wasn't able to retrieve the formatted message string.<br>"
    "Using the unformatted message format:<br>";

// kFallbackDescription followed by each insertion string and "<br>".
std::string FallbackDescription(const std::vector<std::string>& insertionStrings);

// Every "\r\n" replaced by "<br>".
std::string HtmlLineBreaks(std::string_view text);

// The registered value as the collector reaches it: expanded with the collector's own
// environment (nothing when that does not fit 260 characters), put behind
// "\\<computer>\", every ":" made "$", and cut at a ";" (only the first file of a list).
std::string MessageFileSharePath(const std::string& computerName, const std::string& value);

}  // namespace tamsel::collector

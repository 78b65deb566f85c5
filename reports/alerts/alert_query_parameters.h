// The first stage of the alert SQL: the selection form's input fields, as the alert page
// saves them in the metadata, mapped onto the report-filter attributes of a QueryParameters
// document.
#pragma once

#include <string>

namespace tamsel::reports::alerts {

// The XML text of the QueryParameters document for `metaData` (a well-formed fragment,
// wrapped in a MetaData element). Raises 91 when the wrapped text does not parse, when no
// INPUT is named hServerLogTypeFilter, or when chk_EventID is present without txtEventID;
// 94 when hServerLogTypeFilter has no value.
std::string QueryParametersXml(const std::string& metaData);

}  // namespace tamsel::reports::alerts

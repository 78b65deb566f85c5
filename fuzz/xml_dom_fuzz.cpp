// libFuzzer target for the DOM: any text as a page's sXml. Whatever loads writes out text that
// loads again to the same text; whatever is set as an attribute keeps the document loadable;
// nesting and width never exhaust the stack or take more than linear time.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/com/com_error.h"
#include "platform/xml/dom.h"

namespace xml = tamsel::platform::xml;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  xml::Document doc;
  if (!doc.LoadXml(text)) {
    Check(doc.DocumentElement().IsNothing());
    Check(!doc.ParseErrorReason().empty());
    return 0;
  }
  const std::string written = doc.Xml();
  xml::Document again;
  Check(again.LoadXml(written));
  Check(again.Xml() == written);

  xml::Element root = doc.DocumentElement();
  Check(!root.IsNothing());
  (void)root.Text();
  (void)root.SelectNodes("//INPUT[@name='hServerLogTypeFilter']").Length();
  (void)root.SelectSingleNode("LogEntry[@LEID='1']");
  // Any bytes as a value: the answer stays well-formed.
  root.SetAttribute("PageCount", text.substr(0, 256));
  root.AppendChild(doc.CreateElement("PageLinks")).SetAttribute("x", text.substr(size / 2));
  Check(again.LoadXml(doc.Xml()));
  return 0;
}

// Escaping of attribute values for XML: & as &amp;, < as &lt;, > as &gt;; nothing else
// changes and entities already present are escaped again.
#pragma once

#include <oa/unique.h>

#include <string_view>

namespace quellar2mrapi::crdata {

// One pass over the text, sized first. Only the three characters themselves are replaced;
// look-alikes such as their full-width forms pass unchanged.
oa::unique_bstr encode_xml(std::u16string_view text);

}  // namespace quellar2mrapi::crdata

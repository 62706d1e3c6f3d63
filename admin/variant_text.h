// The text of a Variant, as the scripting language's CStr makes it.
#pragma once

#include <oa/unique.h>
#include <oleauto.h>

namespace quellar2mrapi {

// A text unchanged, a number its decimal text, a Boolean "True" or "False", Empty the
// empty text, an object its default value; Null fails with number 94, any other value
// without a text form with the standard failure of its conversion (13 mostly).
oa::unique_bstr text_of(const VARIANT& value);

}  // namespace quellar2mrapi

// The state of a typed value record behind the class t2DataClass: a value, a type tag, a
// size and an error message.
#pragma once

#include <oa/unique.h>
#include <oleauto.h>

namespace quellar2mrapi {

class value_state {
protected:
    // The three texts start empty, not absent.
    value_state();

    oa::unique_bstr value_type;
    oa::unique_bstr string_value;
    SHORT string_value_size = 0;
    SHORT integer_value = 0;
    VARIANT_BOOL boolean_value = VARIANT_FALSE;
    oa::unique_bstr err_msg;
};

}  // namespace quellar2mrapi

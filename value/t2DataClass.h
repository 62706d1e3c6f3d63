// A typed value record for scripts: its members are the interface's, declared from the
// IDL; its state lives in value/value_state.h.
#pragma once

#include <component/quellar2mrapi_shims.h>
#include <value/value_state.h>

namespace quellar2mrapi {

class t2DataClass final : public value_state, public _t2DataClass_shim<t2DataClass> {
public:
    QUELLAR2MRAPI__T2DATACLASS_MEMBERS
};

}  // namespace quellar2mrapi

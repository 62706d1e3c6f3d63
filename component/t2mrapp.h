// The session class: its members are the interface's, declared from the IDL; its state
// lives in session/session_state.h.
#pragma once

#include <component/quellar2mrapi_shims.h>
#include <session/session_state.h>

#include <functional>
#include <string_view>

namespace quellar2mrapi {

class t2mrapp final : public session_state, public _t2mrapp_shim<t2mrapp> {
public:
    QUELLAR2MRAPI__T2MRAPP_MEMBERS
};

// Sees every line that a method passes to the log, whatever the log switch says.
// Only tests set it.
using log_observer = std::function<void(std::u16string_view line)>;
void set_log_observer(log_observer observer);

// The component's type library, from the same descriptions as the dispatcher.
HRESULT get_type_library(ITypeLib** out) noexcept;

}  // namespace quellar2mrapi

// The script's view of automation: objects, CreateObject, ByRef, Null and Nothing.
#pragma once

#include <lua.hpp>

namespace q2mrhost {
void open_bridge(lua_State* L);
}

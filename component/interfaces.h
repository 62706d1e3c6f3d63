// The component's two dual interfaces, their ids and the classes' members: generated at
// build time from component/quellar2mrapi.idl (scripts/idlgen.py).
#pragma once

#include <component/quellar2mrapi_idl.h>

// The project's runtime keeps one registry for every program: there is no view of the
// other bitness to look into.
#include <oa/late_bound.h>

namespace oa::late {

bool registered_for_other_bitness(std::u16string_view) noexcept { return false; }

}  // namespace oa::late

// Relations between two objects on the change server: one request, whatever the direction.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

using oa::view;
namespace arg = mrlib::arg;

// Passes nothing to the log, whatever the outcome.
oa::unique_bstr t2mrapp::CreateRelation(LONG BothWayRelationship, BSTR fromID, BSTR toID, BSTR relationName,
                                        BSTR relationType) {
    try {
        const auto relation = {arg::object(user.get()), arg::long_(BothWayRelationship), arg::text(fromID),
                               arg::text(toID), arg::text(relationName), arg::text(relationType)};
        oa::unique_bstr answer = need(api).call(mrlib::op::CreateRelationship, relation).text();
        // The server answers nothing when it refuses.
        if (view(answer.get()).empty()) return oa::make_bstr(u"Create relation failed: Permission Denied");
        return answer;
    } catch (...) {
        return oa::make_bstr(failure_text(u"CreateRelation failed "));
    }
}

}  // namespace quellar2mrapi

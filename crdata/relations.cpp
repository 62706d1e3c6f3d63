// Relations between two objects on the change server: one request, whatever the direction.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

using oa::view;

HRESULT t2mrapp::CreateRelation(LONG* BothWayRelationship, BSTR* fromID, BSTR* toID, BSTR* relationName,
                                BSTR* relationType, BSTR* result) {
    // Passes nothing to the log, whatever the outcome.
    return call_result(
        result,
        [&] {
            *result = abandon_on_failure(
                          [&] {
                              oa::unique_bstr answer =
                                  need(api)
                                      .call(mrlib::op::CreateRelationship,
                                            {mrlib::arg::object(User.get()), mrlib::arg::long_(*BothWayRelationship),
                                             mrlib::arg::text(*fromID), mrlib::arg::text(*toID),
                                             mrlib::arg::text(*relationName), mrlib::arg::text(*relationType)})
                                      .text();
                              // The server answers nothing when it refuses.
                              if (view(answer.get()).empty())
                                  return oa::make_bstr(u"Create relation failed: Permission Denied");
                              return answer;
                          },
                          [](const oa::com_error& e) {
                              return oa::make_bstr(error_text(u"CreateRelation failed ", e));
                          })
                          .release();
        },
        BothWayRelationship, fromID, toID, relationName, relationType);
}

}  // namespace quellar2mrapi

// One preference of one user, set on the server; the server's message goes back as it came.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

using oa::view;

HRESULT t2mrapp::AddUserPreference(VARIANT* mrUserName, VARIANT* pref, BSTR* value, VARIANT_BOOL* all_dbs,
                                   BSTR* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"AddUserPreference():");
            *result = abandon_on_failure(
                          [&] {
                              // pref first: when neither has a text form, its failure is the one reported.
                              oa::unique_bstr preference = oa::late::text_of(*pref);
                              oa::unique_bstr user_name = oa::late::text_of(*mrUserName);
                              oa::unique_bstr message =
                                  need(api)
                                      .call(mrlib::op::AddAPreferenceForAUser,
                                            {mrlib::arg::object(User.get()), mrlib::arg::text(user_name.get()),
                                             mrlib::arg::text(preference.get()), mrlib::arg::text(*value),
                                             mrlib::arg::flag(*all_dbs)})
                                      .text();
                              WriteLog(u"    return from api.AddAPreferenceForAUser(), ErrMsg=" +
                                       std::u16string(view(message.get())));
                              return message;
                          },
                          [&](const oa::com_error& e) {
                              WriteLog(u"    Exit Function");
                              return oa::make_bstr(error_text(u"AddUserPreferenceError Error: ", e));
                          })
                          .release();
        },
        mrUserName, pref, value, all_dbs);
}

}  // namespace quellar2mrapi

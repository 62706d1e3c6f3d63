// One preference of one user, set on the server; the server's message goes back as it came.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

using oa::view;
namespace arg = mrlib::arg;

oa::unique_bstr t2mrapp::AddUserPreference(const VARIANT& mrUserName, const VARIANT& pref, BSTR value,
                                           VARIANT_BOOL all_dbs) {
    write_log(u"AddUserPreference():");
    try {
        // pref first: when neither has a text form, its failure is the one reported.
        oa::unique_bstr preference = oa::late::text_of(pref);
        oa::unique_bstr user_name = oa::late::text_of(mrUserName);
        const auto args = {arg::object(user.get()), arg::text(user_name.get()), arg::text(preference.get()),
                           arg::text(value), arg::flag(all_dbs)};
        oa::unique_bstr message = need(api).call(mrlib::op::AddAPreferenceForAUser, args).text();
        write_log(u"    return from api.AddAPreferenceForAUser(), ErrMsg=", view(message.get()));
        return message;
    } catch (...) {
        write_log(exit_function);
        return oa::make_bstr(failure_text(u"AddUserPreferenceError Error: "));
    }
}

}  // namespace quellar2mrapi

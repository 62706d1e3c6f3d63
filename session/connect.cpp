// Connecting to a change server and logging a user in. Both trap in the continue style:
// a failed step stores its error text, and the next step runs.
#include <component/t2mrapp.h>
#include <dialog/mrLoginDialog.h>
#include <session/conventions.h>

#include <oa/text.h>
#include <platform/files.h>

#include <atomic>
#include <optional>

namespace quellar2mrapi {

using oa::view;

namespace {
// The failure 91 that follows stands as the result; why the library is out of reach goes
// to standard error instead, once per process.
void note_unreachable_library(const std::u16string& description) noexcept {
    static std::atomic_flag noted;
    if (noted.test_and_set()) return;
    try {
        platform::write_to_standard_error("quellar2mrapi: Connect: " + oa::utf16_to_utf8(description) + "\n");
    } catch (...) {
    }
}
}  // namespace

HRESULT t2mrapp::Connect(BSTR* host, BSTR* protocol, SHORT* port, BSTR* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"Connect():");
            continuing_trap trap(u"Connect Error: ");
            mrlib::remote connection;
            LONG status = 0;
            trap.step([&] {
                try {
                    connection = mrlib::remote(oa::late::create_object(mrlib::api_progid));
                } catch (const oa::late::unreachable_class& e) {
                    note_unreachable_library(e.description());
                    throw;
                }
            });
            trap.step([&] {
                status = need(connection)
                             .call(mrlib::op::OpenConnection,
                                   {mrlib::arg::text(*protocol), mrlib::arg::text(*host), mrlib::arg::long_(*port)})
                             .status();
            });
            trap.step([&] {
                if (trap.failed) {
                    WriteLog(u"    Error occured: " + trap.pending);
                } else if (status == 1) {
                    GoodConnection = VARIANT_TRUE;
                    api = std::move(connection);
                } else {
                    WriteLog(u"    Error occured: status = " + signed_number(status));
                    trap.pending = u"Connect Error: status = " + signed_number(status);
                }
            });
            *result = oa::make_bstr(trap.pending).release();
        },
        host, protocol, port);
}

HRESULT t2mrapp::Login(BSTR* name, BSTR* Password, BSTR* Role, BSTR* database, BSTR* loginAppID, BSTR* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"Login(): loginAppID=", view(*loginAppID));
            continuing_trap trap(u"Login Error: ");
            if (!GoodConnection) {
                trap.pending = u"Connection Not Good - Login Not Attempted";
                *result = oa::make_bstr(trap.pending).release();
                return;
            }
            oa::unique_bstr token;
            oa::com_ptr<IDispatch> user;
            oa::unique_bstr appID;
            std::optional<mrLoginDialog> dialog;
            trap.step([&] {
                appID = oa::make_bstr(view(*loginAppID));
                WriteLog(u"    appID=" + std::u16string(view(appID.get())) + u"<end>");
            });
            if (view(*Role) == u"Admin") {
                bool accepted = false;
                trap.step([&] {
                    dialog.emplace();
                    dialog->setNameField(std::u16string(view(*name)));
                });
                trap.step([&] {
                    if (!dialog) oa::raise_vb(oa::vb::object_not_set);
                    dialog->Show();
                    accepted = dialog->LoginSucceeded;
                });
                if (accepted) {
                    trap.step([&] {
                        oa::assign(name, dialog->username);
                        oa::assign(Password, dialog->Password);
                    });
                    trap.step([&] {
                        user = need(api)
                                   .call(mrlib::op::AdminLogin, {mrlib::arg::text(*name), mrlib::arg::text(*Password),
                                                                 mrlib::arg::text(*Role), mrlib::arg::text(*database)})
                                   .object();
                    });
                    if (!user) {
                        WriteLog(u"    User object is null, Login as Admin role failed.");
                        trap.fail(u"Login as Admin role failed.");
                    }
                } else {
                    WriteLog(u"    Login as Admin role cancelled.");
                    trap.fail(u"Login Cancelled.");
                }
            } else {
                trap.step([&] {
                    user = need(api)
                               .call(mrlib::op::appLogin,
                                     {mrlib::arg::text(*name), mrlib::arg::text(*Password), mrlib::arg::text(*Role),
                                      mrlib::arg::text(*database), mrlib::arg::text(appID.get())})
                               .object();
                });
                if (!user) WriteLog(u"    User object is null, appLogin failed.");
            }
            if (!trap.failed) {
                trap.step([&] {
                    mrlib::names names;  // the user's names, for this one call
                    token = mrlib::call(need(user), names, mrlib::op::LoginToken).text();
                });
                trap.step([&] {
                    if (view(token.get()).empty()) {
                        trap.pending = u"Unable to login " + std::u16string(view(*name)) + u" as " +
                                       std::u16string(view(*Role)) + u" into database " +
                                       std::u16string(view(*database));
                    } else {
                        User = user;
                    }
                });
            }
            trap.step([&] { dialog.reset(); });
            *result = oa::make_bstr(trap.pending).release();
        },
        name, Password, Role, database, loginAppID);
}

}  // namespace quellar2mrapi

// Connecting to a change server and logging a user in. Both trap in the continue style:
// a failed step stores its error text, and the next step runs.
#include <component/t2mrapp.h>
#include <dialog/mrLoginDialog.h>
#include <session/conventions.h>

#include <oa/text.h>

#include <optional>

namespace quellar2mrapi {

using oa::view;

HRESULT t2mrapp::Connect(BSTR* host, BSTR* protocol, SHORT* port, BSTR* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"Connect():");
            continuing_trap trap(u"Connect Error: ");
            oa::com_ptr<Iapi> connection;
            LONG status = 0;
            trap.step([&] { connection = create_api_object(); });
            trap.step([&] { oa::check(need(connection)->OpenConnection(*protocol, *host, *port, &status)); });
            trap.step([&] {
                if (trap.failed) {
                    WriteLog(u"    Error occured: " + trap.pending);
                } else if (status == 1) {
                    GoodConnection = VARIANT_TRUE;
                    api = connection;
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
            oa::com_ptr<IUser> user;
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
                        oa::check(need(api)->AdminLogin(*name, *Password, *Role, *database, user.put()));
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
                    oa::check(need(api)->appLogin(*name, *Password, *Role, *database, appID.get(), user.put()));
                });
                if (!user) WriteLog(u"    User object is null, appLogin failed.");
            }
            if (!trap.failed) {
                trap.step([&] { oa::check(need(user)->get_LoginToken(token.put())); });
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

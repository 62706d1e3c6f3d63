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
using mrlib::op;
namespace arg = mrlib::arg;

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

oa::unique_bstr t2mrapp::Connect(BSTR host, BSTR protocol, SHORT port) {
    write_log(u"Connect():");
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
        const auto where = {arg::text(protocol), arg::text(host), arg::long_(port)};
        status = need(connection).call(op::OpenConnection, where).status();
    });
    trap.step([&] {
        if (trap.failed) {
            write_log(u"    Error occured: " + trap.pending);
        } else if (status == 1) {
            good_connection = VARIANT_TRUE;
            api = std::move(connection);
        } else {
            write_log(u"    Error occured: status = " + signed_number(status));
            trap.pending = u"Connect Error: status = " + signed_number(status);
        }
    });
    return oa::make_bstr(trap.pending);
}

oa::unique_bstr t2mrapp::Login(BSTR& name, BSTR& Password, BSTR Role, BSTR database, BSTR loginAppID) {
    write_log(u"Login(): loginAppID=", view(loginAppID));
    if (!good_connection) return oa::make_bstr(u"Connection Not Good - Login Not Attempted");
    continuing_trap trap(u"Login Error: ");
    oa::unique_bstr token;
    oa::com_ptr<IDispatch> candidate;
    oa::unique_bstr appID;
    std::optional<mrLoginDialog> dialog;
    trap.step([&] {
        appID = oa::make_bstr(view(loginAppID));
        write_log(u"    appID=" + std::u16string(view(appID.get())) + u"<end>");
    });
    if (view(Role) == u"Admin") {
        bool accepted = false;
        trap.step([&] {
            dialog.emplace();
            dialog->setNameField(std::u16string(view(name)));
        });
        trap.step([&] {
            if (!dialog) oa::raise_vb(oa::vb::object_not_set);
            dialog->Show();
            accepted = dialog->LoginSucceeded;
        });
        if (accepted) {
            trap.step([&] {
                oa::assign(&name, dialog->username);
                oa::assign(&Password, dialog->Password);
            });
            trap.step([&] {
                const auto login = {arg::text(name), arg::text(Password), arg::text(Role), arg::text(database)};
                candidate = need(api).call(op::AdminLogin, login).object();
            });
            if (!candidate) {
                write_log(u"    User object is null, Login as Admin role failed.");
                trap.fail(u"Login as Admin role failed.");
            }
        } else {
            write_log(u"    Login as Admin role cancelled.");
            trap.fail(u"Login Cancelled.");
        }
    } else {
        trap.step([&] {
            const auto login = {arg::text(name), arg::text(Password), arg::text(Role), arg::text(database),
                                arg::text(appID.get())};
            candidate = need(api).call(op::appLogin, login).object();
        });
        if (!candidate) write_log(u"    User object is null, appLogin failed.");
    }
    if (!trap.failed) {
        trap.step([&] {
            mrlib::names names;  // the user's names, for this one call
            token = mrlib::call(need(candidate), names, op::LoginToken).text();
        });
        trap.step([&] {
            if (view(token.get()).empty()) {
                trap.pending = u"Unable to login " + std::u16string(view(name)) + u" as " + std::u16string(view(Role)) +
                               u" into database " + std::u16string(view(database));
            } else {
                user = candidate;
            }
        });
    }
    trap.step([&] { dialog.reset(); });
    return oa::make_bstr(trap.pending);
}

}  // namespace quellar2mrapi

// The session object: its state's start and end, its log and its properties.
#include <component/t2mrapp.h>
#include <session/conventions.h>
#include <session/log_writer.h>

#include <platform/files.h>

namespace quellar2mrapi {

namespace {
#ifndef Q2MR_LOG_WRITER
#define Q2MR_LOG_WRITER 0
#endif
// Only a test build switches the writer on; a normal build never writes the file.
constexpr bool log_writer_switched_on = Q2MR_LOG_WRITER != 0;

// The fixed place of the diagnostic log; the test build of the writer logs into its own folder.
const char* log_file_path() noexcept {
#ifdef Q2MR_LOG_FILE
    return Q2MR_LOG_FILE;
#else
    return platform::diagnostic_log_path();
#endif
}

constexpr SHORT initial_table_bound = 500;

log_observer& observer() {
    static log_observer instance;
    return instance;
}
}  // namespace

void set_log_observer(log_observer o) { observer() = std::move(o); }

session_state::session_state() : debug_on(log_writer_switched_on) {
    write_log(u"============================================ debug on");
    write_log(u"Class_Initialize():");
    staged_users.create(initial_table_bound);
    staged_name_maps.create(initial_table_bound);
    staged_roles.create(initial_table_bound);
}

session_state::~session_state() {
    write_log(u"Class_Terminate():");
    api = mrlib::remote();
    // The user and the three tables with their row objects go with the members.
}

void session_state::write_log(std::u16string_view text) noexcept {
    if (const auto& o = observer()) {
        try {
            o(text);
        } catch (...) {
        }
    }
    if (!debug_on) return;
    append_log_line(log_file_path(), text);
}

void session_state::write_log(std::u16string_view first, std::u16string_view second) noexcept {
    if (!observer() && !debug_on) return;
    try {
        std::u16string line;
        line.reserve(first.size() + second.size());
        line.append(first).append(second);
        write_log(line);
    } catch (...) {
        // No memory for the line: it is lost, as any other failure of the log.
    }
}

oa::com_ptr<IDispatch> session_state::new_user_row() {
    if (!user_class) user_class = oa::late::class_object_of(mrlib::user_progid);
    return oa::late::create_object(user_class.get());
}

oa::com_ptr<IDispatch> session_state::filled_row(mrlib::op operation, std::initializer_list<VARIANT> args) {
    oa::com_ptr<IDispatch> row = new_user_row();
    mrlib::call(row.get(), user_row_names, operation, args);
    return row;
}

namespace {
// Any object called by name may stand for the library's, but not a session: one stored in
// a session (itself or another) would keep both alive for ever.
IDispatch* library_object(IDispatch* object) {
    oa::com_ptr<IUnknown> session;
    if (object && SUCCEEDED(object->QueryInterface(iid_of<_t2mrapp>(), session.put_void())))
        oa::raise_vb(oa::vb::type_mismatch);
    return object;
}
}  // namespace

void t2mrapp::put_User(IDispatch* value) { user = oa::make_ref(library_object(value)); }
oa::com_ptr<IDispatch> t2mrapp::get_User() { return user; }

// A new object, whoever made it: its names are looked up again at their first call.
void t2mrapp::put_api(IDispatch* value) { api = mrlib::remote(oa::make_ref(library_object(value))); }
oa::com_ptr<IDispatch> t2mrapp::get_api() { return oa::make_ref(api.get()); }

void t2mrapp::put_GoodConnection(VARIANT_BOOL value) { good_connection = value; }
VARIANT_BOOL t2mrapp::get_GoodConnection() { return good_connection; }

}  // namespace quellar2mrapi

// The session object: its state, constructor, destructor, properties and log.
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

t2mrapp::t2mrapp() {
    DebugOn = log_writer_switched_on;
    WriteLog(u"============================================ debug on");
    WriteLog(u"Class_Initialize():");
    VARIANT_BOOL not_connected = VARIANT_FALSE;
    oa::check(put_GoodConnection(&not_connected));
    UserTable.create(initial_table_bound);
    NameMapTable.create(initial_table_bound);
    RoleTable.create(initial_table_bound);
}

t2mrapp::~t2mrapp() {
    WriteLog(u"Class_Terminate():");
    api = mrlib::remote();
    // User and the three tables with their row objects go with the members.
}

void t2mrapp::WriteLog(std::u16string_view text) noexcept {
    if (const auto& o = observer()) {
        try {
            o(text);
        } catch (...) {
        }
    }
    if (!DebugOn) return;
    append_log_line(log_file_path(), text);
}

void t2mrapp::WriteLog(std::u16string_view first, std::u16string_view second) noexcept {
    if (!observer() && !DebugOn) return;
    try {
        std::u16string line;
        line.reserve(first.size() + second.size());
        line.append(first).append(second);
        WriteLog(line);
    } catch (...) {
        // No memory for the line: it is lost, as any other failure of the log.
    }
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

HRESULT t2mrapp::put_User(IDispatch** value) {
    return call([&] { User = oa::make_ref(library_object(*value)); }, value);
}

HRESULT t2mrapp::get_User(IDispatch** value) {
    return call_result(value, [&] { User.copy_to(value); });
}

// A new object, whoever made it: its names are looked up again at their first call.
HRESULT t2mrapp::put_api(IDispatch** value) {
    return call([&] { api = mrlib::remote(oa::make_ref(library_object(*value))); }, value);
}

HRESULT t2mrapp::get_api(IDispatch** value) {
    return call_result(value, [&] { oa::make_ref(api.get()).copy_to(value); });
}

HRESULT t2mrapp::put_GoodConnection(VARIANT_BOOL* value) {
    return call([&] { GoodConnection = *value; }, value);
}

HRESULT t2mrapp::get_GoodConnection(VARIANT_BOOL* value) {
    return call_result(value, [&] { *value = GoodConnection; });
}

oa::com_ptr<IDispatch> t2mrapp::new_user_row() {
    if (!user_class) user_class = oa::late::class_object_of(mrlib::user_progid);
    return oa::late::create_object(user_class.get());
}

void t2mrapp::fill_row(IDispatch* row, mrlib::op operation, std::initializer_list<VARIANT> args) {
    mrlib::call(row, user_row_names, operation, args);
}

}  // namespace quellar2mrapi

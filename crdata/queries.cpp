// Attribute and host queries: the new dynamic attributes of an object found by query, the
// dynamic attributes of a known object, and the server's host name. All three trap every
// failure and answer the empty string.
#include <component/t2mrapp.h>
#include <crdata/byte_buffers.h>
#include <session/conventions.h>

#include <oa/text.h>

#include <optional>

namespace quellar2mrapi {

using mrlib::op;
using oa::view;
namespace arg = mrlib::arg;

namespace {

constexpr std::u16string_view new_attrs_report = u"Data_Report_dynamic_attrs_new";

// An apostrophe would close the quoted query text early and let the caller rewrite it.
bool fits_query(std::u16string_view text) { return text.find(u'\'') == std::u16string_view::npos; }

std::u16string new_attrs_query(std::u16string_view object_name, std::u16string_view instance) {
    std::u16string query(u"is_dynamic_attrs_new_of('");
    query += instance;
    query += u"/problem/";
    query += object_name;
    query += u"/1')";
    return query;
}

// The dynamic-attribute text of one object, through a one-byte buffer and a count of 0
// that the library replaces or fills; the count it returns is not used.
oa::unique_bstr dynamic_attrs_text(mrlib::remote& api, IDispatch* user, BSTR cvid) {
    oa::unique_safearray buffer = crdata::one_byte_buffer();
    LONG byte_count = 0;
    api.call(op::GetDynamicAttrsData,
             {arg::object(user), arg::text(cvid), arg::buffer(buffer.addressof()), arg::long_ref(&byte_count)});
    return crdata::byte_buffer_text(buffer.get());
}

// The cvid of the first object that the query finds; nothing when the query yields no list
// or an empty one. The list is closed before its objects are let go: the attribute, the
// entry, then the list. Each object lives within this call: its names are its own.
std::optional<oa::unique_bstr> first_found_cvid(mrlib::remote& api, IDispatch* user, std::u16string_view query) {
    mrlib::names list_names, entry_names, attribute_names;
    const oa::unique_bstr report = oa::make_bstr(new_attrs_report);
    const oa::unique_bstr text = oa::make_bstr(query);
    const oa::unique_bstr no_options = oa::make_bstr(u"");
    const auto args = {arg::object(user), arg::text(report.get()), arg::text(text.get()), arg::text(no_options.get())};
    oa::com_ptr<IDispatch> list = api.call(op::QueryObjects, args).object();
    if (!list) return std::nullopt;
    const LONG count = mrlib::call(list.get(), list_names, op::Count).status();
    if (count == 0) {
        mrlib::call(list.get(), list_names, op::Close);  // a failing Close fails the call like any other
        return std::nullopt;
    }
    oa::com_ptr<IDispatch> entry = mrlib::call(list.get(), list_names, op::Item, {arg::count(0)}).object();
    oa::com_ptr<IDispatch> attribute =
        mrlib::call(need(entry), entry_names, op::GetAttribute, {arg::text(oa::make_bstr(u"cvid").get())}).object();
    oa::unique_bstr cvid = mrlib::call(need(attribute), attribute_names, op::ValueGet).text();
    mrlib::call(list.get(), list_names, op::Close);
    attribute = nullptr;
    entry = nullptr;
    list = nullptr;
    return cvid;
}

}  // namespace

oa::unique_bstr t2mrapp::GetNewAttrs(BSTR object_name, BSTR instance) {
    write_log(u"GetNewAttrs():");
    try {
        if (!fits_query(view(object_name)) || !fits_query(view(instance))) return oa::make_bstr(u"");
        std::optional<oa::unique_bstr> cvid =
            first_found_cvid(need(api), user.get(), new_attrs_query(view(object_name), view(instance)));
        if (!cvid) return oa::make_bstr(u"");
        oa::unique_bstr text = dynamic_attrs_text(need(api), user.get(), cvid->get());
        write_log(u"    new_attrs=", view(text.get()));
        return text;
    } catch (...) {
        return oa::make_bstr(u"");
    }
}

// Passes nothing to the log, whatever the outcome.
oa::unique_bstr t2mrapp::GetDynamicAttrs(BSTR cvid) {
    try {
        return dynamic_attrs_text(need(api), user.get(), cvid);
    } catch (...) {
        return oa::make_bstr(u"");
    }
}

oa::unique_bstr t2mrapp::VANT_GetHostname() {
    try {
        return need(api).call(op::GetHostname, {arg::object(user.get())}).text();
    } catch (...) {
        write_log(exit_function);
        return oa::make_bstr(u"");
    }
}

}  // namespace quellar2mrapi

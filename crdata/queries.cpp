// Attribute and host queries: the new dynamic attributes of an object found by query, the
// dynamic attributes of a known object, and the server's host name. All three trap every
// failure and answer the empty string.
#include <component/t2mrapp.h>
#include <crdata/byte_buffers.h>
#include <session/conventions.h>

#include <oa/text.h>

#include <optional>

namespace quellar2mrapi {

using oa::view;

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
    api.call(mrlib::op::GetDynamicAttrsData, {mrlib::arg::object(user), mrlib::arg::text(cvid),
                                              mrlib::arg::buffer(buffer.addressof()), mrlib::arg::long_ref(&byte_count)});
    return crdata::byte_buffer_text(buffer.get());
}

// The cvid of the first object that the query finds; nothing when the query yields no list
// or an empty one. The list is closed before its objects are let go: the attribute, the
// entry, then the list. Each object lives within this call: its names are its own.
std::optional<oa::unique_bstr> first_found_cvid(mrlib::remote& api, IDispatch* user, std::u16string_view query) {
    mrlib::names list_names, entry_names, attribute_names;
    oa::com_ptr<IDispatch> list =
        api.call(mrlib::op::QueryObjects, {mrlib::arg::object(user), mrlib::arg::text(oa::make_bstr(new_attrs_report).get()),
                                           mrlib::arg::text(oa::make_bstr(query).get()),
                                           mrlib::arg::text(oa::make_bstr(u"").get())})
            .object();
    if (!list) return std::nullopt;
    const LONG count = mrlib::call(list.get(), list_names, mrlib::op::Count).status();
    if (count == 0) {
        mrlib::call(list.get(), list_names, mrlib::op::Close);  // a failing Close fails the call like any other
        return std::nullopt;
    }
    oa::com_ptr<IDispatch> entry = mrlib::call(list.get(), list_names, mrlib::op::Item, {mrlib::arg::count(0)}).object();
    oa::com_ptr<IDispatch> attribute =
        mrlib::call(need(entry), entry_names, mrlib::op::GetAttribute, {mrlib::arg::text(oa::make_bstr(u"cvid").get())})
            .object();
    oa::unique_bstr cvid = mrlib::call(need(attribute), attribute_names, mrlib::op::ValueGet).text();
    mrlib::call(list.get(), list_names, mrlib::op::Close);
    attribute = nullptr;
    entry = nullptr;
    list = nullptr;
    return cvid;
}

template <class Body> oa::unique_bstr empty_on_failure(Body&& body) {
    return abandon_on_failure(std::forward<Body>(body), [](const oa::com_error&) { return oa::make_bstr(u""); });
}

}  // namespace

HRESULT t2mrapp::GetNewAttrs(BSTR* object_name, BSTR* instance, BSTR* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"GetNewAttrs():");
            *result = empty_on_failure([&] {
                if (!fits_query(view(*object_name)) || !fits_query(view(*instance))) return oa::make_bstr(u"");
                std::optional<oa::unique_bstr> cvid =
                    first_found_cvid(need(api), User.get(), new_attrs_query(view(*object_name), view(*instance)));
                if (!cvid) return oa::make_bstr(u"");
                oa::unique_bstr text = dynamic_attrs_text(need(api), User.get(), cvid->get());
                WriteLog(u"    new_attrs=" + std::u16string(view(text.get())));
                return text;
            }).release();
        },
        object_name, instance);
}

HRESULT t2mrapp::GetDynamicAttrs(BSTR* cvid, BSTR* result) {
    // Passes nothing to the log, whatever the outcome.
    return call_result(
        result,
        [&] {
            *result = empty_on_failure([&] { return dynamic_attrs_text(need(api), User.get(), *cvid); }).release();
        },
        cvid);
}

HRESULT t2mrapp::VANT_GetHostname(BSTR* result) {
    return call_result(
        result,
        [&] {
            *result = abandon_on_failure(
                          [&] {
                              return need(api)
                                  .call(mrlib::op::GetHostname, {mrlib::arg::object(User.get())})
                                  .text();
                          },
                          [&](const oa::com_error&) {
                              WriteLog(u"    Exit Function");
                              return oa::make_bstr(u"");
                          })
                          .release();
        });
}

}  // namespace quellar2mrapi

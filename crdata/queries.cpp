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
oa::unique_bstr dynamic_attrs_text(Iapi* api, IUser* user, BSTR cvid) {
    oa::unique_safearray buffer = crdata::one_byte_buffer();
    LONG byte_count = 0;
    oa::check(api->GetDynamicAttrsData(user, cvid, buffer.addressof(), &byte_count));
    return crdata::byte_buffer_text(buffer.get());
}

// The cvid of the first object that the query finds; nothing when the query yields no list
// or an empty one. The list is closed before its objects are let go: the attribute, the
// entry, then the list.
std::optional<oa::unique_bstr> first_found_cvid(Iapi* api, IUser* user, std::u16string_view query) {
    oa::com_ptr<MRLIBLib::IObjectList> list;
    oa::com_ptr<MRLIBLib::IObjectData> entry;
    oa::com_ptr<MRLIBLib::IAttribute> attribute;
    oa::check(api->QueryObjects(user, oa::make_bstr(new_attrs_report).get(), oa::make_bstr(query).get(),
                                oa::make_bstr(u"").get(), list.put()));
    if (!list) return std::nullopt;
    SHORT count = 0;
    oa::check(list->get_Count(&count));
    if (count == 0) {
        oa::check(list->Close());  // a failing Close is a failure of the call like any other  // its result means nothing here
        return std::nullopt;
    }
    oa::check(list->Item(0, entry.put()));
    oa::check(need(entry)->GetAttribute(oa::make_bstr(u"cvid").get(), attribute.put()));
    oa::unique_bstr cvid;
    oa::check(need(attribute)->get_Value(cvid.put()));
    oa::check(list->Close());  // a failing Close is a failure of the call like any other
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
                              oa::unique_bstr hostname;
                              oa::check(need(api)->GetHostname(User.get(), hostname.put()));
                              return hostname;
                          },
                          [&](const oa::com_error&) {
                              WriteLog(u"    Exit Function");
                              return oa::make_bstr(u"");
                          })
                          .release();
        });
}

}  // namespace quellar2mrapi

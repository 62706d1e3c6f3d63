// Quellar XML data sent to the change server as text buffers: as the dynamic attributes of
// an object, or to create an RC object. The data travels as it is, without escaping.
#include <component/t2mrapp.h>
#include <crdata/byte_buffers.h>
#include <session/conventions.h>

#include <forms/forms.h>
#include <oa/text.h>

#include <string>

namespace quellar2mrapi {

using oa::view;

namespace {

constexpr std::u16string_view data_label = u"Quellar xml data";
// The one failure that the conversion reports, whatever went wrong inside it.
constexpr int conversion_failure = 1;

std::u16string decimal(long long n) { return oa::ascii_to_utf16(std::to_string(n)); }

[[noreturn]] void raise_conversion_failure() {
    oa::raise(oa::vb_hresult(conversion_failure), oa::vb_description(conversion_failure));
}

void put_text(VARIANT* out, oa::unique_bstr text) noexcept {
    VariantInit(out);
    out->vt = VT_BSTR;
    out->bstrVal = text.release();
}

}  // namespace

// The data as the byte buffer the library reads: owner, first byte and byte count.
struct t2mrapp::xml_buffer {
    oa::unique_safearray owner;
    LONG count = 0;
    BYTE* first = nullptr;
};

t2mrapp::xml_buffer t2mrapp::to_xml_buffer(std::u16string_view values) {
    xml_buffer buffer;
    StringToByteArray(values, buffer.owner, buffer.count);
    buffer.first = crdata::first_byte(buffer.owner.get());
    return buffer;
}

void t2mrapp::StringToByteArray(std::u16string_view text, oa::unique_safearray& buffer, LONG& count) {
    // Whatever fails in here, the caller sees failure 1.
    try {
        buffer = crdata::text_to_byte_buffer(text);
        count = crdata::element_count(buffer.get());
        // A consistency check: a buffer built as above always holds twice the length.
        const long long expected = 2 * static_cast<long long>(text.size());
        if (expected != count) {
            forms::MsgBox(u"String conversion error: Byte count:" + decimal(expected) + u" <> " + decimal(count),
                          forms::vbOKOnly);
            raise_conversion_failure();
        }
    } catch (...) {
        raise_conversion_failure();
    }
}

HRESULT t2mrapp::setDynamicAttrs(BSTR* rcpId, BSTR* values, VARIANT* result) {
    // No trap: every failure reaches the script with its own number.
    return call_result(
        result,
        [&] {
            const xml_buffer data = to_xml_buffer(view(*values));
            oa::unique_bstr answer =
                need(api)
                    .call(mrlib::op::SetDynamicAttrsData,
                          {mrlib::arg::object(User.get()), mrlib::arg::text(*rcpId),
                           mrlib::arg::text(oa::make_bstr(data_label).get()), mrlib::arg::first_byte(data.first),
                           mrlib::arg::long_(data.count)})
                    .text();
            put_text(result, std::move(answer));
        },
        rcpId, values);
}

HRESULT t2mrapp::createRCObject(BSTR* rcpId, BSTR* relation, BSTR* values, BSTR* filename, VARIANT* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"    Entered createRCObjects");
            abandon_on_failure(
                [&] {
                    const xml_buffer data = to_xml_buffer(view(*values));
                    oa::unique_bstr answer =
                        need(api)
                            .call(mrlib::op::CreateRCObjectFromData,
                                  {mrlib::arg::object(User.get()), mrlib::arg::text(*rcpId),
                                   mrlib::arg::text(*relation), mrlib::arg::text(*filename),
                                   mrlib::arg::text(oa::make_bstr(data_label).get()),
                                   mrlib::arg::text(oa::make_bstr(u"").get()), mrlib::arg::first_byte(data.first),
                                   mrlib::arg::long_(data.count)})
                            .text();
                    put_text(result, std::move(answer));
                    return 0;
                },
                [&](const oa::com_error&) {
                    WriteLog(u"    Exit Function");
                    return 0;
                });
        },
        rcpId, relation, values, filename);
}

}  // namespace quellar2mrapi

// CR attribute updates: one or two attribute values, given directly or read from files,
// sent back as a status transition when an attribute is "crstatus", else as a plain
// modification. Values are escaped for XML; crid and attribute names are not.
#include <component/t2mrapp.h>
#include <crdata/text_file.h>
#include <crdata/xml_escape.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

using oa::view;

namespace {

constexpr std::u16string_view status_attribute = u"crstatus";

// The second name first, then the first, always ending with problem_number.
std::u16string attribute_list(std::u16string_view first_name, std::u16string_view second_name,
                              std::u16string_view second_value) {
    std::u16string list;
    if (!second_name.empty() || !second_value.empty()) {
        list += second_name;
        list += u"|";
    }
    list += first_name;
    list += u"|problem_number";
    return list;
}

// Sets one attribute of the CR data object to the escaped value.
void set_attribute(IDispatch* data, mrlib::names& data_names, BSTR name, std::u16string_view value) {
    oa::com_ptr<IDispatch> attribute =
        mrlib::call(data, data_names, mrlib::op::GetAttribute, {mrlib::arg::text(name)}).object();
    mrlib::names attribute_names;
    mrlib::call(need(attribute), attribute_names, mrlib::op::ValuePut,
                {mrlib::arg::text(crdata::encode_xml(value).get())});
}

}  // namespace

HRESULT t2mrapp::encodeXML(BSTR* toEncode, BSTR* result) {
    return call_result(result, [&] { *result = crdata::encode_xml(view(*toEncode)).release(); }, toEncode);
}

std::u16string t2mrapp::ReadTextFile(std::u16string_view path) {
    return crdata::decode_system_text(crdata::read_file_bytes(path));
}

HRESULT t2mrapp::VANT_SetCRattributeByFile(BSTR* crid, BSTR* atrName, BSTR* atrFile, BSTR* atr1Name, BSTR* atr1File,
                                           BSTR* result) {
    // No trap: a file failure reaches the script with its own number, before any server call.
    return call_result(
        result,
        [&] {
            oa::unique_bstr first = oa::make_bstr(ReadTextFile(view(*atrFile)));
            oa::unique_bstr second = oa::make_bstr(ReadTextFile(view(*atr1File)));
            oa::check(VANT_SetCRattribute(crid, atrName, first.addressof(), atr1Name, second.addressof(), result));
        },
        crid, atrName, atrFile, atr1Name, atr1File);
}

HRESULT t2mrapp::VANT_SetCRattribute(BSTR* crid, BSTR* atrName, BSTR* atrValue, BSTR* atr1Name, BSTR* atr1Value,
                                     BSTR* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"VANT_SetCRattribute():");
            const std::u16string list = attribute_list(view(*atrName), view(*atr1Name), view(*atr1Value));
            *result = abandon_on_failure(
                          [&] {
                              oa::com_ptr<IDispatch> data =
                                  need(api)
                                      .call(mrlib::op::CRData, {mrlib::arg::object(User.get()),
                                                                mrlib::arg::text(*crid),
                                                                mrlib::arg::text(oa::make_bstr(list).get())})
                                      .object();
                              WriteLog(u"   return from CRData");
                              mrlib::names data_names;
                              set_attribute(need(data), data_names, *atrName, view(*atrValue));
                              if (!view(*atr1Name).empty() && !view(*atr1Value).empty())
                                  set_attribute(data.get(), data_names, *atr1Name, view(*atr1Value));
                              const auto changed = {mrlib::arg::object(User.get()), mrlib::arg::object(data.get())};
                              if (view(*atrName) == status_attribute || view(*atr1Name) == status_attribute) {
                                  oa::unique_bstr reply = need(api).call(mrlib::op::TransitionCR, changed).text();
                                  WriteLog(u"   return from TransitionCR: " + std::u16string(view(reply.get())));
                              } else {
                                  oa::unique_bstr reply = need(api).call(mrlib::op::ModifyCR, changed).text();
                                  WriteLog(u"   return from ModifyCR: " + std::u16string(view(reply.get())));
                              }
                              return oa::make_bstr(u"");
                          },
                          [](const oa::com_error& e) {
                              return oa::make_bstr(error_text(u"VANT_SetCRattribute: ", e));
                          })
                          .release();
        },
        crid, atrName, atrValue, atr1Name, atr1Value);
}

}  // namespace quellar2mrapi

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
void set_attribute(const oa::com_ptr<MRLIBLib::IObjectData>& data, BSTR name, std::u16string_view value) {
    oa::com_ptr<MRLIBLib::IAttribute> attribute;
    oa::check(need(data)->GetAttribute(name, attribute.put()));
    oa::check(need(attribute)->put_Value(crdata::encode_xml(value).get()));
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
                              oa::com_ptr<MRLIBLib::IObjectData> data;
                              oa::check(need(api)->CRData(User.get(), *crid, oa::make_bstr(list).get(), data.put()));
                              WriteLog(u"   return from CRData");
                              set_attribute(data, *atrName, view(*atrValue));
                              if (!view(*atr1Name).empty() && !view(*atr1Value).empty())
                                  set_attribute(data, *atr1Name, view(*atr1Value));
                              oa::unique_bstr reply;
                              if (view(*atrName) == status_attribute || view(*atr1Name) == status_attribute) {
                                  oa::check(need(api)->TransitionCR(User.get(), data.get(), reply.put()));
                                  WriteLog(u"   return from TransitionCR: " + std::u16string(view(reply.get())));
                              } else {
                                  oa::check(need(api)->ModifyCR(User.get(), data.get(), reply.put()));
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

// CR attribute updates: one or two attribute values, given directly or read from files,
// sent back as a status transition when an attribute is "crstatus", else as a plain
// modification. Values are escaped for XML; crid and attribute names are not.
#include <component/t2mrapp.h>
#include <crdata/text_file.h>
#include <crdata/xml_escape.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

using mrlib::op;
using oa::view;
namespace arg = mrlib::arg;

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
    oa::com_ptr<IDispatch> attribute = mrlib::call(data, data_names, op::GetAttribute, {arg::text(name)}).object();
    mrlib::names attribute_names;
    mrlib::call(need(attribute), attribute_names, op::ValuePut, {arg::text(crdata::encode_xml(value).get())});
}

// A whole text file as a String; a failure keeps its number and description.
std::u16string read_text_file(BSTR path) { return crdata::decode_system_text(crdata::read_file_bytes(view(path))); }

}  // namespace

oa::unique_bstr t2mrapp::encodeXML(BSTR toEncode) { return crdata::encode_xml(view(toEncode)); }

// No trap: a file failure reaches the script with its own number, before any server call.
oa::unique_bstr t2mrapp::VANT_SetCRattributeByFile(BSTR crid, BSTR atrName, BSTR atrFile, BSTR atr1Name,
                                                   BSTR atr1File) {
    oa::unique_bstr first = oa::make_bstr(read_text_file(atrFile));
    oa::unique_bstr second = oa::make_bstr(read_text_file(atr1File));
    return VANT_SetCRattribute(crid, atrName, first.get(), atr1Name, second.get());
}

oa::unique_bstr t2mrapp::VANT_SetCRattribute(BSTR crid, BSTR atrName, BSTR atrValue, BSTR atr1Name,
                                             BSTR atr1Value) {
    write_log(u"VANT_SetCRattribute():");
    const std::u16string list = attribute_list(view(atrName), view(atr1Name), view(atr1Value));
    try {
        const oa::unique_bstr names = oa::make_bstr(list);
        oa::com_ptr<IDispatch> data =
            need(api).call(op::CRData, {arg::object(user.get()), arg::text(crid), arg::text(names.get())}).object();
        write_log(u"   return from CRData");
        mrlib::names data_names;
        set_attribute(need(data), data_names, atrName, view(atrValue));
        if (!view(atr1Name).empty() && !view(atr1Value).empty())
            set_attribute(data.get(), data_names, atr1Name, view(atr1Value));
        const auto changed = {arg::object(user.get()), arg::object(data.get())};
        if (view(atrName) == status_attribute || view(atr1Name) == status_attribute) {
            oa::unique_bstr reply = need(api).call(op::TransitionCR, changed).text();
            write_log(u"   return from TransitionCR: ", view(reply.get()));
        } else {
            oa::unique_bstr reply = need(api).call(op::ModifyCR, changed).text();
            write_log(u"   return from ModifyCR: ", view(reply.get()));
        }
        return oa::make_bstr(u"");
    } catch (...) {
        return oa::make_bstr(failure_text(u"VANT_SetCRattribute: "));
    }
}

}  // namespace quellar2mrapi

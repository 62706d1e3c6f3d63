// The one late-bound client: calls by member id with the arguments in the order that
// DISPPARAMS keeps them (last argument first), failures turned into the number and
// description a script would see by one rule, and the conversions of what a callee
// returns. The component, the script host, the tests and the benchmarks call through it.
#pragma once

#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <string_view>

namespace oa::late {

// A failed call as a script sees it: a member's own failure (DISP_E_EXCEPTION, its
// deferred fill-in run) with its number and description; an unknown name or member 438;
// a refused argument type 13; any other standard code as its run-time failure; anything
// else with the description the callee left in its error information.
com_error failure_of(HRESULT hr, EXCEPINFO& exception);
// A member's own failure from the EXCEPINFO it filled: its deferred fill-in run, its code
// (scode, else wCode as a run-time number, else E_FAIL) and its description.
com_error failure_in(EXCEPINFO& exception);

// A class that this program cannot reach: its ProgID names no class here (failure 429), or
// its class is not registered for programs of this bitness (REGDB_E_CLASSNOTREG). The
// description (unreachable_description) says which case it is and what to do.
class unreachable_class : public com_error {
public:
    using com_error::com_error;
};

// Classes found by ProgID (following CurVer): the class object, or a new object asked for
// IDispatch. A class that is out of reach fails with unreachable_class.
com_ptr<IClassFactory> class_object_of(std::u16string_view progid);
com_ptr<IDispatch> create_object(std::u16string_view progid);
com_ptr<IDispatch> create_object(IClassFactory* factory);

// The description of a class that this program cannot reach:
//   "ActiveX component can't create object: PROGID is registered for 32-bit programs only,
//   and this program is 64-bit. Use the 32-bit quellar2mrapi from a 32-bit program (such as
//   C:\Windows\SysWOW64\cscript.exe): the quellar2mrapi x64 MSI installs it, into Program
//   Files (x86)." (and the same the other way round), or, registered in neither view,
//   "ActiveX component can't create object: PROGID is not registered for any program on this
//   machine. Install (or register) the library that provides it."
std::u16string unreachable_description(std::u16string_view progid);
// Whether the registry view of programs of the other bitness names a class for progid
// (following CurVer) with an in-process server. Read only to word a failure; the
// project's runtime has one view, so never there.
bool registered_for_other_bitness(std::u16string_view progid) noexcept;

// The member id of a name; nothing by that name is failure 438.
HRESULT find_id(IDispatch* object, std::u16string_view name, DISPID& id) noexcept;
DISPID id_of(IDispatch* object, std::u16string_view name);

// Invoke as a late-bound caller makes it: a property put (or put by reference) passes its
// value as the named argument DISPID_PROPERTYPUT. args holds count arguments, last first.
HRESULT invoke(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result,
               EXCEPINFO* exception, UINT* arg_err) noexcept;
// The same, raising the failure (failure_of).
void call(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result);

// What a callee returned, as the caller relies on it.
// A number of any numeric type (a status).
LONG number_of(const VARIANT& value);
// A text from a String or any value with a text form, as CStr makes it: Empty the empty
// text, a Boolean "True"/"False"; Null fails with 94, values without a text form with 13.
unique_bstr text_of(const VARIANT& value);
// An object from VT_DISPATCH or VT_UNKNOWN (asked for IDispatch); Empty or Nothing is
// none; anything else fails with 13.
com_ptr<IDispatch> object_of(const VARIANT& value);

}  // namespace oa::late

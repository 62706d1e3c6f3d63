// Private helpers shared by the runtime's translation units.
#pragma once

#include "oleauto.h"

#include <string>
#include <string_view>
#include <utility>

namespace oa_detail {

void clear_thread_error_info();

// Conversions (convert.cpp): VariantChangeTypeEx into uninitialised storage, and what the
// standard runtime counts as a blank and as the currency symbol of a locale.
HRESULT coerce(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out);
bool is_blank(OLECHAR c);
OLECHAR currency_of(LCID lcid);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::string format_guid(const GUID& g);
bool parse_guid(std::string_view s, GUID& g);
template <class Ch> bool parse_guid_chars(const Ch* s, std::size_t n, GUID& g);

// What the registry file says about a class; see registry.cpp for the format.
struct ClassEntry {
    GUID clsid{};
    std::string progid, version_independent_progid, threading_model, library_path;
};
bool registry_find_class(const GUID& clsid, ClassEntry& out);
bool registry_find_progid(std::string_view progid, GUID& clsid);  // CoUninitialize on the last balance of a thread


}  // namespace oa_detail

// Text buffers for the change-server library: a text's UTF-16LE code units as bytes from
// index 0, no terminator, no byte-order mark. On a little-endian machine the bytes are the
// code units themselves, so both directions are plain copies.
#pragma once

#include <oa/unique.h>
#include <oleauto.h>

#include <string_view>

namespace quellar2mrapi::crdata {

// A new VT_UI1 vector holding the text's bytes: twice as many as the text has code units.
// Throws std::bad_alloc when the buffer cannot be made.
oa::unique_safearray text_to_byte_buffer(std::u16string_view text);

// The buffer that GetDynamicAttrsData is lent: one byte of value 0.
oa::unique_safearray one_byte_buffer();

// The text of a buffer as the library left it: its own length decides, an odd trailing
// byte is dropped, zero code units are kept; no buffer at all reads as the empty text.
// A buffer of another element type is failure 13.
oa::unique_bstr byte_buffer_text(SAFEARRAY* buffer);

// Number of elements of a one-dimensional buffer (0 for none).
LONG element_count(SAFEARRAY* buffer);

// Element 0 of the buffer, for the library's first-byte argument; failure 9 for an empty
// buffer, which has no first byte.
BYTE* first_byte(SAFEARRAY* buffer);

}  // namespace quellar2mrapi::crdata

#include <crdata/byte_buffers.h>

#include <oa/error.h>
#include <oa/text.h>

#include <bit>
#include <cstring>
#include <new>

namespace quellar2mrapi::crdata {

static_assert(std::endian::native == std::endian::little, "the buffers copy code units as they lie in memory");

namespace {

// Holds a buffer's data accessible while it is read or written.
class data_access {
public:
    explicit data_access(SAFEARRAY* buffer) : buffer_(buffer) { oa::check(SafeArrayAccessData(buffer, &data_)); }
    ~data_access() { SafeArrayUnaccessData(buffer_); }
    data_access(const data_access&) = delete;
    data_access& operator=(const data_access&) = delete;
    void* data() const noexcept { return data_; }

private:
    SAFEARRAY* buffer_;
    void* data_ = nullptr;
};

std::size_t all_elements(SAFEARRAY* buffer) {
    std::size_t n = 1;
    for (USHORT d = 0; d < buffer->cDims; ++d) n *= buffer->rgsabound[d].cElements;
    return buffer->cDims ? n : 0;
}

}  // namespace

oa::unique_safearray text_to_byte_buffer(std::u16string_view text) {
    // The library's count is a signed 32-bit number of bytes.
    if (text.size() > 0x3FFFFFFF) throw std::bad_alloc();
    const ULONG bytes = static_cast<ULONG>(text.size() * 2);
    oa::unique_safearray buffer(SafeArrayCreateVector(VT_UI1, 0, bytes));
    if (!buffer) throw std::bad_alloc();
    if (bytes) {
        data_access access(buffer.get());
        std::memcpy(access.data(), text.data(), bytes);
    }
    return buffer;
}

oa::unique_safearray one_byte_buffer() {
    // The runtime's vectors start zero-filled, so the one byte is 0.
    oa::unique_safearray buffer(SafeArrayCreateVector(VT_UI1, 0, 1));
    if (!buffer) throw std::bad_alloc();
    return buffer;
}

oa::unique_bstr byte_buffer_text(SAFEARRAY* buffer) {
    if (!buffer) return oa::make_bstr(u"");
    if (SafeArrayGetElemsize(buffer) != 1) oa::raise_vb(oa::vb::type_mismatch);
    const std::size_t units = all_elements(buffer) / 2;
    if (units > 0x3FFFFFFF) throw std::bad_alloc();
    data_access access(buffer);
    oa::unique_bstr text(SysAllocStringLen(units ? static_cast<const OLECHAR*>(access.data()) : nullptr,
                                           static_cast<UINT>(units)));
    if (!text) throw std::bad_alloc();
    return text;
}

LONG element_count(SAFEARRAY* buffer) {
    if (!buffer) return 0;
    LONG lower = 0, upper = -1;
    oa::check(SafeArrayGetLBound(buffer, 1, &lower));
    oa::check(SafeArrayGetUBound(buffer, 1, &upper));
    return upper - lower + 1;
}

BYTE* first_byte(SAFEARRAY* buffer) {
    if (element_count(buffer) == 0) oa::raise_vb(oa::vb::subscript_out_of_range);
    LONG index = 0;
    void* element = nullptr;
    oa::check(SafeArrayPtrOfIndex(buffer, &index, &element));
    return static_cast<BYTE*>(element);
}

}  // namespace quellar2mrapi::crdata

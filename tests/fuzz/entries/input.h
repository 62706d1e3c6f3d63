// Decoding a fuzz input: every read succeeds; an exhausted input reads as zeros, so any
// byte string is a valid program for the entry functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace q2mr_fuzz {

class input {
public:
    input(const std::uint8_t* data, std::size_t size) noexcept : p_(data), n_(size) {}

    bool empty() const noexcept { return n_ == 0; }
    std::size_t left() const noexcept { return n_; }

    std::uint8_t byte() noexcept {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
    std::uint32_t u32() noexcept { return u16() | (static_cast<std::uint32_t>(u16()) << 16); }
    std::uint64_t u64() noexcept { return u32() | (static_cast<std::uint64_t>(u32()) << 32); }
    bool flag() noexcept { return byte() & 1; }

    // One of the given values, chosen by the next byte.
    template <class T> T pick(std::initializer_list<T> values) noexcept {
        return values.begin()[byte() % values.size()];
    }

    // A length-prefixed run of raw bytes, at most max long.
    std::string bytes(std::size_t max) {
        std::size_t length = u16() % (max + 1);
        if (length > n_) length = n_;
        std::string out(reinterpret_cast<const char*>(p_), length);
        p_ += length;
        n_ -= length;
        return out;
    }
    // A length-prefixed run of UTF-16 code units, any value (lone surrogates, zeros).
    std::u16string units(std::size_t max) {
        std::size_t length = byte() % (max + 1);
        std::u16string out;
        for (std::size_t i = 0; i < length && n_ > 0; ++i) out.push_back(static_cast<char16_t>(u16()));
        return out;
    }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

// A broken property of the code under test: reported, then the process aborts, which
// libFuzzer keeps as a crash and a replaying test reports as a failure.
[[noreturn]] inline void broken(const char* what, const char* detail = "") {
    std::fprintf(stderr, "q2mr fuzz: %s %s\n", what, detail);
    std::fflush(stderr);
    std::abort();
}
inline void expect(bool ok, const char* what, const char* detail = "") {
    if (!ok) broken(what, detail);
}

}  // namespace q2mr_fuzz

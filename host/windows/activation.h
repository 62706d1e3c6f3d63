// The activation context of a run: the classes of the libraries beside the host, named by
// a manifest beside it, without anything registered. Active on the thread from
// construction to destruction.
#pragma once

#include <oa/unique.h>

#include <windows.h>

#include <optional>
#include <string>

namespace q2mrhost::windows {

class activation {
public:
    // The manifest file's name beside the host; nullopt with the reason when the context
    // cannot be made or activated.
    static std::optional<activation> beside_host(const wchar_t* manifest, std::string& why);
    activation(activation&&) noexcept = default;
    activation& operator=(activation&&) = delete;
    ~activation();

private:
    static void release(HANDLE context) noexcept { ReleaseActCtx(context); }
    using unique_context = oa::unique_any<HANDLE, &activation::release>;
    activation(unique_context context, ULONG_PTR cookie) : context_(std::move(context)), cookie_(cookie) {}

    unique_context context_;
    ULONG_PTR cookie_ = 0;
};

// The folder of the running program, with its trailing backslash.
std::wstring host_folder();

}  // namespace q2mrhost::windows

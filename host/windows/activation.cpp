#include <host/windows/activation.h>

#include <oa/module.h>
#include <oa/text.h>

namespace q2mrhost::windows {

std::wstring host_folder() {
    const std::wstring path = oa::win::module_path(nullptr);
    if (path.empty()) return L".\\";
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::optional<activation> activation::beside_host(const wchar_t* manifest, std::string& why) {
    const std::wstring folder = host_folder();
    const std::wstring source = folder + manifest;
    const auto named = [&source] { return oa::wide_to_utf8(source); };
    if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
        why = "the manifest " + named() + " is missing: the host, its libraries and their manifests belong together";
        return std::nullopt;
    }
    ACTCTXW description{};
    description.cbSize = sizeof description;
    description.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    description.lpSource = source.c_str();
    description.lpAssemblyDirectory = folder.c_str();
    unique_context context(CreateActCtxW(&description));
    if (context.get() == INVALID_HANDLE_VALUE) {
        (void)context.release();
        why = "cannot make the activation context of " + named() + " (error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    ULONG_PTR cookie = 0;
    if (!ActivateActCtx(context.get(), &cookie)) {
        why = "cannot activate the context of " + named() + " (error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    return activation(std::move(context), cookie);
}

activation::~activation() {
    if (context_) DeactivateActCtx(0, cookie_);
}

}  // namespace q2mrhost::windows

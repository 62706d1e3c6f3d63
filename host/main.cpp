// q2mrhost: runs a Lua automation script against the component and the emulated change
// server. q2mrhost --help (options.cpp) tells the command line and the exit codes.
#include <host/dialog_input.h>
#include <host/options.h>
#include <host/run.h>
#include <host/script.h>

#include <component/interfaces.h>
#include <component/version.h>
#include <forms/backend.h>
#include <oa/text.h>
#include <platform/files.h>

#include <lua.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using q2mrhost::options;
using q2mrhost::exit_usage;

// The registry that the build wrote beside the host, unless one is named already (an
// empty OLEAUTO_REGISTRY names none).
void choose_registry() {
    if (const char* named = std::getenv("OLEAUTO_REGISTRY"); named && *named) return;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return;
    auto beside = exe.parent_path() / "registry";
    if (std::filesystem::exists(beside, ec)) OaSetRegistryPath(beside.c_str());
}

void note_no_display(const std::u16string& caption, const std::string& reason) {
    std::fflush(stdout);  // after what the script printed so far
    std::cerr << "q2mrhost: the dialog \"" << oa::utf16_to_utf8(caption) << "\" could not be shown (" << reason
              << "); it counts as cancelled. Unattended runs can answer it with --dialog-input FILE.\n";
}

// The Lua host's parts of the run: scripts in Lua, the dialogs on the terminal or answered
// from a file, the component loaded through the registry.
class lua_host final : public q2mrhost::host_parts {
public:
    bool read_script(const options& o) override {
        if (!o.script) return true;
        try {
            script_text_ = platform::read_regular_file(*o.script, q2mrhost::script_size_limit);
        } catch (const platform::file_error& e) {
            say("cannot read the script " + e.detail());
            return false;
        }
        return true;
    }

    // Its folder exists and takes new files, and the path is no folder, FIFO or device (the
    // file is replaced through a temporary beside it).
    bool output_path_usable(const std::string& path, std::string& why) override {
        if (!platform::folder_of_path_exists(path, why)) return false;
        const auto slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            why = folder + ": " + std::strerror(errno);
            return false;
        }
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            why = path + ": not a regular file";
            return false;
        }
        return true;
    }

    bool prepare(const options& o) override {
        std::string why;
        if (o.dialog_input && !q2mrhost::read_dialog_answers(*o.dialog_input, answers_, why)) {
            say("cannot read the dialog input " + why);
            return false;
        }
        return true;
    }

    bool without_emulator(const options&, HRESULT hr) override {
        say(std::string("cannot load the emulated change server (registry ") + OaGetRegistryPath() +
            "): " + q2mrhost::describe(hr));
        return false;
    }

    void before_script(const options& o) override {
        // Each traced call shows up among the script's own lines, in order.
        if (o.trace) std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
        if (o.dialog_input) {
            q2mrhost::answer_dialogs_from(std::move(answers_));
        } else {
            forms::use_backend(forms::Backend::Terminal);
            forms::on_no_display(note_no_display);
        }
    }

    q2mrhost::script_result run_script(const options& o) override { return q2mrhost::run_script(o, script_text_); }

    void after_script() override { forms::on_no_display(nullptr); }

    bool component_unloadable() override {
        return OaClassLibraryCanUnloadNow(quellar2mrapi::CLSID_t2mrapp) != S_FALSE;
    }

    void error_line(const std::string& text) override { std::cerr << text << "\n"; }

private:
    std::string script_text_;
    std::vector<std::pair<std::u16string, std::u16string>> answers_;
};

}  // namespace

int main(int argc, char** argv) {
    using action = q2mrhost::command_line::action;
    const q2mrhost::command_line c = q2mrhost::parse_command_line(argc, argv);
    switch (c.what) {
    case action::help: std::cout << q2mrhost::help_text(); return 0;
    case action::version:
        std::cout << "q2mrhost " << quellar2mrapi::version_text << " (quellar2mrapi " << quellar2mrapi::version_text
                  << ", Lua " LUA_VERSION_MAJOR "." LUA_VERSION_MINOR ")\n";
        return 0;
    case action::usage_error:
        std::cerr << "q2mrhost: " << c.error << "\n" << q2mrhost::usage_line() << "(q2mrhost --help tells more)\n";
        return exit_usage;
    case action::run: break;
    }
    choose_registry();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status;
    {
        lua_host host;
        status = q2mrhost::run(c.o, host);
    }
    CoUninitialize();
    return status;
}

// The registry of classes and type libraries: a text file owned by the runtime.
//
// Format (UTF-8, one entry per line, fields separated by one TAB; '#' starts a comment):
//   class   {CLSID}  ProgID  VersionIndependentProgID  ThreadingModel  LibraryPath
//   typelib {LIBID}  major.minor  lcid(hex)  Name  LibraryPath
// Empty fields are allowed; lines of other kinds are kept as they are. Writers take an
// exclusive lock on "<registry>.lock", rewrite into a temporary file and rename it over
// the registry, so readers always see a whole file. Later lines win over earlier ones.
#include "internal.h"

#include <oa/ascii.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace oa_detail;
namespace fs = std::filesystem;

namespace {

struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const FileId& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

FileId file_id(const std::string& path) {
    FileId id;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtime = st.st_mtim;
    }
    return id;
}

struct State {
    std::mutex mutex;
    bool overridden = false;
    std::string override_path;
    // Parsed view of the file, re-read when the file's identity changes.
    std::string cached_path;
    FileId cached_id;
    bool cache_valid = false;
    std::vector<ClassEntry> classes;
};

State& state() {
    static State* s = new State;  // never destroyed: used from other libraries' destructors
    return *s;
}

std::string default_path() {
    if (const char* env = std::getenv("OLEAUTO_REGISTRY"); env && *env) return env;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
    }
    return std::string(home ? home : ".") + "/.config/oleauto/registry";
}

std::string current_path_locked(State& s) { return s.overridden ? s.override_path : default_path(); }

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> f;
    std::size_t start = 0;
    for (;;) {
        const std::size_t t = line.find('\t', start);
        f.push_back(line.substr(start, t == std::string::npos ? std::string::npos : t - start));
        if (t == std::string::npos) break;
        start = t + 1;
    }
    return f;
}

bool read_lines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return true;
}

bool parse_class(const std::string& line, ClassEntry& e) {
    if (line.rfind("class\t", 0) != 0) return false;
    auto f = split_tabs(line);
    if (f.size() < 6 || !parse_guid(f[1], e.clsid)) return false;
    e.progid = f[2];
    e.version_independent_progid = f[3];
    e.threading_model = f[4];
    e.library_path = f[5];
    return true;
}

// Refreshes the parsed view when the file changed; the caller holds the mutex.
void refresh_locked(State& s) {
    const std::string path = current_path_locked(s);
    const FileId id = file_id(path);
    if (s.cache_valid && path == s.cached_path && id == s.cached_id) return;
    s.classes.clear();
    std::vector<std::string> lines;
    if (id.exists) read_lines(path, lines);
    for (const auto& line : lines) {
        ClassEntry e;
        if (parse_class(line, e)) s.classes.push_back(std::move(e));
    }
    // Identity taken before reading: a change during the read shows up on the next look.
    s.cached_path = path;
    s.cached_id = id;
    s.cache_valid = true;
}


bool field_ok(const char* s) { return !s || !std::strpbrk(s, "\t\r\n"); }

HRESULT hr_from_errno(int e) {
    return (e == EACCES || e == EPERM || e == EROFS) ? E_ACCESSDENIED : (e == ENOMEM ? E_OUTOFMEMORY : E_FAIL);
}

// Rewrites the registry under the cross-process lock: drops the lines `remove` matches,
// then appends `add` (when not empty).
template <class Pred> HRESULT rewrite(Pred remove, const std::string& add) {
    State& s = state();
    std::string path;
    {
        std::lock_guard lock(s.mutex);
        path = current_path_locked(s);
    }
    std::error_code ec;
    const fs::path parent = fs::path(path).parent_path();
    if (add.empty() && !fs::exists(path, ec)) return S_OK;  // nothing to remove
    if (!parent.empty()) {
        fs::create_directories(parent, ec);
        if (ec) return hr_from_errno(ec.value());
    }
    const std::string lock_path = path + ".lock";
    const int lock_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock_fd < 0) return hr_from_errno(errno);
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }  // closing drops the flock
    } unlock{lock_fd};
    while (::flock(lock_fd, LOCK_EX) != 0) {
        if (errno != EINTR) return hr_from_errno(errno);
    }

    std::vector<std::string> lines;
    read_lines(path, lines);
    std::ostringstream out;
    bool header = false;
    for (const auto& line : lines) {
        if (remove(line)) continue;
        header |= line.rfind("# oleauto registry", 0) == 0;
        out << line << '\n';
    }
    if (!add.empty()) out << add << '\n';
    std::string text = out.str();
    if (!header) text = "# oleauto registry 1: class/typelib entries, TAB-separated (see the runtime's README)\n" + text;

    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return hr_from_errno(errno);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            return hr_from_errno(e);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return hr_from_errno(e);
    }
    std::lock_guard lock(s.mutex);
    s.cache_valid = false;
    return S_OK;
}

std::string class_key(const GUID& clsid) { return "class\t" + format_guid(clsid) + "\t"; }

std::string typelib_key(const GUID& libid, WORD major, WORD minor) {
    return "typelib\t" + format_guid(libid) + "\t" + std::to_string(major) + "." + std::to_string(minor) + "\t";
}

// GUIDs are written upper-case; compare the key without regard to case for hand-edited files.
bool starts_with_nocase(const std::string& line, const std::string& key) {
    return line.size() >= key.size() && oa::same_ascii_case(std::string_view(line).substr(0, key.size()), key);
}

std::string absolute_path(const char* p) {
    std::error_code ec;
    fs::path path = fs::weakly_canonical(fs::absolute(p, ec), ec);
    return ec ? std::string(p) : path.string();
}

}  // namespace

namespace oa_detail {

bool registry_find_class(const GUID& clsid, ClassEntry& out) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    refresh_locked(s);
    for (auto it = s.classes.rbegin(); it != s.classes.rend(); ++it) {
        if (it->clsid == clsid) {
            out = *it;
            return true;
        }
    }
    return false;
}

bool registry_find_progid(std::string_view progid, GUID& clsid) {
    if (progid.empty()) return false;
    State& s = state();
    std::lock_guard lock(s.mutex);
    refresh_locked(s);
    for (auto it = s.classes.rbegin(); it != s.classes.rend(); ++it) {
        if (oa::same_ascii_case(it->progid, progid) || oa::same_ascii_case(it->version_independent_progid, progid)) {
            clsid = it->clsid;
            return true;
        }
    }
    return false;
}

}  // namespace oa_detail

STDAPI_(const char*) OaGetRegistryPath() {
    thread_local std::string result;  // valid until this thread's next call
    State& s = state();
    std::lock_guard lock(s.mutex);
    result = current_path_locked(s);
    return result.c_str();
}

STDAPI OaSetRegistryPath(const char* path) {
    if (path && !*path) return E_INVALIDARG;
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.overridden = path != nullptr;
    s.override_path = path ? path : "";
    s.cache_valid = false;
    return S_OK;
}

STDAPI OaRegisterClass(REFCLSID clsid, const char* progid, const char* versionIndependentProgid,
                       const char* libraryPath, const char* threadingModel) {
    if (!libraryPath || !*libraryPath) return E_INVALIDARG;
    if (!field_ok(progid) || !field_ok(versionIndependentProgid) || !field_ok(libraryPath) || !field_ok(threadingModel))
        return E_INVALIDARG;
    const std::string key = class_key(clsid);
    std::string line = key + (progid ? progid : "") + "\t" + (versionIndependentProgid ? versionIndependentProgid : "") +
                       "\t" + (threadingModel && *threadingModel ? threadingModel : "Apartment") + "\t" +
                       absolute_path(libraryPath);
    return rewrite([&](const std::string& l) { return starts_with_nocase(l, key); }, line);
}

STDAPI OaUnregisterClass(REFCLSID clsid) {
    const std::string key = class_key(clsid);
    return rewrite([&](const std::string& l) { return starts_with_nocase(l, key); }, std::string());
}

STDAPI OaRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, const char* name, const char* libraryPath) {
    if (!libraryPath || !*libraryPath || !field_ok(name) || !field_ok(libraryPath)) return E_INVALIDARG;
    const std::string key = typelib_key(libid, major, minor);
    char lcid_text[16];
    std::snprintf(lcid_text, sizeof lcid_text, "%X", static_cast<unsigned>(lcid));
    std::string line = key + lcid_text + "\t" + (name ? name : "") + "\t" + absolute_path(libraryPath);
    return rewrite([&](const std::string& l) { return starts_with_nocase(l, key); }, line);
}

STDAPI OaUnregisterTypeLib(REFGUID libid, WORD major, WORD minor) {
    const std::string key = typelib_key(libid, major, minor);
    return rewrite([&](const std::string& l) { return starts_with_nocase(l, key); }, std::string());
}

STDAPI_(const char*) OaForceRegistrationCommand(const char* libraryPath) {
    thread_local std::string result;  // valid until this thread's next call
    std::string path = libraryPath ? libraryPath : "LIBRARY.so";
    // Quoted for the shell unless it holds plain path characters only.
    if (path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._+-") !=
        std::string::npos) {
        std::string quoted = "'";
        for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        path = quoted + "'";
    }
    result = "regsvr --force " + path;
    return result.c_str();
}

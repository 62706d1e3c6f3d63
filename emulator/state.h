// The process-wide state of the emulated library: its servers, injected faults, the
// journal and the live-object counts. One set for every object that the library serves.
#pragma once

#include <emulator/server.h>

#include <oa/unique.h>
#include <platform/files.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace mremu {

// The library's classes (in the order of mrlib::object_class) and the control class.
enum class kind : std::uint8_t { api, user, object_list, object_data, attribute, emulator, count_ };
std::string_view kind_name(kind k) noexcept;

// Counts one live object of a class; a member of each object, so that a constructor that
// throws leaves the count as it was.
class live_counter {
public:
    explicit live_counter(kind k) noexcept;
    ~live_counter();
    live_counter(const live_counter&) = delete;
    live_counter& operator=(const live_counter&) = delete;
    static long count(kind k) noexcept;

private:
    kind kind_;
};

// One journal line: {"op": NAME, "args": [...]}, built only while a journal is open.
class journal_line {
public:
    explicit journal_line(target t);
    journal_line& text(std::u16string_view t);
    journal_line& text(BSTR b) { return text(oa::view(b)); }
    journal_line& number(long long n);
    journal_line& secret();
    journal_line& object(std::string_view class_name, const void* present);
    // A byte buffer: its count, and the text of its bytes (UTF-16LE code units).
    journal_line& buffer(long long count, const BYTE* first, long long bytes);
    // An array of the rows read from a table: each {"class": NAME} or null.
    journal_line& begin_rows();
    journal_line& row(std::string_view class_name, const void* present);
    journal_line& end_rows();
    std::string finish();

private:
    void comma();
    std::string line_;
    bool first_ = true;
    bool in_rows_ = false, first_row_ = true;
};

class process_state {
public:
    process_state();
    std::unique_lock<std::recursive_mutex> lock() { return std::unique_lock(mutex_); }

    server_set servers;
    std::vector<fault> injected;

    bool journaling() const noexcept { return journal_ != nullptr || trace_; }
    // Writes the line built by fill when a journal is open or calls are traced; fill runs
    // only then.
    template <class Fill> void record(target t, Fill&& fill) {
        ++calls_;
        if (!journaling()) return;
        journal_line line(t);
        fill(line);
        write(line.finish());
    }
    // Opens a journal (appending), replacing the one that is open; throws
    // platform::file_error when the file cannot be opened, the old journal staying as it was.
    // What the replaced journal failed to write is kept for stop_journal to report.
    void start_journal(const std::string& path);
    // Closes the journal. False when lines could not be written since the last
    // stop_journal, or a journal could not be closed; why then names the file, how many
    // lines were lost and the system's reason.
    bool stop_journal(std::string& why);
    // Every journal line also goes to standard error as the call is made.
    void trace_calls(bool on) noexcept { trace_ = on; }
    // The calls recorded so far, journaled or not.
    std::uint64_t calls() const noexcept { return calls_; }

    // Fails the call (throws) when an injected fault or a fault of `on` targets t.
    void apply_faults(target t, server* on);
    std::u16string new_token();

private:
    void write(const std::string& line) noexcept;
    // Closes the open journal: what it failed to write, or "" when nothing failed.
    std::string close_journal();
    std::recursive_mutex mutex_;  // recursive: a foreign object we call may call back in
    std::unique_ptr<platform::file_writer> journal_;
    std::string journal_path_;
    std::string unreported_;  // the failures of a journal that start_journal replaced
    bool trace_ = false;
    std::uint64_t next_token_ = 1;
    std::uint64_t calls_ = 0;
};

process_state& state();

}  // namespace mremu

#include <emulator/state.h>

#include <oa/error.h>
#include <oa/text.h>

#include <array>
#include <optional>

namespace mremu {

namespace {

std::array<std::atomic<long>, static_cast<std::size_t>(kind::count_)> live_counts{};

// The library's classes in the table's order, then the control class.
static_assert(static_cast<int>(kind::attribute) == static_cast<int>(mrlib::object_class::Attribute) &&
              static_cast<std::size_t>(kind::emulator) == mrlib::class_names.size());

// Appends code units as a JSON string: UTF-8, '"', '\\' and control characters escaped as
// the fixture's JSON library writes them, an unpaired surrogate as U+FFFD. Straight into
// the line, so that a text of many MiB is held once, as the line itself.
template <class UnitAt> void append_json(std::string& out, std::size_t units, UnitAt unit_at) {
    // The exact room first: a long text grows the line once, not by doubling.
    std::size_t room = 2 + 8;  // the quotes, and the few bytes that close the line
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t c = unit_at(i);
        room += c == u'"' || c == u'\\' || c == u'\b' || c == u'\f' || c == u'\n' || c == u'\r' || c == u'\t' ? 2
                : c < 0x20                                                                         ? 6
                : c < 0x80                                                                         ? 1
                : c < 0x800                                                                        ? 2
                                                                                                   : 3;
    }
    out.reserve(out.size() + room);
    out += '"';
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t cp = oa::code_point_at(unit_at, units, i);
        switch (cp) {
        case u'"': out += "\\\""; continue;
        case u'\\': out += "\\\\"; continue;
        case u'\b': out += "\\b"; continue;
        case u'\f': out += "\\f"; continue;
        case u'\n': out += "\\n"; continue;
        case u'\r': out += "\\r"; continue;
        case u'\t': out += "\\t"; continue;
        default: break;
        }
        if (cp < 0x20) {
            static constexpr char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[cp >> 4];
            out += hex[cp & 0xF];
        } else {
            oa::append_utf8(out, cp);
        }
    }
    out += '"';
}

void append_json(std::string& out, std::u16string_view text) {
    append_json(out, text.size(), [&](std::size_t i) { return static_cast<char32_t>(text[i]); });
}
void append_json(std::string& out, std::string_view ascii) {
    append_json(out, ascii.size(), [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(ascii[i])); });
}

}  // namespace

std::string_view kind_name(kind k) noexcept {
    return k == kind::emulator ? "Emulator" : mrlib::class_name(static_cast<mrlib::object_class>(k));
}

live_counter::live_counter(kind k) noexcept : kind_(k) { ++live_counts[static_cast<std::size_t>(k)]; }
live_counter::~live_counter() { --live_counts[static_cast<std::size_t>(kind_)]; }
long live_counter::count(kind k) noexcept { return live_counts[static_cast<std::size_t>(k)].load(); }

// ------------------------------------------------------------------------------------
journal_line::journal_line(target t) : line_("{\"op\": ") {
    append_json(line_, t.name());
    line_ += ", \"args\": [";
}

void journal_line::comma() {
    if (in_rows_) {
        if (!first_row_) line_ += ", ";
        first_row_ = false;
        return;
    }
    if (!first_) line_ += ", ";
    first_ = false;
}

journal_line& journal_line::text(std::u16string_view t) {
    comma();
    append_json(line_, t);
    return *this;
}

journal_line& journal_line::number(long long n) {
    comma();
    line_ += std::to_string(n);
    return *this;
}

journal_line& journal_line::secret() {
    comma();
    line_ += "\"***\"";
    return *this;
}

journal_line& journal_line::object(std::string_view class_name, const void* present) {
    comma();
    if (!present) {
        line_ += "null";
        return *this;
    }
    line_ += "{\"class\": ";
    append_json(line_, class_name);
    line_ += "}";
    return *this;
}

journal_line& journal_line::buffer(long long count, const BYTE* first, long long bytes) {
    comma();
    line_ += "{\"count\": " + std::to_string(count) + ", \"text\": ";
    // UTF-16LE code units read where they lie; an odd last byte is dropped.
    const std::size_t units = first && bytes >= 2 ? static_cast<std::size_t>(bytes / 2) : 0;
    append_json(line_, units, [first](std::size_t i) {
        return static_cast<char32_t>(first[2 * i] | (static_cast<unsigned>(first[2 * i + 1]) << 8));
    });
    line_ += "}";
    return *this;
}

journal_line& journal_line::begin_rows() {
    comma();
    line_ += "[";
    in_rows_ = true;
    first_row_ = true;
    return *this;
}

journal_line& journal_line::row(std::string_view class_name, const void* present) { return object(class_name, present); }

journal_line& journal_line::end_rows() {
    line_ += "]";
    in_rows_ = false;
    return *this;
}

std::string journal_line::finish() {
    line_ += "]}\n";
    return std::move(line_);
}

// ------------------------------------------------------------------------------------
void process_state::start_journal(const std::string& path) {
    auto opened = std::make_unique<platform::file_writer>(path, platform::file_writer::mode::append);
    std::string failures = close_journal();
    if (unreported_.empty()) unreported_ = std::move(failures);
    journal_ = std::move(opened);
    journal_path_ = path;
}

std::string process_state::close_journal() {
    if (!journal_) return {};
    const std::unique_ptr<platform::file_writer> journal = std::move(journal_);
    try {
        journal->finish();
        return {};
    } catch (const platform::file_error& e) {
        const unsigned long lost = journal->failed_writes();
        if (lost == 0) return "Closing the journal file failed: " + e.detail();
        return "The journal file \"" + journal_path_ + "\" lost " + std::to_string(lost) +
               (lost == 1 ? " line: " : " lines: ") + journal->failure();
    }
}

bool process_state::stop_journal(std::string& why) {
    std::string failures = close_journal();
    why = unreported_.empty() ? std::move(failures)
          : failures.empty()  ? std::move(unreported_)
                              : unreported_ + "; " + failures;
    unreported_.clear();
    return why.empty();
}

void process_state::write(const std::string& line) noexcept {
    // One write per line, so that a reader sees every call made so far and several writers
    // appending to one file never break each other's lines. A line lost is counted by the
    // writer and reported by stop_journal.
    if (trace_) platform::write_to_standard_error(line);
    if (journal_) journal_->write(line);
}

namespace {
// Takes one call from the first fault of the list that targets t.
std::optional<fault> take_fault(std::vector<fault>& faults, target t) {
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->target != t) continue;
        fault hit = *it;
        if (--it->times <= 0) faults.erase(it);
        return hit;
    }
    return std::nullopt;
}
}  // namespace

void process_state::apply_faults(target t, server* on) {
    if (injected.empty() && (!on || on->faults.empty())) return;
    std::optional<fault> hit = take_fault(injected, t);
    if (!hit && on) hit = take_fault(on->faults, t);
    if (hit) {
        if (hit->description.empty())
            hit->description = u"Injected fault in " + oa::ascii_to_utf16(t.name());
        oa::raise(hit->hr, hit->description);
    }
}

std::u16string process_state::new_token() {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::u16string token = u"EMU-";
    std::uint64_t n = next_token_++;
    std::u16string number;
    do {
        number.insert(number.begin(), digits[n % 16]);
        n /= 16;
    } while (n);
    return token + std::u16string(8 - std::min<std::size_t>(8, number.size()), u'0') + number;
}

process_state::process_state() : servers(default_servers()) {}

process_state& state() {
    static process_state s;
    return s;
}

}  // namespace mremu

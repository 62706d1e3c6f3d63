#include <emulator/state.h>

#include <oa/error.h>
#include <oa/text.h>

#include <nlohmann/json.hpp>

#include <array>

namespace mremu {

namespace {

std::array<std::atomic<long>, static_cast<std::size_t>(kind::count_)> live_counts{};

constexpr std::array<std::string_view, static_cast<std::size_t>(kind::count_)> kind_names{
    "api", "User", "ObjectList", "ObjectData", "Attribute", "Emulator"};

std::string json_string(std::string_view utf8) { return nlohmann::json(std::string(utf8)).dump(); }
std::string json_string(std::u16string_view text) { return json_string(oa::utf16_to_utf8(text)); }

std::string class_json(std::string_view class_name) { return "{\"class\": " + json_string(class_name) + "}"; }

}  // namespace

std::string_view kind_name(kind k) noexcept { return kind_names[static_cast<std::size_t>(k)]; }

live_counter::live_counter(kind k) noexcept : kind_(k) { ++live_counts[static_cast<std::size_t>(k)]; }
live_counter::~live_counter() { --live_counts[static_cast<std::size_t>(kind_)]; }
long live_counter::count(kind k) noexcept { return live_counts[static_cast<std::size_t>(k)].load(); }

// ------------------------------------------------------------------------------------
journal_line::journal_line(op o) : line_("{\"op\": " + json_string(op_name(o)) + ", \"args\": [") {}

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
    line_ += json_string(t);
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
    line_ += present ? class_json(class_name) : "null";
    return *this;
}

journal_line& journal_line::buffer(long long count, std::u16string_view text) {
    comma();
    line_ += "{\"count\": " + std::to_string(count) + ", \"text\": " + json_string(text) + "}";
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

std::string journal_line::finish() { return line_ + "]}\n"; }

// ------------------------------------------------------------------------------------
void process_state::start_journal(const std::string& path) {
    journal_ = std::make_unique<platform::append_file>(path);
    journal_path_ = path;
    lost_lines_ = 0;
    loss_reason_.clear();
}

bool process_state::stop_journal(std::string& why) {
    journal_.reset();
    if (lost_lines_ == 0) return true;
    why = "The journal file \"" + journal_path_ + "\" lost " + std::to_string(lost_lines_) +
          (lost_lines_ == 1 ? " line: " : " lines: ") + loss_reason_;
    lost_lines_ = 0;
    return false;
}

void process_state::write(const std::string& line) noexcept {
    // One write per line, so that a reader sees every call made so far and several writers
    // appending to one file never break each other's lines.
    if (trace_) platform::write_to_standard_error(line);
    if (!journal_ || journal_->write(line)) return;
    try {
        if (lost_lines_++ == 0) loss_reason_ = journal_->last_failure();
    } catch (...) {
    }
}

namespace {
// Takes one call from the first fault of the list that targets o.
bool take_fault(std::vector<fault>& faults, op o, fault& hit) {
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->target != o) continue;
        hit = *it;
        if (--it->times <= 0) faults.erase(it);
        return true;
    }
    return false;
}
}  // namespace

void process_state::apply_faults(op o, server* on) {
    if (injected.empty() && (!on || on->faults.empty())) return;
    fault hit{};
    if (take_fault(injected, o, hit) || (on && take_fault(on->faults, o, hit))) {
        if (hit.description.empty())
            hit.description = u"Injected fault in " + oa::ascii_to_utf16(op_name(o));
        oa::raise(hit.hr, hit.description);
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

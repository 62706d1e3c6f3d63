#include <host/dialog_input.h>

#include <forms/backend.h>
#include <forms/headless.h>
#include <oa/text.h>
#include <platform/files.h>

#include <cstdio>
#include <iostream>
#include <memory>

namespace q2mrhost {

namespace hl = forms::headless;

bool read_dialog_answers(const std::string& path, std::vector<std::pair<std::u16string, std::u16string>>& answers,
                         std::string& why) {
    std::string bytes;
    try {
        bytes = platform::read_regular_file(path, 64 * 1024);
    } catch (const platform::file_error& e) {
        why = e.detail();
        return false;
    }
    std::vector<std::u16string> lines;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        auto eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto wide = oa::utf8_to_utf16(line);
        if (!wide) {
            why = path + ": line " + std::to_string(lines.size() + 1) + " is not UTF-8 text";
            return false;
        }
        lines.push_back(std::move(*wide));
    }
    for (std::size_t i = 0; i < lines.size(); i += 2)
        answers.emplace_back(lines[i], i + 1 < lines.size() ? lines[i + 1] : std::u16string());
    return true;
}

namespace {

struct answer_queue {
    std::vector<std::pair<std::u16string, std::u16string>> answers;
    std::size_t next = 0;
};

void note(const std::string& text) {
    std::fflush(stdout);
    std::cerr << "q2mrhost: dialog input: " << text << "\n";
}

// Selects the box's whole text and types over it.
void type_into(const hl::Screen& s, const char* box, const std::u16string& text) {
    s.click(box);  // the caret at the end of the text
    s.key(forms::Key::ShiftHome);
    s.key(forms::Key::Delete);
    s.type(text);
}

void enqueue_answer(const std::shared_ptr<answer_queue>& q);

void answer(const std::shared_ptr<answer_queue>& q, const hl::Screen& s) {
    enqueue_answer(q);  // one step always waits for the next time a form waits for input
    try {
        if (s.message_up()) {
            note("the dialog said \"" + oa::utf16_to_utf8(s.message().text) + "\"");
            s.dismiss();
            return;
        }
        const forms::Form& form = s.form();
        if (!form.find("txtUserName") || !form.find("txtPassword")) {
            note("\"" + oa::utf16_to_utf8(form.caption) + "\" is not the login dialog: closed");
            s.close();
            return;
        }
        if (q->next >= q->answers.size()) {
            note("no answers left: the login dialog is closed");
            s.close();
            return;
        }
        const auto& [name, password] = q->answers[q->next++];
        type_into(s, "txtUserName", name);
        type_into(s, "txtPassword", password);
        s.enter();
    } catch (const hl::script_error& e) {
        note(e.what());
        if (s.has_form() && s.form().visible() && !s.message_up()) s.close();
    }
}

void enqueue_answer(const std::shared_ptr<answer_queue>& q) {
    hl::enqueue([q](const hl::Screen& s) { answer(q, s); });
}

}  // namespace

void answer_dialogs_from(std::vector<std::pair<std::u16string, std::u16string>> answers) {
    forms::use_backend(forms::Backend::Headless);
    hl::reset();
    auto q = std::make_shared<answer_queue>();
    q->answers = std::move(answers);
    enqueue_answer(q);
}

}  // namespace q2mrhost

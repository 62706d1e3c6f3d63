#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "forms/backend.h"
#include "forms/forms.h"
#include "forms/headless.h"

using namespace forms;
namespace hl = forms::headless;

namespace {

// Read before any test picks a backend.
const Backend initial_backend = current_backend();

// A small form: two boxes, a hidden box, a label, OK (default) and Cancel.
struct TestForm {
    Form form{u"Test", 3000, 1500};
    Label label{form, "lbl"};
    TextBox second{form, "second"};
    TextBox first{form, "first"};
    TextBox hidden{form, "hidden"};
    CommandButton ok{form, "ok"};
    CommandButton cancel{form, "cancel"};
    int ok_clicks = 0, cancel_clicks = 0;

    TestForm() {
        label.set_text(u"&Name:");
        label.tab_index = 0;
        first.tab_index = 1;
        second.tab_index = 2;
        hidden.tab_index = 3;
        hidden.visible = false;
        ok.set_text(u"OK");
        ok.tab_index = 4;
        ok.is_default = true;
        ok.on_click = [this] { ++ok_clicks; };
        cancel.set_text(u"&Cancel");
        cancel.tab_index = 5;
        cancel.is_cancel = true;
        cancel.on_click = [this] {
            ++cancel_clicks;
            form.hide();
        };
    }
};

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        use_backend(Backend::Headless);
        hl::reset();
    }
    void TearDown() override { EXPECT_EQ(hl::pending(), 0u) << "steps left unplayed"; }
};

}  // namespace

TEST(TextBoxEditing, TypingReplacesSelectionAndKeysMoveCaret) {
    Form f;
    TextBox t{f, "t"};
    t.set_text(u"hello");
    EXPECT_EQ(t.selection(), (Selection{0, 0}));
    t.select(1, 3);
    EXPECT_EQ(t.selected_text(), u"ell");
    t.type(u"EY");
    EXPECT_EQ(t.text(), u"hEYo");
    EXPECT_EQ(t.caret(), 3);

    t.edit_key(Key::Home);
    t.edit_key(Key::ShiftEnd);
    EXPECT_EQ(t.selection(), (Selection{0, 4}));
    t.edit_key(Key::Backspace);
    EXPECT_EQ(t.text(), u"");

    t.type(u"abc");
    t.edit_key(Key::Left);
    t.edit_key(Key::Backspace);
    EXPECT_EQ(t.text(), u"ac");
    t.edit_key(Key::Delete);
    EXPECT_EQ(t.text(), u"a");
    t.edit_key(Key::Delete);  // at the end: nothing to delete
    EXPECT_EQ(t.text(), u"a");

    t.set_text(u"abcd");
    t.edit_key(Key::End);
    t.edit_key(Key::ShiftLeft);
    t.edit_key(Key::ShiftLeft);
    EXPECT_EQ(t.selection(), (Selection{2, 2}));
    t.edit_key(Key::Left);  // collapses to the start of the selection
    EXPECT_EQ(t.selection(), (Selection{2, 0}));
}

TEST(TextBoxEditing, SelectionIsClampedToText) {
    Form f;
    TextBox t{f, "t"};
    t.set_text(u"abc");
    t.select(2, 50);
    EXPECT_EQ(t.selection(), (Selection{2, 1}));
    t.select(-5, 1);
    EXPECT_EQ(t.selection(), (Selection{0, 1}));
    t.select(9, 0);
    EXPECT_EQ(t.selection(), (Selection{3, 0}));
}

TEST(TextBoxEditing, PasswordMaskShowsOneStarPerCharacter) {
    Form f;
    TextBox t{f, "t"};
    t.password_char = u'*';
    t.set_text(u"a b");
    EXPECT_EQ(t.shown_text(), u"***");
    // A character outside the basic plane is two UTF-16 units, one star.
    t.set_text(u"x\U0001F600");
    EXPECT_EQ(t.text().size(), 3u);
    EXPECT_EQ(t.shown_text(), u"**");
    t.edit_key(Key::End);
    t.edit_key(Key::Backspace);  // removes the whole pair
    EXPECT_EQ(t.text(), u"x");
    t.password_char = 0;
    EXPECT_EQ(t.shown_text(), u"x");
}

TEST(Labels, AccessKeyMarkersAreNotShown) {
    Form f;
    Label a{f, "a"}, b{f, "b"}, c{f, "c"};
    a.set_text(u"&User Name:");
    b.set_text(u"Fish && &Chips");
    c.set_text(u"plain");
    EXPECT_EQ(a.shown_text(), u"User Name:");
    EXPECT_EQ(a.access_key(), u'U');
    EXPECT_EQ(b.shown_text(), u"Fish & Chips");
    EXPECT_EQ(b.access_key(), u'C');
    EXPECT_EQ(b.access_key_position(), 7);
    EXPECT_EQ(c.access_key(), 0);
}

TEST(ControlArrays, ElementsAreFoundByIndex) {
    Form f;
    ControlArray<Label> labels{f, "lblLabels", 2};
    labels[0].set_text(u"zero");
    labels[1].set_text(u"one");
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(f.find("lblLabels", 1), &labels[1]);
    EXPECT_EQ(f.find("lblLabels"), &labels[0]);
    EXPECT_EQ(f.find("lblLabels", 2), nullptr);
    EXPECT_EQ(labels[1].display_name(), "lblLabels(1)");
}

TEST_F(Headless, FocusFollowsTabOrderSkippingLabelsAndHiddenControls) {
    TestForm t;
    std::vector<std::string> seen;
    auto note = [&seen](const hl::Screen& s) { seen.push_back(s.focus()); };
    hl::enqueue(note, hl::tab(), note, hl::tab(), note, hl::tab(), note, hl::tab(), note,  // wraps
                hl::back_tab(), note, hl::close());
    t.form.show_modal();
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "second", "ok", "cancel", "first", "cancel"}));
    EXPECT_TRUE(t.form.closed());
    EXPECT_FALSE(t.form.visible());
    EXPECT_EQ(t.ok_clicks + t.cancel_clicks, 0);
}

TEST_F(Headless, TabbingIntoTextBoxSelectsItsText) {
    TestForm t;
    t.second.set_text(u"preset");
    Selection on_entry, after_click;
    hl::enqueue(hl::tab(), [&](const hl::Screen& s) { on_entry = s.selection(); }, hl::click("second"),
                [&](const hl::Screen& s) { after_click = s.selection(); }, hl::type(u"X"), hl::close());
    t.form.show_modal();
    EXPECT_EQ(on_entry, (Selection{0, 6}));
    // A click puts the caret at the end without selecting, so typing appends.
    EXPECT_EQ(after_click, (Selection{6, 0}));
    EXPECT_EQ(t.second.text(), u"presetX");
}

TEST_F(Headless, EnterPressesDefaultOrFocusedButtonAndEscapeCancel) {
    TestForm t;
    int ok_seen = -1;
    hl::enqueue(hl::type(u"abc"), hl::enter(), [&](const hl::Screen&) { ok_seen = t.ok_clicks; },
                hl::back_tab(),  // from first back to cancel
                hl::enter());
    t.form.show_modal();
    EXPECT_EQ(ok_seen, 1);
    EXPECT_EQ(t.ok_clicks, 1);
    EXPECT_EQ(t.cancel_clicks, 1);
    EXPECT_FALSE(t.form.closed());

    TestForm u;
    hl::enqueue(hl::type(u"q"), hl::escape());
    u.form.show_modal();
    EXPECT_EQ(u.cancel_clicks, 1);
    EXPECT_EQ(u.ok_clicks, 0);
}

TEST_F(Headless, SpaceOnFocusedButtonAndAccessKeys) {
    TestForm t;
    std::string after_alt_n;
    hl::enqueue(hl::tab(), hl::tab(),  // ok
                hl::type(u" "),       // presses ok, does not type
                [&](const hl::Screen& s) {
                    s.access_key(u'n');  // the label hands focus to the next in tab order
                    after_alt_n = s.focus();
                    s.access_key(u'C');  // the button's key presses it
                });
    t.form.show_modal();
    EXPECT_EQ(t.ok_clicks, 1);
    EXPECT_EQ(after_alt_n, "first");
    EXPECT_EQ(t.cancel_clicks, 1);
    EXPECT_EQ(t.first.text(), u"");
}

TEST_F(Headless, ReadsBackWhatAPersonSees) {
    TestForm t;
    t.first.password_char = u'*';
    std::u16string caption, masked, label;
    hl::enqueue(hl::type(u"secret"), [&](const hl::Screen& s) {
        caption = s.caption();
        masked = s.shown_text("first");
        label = s.shown_text("lbl");
        EXPECT_THROW(s.shown_text("nope"), hl::script_error);
    });
    t.form.show_modal();
    EXPECT_EQ(caption, u"Test");
    EXPECT_EQ(masked, u"******");
    EXPECT_EQ(label, u"Name:");
    EXPECT_EQ(t.first.text(), u"secret");
    EXPECT_EQ(hl::shown_forms(), (std::vector<std::u16string>{u"Test"}));
}

TEST_F(Headless, EmptyQueueClosesFormAndDismissesMessage) {
    TestForm t;
    t.ok.on_click = [&] { MsgBox(u"first", vbOKOnly, u"T"); };
    hl::enqueue(hl::press("ok"));
    t.form.show_modal();  // the message and then the form run out of steps
    EXPECT_TRUE(t.form.closed());
    ASSERT_EQ(hl::messages().size(), 1u);
    EXPECT_EQ(hl::messages()[0].text, u"first");
    EXPECT_EQ(hl::messages()[0].title, u"T");

    EXPECT_EQ(MsgBox(u"no form, no steps"), vbOK);
    ASSERT_EQ(hl::messages().size(), 2u);
    EXPECT_EQ(hl::messages()[1].title, u"");
}

TEST_F(Headless, MessageBoxBlocksTheFormUntilDismissed) {
    TestForm t;
    bool up_after_msg = false;
    std::u16string text_seen;
    std::string focus_after;
    t.ok.on_click = [&] {
        MsgBox(u"Careful", vbOKOnly, u"");
        t.second.set_focus();
    };
    hl::enqueue(hl::press("OK"),  // by caption
                [&](const hl::Screen& s) {
                    up_after_msg = s.message_up();
                    text_seen = s.message().text;
                    EXPECT_THROW(s.type(u"x"), hl::script_error);
                    EXPECT_THROW(s.press("cancel"), hl::script_error);
                    EXPECT_THROW(s.close(), hl::script_error);
                },
                hl::enter(),  // dismisses the message box, not the form
                [&](const hl::Screen& s) {
                    EXPECT_FALSE(s.message_up());
                    EXPECT_THROW(s.dismiss(), hl::script_error);
                    focus_after = s.focus();
                },
                hl::press("Cancel"));
    t.form.show_modal();
    EXPECT_TRUE(up_after_msg);
    EXPECT_EQ(text_seen, u"Careful");
    EXPECT_EQ(focus_after, "second");
    EXPECT_EQ(t.ok_clicks, 0);  // replaced handler
    EXPECT_EQ(t.cancel_clicks, 1);
    EXPECT_FALSE(t.form.closed());
}

TEST_F(Headless, FailingStepLeavesNothingShown) {
    TestForm t;
    hl::enqueue(hl::press("no-such-button"), hl::close());
    EXPECT_THROW(t.form.show_modal(), hl::script_error);
    EXPECT_FALSE(t.form.visible());
    EXPECT_EQ(hl::pending(), 1u);
    hl::reset();
    // The form can be shown again afterwards.
    hl::enqueue(hl::escape());
    t.form.show_modal();
    EXPECT_EQ(t.cancel_clicks, 1);
    EXPECT_EQ(hl::shown_forms().size(), 1u);
}

TEST_F(Headless, NestedFormIsDrivenWhileOuterWaits) {
    TestForm outer, inner;
    outer.ok.on_click = [&] { inner.form.show_modal(); };
    std::u16string inner_caption;
    inner.form.caption = u"Inner";
    hl::enqueue(hl::enter(), [&](const hl::Screen& s) { inner_caption = s.caption(); }, hl::escape(),
                [&](const hl::Screen& s) { EXPECT_EQ(s.caption(), u"Test"); }, hl::escape());
    outer.form.show_modal();
    EXPECT_EQ(inner_caption, u"Inner");
    EXPECT_EQ(inner.cancel_clicks, 1);
    EXPECT_EQ(outer.cancel_clicks, 1);
    EXPECT_EQ(hl::shown_forms(), (std::vector<std::u16string>{u"Test", u"Inner"}));
}

TEST(Backends, TerminalIsDefaultAndWithoutTerminalShowReturnsAsClosed) {
    EXPECT_EQ(initial_backend, Backend::Terminal);
    use_backend(Backend::Terminal);
    const char* old = std::getenv("TERM");
    std::string saved = old ? old : "";
    ::setenv("TERM", "", 1);  // no usable terminal type
    std::vector<std::pair<std::u16string, std::string>> reports;
    on_no_display([&](const std::u16string& caption, const std::string& reason) { reports.emplace_back(caption, reason); });
    TestForm t;
    t.form.show_modal();
    EXPECT_TRUE(t.form.closed());
    EXPECT_EQ(t.ok_clicks + t.cancel_clicks, 0);
    EXPECT_TRUE(last_show_had_no_display());
    EXPECT_EQ(MsgBox(u"nobody sees this", vbOKOnly, u"x"), vbOK);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].first, u"Test");
    EXPECT_EQ(reports[1].first, u"x");
    EXPECT_NE(reports[0].second.find("no terminal"), std::string::npos) << reports[0].second;
    on_no_display(nullptr);
    t.form.show_modal();
    EXPECT_EQ(reports.size(), 2u) << "a dropped handler is not called";
    if (old) ::setenv("TERM", saved.c_str(), 1);
    else ::unsetenv("TERM");
    use_backend(Backend::Headless);
    t.form.show_modal();  // headless: drawn (and closed by the empty queue)
    EXPECT_FALSE(last_show_had_no_display());
}

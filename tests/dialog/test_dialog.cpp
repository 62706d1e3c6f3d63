#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog/mrLoginDialog.h"
#include "forms/headless.h"

namespace hl = forms::headless;
using forms::Selection;

namespace {

const std::u16string kUserMsg = u"Invalid User Name, try again!";
const std::u16string kPassMsg = u"Invalid Password, try again!";

class LoginDialog : public ::testing::Test {
protected:
    void SetUp() override {
        forms::use_backend(forms::Backend::Headless);
        hl::reset();
    }
    void TearDown() override { EXPECT_EQ(hl::pending(), 0u) << "steps left unplayed"; }

    // Messages shown so far, as text; each must carry the title "Login" and one OK button.
    static std::vector<std::u16string> message_texts() {
        std::vector<std::u16string> out;
        for (const auto& m : hl::messages()) {
            EXPECT_EQ(m.title, u"Login");
            EXPECT_EQ(m.buttons, forms::vbOKOnly);
            out.push_back(m.text);
        }
        return out;
    }

    mrLoginDialog dlg;
};

struct Where {
    std::string focus;
    Selection sel;
    bool message_up = false;
};

// A step that notes where the focus is and what is selected.
hl::Step note(Where& w) {
    return [&w](const hl::Screen& s) {
        w.focus = s.focus();
        w.message_up = s.message_up();
        if (!w.message_up) w.sel = s.selection();
    };
}

}  // namespace

TEST_F(LoginDialog, LayoutTextsAndTabOrder) {
    EXPECT_EQ(dlg.form.caption, u"Norvane Change Login");
    EXPECT_EQ(dlg.form.client_width, 3750);
    EXPECT_EQ(dlg.form.client_height, 1545);

    struct Row {
        forms::Control* c;
        const char* name;
        int index;
        forms::ControlKind kind;
        std::u16string text;
        int left, top, width, height, tab;
    };
    using K = forms::ControlKind;
    const Row rows[] = {
        {&dlg.lblLabels[0], "lblLabels", 0, K::Label, u"&User Name:", 105, 150, 1080, 270, 0},
        {&dlg.lblLabels[1], "lblLabels", 1, K::Label, u"&Password:", 105, 540, 1080, 270, 1},
        {&dlg.txtPassword, "txtPassword", -1, K::TextBox, u"", 1290, 525, 2325, 345, 2},
        {&dlg.cmdOK, "cmdOK", -1, K::CommandButton, u"OK", 495, 1020, 1140, 390, 3},
        {&dlg.cmdCancel, "cmdCancel", -1, K::CommandButton, u"Cancel", 2100, 1020, 1140, 390, 4},
        {&dlg.txtUserName, "txtUserName", -1, K::TextBox, u"", 1290, 135, 2325, 345, 5},
    };
    ASSERT_EQ(dlg.form.controls().size(), std::size(rows));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(dlg.form.find(r.name, r.index), r.c);
        EXPECT_EQ(r.c->kind(), r.kind);
        EXPECT_EQ(r.c->text(), r.text);
        EXPECT_EQ(r.c->left, r.left);
        EXPECT_EQ(r.c->top, r.top);
        EXPECT_EQ(r.c->width, r.width);
        EXPECT_EQ(r.c->height, r.height);
        EXPECT_EQ(r.c->tab_index, r.tab);
    }
    EXPECT_EQ(dlg.txtPassword.password_char, u'*');
    EXPECT_EQ(dlg.txtUserName.password_char, 0);
    EXPECT_TRUE(dlg.cmdOK.is_default);
    EXPECT_TRUE(dlg.cmdCancel.is_cancel);

    std::vector<std::string> order;
    for (auto* c : dlg.form.tab_order()) order.push_back(c->name());
    EXPECT_EQ(order, (std::vector<std::string>{"txtPassword", "cmdOK", "cmdCancel", "txtUserName"}));

    EXPECT_EQ(dlg.username, u"");
    EXPECT_EQ(dlg.Password, u"");
    EXPECT_FALSE(dlg.LoginSucceeded);
}

TEST_F(LoginDialog, OpensWithCaptionLabelsAndFocusInPasswordBox) {
    dlg.setNameField(u"alice");
    std::u16string caption, user_label, pass_label, name_shown;
    std::string focus;
    hl::enqueue([&](const hl::Screen& s) {
        caption = s.caption();
        user_label = s.shown_text("lblLabels", 0);
        pass_label = s.shown_text("lblLabels", 1);
        name_shown = s.shown_text("txtUserName");
        focus = s.focus();
    });
    dlg.Show();  // the queue then runs dry: closed
    EXPECT_EQ(caption, u"Norvane Change Login");
    EXPECT_EQ(user_label, u"User Name:");
    EXPECT_EQ(pass_label, u"Password:");
    EXPECT_EQ(name_shown, u"alice");
    EXPECT_EQ(focus, "txtPassword");
    EXPECT_EQ(hl::shown_forms(), (std::vector<std::u16string>{u"Norvane Change Login"}));
}

TEST_F(LoginDialog, OkWithBothFieldsHandsThemBack) {
    dlg.setNameField(u"alice");
    hl::enqueue(hl::type(u"pw"), hl::press("cmdOK"));
    dlg.Show();
    EXPECT_TRUE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.username, u"alice");
    EXPECT_EQ(dlg.Password, u"pw");
    EXPECT_TRUE(hl::messages().empty());
    EXPECT_FALSE(dlg.form.visible());
    EXPECT_FALSE(dlg.form.closed());
}

TEST_F(LoginDialog, EditedUserNameAndEnterAsOk) {
    dlg.setNameField(u"alice");
    // Shift+Tab from the password box wraps to the user-name box and selects it.
    hl::enqueue(hl::type(u"secret"), hl::back_tab(), hl::type(u"bob"), hl::enter());
    dlg.Show();
    EXPECT_TRUE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.username, u"bob");
    EXPECT_EQ(dlg.Password, u"secret");
}

TEST_F(LoginDialog, EmptyUserNameComesFirstThenEmptyPassword) {
    Where after_user{}, after_pass{};
    hl::enqueue(hl::press("cmdOK"),  // both empty
                [](const hl::Screen& s) {
                    ASSERT_TRUE(s.message_up());
                    EXPECT_EQ(s.message().text, kUserMsg);
                },
                hl::dismiss(), note(after_user),
                hl::type(u"alice"), hl::press("cmdOK"), hl::dismiss(), note(after_pass),
                hl::type(u"pw"), hl::enter());
    dlg.Show();
    EXPECT_EQ(message_texts(), (std::vector<std::u16string>{kUserMsg, kPassMsg}));
    EXPECT_EQ(after_user.focus, "txtUserName");
    EXPECT_EQ(after_user.sel, (Selection{0, 0}));
    EXPECT_EQ(after_pass.focus, "txtPassword");
    EXPECT_EQ(after_pass.sel, (Selection{0, 0}));
    EXPECT_TRUE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.username, u"alice");
    EXPECT_EQ(dlg.Password, u"pw");
}

TEST_F(LoginDialog, EmptyPasswordMessageKeepsDialogOpenWithFocusInPasswordBox) {
    dlg.setNameField(u"alice");
    Where during{}, after{};
    // Focus on Cancel when OK is pressed: the field, not the button, gets it back.
    hl::enqueue(hl::back_tab(), hl::back_tab(), hl::press("cmdOK"), note(during), hl::enter(), note(after),
                hl::close());
    dlg.Show();
    EXPECT_TRUE(during.message_up);
    EXPECT_EQ(message_texts(), (std::vector<std::u16string>{kPassMsg}));
    EXPECT_EQ(after.focus, "txtPassword");
    EXPECT_EQ(after.sel, (Selection{0, 0}));
    EXPECT_FALSE(after.message_up);
    EXPECT_FALSE(dlg.LoginSucceeded);
}

TEST_F(LoginDialog, TypingAfterMessageGoesIntoTheField) {
    // The user name is rejected; typing then fills the user-name box, not the password box.
    hl::enqueue(hl::type(u"pw"), hl::enter(), hl::enter() /* dismisses */, hl::type(u"carol"), hl::enter());
    dlg.Show();
    EXPECT_EQ(message_texts(), (std::vector<std::u16string>{kUserMsg}));
    EXPECT_TRUE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.username, u"carol");
    EXPECT_EQ(dlg.Password, u"pw");
}

TEST_F(LoginDialog, BlanksAreAcceptedUnchanged) {
    dlg.setNameField(u" ");
    hl::enqueue(hl::type(u" "), hl::press("cmdOK"));
    dlg.Show();
    EXPECT_TRUE(hl::messages().empty());
    EXPECT_TRUE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.username, u" ");
    EXPECT_EQ(dlg.Password, u" ");

    mrLoginDialog padded;
    padded.setNameField(u"  al ice ");
    hl::enqueue(hl::type(u" p w  "), hl::enter());
    padded.Show();
    EXPECT_EQ(padded.username, u"  al ice ");
    EXPECT_EQ(padded.Password, u" p w  ");
}

TEST_F(LoginDialog, CancelAfterTypingReturnsNothing) {
    dlg.setNameField(u"alice");
    hl::enqueue(hl::type(u"pw"), hl::back_tab(), hl::type(u"bob"), hl::press("cmdCancel"));
    dlg.Show();
    EXPECT_FALSE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.username, u"");
    EXPECT_EQ(dlg.Password, u"");
    EXPECT_FALSE(dlg.form.closed());

    // Escape is Cancel, also after a rejected OK.
    mrLoginDialog again;
    hl::enqueue(hl::type(u"pw"), hl::enter(), hl::dismiss(), hl::type(u"bob"), hl::escape());
    again.Show();
    EXPECT_FALSE(again.LoginSucceeded);
    EXPECT_EQ(again.username, u"");
    EXPECT_EQ(again.Password, u"");

    // Enter on the focused Cancel button cancels rather than pressing OK.
    mrLoginDialog focused;
    focused.setNameField(u"alice");
    hl::enqueue(hl::type(u"pw"), hl::tab(), hl::tab(), hl::enter());
    focused.Show();
    EXPECT_FALSE(focused.LoginSucceeded);
    EXPECT_EQ(focused.Password, u"");
}

TEST_F(LoginDialog, ClosingTheWindowIsACancellation) {
    dlg.setNameField(u"alice");
    hl::enqueue(hl::type(u"pw"), hl::close());
    dlg.Show();
    EXPECT_TRUE(dlg.form.closed());
    EXPECT_FALSE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.username, u"");
    EXPECT_EQ(dlg.Password, u"");

    // Running out of a person's actions closes it too.
    mrLoginDialog idle;
    idle.setNameField(u"alice");
    hl::enqueue(hl::type(u"pw"));
    idle.Show();
    EXPECT_TRUE(idle.form.closed());
    EXPECT_FALSE(idle.LoginSucceeded);
    EXPECT_EQ(idle.Password, u"");
}

TEST_F(LoginDialog, PasswordIsNeverShownInClear) {
    dlg.setNameField(u"alice");
    std::vector<std::u16string> shown;
    auto look = [&shown](const hl::Screen& s) { shown.push_back(s.shown_text("txtPassword")); };
    hl::enqueue(look, hl::type(u"s3"), look, hl::type(u"c r"), look, hl::key(forms::Key::Backspace), look,
                hl::back_tab(), hl::type(u""), hl::key(forms::Key::Delete),  // clear the user name
                hl::press("cmdOK"), look /* under the message */, hl::dismiss(), hl::type(u"alice"),
                hl::tab(), look, hl::enter());
    dlg.Show();
    EXPECT_EQ(shown, (std::vector<std::u16string>{u"", u"**", u"*****", u"****", u"****", u"****"}));
    for (const auto& m : hl::messages()) EXPECT_EQ(m.text.find(u"s3c"), std::u16string::npos);
    EXPECT_TRUE(dlg.LoginSucceeded);
    EXPECT_EQ(dlg.Password, u"s3c ");
}

TEST_F(LoginDialog, EachDialogStartsEmpty) {
    hl::enqueue(hl::type(u"pw"), hl::back_tab(), hl::type(u"bob"), hl::enter());
    dlg.Show();
    ASSERT_TRUE(dlg.LoginSucceeded);
    mrLoginDialog next;
    EXPECT_FALSE(next.LoginSucceeded);
    EXPECT_EQ(next.username, u"");
    EXPECT_EQ(next.Password, u"");
    EXPECT_EQ(next.txtPassword.text(), u"");
    EXPECT_EQ(next.txtUserName.text(), u"");
}

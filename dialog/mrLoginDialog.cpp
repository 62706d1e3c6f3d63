#include "dialog/mrLoginDialog.h"

mrLoginDialog::mrLoginDialog()
    : form(u"Norvane Change Login", 3750, 1545),
      lblLabels(form, "lblLabels", 2),
      txtPassword(form, "txtPassword"),
      cmdOK(form, "cmdOK"),
      cmdCancel(form, "cmdCancel"),
      txtUserName(form, "txtUserName") {
    lblLabels[0].set_text(u"&User Name:");
    lblLabels[0].place(105, 150, 1080, 270);
    lblLabels[0].tab_index = 0;

    lblLabels[1].set_text(u"&Password:");
    lblLabels[1].place(105, 540, 1080, 270);
    lblLabels[1].tab_index = 1;

    txtPassword.password_char = u'*';
    txtPassword.place(1290, 525, 2325, 345);
    txtPassword.tab_index = 2;

    cmdOK.set_text(u"OK");
    cmdOK.place(495, 1020, 1140, 390);
    cmdOK.tab_index = 3;
    cmdOK.is_default = true;
    cmdOK.on_click = [this] { cmdOK_Click(); };

    cmdCancel.set_text(u"Cancel");
    cmdCancel.place(2100, 1020, 1140, 390);
    cmdCancel.tab_index = 4;
    cmdCancel.is_cancel = true;
    cmdCancel.on_click = [this] { cmdCancel_Click(); };

    txtUserName.place(1290, 135, 2325, 345);
    txtUserName.tab_index = 5;
}

void mrLoginDialog::setNameField(const std::u16string& uname) { txtUserName.set_text(uname); }

void mrLoginDialog::Show() { form.show_modal(); }

void mrLoginDialog::rejectField(forms::TextBox& box, const std::u16string& message) {
    forms::MsgBox(message, forms::vbOKOnly, u"Login");
    // The whole text selected, as Home then Shift+End would leave it.
    box.set_focus();
    box.select_all();
}

void mrLoginDialog::cmdOK_Click() {
    // Only the empty string counts as empty: blanks are passed on as typed.
    if (txtUserName.text().empty()) {
        rejectField(txtUserName, u"Invalid User Name, try again!");
        return;
    }
    if (txtPassword.text().empty()) {
        rejectField(txtPassword, u"Invalid Password, try again!");
        return;
    }
    LoginSucceeded = true;
    username = txtUserName.text();
    Password = txtPassword.text();
    form.hide();
}

void mrLoginDialog::cmdCancel_Click() {
    LoginSucceeded = false;
    form.hide();
}

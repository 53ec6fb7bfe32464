// The password dialog's resource and its modal showing.
#include "tovrin5/design/SybConnectPropertyFrm.h"

#include <algorithm>

#include "tovrin5/design/DesignDialogs.h"

namespace tovrin {

namespace {

TFormControl control(std::string name, std::string className, std::string parent, int left, int top,
                     int width, int height) {
    TFormControl c;
    c.Name = std::move(name);
    c.ClassName = std::move(className);
    c.ParentName = std::move(parent);
    c.Left = left;
    c.Top = top;
    c.Width = width;
    c.Height = height;
    return c;
}

} // namespace

TSybConnectPropertyForm::TSybConnectPropertyForm()
    : Label1(control("Label1", "TLabel", "", 10, 15, 46, 13)),
      ePassword(control("ePassword", "TEdit", "", 65, 10, 121, 21)),
      Panel1(control("Panel1", "TPanel", "", 0, 47, 281, 25)),
      BitBtn2(control("BitBtn2", "TBitBtn", "Panel1", 0, 0, 96, 25)),
      BitBtn1(control("BitBtn1", "TBitBtn", "Panel1", 100, 0, 91, 25)) {
    Label1.Caption = "Password";
    Label1.AutoSize = true;

    ePassword.Text = "ePassword";
    ePassword.PasswordChar = '*';
    ePassword.TabOrder = 0;

    Panel1.Align = alBottom;
    Panel1.OuterBevel = false;
    Panel1.TabOrder = 1;

    BitBtn2.Kind = bkOK;
    BitBtn2.Caption = "OK";
    BitBtn2.ModalResult = mrOk;
    BitBtn2.TabOrder = 1;

    BitBtn1.Kind = bkCancel;
    BitBtn1.Caption = "Cancel";
    BitBtn1.ModalResult = mrCancel;
    BitBtn1.TabOrder = 0;
}

std::vector<const TFormControl*> TSybConnectPropertyForm::Controls() const {
    return {&Label1, &ePassword, &Panel1, &BitBtn2, &BitBtn1};
}

std::vector<const TFormControl*> TSybConnectPropertyForm::TabSequence() const {
    const std::vector<const TFormControl*> all = Controls();
    std::vector<const TFormControl*> sequence;
    // Depth first: the children of a container take its place in its parent's order.
    auto visit = [&](auto& self, const std::string& parent) -> void {
        std::vector<const TFormControl*> level;
        for (const TFormControl* c : all) {
            if (c->ParentName == parent && c->TabOrder >= 0) {
                level.push_back(c);
            }
        }
        std::stable_sort(
            level.begin(), level.end(),
            [](const TFormControl* a, const TFormControl* b) { return a->TabOrder < b->TabOrder; });
        for (const TFormControl* c : level) {
            if (c->ClassName == "TPanel") {
                self(self, c->Name);
            } else {
                sequence.push_back(c);
            }
        }
    };
    visit(visit, "");
    return sequence;
}

TFormControl* TSybConnectPropertyForm::FindControl(const std::string& Name) {
    for (const TFormControl* c : Controls()) {
        if (c->Name == Name) {
            return const_cast<TFormControl*>(c);
        }
    }
    return nullptr;
}

TModalResult TSybConnectPropertyForm::ShowModal() {
    ModalResult = mrNone;
    ModalResult = design::ShowModalForm(*this);
    return ModalResult;
}

} // namespace tovrin

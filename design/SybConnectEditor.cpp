// Registration, the connection's component editor and the About property editor.
#include "tovrin5/design/SybConnectEditor.h"

#include <memory>

#include "tovrin5/design/DesignDialogs.h"
#include "tovrin5/design/SybConnectPropertyFrm.h"
#include "tovrin5/query/SybConnection.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/TovrinAbout.h"

namespace tovrin {

void Register() {
    design::TDesignRegistry& registry = design::DesignRegistry();
    const design::TComponentClass connectClass =
        design::ComponentClassOf<TSybConnect>("TSybConnect");
    registry.RegisterComponents(kPalettePage,
                                {connectClass, design::ComponentClassOf<TSybQuery>("TSybQuery")});
    registry.RegisterComponentEditor(connectClass, design::ComponentEditorOf<TSybConnectEditor>());
    registry.RegisterPropertyEditor("TTovrinAbout", std::nullopt, "",
                                    design::PropertyEditorOf<TAboutProperty>());
}

void TSybConnectEditor::ExecuteVerb(int Index) {
    if (Index != 0) {
        return;
    }
    auto* connection = dynamic_cast<TSybConnect*>(Component());
    if (connection == nullptr) {
        return;
    }
    auto form = std::make_unique<TSybConnectPropertyForm>();
    connection->SetPropertyForm(form.get());
    struct Release {
        TSybConnect* connection;
        ~Release() { connection->SetPropertyForm(nullptr); }
    } release{connection};
    form->ePassword.Text = connection->Password();
    if (form->ShowModal() == mrOk) {
        connection->SetPassword(form->ePassword.Text);
    }
}

std::string TSybConnectEditor::GetVerb(int Index) {
    return Index == 0 ? "&Options..." : std::string();
}

int TSybConnectEditor::GetVerbCount() {
    return 1;
}

void TAboutProperty::Edit() {
    design::ShowAboutDialog();
}

design::TPropertyAttributes TAboutProperty::GetAttributes() {
    return {design::paDialog, design::paReadOnly};
}

std::string TAboutProperty::GetValue() {
    return "About...";
}

} // namespace tovrin

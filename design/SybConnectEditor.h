// The package's design-time registration: the palette page, the connection's component
// editor (its one verb sets the password through TSybConnectPropertyForm) and the
// property editor of the About properties.
#pragma once

#include <string>

#include "tovrin5/design/DesignRegistry.h"

namespace tovrin {

/// Name of the palette page holding the package's components.
inline constexpr const char* kPalettePage = "Tovrin";

/// Registers the package with the design registry: TSybConnect and TSybQuery on the page
/// "Tovrin", TSybConnectEditor as the component editor of TSybConnect, TAboutProperty as
/// the editor of every property of type TTovrinAbout. Registering again changes nothing.
void Register();

/// Component editor of TSybConnect: verb 0, "&Options...", sets the password.
class TSybConnectEditor : public design::TComponentEditor {
public:
    using design::TComponentEditor::TComponentEditor;
    /// Verb 0 shows the password dialog with the connection's password; OK passes the
    /// text to SetPassword (a changed password reconnects a connected component), Cancel
    /// changes nothing. Other indexes do nothing.
    void ExecuteVerb(int Index) override;
    /// "&Options..." for 0, empty otherwise.
    [[nodiscard]] std::string GetVerb(int Index) override;
    /// 1.
    [[nodiscard]] int GetVerbCount() override;
};

/// Property editor of the About properties: shows "About...", opens the package's
/// information box, and cannot be typed into.
class TAboutProperty : public design::TPropertyEditor {
public:
    using design::TPropertyEditor::TPropertyEditor;
    void Edit() override;
    /// paDialog and paReadOnly.
    [[nodiscard]] design::TPropertyAttributes GetAttributes() override;
    /// "About...".
    [[nodiscard]] std::string GetValue() override;
};

} // namespace tovrin

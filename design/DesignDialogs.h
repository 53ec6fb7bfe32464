// The design-time dialogs of the package: the password form of the connection editor and
// the information box of the About property.
//
// A dialog goes to the presenter that a designer installed, if any. Otherwise the optional
// toolkit library libTovrin5Dialogs.so, looked for next to the package and then on the
// library search path, shows it as a window when it can reach a display. Without a
// display or without that library the terminal is used: the password is read from the
// controlling terminal without echo, the information is written to it. Without a
// terminal either, a form ends cancelled and the information goes to standard error.
#pragma once

#include <memory>
#include <string>

#include "tovrin5/design/SybConnectPropertyFrm.h"

namespace tovrin::design {

/// Shows the package's dialogs; a designer with a toolkit of its own may install one.
class TDialogPresenter {
public:
    virtual ~TDialogPresenter() = default;
    /// Shows the form modally, keeps the edited texts in it, returns how it was closed.
    virtual TModalResult ShowPropertyForm(TSybConnectPropertyForm& Form) = 0;
    virtual void ShowInformation(const std::string& Caption, const std::string& Text) = 0;
};

/// Installs the presenter used from now on; nullptr restores the default choice.
void SetDialogPresenter(std::shared_ptr<TDialogPresenter> Presenter);

/// Where the next dialog goes when no presenter is installed.
enum class TDialogRoute { Window, Terminal };
[[nodiscard]] TDialogRoute DefaultDialogRoute();

/// Full path of the toolkit library when it was loaded, else empty.
[[nodiscard]] std::string DialogsLibraryPath();

/// Shows a form modally on the route in force.
TModalResult ShowModalForm(TSybConnectPropertyForm& Form);
/// Shows an information box on the route in force.
void ShowInformation(const std::string& Caption, const std::string& Text);

/// Writes Prompt to the terminal Fd and reads one line from it with echo switched off
/// (the terminal's settings are restored afterwards; a descriptor that is not a terminal
/// is read as it is). Returns false, Text untouched, when the input ends before anything
/// was typed (Ctrl-D); a line ending, carriage return included, is not part of Text.
bool ReadSecret(int Fd, const std::string& Prompt, std::string& Text);

/// The terminal rendering of the password form: prompts on Fd with the form's caption
/// and label and reads ePassword without echo. mrOk with the typed text, or mrCancel.
TModalResult RunPropertyFormOnTerminal(TSybConnectPropertyForm& Form, int Fd);

/// What the About box tells.
struct TAboutInfo {
    std::string Package; ///< "Tovrin5"
    std::string Version; ///< the package's version, "0.1.0"
    std::string
        ClientLibrary; ///< file of the loaded client library, or its name and "(not loaded)"
};
[[nodiscard]] TAboutInfo AboutInfo();
/// The About box's caption and text.
[[nodiscard]] std::string AboutCaption();
[[nodiscard]] std::string AboutText();
/// Shows the About box.
void ShowAboutDialog();

} // namespace tovrin::design

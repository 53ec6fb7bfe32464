// The entry point of the optional toolkit library that shows the design-time dialogs on a
// display (libTovrin5Dialogs.so, built when Qt 5 Widgets is available). The package loads
// it at run time, so that neither the package nor an application needs the toolkit; the
// library exports one function returning this table.
#pragma once

namespace tovrin {
class TSybConnectPropertyForm;
}

extern "C" {

/// Version of the table below; the package refuses a library of another version.
#define TOVRIN_DIALOGS_ABI 1

struct TovrinDialogsPlugin {
    int abiVersion;
    /// Non-zero when a display can be reached (or the process already runs the toolkit).
    int (*displayAvailable)();
    /// Shows the form modally, writes the edited text back into it and returns the modal
    /// result; a negative value when the dialog could not be shown.
    int (*showPropertyForm)(tovrin::TSybConnectPropertyForm* form);
    /// Shows an information box; a negative value when it could not be shown.
    int (*showInformation)(const char* caption, const char* text);
};

/// The name under which the package looks the table up.
#define TOVRIN_DIALOGS_ENTRY "tovrin_dialogs_plugin"
const TovrinDialogsPlugin* tovrin_dialogs_plugin();
}

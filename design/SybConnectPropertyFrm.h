// TSybConnectPropertyForm: the password dialog of the connection editor.
//
// The form is described here, independent of any toolkit: its bounds, caption, colour and
// font, and its controls with their places, captions, tab orders and modal results. It is
// shown modally by the design-time dialog service (design/DesignDialogs.h), which renders
// the description with the optional toolkit library when a display is there and asks on
// the terminal otherwise. The dialog's result is the modal result of the button that
// closed it.
//
//   +---------------------------------------------+
//   |  Password  [*********        ]              |   Label1, ePassword
//   |                                             |
//   | [ OK ]        [ Cancel ]                    |   Panel1: BitBtn2, BitBtn1
//   +---------------------------------------------+
#pragma once

#include <string>
#include <vector>

namespace tovrin {

/// Modal results of a form: which button closed it.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

/// Control alignment inside the parent.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

/// Predefined kinds of bitmap buttons: the caption, glyph and modal result come with the kind.
enum TBitBtnKind { bkCustom, bkOK, bkCancel };

/// One control of the form as the form resource describes it.
struct TFormControl {
    std::string Name;       ///< "ePassword"
    std::string ClassName;  ///< "TEdit"
    std::string ParentName; ///< the containing control; empty for the form itself
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::string Caption;      ///< labels and buttons
    std::string Text;         ///< edits
    char PasswordChar = '\0'; ///< edits: shown instead of each character when not '\0'
    int TabOrder = -1;        ///< -1 for controls that take no focus (labels)
    TAlign Align = alNone;
    bool AutoSize = false;  ///< labels: the size follows the caption in the font shown
    bool OuterBevel = true; ///< panels
    TBitBtnKind Kind = bkCustom;
    TModalResult ModalResult = mrNone;
};

class TSybConnectPropertyForm {
public:
    /// Builds the form from its resource; without owner (the caller frees it).
    TSybConnectPropertyForm();
    TSybConnectPropertyForm(const TSybConnectPropertyForm&) = delete;
    TSybConnectPropertyForm& operator=(const TSybConnectPropertyForm&) = delete;

    [[nodiscard]] std::string ClassName() const { return "TSybConnectPropertyForm"; }

    // The form itself.
    std::string Caption = "TBTSybConnect Options";
    int Left = 587;
    int Top = 360;
    int Width = 289; ///< outer size, frame included
    int Height = 99;
    int ClientWidth = 281; ///< inner size: the outer size less the window frame
    int ClientHeight = 72;
    std::string Color = "clBtnFace";
    std::string FontName = "MS Sans Serif";
    int FontHeight = -11; ///< negative: character height in pixels
    int PixelsPerInch = 96;

    // The controls, in creation order.
    TFormControl Label1;
    TFormControl ePassword;
    TFormControl Panel1;
    TFormControl BitBtn2; ///< OK
    TFormControl BitBtn1; ///< Cancel

    /// The controls in creation order.
    [[nodiscard]] std::vector<const TFormControl*> Controls() const;
    /// The controls that take focus, in tab order (nested controls at their parent's place).
    [[nodiscard]] std::vector<const TFormControl*> TabSequence() const;
    /// A control by name; nullptr when none.
    [[nodiscard]] TFormControl* FindControl(const std::string& Name);

    /// Shows the form modally through the dialog service and returns how it was closed;
    /// also kept in ModalResult.
    TModalResult ShowModal();
    TModalResult ModalResult = mrNone;
};

} // namespace tovrin

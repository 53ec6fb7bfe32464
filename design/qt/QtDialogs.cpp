// libTovrin5Dialogs: the design-time dialogs as Qt 5 Widgets windows.
//
// The package loads this library at run time when it has a dialog to show. The password
// form is built from the form's description (design/SybConnectPropertyFrm.h): one widget
// per control, named as the control, at the control's place, in the control's tab order.
// A process that already runs a QApplication shows the dialogs in it; otherwise the
// library starts one on first use and keeps it for the life of the process.
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "tovrin5/design/DialogsPlugin.h"
#include "tovrin5/design/SybConnectPropertyFrm.h"

namespace {

using tovrin::TFormControl;
using tovrin::TSybConnectPropertyForm;

/// True when a connection to the X server named by display (":0", "unix:1", "host:0.0")
/// can be opened, so that starting the toolkit cannot end the process.
bool xServerReachable(const std::string& display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    const int number = std::atoi(display.c_str() + colon + 1);
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        for (bool abstract : {true, false}) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                return false;
            }
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            // Linux X servers also listen in the abstract namespace ("@/tmp/.X11-unix/X0").
            const size_t offset = abstract ? 1 : 0;
            std::memcpy(address.sun_path + offset, path.c_str(),
                        std::min(path.size(), sizeof address.sun_path - 1 - offset));
            const auto length =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
            const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
            close(fd);
            if (ok) {
                return true;
            }
        }
        return false;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0) {
        return false;
    }
    bool ok = false;
    for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0) {
            ok = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
            close(fd);
        }
    }
    freeaddrinfo(found);
    return ok;
}

int displayAvailable() {
    if (QCoreApplication::instance() != nullptr) {
        return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr ? 1 : 0;
    }
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform == "offscreen" || platform == "minimal" || platform == "vnc") {
        return 1;
    }
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && platform.startsWith("wayland")) {
        return 1;
    }
    const QByteArray display = qgetenv("DISPLAY");
    return !display.isEmpty() && xServerReachable(display.toStdString()) ? 1 : 0;
}

/// The running application, started when there is none.
QApplication* application() {
    if (auto* running = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return running;
    }
    if (QCoreApplication::instance() != nullptr) {
        return nullptr;
    }
    static int argc = 1;
    static char name[] = "Tovrin5";
    static char* argv[] = {name, nullptr};
    static auto* started = new QApplication(argc, argv);
    return started;
}

/// Shows '*' for each character of a password, whatever the platform's habit.
class PasswordCharStyle : public QProxyStyle {
public:
    explicit PasswordCharStyle(char passwordChar) : m_char(passwordChar) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return m_char;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    char m_char;
};

/// The form as a dialog: keeps aligned controls in place when it is resized.
class FormDialog : public QDialog {
public:
    /// The style of password edits showing passwordChar. Widgets do not own their style:
    /// the dialog keeps it, and frees it after the widgets (the member outlives them).
    QStyle* passwordStyle(char passwordChar) {
        std::unique_ptr<QStyle>& style = m_passwordStyles[passwordChar];
        if (!style) {
            style = std::make_unique<PasswordCharStyle>(passwordChar);
        }
        return style.get();
    }

    ~FormDialog() override {
        // The child widgets go first, while the styles they use still exist.
        const auto children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        qDeleteAll(children);
    }

    void align(QWidget* widget, tovrin::TAlign how) { m_aligned.emplace_back(widget, how); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QDialog::resizeEvent(event);
        const QSize size = event->size();
        for (const auto& [widget, how] : m_aligned) {
            switch (how) {
            case tovrin::alBottom:
                widget->setGeometry(0, size.height() - widget->height(), size.width(),
                                    widget->height());
                break;
            case tovrin::alTop:
                widget->setGeometry(0, 0, size.width(), widget->height());
                break;
            case tovrin::alClient:
                widget->setGeometry(0, 0, size.width(), size.height());
                break;
            default:
                break;
            }
        }
    }

private:
    std::map<char, std::unique_ptr<QStyle>> m_passwordStyles;
    std::vector<std::pair<QWidget*, tovrin::TAlign>> m_aligned;
};

QWidget* makeControl(const TFormControl& c, QWidget* parent, FormDialog& dialog) {
    QWidget* widget = nullptr;
    if (c.ClassName == "TLabel") {
        widget = new QLabel(QString::fromStdString(c.Caption), parent);
    } else if (c.ClassName == "TEdit") {
        auto* edit = new QLineEdit(QString::fromStdString(c.Text), parent);
        if (c.PasswordChar != '\0') {
            edit->setEchoMode(QLineEdit::Password);
            edit->setStyle(dialog.passwordStyle(c.PasswordChar));
        }
        widget = edit;
    } else if (c.ClassName == "TPanel") {
        auto* panel = new QFrame(parent);
        panel->setFrameShape(c.OuterBevel ? QFrame::Panel : QFrame::NoFrame);
        panel->setFrameShadow(QFrame::Raised);
        widget = panel;
    } else if (c.ClassName == "TBitBtn" || c.ClassName == "TButton") {
        auto* button = new QPushButton(QString::fromStdString(c.Caption), parent);
        if (c.Kind == tovrin::bkOK) {
            button->setIcon(button->style()->standardIcon(QStyle::SP_DialogOkButton));
            button->setDefault(true);
        } else if (c.Kind == tovrin::bkCancel) {
            button->setIcon(button->style()->standardIcon(QStyle::SP_DialogCancelButton));
        }
        const int result = c.ModalResult;
        if (result != tovrin::mrNone) {
            QObject::connect(button, &QPushButton::clicked, &dialog,
                             [&dialog, result] { dialog.done(result); });
        }
        widget = button;
    } else {
        widget = new QWidget(parent);
    }
    widget->setObjectName(QString::fromStdString(c.Name));
    widget->setGeometry(c.Left, c.Top, c.Width, c.Height);
    if (c.AutoSize) {
        // The form's font may be replaced by a wider one: the caption stays whole.
        widget->resize(widget->sizeHint());
    }
    // A panel's tab order places its children; the panel itself takes no focus.
    const bool focusable = c.TabOrder >= 0 && c.ClassName != "TPanel";
    widget->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
    if (c.Align != tovrin::alNone) {
        dialog.align(widget, c.Align);
    }
    return widget;
}

int showPropertyForm(TSybConnectPropertyForm* form) {
    try {
        QApplication* app = application();
        if (app == nullptr || form == nullptr) {
            return -1;
        }
        FormDialog dialog;
        dialog.setObjectName(QString::fromStdString(form->ClassName()));
        dialog.setWindowTitle(QString::fromStdString(form->Caption));
        QFont font(QString::fromStdString(form->FontName));
        // A negative height is the character height in pixels, a positive one in points.
        if (form->FontHeight < 0) {
            font.setPixelSize(-form->FontHeight);
        } else if (form->FontHeight > 0) {
            font.setPointSize(form->FontHeight);
        }
        dialog.setFont(font);
        QPalette palette = dialog.palette();
        if (form->Color == "clBtnFace") {
            palette.setColor(QPalette::Window, palette.color(QPalette::Button));
        }
        dialog.setPalette(palette);
        dialog.setAutoFillBackground(true);

        std::map<std::string, QWidget*> widgets;
        for (const TFormControl* c : form->Controls()) {
            QWidget* parent = &dialog;
            if (auto it = widgets.find(c->ParentName); it != widgets.end()) {
                parent = it->second;
            }
            widgets[c->Name] = makeControl(*c, parent, dialog);
        }
        QWidget* previous = nullptr;
        QWidget* first = nullptr;
        for (const TFormControl* c : form->TabSequence()) {
            QWidget* current = widgets.at(c->Name);
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, current);
            } else {
                first = current;
            }
            previous = current;
        }
        dialog.resize(form->ClientWidth, form->ClientHeight);
        dialog.move(form->Left, form->Top);
        if (first != nullptr) {
            first->setFocus(Qt::OtherFocusReason);
        }

        // Take the keyboard at once, also where no window manager hands focus to new windows.
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        dialog.raise();
        dialog.activateWindow();
        int result = dialog.exec();
        if (result == QDialog::Rejected) {
            result = tovrin::mrCancel;
        }
        // The edits' texts stay in the form whatever closed it, as the form's own edits would.
        for (const TFormControl* c : form->Controls()) {
            if (auto* edit = qobject_cast<QLineEdit*>(widgets.at(c->Name))) {
                form->FindControl(c->Name)->Text = edit->text().toStdString();
            }
        }
        return result;
    } catch (...) {
        return -1;
    }
}

int showInformation(const char* caption, const char* text) {
    try {
        if (application() == nullptr) {
            return -1;
        }
        QMessageBox box(QMessageBox::Information, QString::fromUtf8(caption),
                        QString::fromUtf8(text), QMessageBox::Ok);
        box.setObjectName("TovrinAboutBox");
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        box.raise();
        box.activateWindow();
        box.exec();
        return 0;
    } catch (...) {
        return -1;
    }
}

const TovrinDialogsPlugin kTable{TOVRIN_DIALOGS_ABI, &displayAvailable, &showPropertyForm,
                                 &showInformation};

} // namespace

extern "C" __attribute__((visibility("default"))) const TovrinDialogsPlugin*
tovrin_dialogs_plugin() {
    return &kTable;
}

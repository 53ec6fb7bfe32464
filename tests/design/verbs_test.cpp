// The connection editor's verb and the About property editor, with the dialogs answered by
// a scripted presenter; connections log in to the development server.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tovrin5/design/DesignDialogs.h"
#include "tovrin5/design/SybConnectEditor.h"
#include "tovrin5/design/SybConnectPropertyFrm.h"
#include "design_support.h"
#include "tovrin5/host/Exceptions.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using designtest::EventCount;
using designtest::PresenterScope;

TEST(ConnectEditor, HasOneVerbOptions) {
    TSybConnect connection(nullptr);
    TSybConnectEditor editor(&connection, nullptr);
    EXPECT_EQ(editor.GetVerbCount(), 1);
    EXPECT_EQ(editor.GetVerb(0), "&Options...");
    EXPECT_EQ(editor.GetVerb(1), "");
    EXPECT_EQ(editor.GetVerb(-1), "");
    design::TMenuItem item{"&Options..."};
    editor.PrepareItem(0, item);
    EXPECT_EQ(item.Caption, "&Options...");
    EXPECT_TRUE(item.Enabled);
}

TEST(ConnectEditor, DialogShowsTheCurrentPasswordAndIsTheConnectionsFormOnlyWhileShown) {
    PresenterScope presenter;
    TSybConnect connection(nullptr);
    connection.SetPassword("first");
    TSybConnectPropertyForm* seen = nullptr;
    presenter->onForm = [&](TSybConnectPropertyForm& form) {
        seen = &form;
        EXPECT_EQ(connection.PropertyForm(), &form);
        EXPECT_EQ(form.ePassword.Text, "first");
        EXPECT_EQ(form.ePassword.PasswordChar, '*');
        return mrOk;
    };
    TSybConnectEditor(&connection, nullptr).ExecuteVerb(0);
    EXPECT_EQ(presenter->forms, 1);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(connection.PropertyForm(), nullptr);
    EXPECT_EQ(connection.Password(), "first");
}

TEST(ConnectEditor, OtherVerbIndexesShowNothing) {
    PresenterScope presenter;
    TSybConnect connection(nullptr);
    TSybConnectEditor editor(&connection, nullptr);
    editor.ExecuteVerb(1);
    editor.ExecuteVerb(-1);
    EXPECT_EQ(presenter->forms, 0);
    // A double click runs verb 0.
    editor.Edit();
    EXPECT_EQ(presenter->forms, 1);
}

TEST(ConnectEditor, CancelKeepsThePasswordEvenWhenTheTextWasEdited) {
    PresenterScope presenter;
    TSybConnect connection(nullptr);
    connection.SetPassword("kept");
    presenter->onForm = [](TSybConnectPropertyForm& form) {
        form.ePassword.Text = "edited";
        return mrCancel;
    };
    TSybConnectEditor(&connection, nullptr).ExecuteVerb(0);
    EXPECT_EQ(connection.Password(), "kept");
}

TEST(ConnectEditor, OkSetsTheTypedPasswordOnADisconnectedConnectionWithoutConnecting) {
    PresenterScope presenter;
    TSybConnect connection(nullptr);
    EventCount events;
    events.attach(connection);
    presenter->onForm = [](TSybConnectPropertyForm& form) {
        form.ePassword.Text = "typed";
        return mrOk;
    };
    TSybConnectEditor(&connection, nullptr).ExecuteVerb(0);
    EXPECT_EQ(connection.Password(), "typed");
    EXPECT_FALSE(connection.Connected());
    EXPECT_EQ(events.connects, 0);
}

TEST(ConnectEditor, FormIsReleasedWhenTheDialogFails) {
    PresenterScope presenter;
    TSybConnect connection(nullptr);
    connection.SetPassword("kept");
    presenter->onForm = [](TSybConnectPropertyForm& form) -> TModalResult {
        form.ePassword.Text = "lost";
        throw std::runtime_error("display went away");
    };
    EXPECT_THROW(TSybConnectEditor(&connection, nullptr).ExecuteVerb(0), std::runtime_error);
    EXPECT_EQ(connection.PropertyForm(), nullptr);
    EXPECT_EQ(connection.Password(), "kept");
}

TEST(ConnectEditor, OkWithTheSameTextDoesNotReconnect) {
    PresenterScope presenter;
    auto connection = designtest::makeConnection("OPEN", "same");
    connection->Connect();
    EventCount events;
    events.attach(*connection);
    presenter->onForm = [](TSybConnectPropertyForm&) { return mrOk; };
    TSybConnectEditor(connection.get(), nullptr).ExecuteVerb(0);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(events.disconnects, 0);
    EXPECT_EQ(events.connects, 0);
}

TEST(ConnectEditor, OkWithAnotherTextReconnects) {
    PresenterScope presenter;
    auto connection = designtest::makeConnection("OPEN", "old");
    connection->Connect();
    EventCount events;
    events.attach(*connection);
    presenter->onForm = [](TSybConnectPropertyForm& form) {
        form.ePassword.Text = "new";
        return mrOk;
    };
    TSybConnectEditor(connection.get(), nullptr).ExecuteVerb(0);
    EXPECT_EQ(connection->Password(), "new");
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(events.disconnects, 1);
    EXPECT_EQ(events.connects, 1);
}

TEST(ConnectEditor, AWrongPasswordFromTheDialogFailsTheLoginAndLeavesTheConnectionClosed) {
    PresenterScope presenter;
    auto connection = designtest::makeConnection("STRICT", designtest::kStrictPassword);
    connection->Connect();
    presenter->onForm = [](TSybConnectPropertyForm& form) {
        form.ePassword.Text = "wrong";
        return mrOk;
    };
    EXPECT_THROW(TSybConnectEditor(connection.get(), nullptr).ExecuteVerb(0), host::Exception);
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->Password(), "wrong");
    EXPECT_EQ(connection->PropertyForm(), nullptr);

    // The right password given through the dialog logs in again.
    presenter->onForm = [](TSybConnectPropertyForm& form) {
        form.ePassword.Text = designtest::kStrictPassword;
        return mrOk;
    };
    TSybConnectEditor(connection.get(), nullptr).ExecuteVerb(0);
    EXPECT_EQ(connection->Password(), designtest::kStrictPassword);
    connection->Connect();
    EXPECT_TRUE(connection->Connected());
}

TEST(AboutProperty, EditShowsThePackageVersionAndLoadedClientLibrary) {
    PresenterScope presenter;
    TSybConnect connection(nullptr);
    auto prop = host::GetPropInfo(&connection, "About");
    ASSERT_TRUE(prop.has_value());
    TAboutProperty editor(&connection, *prop, nullptr);
    editor.Edit();
    ASSERT_EQ(presenter->information.size(), 1u);
    const auto& [caption, text] = presenter->information[0];
    EXPECT_EQ(caption, "About Tovrin5");
    const design::TAboutInfo info = design::AboutInfo();
    EXPECT_EQ(info.Package, "Tovrin5");
    EXPECT_FALSE(info.Version.empty());
    EXPECT_NE(text.find("Tovrin5 " + info.Version), std::string::npos) << text;
    // The client library is loaded in the test program: its file is named.
    EXPECT_NE(info.ClientLibrary.find("libct.so"), std::string::npos) << info.ClientLibrary;
    EXPECT_EQ(info.ClientLibrary.find("not loaded"), std::string::npos) << info.ClientLibrary;
    EXPECT_NE(text.find(info.ClientLibrary), std::string::npos) << text;
}

TEST(PropertyForm, ButtonsPanelAndTabOrderServeThePasswordEntry) {
    TSybConnectPropertyForm form;
    // The bottom-aligned panel spans the client area's width and ends at its bottom.
    EXPECT_EQ(form.Panel1.Width, form.ClientWidth);
    EXPECT_EQ(form.Panel1.Top + form.Panel1.Height, form.ClientHeight);
    EXPECT_EQ(form.BitBtn2.ModalResult, mrOk);
    EXPECT_EQ(form.BitBtn1.ModalResult, mrCancel);

    std::vector<std::string> order;
    for (const TFormControl* c : form.TabSequence()) {
        order.push_back(c->Name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ePassword", "BitBtn1", "BitBtn2"}));
    EXPECT_EQ(form.FindControl("ePassword"), &form.ePassword);
    EXPECT_EQ(form.FindControl("Nothing"), nullptr);
}

} // namespace

// Shared by the design-time tests: development servers (one accepting any login, one
// accepting only sa/demo), connections to them, a presenter that answers the dialogs with a
// script, and counters of a connection's connect and disconnect events.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/design/DesignDialogs.h"
#include "tovrin5/query/SybConnect.h"
#include "support/DevServer.h"
#include "support/ServerConf.h"

namespace host = tovrin::host;

namespace designtest {

inline constexpr const char* kStrictPassword = "demo";

/// Starts the servers once per test program; freetds.conf sections OPEN (any login) and
/// STRICT (only sa with the password demo).
class Servers {
public:
    static Servers& get() {
        static Servers servers;
        return servers;
    }

private:
    Servers()
        : m_open(std::make_unique<testsupport::DevServer>(std::vector<std::string>{}, "OPEN")),
          m_strict(std::make_unique<testsupport::DevServer>(
              std::vector<std::string>{"--user", "sa", "--password", kStrictPassword}, "STRICT")) {
        testsupport::writeServerConf(
            m_open->tempDir() + "/design-tests.conf",
            {{m_open->serverName(), m_open->port()}, {m_strict->serverName(), m_strict->port()}});
    }

    std::unique_ptr<testsupport::DevServer> m_open;
    std::unique_ptr<testsupport::DevServer> m_strict;
};

/// A connection to a server section with user sa and the given password, not connected.
inline std::unique_ptr<tovrin::TSybConnect> makeConnection(const std::string& server,
                                                           const std::string& password) {
    Servers::get();
    auto connection = std::make_unique<tovrin::TSybConnect>(nullptr);
    connection->SetServerName(server);
    connection->SetUserName("sa");
    connection->SetPassword(password);
    connection->SetApplicationName("design_tests");
    connection->SetLoginTimeout(10);
    return connection;
}

/// Counts OnConnect and OnDisconnect of a connection.
struct EventCount {
    int connects = 0;
    int disconnects = 0;
    void attach(tovrin::TSybConnect& connection) {
        connection.SetOnConnect(host::TNotifyEvent([this](host::TObject*) { ++connects; }));
        connection.SetOnDisconnect(host::TNotifyEvent([this](host::TObject*) { ++disconnects; }));
    }
};

/// Answers the dialogs by calling the test's functions, and records what it was shown.
class ScriptedPresenter : public tovrin::design::TDialogPresenter {
public:
    std::function<tovrin::TModalResult(tovrin::TSybConnectPropertyForm&)> onForm;
    int forms = 0;
    std::vector<std::pair<std::string, std::string>> information;

    tovrin::TModalResult ShowPropertyForm(tovrin::TSybConnectPropertyForm& Form) override {
        ++forms;
        return onForm ? onForm(Form) : tovrin::mrCancel;
    }
    void ShowInformation(const std::string& Caption, const std::string& Text) override {
        information.emplace_back(Caption, Text);
    }
};

/// Installs a scripted presenter for the life of the object.
class PresenterScope {
public:
    PresenterScope() : m_presenter(std::make_shared<ScriptedPresenter>()) {
        tovrin::design::SetDialogPresenter(m_presenter);
    }
    ~PresenterScope() { tovrin::design::SetDialogPresenter(nullptr); }
    PresenterScope(const PresenterScope&) = delete;
    PresenterScope& operator=(const PresenterScope&) = delete;
    ScriptedPresenter& operator*() const { return *m_presenter; }
    ScriptedPresenter* operator->() const { return m_presenter.get(); }

private:
    std::shared_ptr<ScriptedPresenter> m_presenter;
};

} // namespace designtest

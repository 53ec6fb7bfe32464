// Test helper: a small RAII client over FreeTDS's ct-lib for driving the development server.
// Link the test program with `ct`.
//
//   testsupport::DevServer server({"--sample"});
//   testsupport::CtConnection con;                       // DEVSERVER, user "sa"
//   testsupport::CtBatch b = con.execute("select au_id from authors print 'x'");
//   b.rowResults()[0]->rows[0][0].text                   // first value as text
//   b.messages[0].text                                   // "x"
//
// Every result of the command is collected: row, parameter and status results with their
// values (raw bytes as ct-lib returns them in the column's own type, and the value
// converted to text by cs_convert), command outcomes with their row counts, and every
// server and client message raised meanwhile.
#pragma once

#include <ctpublic.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

/// A server message (fromServer) or a client-library message.
struct CtMessage {
    bool fromServer = true;
    int number = 0;
    int severity = 0;
    int state = 0;
    int line = 0;
    std::string text;
    std::string server;
    std::string procedure;
};

/// A column as ct_describe reports it.
struct CtColumn {
    std::string name;
    CS_INT datatype = 0;
    CS_INT maxLength = 0;
    CS_INT precision = 0;
    CS_INT scale = 0;
    CS_INT status = 0;
    CS_INT usertype = 0;
};

struct CtValue {
    bool isNull = true;
    std::string raw;  ///< the bytes ct-lib stored for the column's own datatype
    std::string text; ///< the value converted to CS_CHAR ("" when NULL)
};

/// One result of ct_results: its type (CS_ROW_RESULT, CS_PARAM_RESULT, CS_STATUS_RESULT,
/// CS_CMD_SUCCEED, CS_CMD_FAIL, CS_CMD_DONE, ...), the columns and rows of a fetchable
/// result, and the row count reported at CS_CMD_DONE (-1 when none).
struct CtResult {
    CS_INT type = 0;
    std::vector<CtColumn> columns;
    std::vector<std::vector<CtValue>> rows;
    CS_INT rowCount = -1;
};

/// Everything a command produced.
struct CtBatch {
    std::vector<CtResult> results;
    std::vector<CtMessage> messages;
    bool failed = false; ///< a CS_CMD_FAIL was seen
    bool ok = true;      ///< ct_send and ct_results completed (no lost connection)

    /// The fetchable results of type `type` (default: row results), in order.
    [[nodiscard]] std::vector<const CtResult*> rowResults(CS_INT type = CS_ROW_RESULT) const;
    /// The values of every CS_STATUS_RESULT, in order.
    [[nodiscard]] std::vector<int> returnStatuses() const;
    /// The server messages with severity > 10.
    [[nodiscard]] std::vector<CtMessage> errors() const;
};

/// An owned CS_COMMAND.
struct CtCommandDeleter {
    void operator()(CS_COMMAND* cmd) const noexcept { ct_cmd_drop(cmd); }
};
using CtCommand = std::unique_ptr<CS_COMMAND, CtCommandDeleter>;

/// One logged-in connection with its own CS_CONTEXT.
class CtConnection final {
public:
    /// Connects to the freetds.conf section `server`; throws std::runtime_error with the
    /// messages received when the login fails.
    explicit CtConnection(const std::string& server = "DEVSERVER", const std::string& user = "sa",
                          const std::string& password = "",
                          const std::string& appName = "tovrin-tests");
    ~CtConnection();
    CtConnection(const CtConnection&) = delete;
    CtConnection& operator=(const CtConnection&) = delete;

    /// Tries to connect; on failure returns null and stores the messages in `messages`.
    static std::unique_ptr<CtConnection> tryConnect(const std::string& server,
                                                    const std::string& user,
                                                    const std::string& password,
                                                    std::vector<CtMessage>* messages);

    /// Sends `sql` as a language command and collects every result.
    CtBatch execute(const std::string& sql);
    /// Allocates a command on this connection.
    CtCommand newCommand();
    /// Collects every result of a command already sent with ct_send.
    CtBatch collect(CS_COMMAND* cmd);
    /// Fetches every row of the current fetchable result of `cmd` into `result`.
    void fetchAll(CS_COMMAND* cmd, CtResult& result);
    /// Messages received since the last call (also those of `execute`, which takes them).
    std::vector<CtMessage> takeMessages();

    [[nodiscard]] CS_CONTEXT* context() const noexcept { return m_context; }
    [[nodiscard]] CS_CONNECTION* connection() const noexcept { return m_connection; }

private:
    struct NoConnect {};
    explicit CtConnection(NoConnect) {}
    void release() noexcept;
    bool open(const std::string& server, const std::string& user, const std::string& password,
              const std::string& appName);
    static CS_RETCODE onServerMessage(CS_CONTEXT*, CS_CONNECTION*, CS_SERVERMSG*);
    static CS_RETCODE onClientMessage(CS_CONTEXT*, CS_CONNECTION*, CS_CLIENTMSG*);

    CS_CONTEXT* m_context = nullptr;
    CS_CONNECTION* m_connection = nullptr;
    bool m_connected = false;
    std::vector<CtMessage> m_messages;
};

} // namespace testsupport

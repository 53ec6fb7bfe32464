// The ResultSink that turns what the SQL side reports into TDS tokens, streamed into
// packets as they are produced. It holds back each DONE until it knows whether more tokens
// follow, so that exactly the last DONE of a response goes out without the MORE bit.
#pragma once

#include "Charsets.h"
#include "Codec.h"
#include "Engine.h"
#include "PacketIo.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace devserver {

class ResponseSink final : public ResultSink {
public:
    /// What the sink asks of the connection it writes to.
    struct Hooks {
        /// Reads pending input without blocking; true when the client asked to cancel or
        /// the connection is gone.
        std::function<bool()> cancelRequested;
        /// True while the session has a transaction open (INXACT bit of DONE).
        std::function<bool()> inTransaction;
        /// Closes the connection on purpose (the drop-after-rows fault switch).
        std::function<void()> drop;
    };

    /// `dropAfterRows` < 0 disables the fault switch. `dateAndTime` false widens date and
    /// time columns to datetime for clients that cannot read them.
    ResponseSink(PacketWriter& out, std::string serverName, int64_t dropAfterRows, Hooks hooks,
                 bool dateAndTime = true);

    void rowFormat(const std::vector<Column>& columns) override;
    [[nodiscard]] bool row(const std::vector<Value>& values) override;
    void done(DoneKind kind, bool error, std::optional<int64_t> rowCount) override;
    void message(const ServerMessage& message) override;
    void returnStatus(int32_t status) override;
    void outputParameters(const std::vector<Column>& params,
                          const std::vector<Value>& values) override;
    void browseInfo(const std::vector<Column>& columns, const BrowseInfo& info) override;
    void computeFormat(int id, const std::vector<ComputeColumn>& columns,
                       const std::vector<int>& by) override;
    void computeRow(int id, const std::vector<Value>& values) override;
    void databaseChanged(const std::string& oldName, const std::string& newName) override;
    [[nodiscard]] bool cancelled() override;

    /// Answers as a procedure does: statements end with DONEINPROC and the response with a
    /// DONEPROC. Used for prepared-statement executions: FreeTDS's ct_fetch looks at the
    /// token after a statement's DONE there, so the DONE must never be the last token.
    void setProcedureShape(bool on) noexcept { m_procedureShape = on; }

    /// Describes row results with ROWFMT2, which names each column's table and column (for
    /// clients that asked for wide tables, as Adaptive Server does).
    void setWideFormats(bool on) noexcept { m_wideFormats = on; }

    /// The client's and the server's character sets (both utf8 unless set). Character data,
    /// names and messages go out in the client's; a statement that sent characters the
    /// client's cannot hold ends with message 2403.
    void setCharsets(Charset client, Charset server) noexcept {
        m_clientCharset = client;
        m_serverCharset = server;
    }

    /// Ends the response: the held DONE goes out as the final one, or, when `attention`,
    /// a DONE with the attention bit replaces it. Sends the last packet with EOM.
    void finish(bool attention);
    /// True once the connection was dropped on purpose or failed.
    [[nodiscard]] bool broken() const noexcept { return m_dropped || m_out.failed(); }

private:
    struct HeldDone {
        uint8_t token;
        uint16_t status;
        int64_t count;
    };
    void releaseHeld(); // writes the held DONE with MORE
    /// The format a column travels in, widened for a client whose character set takes more
    /// bytes per character than the server's.
    WireFormat clientFormat(const ColumnType& type) const;
    /// Converts the character values of a row (of the current result's types) for the client.
    void convertRow(std::vector<Value>& values);
    void pump();

    PacketWriter& m_out;
    std::string m_serverName;
    int64_t m_dropAfterRows;
    Hooks m_hooks;
    std::optional<HeldDone> m_held;
    std::vector<WireFormat> m_formats;
    std::map<int, std::vector<WireFormat>> m_computeFormats; ///< of the current row result, by id
    int64_t m_rowsInResult = 0;
    bool m_dateAndTime;
    bool m_cancelled = false;
    bool m_procedureShape = false;
    bool m_anyError = false;
    bool m_dropped = false;
    Charset m_clientCharset = Charset::Utf8;
    Charset m_serverCharset = Charset::Utf8;
    std::vector<ColumnType> m_columnTypes; ///< the declared types of the current result
    std::vector<Column> m_named;           ///< the current result's columns, client's names
    bool m_wideFormats = false;
    bool m_lossy = false; ///< this statement sent a '?' for a character
};

} // namespace devserver

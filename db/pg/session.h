#pragma once
// One connection to a PostgreSQL server through libpq, never blocking: every wait goes through poll() with
// the deadline of our own, a statement can be cancelled from another thread or a signal handler, and
// every failure becomes a db::Error that names the server. libpq-fe.h is included here only.
#include "db/error.h"
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;
struct pg_cancel;

namespace db::pg {

struct ConnDeleter {
    void operator()(pg_conn* conn) const;
};
struct ResultDeleter {
    void operator()(pg_result* result) const;
};
struct CancelDeleter {
    void operator()(pg_cancel* cancel) const;
};
using ConnPtr = std::unique_ptr<pg_conn, ConnDeleter>;
using ResultPtr = std::unique_ptr<pg_result, ResultDeleter>;
using CancelPtr = std::unique_ptr<pg_cancel, CancelDeleter>;

// How long any one wait for the server may last: 15 s, or ROWSIFTER_SERVER_DEADLINE (seconds) when set.
std::chrono::milliseconds deadline();

// A parameter of a statement: text, or Null.
using Param = std::optional<std::string>;

// Rows a statement wrote (CREATE TABLE AS, INSERT, DELETE, COPY); -1 when it does not say.
long long affectedRows(pg_result* result);

// A row of a result: the cells as the server's text (null: Null).
class Row {
public:
    virtual ~Row() = default;
    virtual int columns() const = 0;
    virtual bool isNull(int column) const = 0;
    virtual std::string_view text(int column) const = 0;
};

// A row read in single-row mode.
class ResultRow final : public Row {
public:
    explicit ResultRow(pg_result* result) : m_result(result) {}
    int columns() const override;
    bool isNull(int column) const override;
    std::string_view text(int column) const override;

private:
    pg_result* m_result;
};

// A row of COPY text: cells split at tabs, "\N" for Null, backslash escapes undone.
class CopyRow final : public Row {
public:
    void parse(std::string_view line);
    int columns() const override { return static_cast<int>(m_cells.size()); }
    bool isNull(int column) const override { return !m_cells[static_cast<std::size_t>(column)]; }
    std::string_view text(int column) const override;

private:
    std::string m_text;                                   // the cells that had escapes, unescaped
    std::vector<std::optional<std::string_view>> m_cells; // in the line or in m_text
};

struct Column {
    std::string name;
    unsigned typeOid = 0;
};

class Session {
public:
    // Connects to the server the URI names. `password` (when not empty) is sent as the password; otherwise
    // libpq's own sources apply (~/.pgpass, PGPASSWORD, a service file). Fixes the session settings that
    // keys and waits rely on. Throws db::Error naming the server and the cause.
    static std::unique_ptr<Session> connect(const std::string& uri, const std::string& password);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // "the PostgreSQL server at HOST:PORT" (or "... in the socket folder PATH"), for messages.
    const std::string& where() const { return m_where; }

    // Runs one statement with its parameters and returns its result. `bounded`: the answer must come within
    // the deadline (everything but the statements that read or write whole tables). `table` names the
    // table concerned in a message about a missing table.
    ResultPtr exec(const std::string& sql, const std::vector<Param>& params = {}, bool bounded = true,
                   const std::string& table = {});
    // The rows of a small query (catalogue look-ups), cells as text (nullopt: Null); bounded by the deadline.
    using Cells = std::vector<std::optional<std::string>>;
    std::vector<Cells> select(const std::string& sql, const std::vector<Param>& params = {},
                              const std::string& table = {});
    // Statements without parameters or results, several in one text.
    void run(const std::string& sql);
    // Reads the rows of a query one at a time (single-row mode); `columns` is called once before the first.
    void forEachRow(const std::string& sql, const std::vector<Param>& params,
                    const std::function<void(const std::vector<Column>&)>& columns,
                    const std::function<void(const Row&)>& row, const std::string& table = {});
    // COPY (query) TO STDOUT: `line` gets each row's line of COPY text, without its line break.
    void copyOut(const std::string& query, const std::function<void(std::string_view)>& line,
                 const std::string& table = {});
    // COPY ... FROM STDIN: `next` fills its argument with the next block of COPY text and returns false at the end.
    void copyIn(const std::string& sql, const std::function<bool(std::string&)>& next);

    bool inTransaction() const;
    // The transaction failed (or the connection is gone): only a rollback helps.
    bool transactionFailed() const;
    // Asks the server to stop the running statement (any thread).
    void cancel();

    // The error a failed result stands for.
    [[noreturn]] void raise(pg_result* result, const std::string& table = {});

private:
    Session(ConnPtr conn, std::string where);
    void waitFor(bool forWrite, std::optional<std::chrono::steady_clock::time_point> until, const char* doing);
    void send(bool ok, const char* doing);
    // Sends a statement with its parameters (as text); refused after Ctrl-C.
    void sendWithParams(const std::string& sql, const std::vector<Param>& params, const char* doing);
    ResultPtr nextResult(bool bounded, const char* doing);
    [[noreturn]] void connectionLost(const char* doing);

    ConnPtr m_conn;
    CancelPtr m_cancel;
    std::string m_where;
};

// Ctrl-C: cancels whatever statement a session of this process is running, and makes the next wait end
// with "cancelled". Safe to call from a signal handler.
void interruptFromSignal() noexcept;
bool interrupted();
void clearInterruptForTesting();

} // namespace db::pg

#include "db/pg/session.h"
#include "db/pg/uri.h"
#include "db/server_address.h"
#include "db/wait_yield.h"
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <libpq-fe.h>
#include <poll.h>

namespace db::pg {

void ConnDeleter::operator()(pg_conn* conn) const {
    PQfinish(conn);
}
void ResultDeleter::operator()(pg_result* result) const {
    PQclear(result);
}
void CancelDeleter::operator()(pg_cancel* cancel) const {
    PQfreeCancel(cancel);
}

namespace {

using Clock = std::chrono::steady_clock;

// The session whose statement Ctrl-C cancels: one slot is enough, the program runs one statement at a time.
std::atomic<pg_cancel*> g_running{nullptr};
std::atomic<bool> g_interrupted{false};

class RunningStatement {
public:
    explicit RunningStatement(pg_cancel* cancel) { g_running.store(cancel); }
    ~RunningStatement() { g_running.store(nullptr); }
    RunningStatement(const RunningStatement&) = delete;
    RunningStatement& operator=(const RunningStatement&) = delete;
};

// libpq's messages end in a line break and may hold further lines of hints: one line for our reports.
std::string oneLine(std::string text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r' || c == ' ') {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string withPeriod(std::string text) {
    if (!text.empty() && text.back() != '.' && text.back() != '?')
        text += '.';
    return text;
}

std::string seconds(std::chrono::milliseconds ms) {
    const long long whole = ms.count() / 1000;
    const long long tenths = (ms.count() % 1000) / 100;
    return std::to_string(whole) + (tenths ? "." + std::to_string(tenths) : "") + " s";
}

// "the server ..." at the start of a sentence.
std::string capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

const char* const kNothingChanged = "Nothing was changed on the server.";

// poll() for one descriptor; while a window waits with us, in short slices with the window's turn between
// them. Returns as poll() does (0 once `timeout` ms have gone by; -1 for none: no limit).
int pollYielding(pollfd& fd, int timeout) {
    if (!waitYieldActive())
        return ::poll(&fd, 1, timeout);
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeout);
    while (true) {
        int slice = static_cast<int>(kWaitYieldInterval.count());
        if (timeout >= 0)
            slice = static_cast<int>(std::min<long long>(
                slice, std::max<long long>(
                           0, std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count())));
        const int ready = ::poll(&fd, 1, slice);
        if (ready != 0 || (timeout >= 0 && Clock::now() >= until) || g_interrupted.load())
            return ready;
        yieldWhileWaiting();
    }
}

} // namespace

std::chrono::milliseconds deadline() {
    if (const char* text = std::getenv("ROWSIFTER_SERVER_DEADLINE")) {
        char* end = nullptr;
        const double s = std::strtod(text, &end);
        if (end != text && s > 0 && s < 3600)
            return std::chrono::milliseconds(static_cast<long long>(s * 1000));
    }
    return std::chrono::seconds(15);
}

void interruptFromSignal() noexcept {
    g_interrupted.store(true);
    if (pg_cancel* cancel = g_running.load()) {
        char error[256];
        PQcancel(cancel, error, sizeof error);
    }
}

bool interrupted() {
    return g_interrupted.load();
}

void clearInterruptForTesting() {
    g_interrupted.store(false);
}

long long affectedRows(pg_result* result) {
    const char* text = PQcmdTuples(result);
    return text && *text ? std::atoll(text) : -1;
}

int ResultRow::columns() const {
    return PQnfields(m_result);
}
bool ResultRow::isNull(int column) const {
    return PQgetisnull(m_result, 0, column) != 0;
}
std::string_view ResultRow::text(int column) const {
    return {PQgetvalue(m_result, 0, column), static_cast<std::size_t>(PQgetlength(m_result, 0, column))};
}

namespace {

// Appends a cell of COPY text with its backslash escapes undone.
void unescapeCell(std::string_view cell, std::string& out) {
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const char c = cell[i];
        if (c != '\\' || i + 1 == cell.size()) {
            out += c;
            continue;
        }
        const char e = cell[++i];
        switch (e) {
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'v':
            out += '\v';
            break;
        case 'x': {
            int v = 0, digits = 0;
            while (digits < 2 && i + 1 < cell.size() && std::isxdigit(static_cast<unsigned char>(cell[i + 1]))) {
                const char h = cell[++i];
                v = v * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                ++digits;
            }
            out += static_cast<char>(v);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                int v = e - '0';
                for (int digits = 1; digits < 3 && i + 1 < cell.size() && cell[i + 1] >= '0' && cell[i + 1] <= '7';
                     ++digits)
                    v = v * 8 + (cell[++i] - '0');
                out += static_cast<char>(v);
            } else {
                out += e;
            }
        }
    }
}

} // namespace

// Cells without a backslash (nearly all) are read where they stand in the line; the others are unescaped
// into m_text, which never grows past the line's length, so the views into it stay valid.
void CopyRow::parse(std::string_view line) {
    m_text.clear();
    m_text.reserve(line.size());
    m_cells.clear();
    std::size_t start = 0;
    while (true) {
        const void* tab = std::memchr(line.data() + start, '\t', line.size() - start);
        const std::size_t end =
            tab ? static_cast<std::size_t>(static_cast<const char*>(tab) - line.data()) : line.size();
        const std::string_view cell = line.substr(start, end - start);
        if (cell == "\\N") {
            m_cells.emplace_back(std::nullopt);
        } else if (cell.find('\\') == std::string_view::npos) {
            m_cells.emplace_back(cell);
        } else {
            const std::size_t at = m_text.size();
            unescapeCell(cell, m_text);
            m_cells.emplace_back(std::string_view(m_text).substr(at));
        }
        if (!tab)
            return;
        start = end + 1;
    }
}

std::string_view CopyRow::text(int column) const {
    return m_cells[static_cast<std::size_t>(column)].value_or(std::string_view());
}

Session::Session(ConnPtr conn, std::string where)
    : m_conn(std::move(conn)), m_cancel(PQgetCancel(m_conn.get())), m_where(std::move(where)) {}

Session::~Session() {
    if (g_running.load() == m_cancel.get())
        g_running.store(nullptr);
}

std::unique_ptr<Session> Session::connect(const std::string& uri, const std::string& password) {
    checkUri(uri);
    const std::string where = describeServer(uri);
    const auto limit = deadline();
    const std::string limitSeconds = std::to_string(std::max<long long>(1, limit.count() / 1000));
    // Keywords before "dbname" are defaults the URI may override; the password comes after it, so a password
    // the user gave is the one sent. A vanished server is noticed by the kernel within the deadline.
    std::vector<const char*> keys = {"application_name", "keepalives",      "keepalives_idle", "keepalives_interval",
                                     "keepalives_count", "client_encoding", "dbname"};
    std::vector<const char*> values = {"rowsifter", "1", limitSeconds.c_str(), "1", "3", "UTF8", uri.c_str()};
    if (!password.empty()) {
        keys.push_back("password");
        values.push_back(password.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    ConnPtr conn(PQconnectStartParams(keys.data(), values.data(), 1));
    if (!conn)
        throw Error(err::DiskFull, "Out of memory while connecting to " + where + ".");
    const Clock::time_point until = Clock::now() + limit;
    PostgresPollingStatusType state =
        PQstatus(conn.get()) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        const int socket = PQsocket(conn.get());
        pollfd fd{socket, static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            throw Error(err::EngineError, capitalised(where) + " did not answer within " + seconds(limit) +
                                              " (unreachable or silent). " + kNothingChanged);
        const int ready = pollYielding(fd, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            break;
        if (g_interrupted.load())
            throw Error(err::EngineError, "Cancelled while connecting to " + where + ". " + kNothingChanged);
        if (ready == 0)
            continue;
        state = PQconnectPoll(conn.get());
    }
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string why = oneLine(PQerrorMessage(conn.get()));
        if (PQconnectionNeedsPassword(conn.get()))
            throw Error(err::WrongPassword, capitalised(where) + " asks for a password and none was given: give it in "
                                                                 "ROWSIFTER_PASSWORD, at the prompt or in ~/.pgpass.");
        if (PQconnectionUsedPassword(conn.get()) && why.find("password") != std::string::npos)
            throw Error(err::WrongPassword, "The password was refused by " + where + ": " + withPeriod(why));
        if (why.find("does not exist") != std::string::npos && why.find("database") != std::string::npos)
            throw Error(err::FileNotFound, "No such database on " + where + ": " + withPeriod(why));
        throw Error(err::EngineError, "Could not connect to " + where + ": " + withPeriod(why));
    }
    PQsetnonblocking(conn.get(), 1);
    std::unique_ptr<Session> session(new Session(std::move(conn), where));
    // Keys are the server's text under these settings, so they are fixed here whatever the server's or the
    // role's defaults. A lock held elsewhere ends a statement within the deadline; a vanished client is
    // noticed by the server, which then undoes the run. Our statements are plain scans, which compiling
    // (jit) only slows down.
    session->run("SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET TimeZone = 'UTC'; "
                 "SET extra_float_digits = 3; SET bytea_output = 'hex'; SET standard_conforming_strings = on; "
                 "SET jit = off; SET lock_timeout = '" +
                 std::to_string(limit.count()) +
                 "ms'; SET idle_in_transaction_session_timeout = 0; "
                 "SET client_connection_check_interval = '" +
                 std::to_string(std::max<long long>(1000, limit.count() / 3)) + "ms'");
    return session;
}

void Session::connectionLost(const char* doing) {
    throw Error(err::EngineError, "The connection to " + m_where + " was lost while " + doing + ": " +
                                      withPeriod(oneLine(PQerrorMessage(m_conn.get()))) +
                                      " The server undoes what the run had not committed.");
}

void Session::waitFor(bool forWrite, std::optional<Clock::time_point> until, const char* doing) {
    pollfd fd{PQsocket(m_conn.get()), static_cast<short>(forWrite ? POLLIN | POLLOUT : POLLIN), 0};
    if (fd.fd < 0)
        connectionLost(doing);
    while (true) {
        int timeout = -1;
        if (until) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*until - Clock::now()).count();
            if (left <= 0) {
                cancel();
                throw Error(err::EngineError, "No answer from " + m_where + " within " + seconds(deadline()) +
                                                  " while " + doing + "; the statement was cancelled.");
            }
            timeout = static_cast<int>(left);
        }
        // A Ctrl-C arrives as EINTR: the statement is cancelled and its failure read as usual.
        const int ready = pollYielding(fd, timeout);
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            connectionLost(doing);
    }
}

void Session::send(bool ok, const char* doing) {
    if (!ok)
        connectionLost(doing);
    while (true) {
        const int pending = PQflush(m_conn.get());
        if (pending == 0)
            return;
        if (pending < 0)
            connectionLost(doing);
        waitFor(true, std::nullopt, doing);
        if (!PQconsumeInput(m_conn.get()))
            connectionLost(doing);
    }
}

ResultPtr Session::nextResult(bool bounded, const char* doing) {
    std::optional<Clock::time_point> until;
    // A second more than the server's own lock_timeout, so a lock held elsewhere is reported as such.
    if (bounded)
        until = Clock::now() + deadline() + std::chrono::seconds(1);
    while (PQisBusy(m_conn.get())) {
        waitFor(false, until, doing);
        if (!PQconsumeInput(m_conn.get()))
            connectionLost(doing);
    }
    return ResultPtr(PQgetResult(m_conn.get()));
}

void Session::sendWithParams(const std::string& sql, const std::vector<Param>& params, const char* doing) {
    if (g_interrupted.load())
        throw Error(err::EngineError, "Cancelled. " + std::string(kNothingChanged));
    std::vector<const char*> values;
    for (const Param& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    send(PQsendQueryParams(m_conn.get(), sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                           nullptr, 0) != 0,
         doing);
}

ResultPtr Session::exec(const std::string& sql, const std::vector<Param>& params, bool bounded,
                        const std::string& table) {
    RunningStatement running(m_cancel.get());
    sendWithParams(sql, params, "sending a statement");
    ResultPtr last;
    while (ResultPtr r = nextResult(bounded, "waiting for a statement")) {
        // Only the first failure counts; the results after it are read to free the connection.
        if (!last || PQresultStatus(last.get()) != PGRES_FATAL_ERROR)
            last = std::move(r);
    }
    if (!last)
        connectionLost("running a statement");
    const ExecStatusType status = PQresultStatus(last.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raise(last.get(), table);
    return last;
}

std::vector<Session::Cells> Session::select(const std::string& sql, const std::vector<Param>& params,
                                            const std::string& table) {
    const ResultPtr result = exec(sql, params, true, table);
    std::vector<Cells> rows;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        Cells cells;
        for (int c = 0; c < PQnfields(result.get()); ++c)
            cells.push_back(PQgetisnull(result.get(), r, c)
                                ? std::nullopt
                                : std::optional<std::string>(PQgetvalue(result.get(), r, c)));
        rows.push_back(std::move(cells));
    }
    return rows;
}

void Session::run(const std::string& sql) {
    RunningStatement running(m_cancel.get());
    send(PQsendQuery(m_conn.get(), sql.c_str()) != 0, "sending a statement");
    ResultPtr failed;
    while (ResultPtr r = nextResult(true, "waiting for a statement"))
        if (!failed && PQresultStatus(r.get()) == PGRES_FATAL_ERROR)
            failed = std::move(r);
    if (failed)
        raise(failed.get());
}

void Session::forEachRow(const std::string& sql, const std::vector<Param>& params,
                         const std::function<void(const std::vector<Column>&)>& columns,
                         const std::function<void(const Row&)>& row, const std::string& table) {
    RunningStatement running(m_cancel.get());
    sendWithParams(sql, params, "sending a query");
    PQsetSingleRowMode(m_conn.get());
    bool described = false;
    ResultPtr failed;
    // Reading whole tables is not bounded by the deadline: a large sort may take long before its first row.
    while (ResultPtr r = nextResult(false, "reading rows")) {
        const ExecStatusType status = PQresultStatus(r.get());
        if (failed)
            continue;
        if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
            if (!described) {
                std::vector<Column> cs;
                for (int c = 0; c < PQnfields(r.get()); ++c)
                    cs.push_back(Column{PQfname(r.get(), c), static_cast<unsigned>(PQftype(r.get(), c))});
                columns(cs);
                described = true;
            }
            if (status == PGRES_SINGLE_TUPLE)
                row(ResultRow(r.get()));
        } else {
            failed = std::move(r);
        }
    }
    if (failed)
        raise(failed.get(), table);
}

void Session::copyOut(const std::string& query, const std::function<void(std::string_view)>& line,
                      const std::string& table) {
    if (g_interrupted.load())
        throw Error(err::EngineError, "Cancelled. " + std::string(kNothingChanged));
    RunningStatement running(m_cancel.get());
    send(PQsendQuery(m_conn.get(), ("COPY (" + query + ") TO STDOUT").c_str()) != 0, "sending a query");
    ResultPtr start = nextResult(false, "reading rows");
    if (!start)
        connectionLost("reading rows");
    if (PQresultStatus(start.get()) != PGRES_COPY_OUT) {
        while (nextResult(false, "reading rows")) {
        }
        raise(start.get(), table);
    }
    while (true) {
        char* buffer = nullptr;
        const int size = PQgetCopyData(m_conn.get(), &buffer, 1);
        if (size > 0) {
            std::string_view text(buffer, static_cast<std::size_t>(size));
            if (!text.empty() && text.back() == '\n')
                text.remove_suffix(1);
            try {
                line(text);
            } catch (...) {
                PQfreemem(buffer);
                throw;
            }
            PQfreemem(buffer);
        } else if (size == 0) {
            waitFor(false, std::nullopt, "reading rows");
            if (!PQconsumeInput(m_conn.get()))
                connectionLost("reading rows");
        } else {
            break;
        }
    }
    ResultPtr failed;
    while (ResultPtr r = nextResult(false, "reading rows"))
        if (!failed && PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            failed = std::move(r);
    if (failed)
        raise(failed.get(), table);
}

void Session::copyIn(const std::string& sql, const std::function<bool(std::string&)>& next) {
    RunningStatement running(m_cancel.get());
    send(PQsendQuery(m_conn.get(), sql.c_str()) != 0, "sending a statement");
    ResultPtr start = nextResult(true, "starting a copy");
    if (!start)
        connectionLost("starting a copy");
    if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
        while (nextResult(true, "starting a copy")) {
        }
        raise(start.get());
    }
    std::string block;
    while (true) {
        block.clear();
        const bool more = next(block);
        if (!block.empty()) {
            int sent;
            while ((sent = PQputCopyData(m_conn.get(), block.data(), static_cast<int>(block.size()))) == 0)
                waitFor(true, std::nullopt, "copying rows");
            if (sent < 0)
                connectionLost("copying rows");
        }
        if (!more)
            break;
    }
    int ended;
    while ((ended = PQputCopyEnd(m_conn.get(), nullptr)) == 0)
        waitFor(true, std::nullopt, "copying rows");
    if (ended < 0)
        connectionLost("copying rows");
    send(true, "copying rows");
    ResultPtr failed;
    while (ResultPtr r = nextResult(false, "copying rows"))
        if (!failed && PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            failed = std::move(r);
    if (failed)
        raise(failed.get());
}

bool Session::inTransaction() const {
    return PQtransactionStatus(m_conn.get()) != PQTRANS_IDLE;
}

bool Session::transactionFailed() const {
    const auto status = PQtransactionStatus(m_conn.get());
    return status == PQTRANS_INERROR || status == PQTRANS_UNKNOWN;
}

void Session::cancel() {
    char error[256];
    if (m_cancel)
        PQcancel(m_cancel.get(), error, sizeof error);
}

void Session::raise(pg_result* result, const std::string& table) {
    if (PQstatus(m_conn.get()) == CONNECTION_BAD)
        connectionLost("running a statement");
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const std::string code = state ? state : "";
    const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    const std::string message = withPeriod(primary ? primary : oneLine(PQresultErrorMessage(result)));
    const std::string shownTable = table.empty() ? std::string("a table") : "the table '" + table + "'";
    if (code == "42P01")
        throw Error(err::NoSuchTable, table.empty() ? "A table does not exist on " + m_where + ": " + message
                                                    : "Table '" + table + "' does not exist on " + m_where + ".");
    if (code == "42703")
        throw Error(err::NoSuchColumn, "A column was not found on " + m_where + ": " + message);
    if (code == "42P07")
        throw Error(err::TableExists, "A table of that name already exists on " + m_where + ": " + message);
    if (code == "55P03")
        throw Error(err::FileLocked, "Another session holds a lock on " + shownTable + " on " + m_where +
                                         "; gave up waiting after " + seconds(deadline()) + ". " + kNothingChanged);
    if (code == "57014")
        throw Error(err::EngineError, "Cancelled on " + m_where + ". " + kNothingChanged);
    if (code == "42501")
        throw Error(err::ReadOnly, "Permission denied on " + m_where + ": " + message);
    if (code == "25006")
        throw Error(err::ReadOnly, capitalised(m_where) + " is read-only: " + message);
    if (code.rfind("53", 0) == 0)
        throw Error(err::DiskFull, "The server ran out of room (" + m_where + "): " + message);
    if (code.rfind("08", 0) == 0 || code.rfind("57P", 0) == 0)
        connectionLost("running a statement");
    throw Error(err::EngineError, "The server reported an error (" + m_where + "): " + message);
}

} // namespace db::pg

namespace db {

void cancelServerStatements() noexcept {
    pg::interruptFromSignal();
}

} // namespace db

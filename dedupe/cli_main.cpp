// rowsifter-cli: the duplicate-removal engine without windows, for scripts and large tables.
#include "access/header.h"
#include "access/sqlite_copy.h"
#include "core/error_report.h"
#include "db/catalogue.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "dedupe/cli_messages.h"
#include "dedupe/dry_run.h"
#include "dedupe/engine.h"
#include "dedupe/messages.h"
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

namespace cli_text = dedupe::cli_text;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;


struct Options {
    std::string database;
    std::string table;
    std::vector<std::string> fields;
    std::string output;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool dryRun = false;
    bool json = false;
    bool replace = false;
    bool keepLast = false;
    bool ignoreCase = false;
    bool trim = false;
    std::string removedInto;
    std::string sqliteCopy;
    // Only the copy of an Access file is wanted: no table to de-duplicate.
    bool copyOnly() const { return !sqliteCopy.empty() && table.empty() && fields.empty() && output.empty(); }
};

struct UsageError {
    std::string message;
};

// Each option by its long and its short name; those with a value take it as the next argument, or after
// "=" (long) or joined to the letter (short), as getopt does.
struct OptionName {
    const char* longName;
    char shortName;
    bool takesValue;
};
constexpr OptionName kOptionNames[] = {
    {"--database", 'd', true},     {"--table", 't', true},        {"--field", 'f', true},
    {"--output", 'o', true},       {"--quiet", 'q', false},       {"--help", 'h', false},
    {"--version", '\0', false},    {"--dry-run", '\0', false},    {"--json", '\0', false},
    {"--replace", '\0', false},    {"--keep", '\0', true},        {"--ignore-case", '\0', false},
    {"--trim", '\0', false},       {"--removed-into", '\0', true}, {"--sqlite-copy", '\0', true},
};

const OptionName* findOption(const std::string& name) {
    for (const OptionName& option : kOptionNames)
        if (name == option.longName || (name.size() == 2 && name[0] == '-' && name[1] == option.shortName))
            return &option;
    return nullptr;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    bool haveDatabase = false, haveTable = false, haveOutput = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password" || arg.rfind("--password=", 0) == 0 || arg.rfind("-p", 0) == 0)
            throw UsageError{cli_text::kPasswordNotAnArgument};
        std::string name = arg;
        std::string value;
        bool valueGiven = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
            valueGiven = true;
        } else if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-') {
            name = arg.substr(0, 2);
            value = arg.substr(2);
            valueGiven = true;
        }
        const OptionName* option = findOption(name);
        if (!option)
            throw UsageError{name[0] == '-' ? cli_text::unknownOption(name) : cli_text::unknownArgument(arg)};
        if (!option->takesValue && valueGiven)
            throw UsageError{arg.rfind("--", 0) == 0 ? cli_text::takesNoValue(name) : cli_text::unknownOption(arg)};
        if (option->takesValue && !valueGiven) {
            if (i + 1 >= argc)
                throw UsageError{cli_text::needsValue(arg)};
            value = argv[++i];
        }
        const std::string longName = option->longName;
        if (longName == "--database") {
            options.database = value;
            haveDatabase = true;
        } else if (longName == "--table") {
            options.table = value;
            haveTable = true;
        } else if (longName == "--field") {
            options.fields.push_back(value);
        } else if (longName == "--output") {
            options.output = value;
            haveOutput = true;
        } else if (longName == "--quiet") {
            options.quiet = true;
        } else if (longName == "--help") {
            options.help = true;
        } else if (longName == "--version") {
            options.version = true;
        } else if (longName == "--dry-run") {
            options.dryRun = true;
        } else if (longName == "--json") {
            options.json = true;
        } else if (longName == "--replace") {
            options.replace = true;
        } else if (longName == "--keep") {
            if (value != "first" && value != "last")
                throw UsageError{cli_text::keepWhich(value)};
            options.keepLast = value == "last";
        } else if (longName == "--ignore-case") {
            options.ignoreCase = true;
        } else if (longName == "--trim") {
            options.trim = true;
        } else if (longName == "--removed-into") {
            if (value.empty())
                throw UsageError{cli_text::needsValue(arg)};
            options.removedInto = value;
        } else {
            if (value.empty())
                throw UsageError{cli_text::needsValue(arg)};
            options.sqliteCopy = value;
        }
    }
    if (options.help || options.version)
        return options;
    if (!haveDatabase || options.database.empty())
        throw UsageError{cli_text::required("--database PATH")};
    if (options.copyOnly())
        return options;
    if (!haveTable || options.table.empty())
        throw UsageError{cli_text::required("--table NAME")};
    if (options.fields.empty())
        throw UsageError{cli_text::required("at least one --field NAME")};
    if (!haveOutput || options.output.empty())
        throw UsageError{cli_text::required("--output NAME")};
    return options;
}

// The terminal's settings while the password is typed without echo; restored on every way out, an
// interrupt included.
termios g_savedTerminal{};
volatile std::sig_atomic_t g_echoHidden = 0;

void restoreEchoAndDie(int signal) {
    if (g_echoHidden)
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string readPassword(const std::string& database) {
    if (const char* fromEnvironment = std::getenv("ROWSIFTER_PASSWORD"))
        return fromEnvironment;
    if (!isatty(STDIN_FILENO))
        return {};
    std::cerr << cli_text::passwordPrompt(database) << std::flush;
    const bool canHide = tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;
    using Handler = void (*)(int);
    Handler previousInt = SIG_DFL, previousTerm = SIG_DFL;
    if (canHide) {
        previousInt = std::signal(SIGINT, restoreEchoAndDie);
        previousTerm = std::signal(SIGTERM, restoreEchoAndDie);
        termios hidden = g_savedTerminal;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        // TCSANOW, not TCSAFLUSH: what was typed before the prompt appeared is part of the password.
        tcsetattr(STDIN_FILENO, TCSANOW, &hidden);
        g_echoHidden = 1;
    }
    std::string password;
    std::getline(std::cin, password);
    if (canHide) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        g_echoHidden = 0;
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
    }
    std::cerr << '\n';
    return password;
}

std::string joinNames(const std::vector<std::string>& names, std::size_t limit) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < limit; ++i)
        text += (i ? ", " : "") + names[i];
    if (names.size() > limit)
        text += ", ... (" + std::to_string(names.size()) + " in all)";
    return text;
}

// The report box's lines, as a terminal shows them.
std::string asLines(std::string text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lines += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            lines += text[i];
        }
    }
    return lines;
}

// With --json the report goes into the JSON object instead.
class PrintingReporter : public core::Reporter {
public:
    explicit PrintingReporter(bool silent) : m_silent(silent) {}
    void report(const std::string& description, const std::string& location, int statement) override {
        if (!m_silent)
            std::cerr << "\n" << asLines(core::buildErrorReportText(description, location, statement)) << "\n\n";
    }

private:
    bool m_silent;
};

class CliHost : public dedupe::EngineHost {
public:
    CliHost(std::string output, std::vector<std::string> tables, bool quiet, bool json)
        : m_output(std::move(output)), m_tables(std::move(tables)), m_terminal(isatty(STDERR_FILENO)), m_quiet(quiet),
          m_json(json), m_reporter(json) {}

    std::string outputName() const override { return m_output; }
    // As the database compares names: a listed table named like the output in other letter case is the
    // table the output replaces.
    bool isTableListed(const std::string& name) const override {
        return std::any_of(m_tables.begin(), m_tables.end(),
                           [&](const std::string& t) { return dedupe::sameTableName(t, name); });
    }
    void setProgressMaximum(double maximum) override {
        m_maximum = static_cast<long long>(maximum);
        m_lastShown = -1;
    }
    void setProgressValue(double value) override {
        if (m_quiet)
            return;
        const auto row = static_cast<long long>(value);
        if (row == 0) {
            finishProgress();
            return;
        }
        // Looking at the clock on every row would cost more than the row.
        if ((row & 1023) != 0 && row != m_maximum)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (m_terminal) {
            if (row != m_maximum && now - m_shownAt < std::chrono::milliseconds(100))
                return;
            drawBar(row);
        } else {
            // A line per tenth of the rows, for logs.
            const long long tenth = m_maximum > 0 ? row * 10 / m_maximum : 10;
            if (tenth == m_lastShown)
                return;
            m_lastShown = tenth;
            std::cerr << cli_text::rowsScanned(row, m_maximum) << "\n";
        }
        m_shownAt = now;
    }
    void setTitle(const std::string&) override {}
    void setPointer(int) override {}
    bool isMinimized() const override { return false; }
    void restoreNormal() override {}
    void bindResult(const db::Recordset&) override {}
    void clearResult() override {}
    void messageBox(const std::string& text) override {
        if (text != dedupe::text::kDone && !m_json)
            std::cerr << "rowsifter-cli: " << text << "\n";
    }
    void yield() override {}
    core::Reporter& reporter() override {
        finishProgress();
        return m_reporter;
    }

private:
    void drawBar(long long row) {
        constexpr int kBarWidth = 40;
        const double share = m_maximum > 0 ? static_cast<double>(row) / static_cast<double>(m_maximum) : 1.0;
        const int filled = static_cast<int>(share * kBarWidth);
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.resize(kBarWidth, '.');
        std::fprintf(stderr, "\r[%s] %3d%%  %lld of %lld rows", bar.c_str(), static_cast<int>(share * 100), row,
                     m_maximum);
        std::fflush(stderr);
        m_barOpen = true;
    }
    void finishProgress() {
        if (m_barOpen) {
            std::fputc('\n', stderr);
            m_barOpen = false;
        }
    }

    std::string m_output;
    std::vector<std::string> m_tables;
    bool m_terminal;
    bool m_quiet;
    bool m_json;
    bool m_barOpen = false;
    long long m_maximum = 0;
    long long m_lastShown = -1;
    std::chrono::steady_clock::time_point m_shownAt{};
    PrintingReporter m_reporter;
};

// Reads the field names of `table`; throws db::Error.
std::vector<std::string> fieldNames(const std::string& connectionString, const std::string& table) {
    db::Connection connection;
    connection.Mode = db::adModeReadWrite;
    connection.Open(connectionString);
    db::Recordset rows;
    rows.Open("SELECT * FROM " + db::quoteBracket(table) + ";", connection, db::adOpenDynamic, db::adLockOptimistic);
    std::vector<std::string> names;
    for (int i = 0; i < rows.fieldCount(); ++i)
        names.push_back(rows.field(i).Name);
    rows.Close();
    connection.Close();
    return names;
}

// What the run prints: human lines on standard error and a summary on standard output, or with --json
// exactly one JSON object on standard output, whatever happens.
class Outcome {
public:
    explicit Outcome(const Options& options) : m_options(options), m_started(std::chrono::steady_clock::now()) {}

    int fail(const std::string& message, const std::string& kept = {}) {
        if (m_options.json)
            printJson(false, message, kept);
        else
            std::cerr << "rowsifter-cli: " << message << "\n";
        return kExitFailed;
    }
    void note(const std::string& message) const {
        if (!m_options.json)
            std::cerr << "rowsifter-cli: " << message << "\n";
    }
    int succeed(const std::string& summary) {
        if (m_options.json)
            printJson(true, {}, {});
        else
            std::cout << summary << std::endl;
        return kExitOk;
    }

    long long rowsRead = -1, rowsRemoved = -1, rowsWritten = -1;
    bool outputExists = false;
    std::string copiedInto;

private:
    void printJson(bool ok, const std::string& error, const std::string& kept) const {
        using cli_text::jsonString;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        std::string fields;
        for (const std::string& f : m_options.fields)
            fields += (fields.empty() ? "" : ", ") + jsonString(f);
        std::string out = "{\"ok\": " + std::string(ok ? "true" : "false");
        out += ", \"database\": " + jsonString(m_options.database);
        if (!copiedInto.empty())
            out += ", \"sqlite_copy\": " + jsonString(copiedInto);
        out += ", \"table\": " + jsonString(m_options.table) + ", \"fields\": [" + fields + "]";
        out += ", \"output\": " + jsonString(m_options.output);
        if (!m_options.removedInto.empty())
            out += ", \"removed_into\": " + jsonString(m_options.removedInto);
        out += ", \"dry_run\": " + std::string(m_options.dryRun ? "true" : "false");
        if (m_options.dryRun)
            out += ", \"output_exists\": " + std::string(outputExists ? "true" : "false");
        auto number = [](long long n) { return n >= 0 ? std::to_string(n) : std::string("null"); };
        out += ", \"rows_read\": " + number(rowsRead) + ", \"rows_removed\": " + number(rowsRemoved) +
               ", \"rows_written\": " + number(rowsWritten);
        char secondsText[32];
        std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
        out += ", \"seconds\": " + std::string(secondsText);
        if (!ok) {
            out += ", \"error\": " + jsonString(error);
            // The copy of an Access file stays, whatever happened after it was written.
            std::string said = kept.empty() && copiedInto.empty() ? cli_text::nothingChanged() : kept;
            if (!copiedInto.empty())
                said = cli_text::copyKept(copiedInto) + (said.empty() ? "" : " " + said);
            out += ", \"kept\": " + jsonString(said);
        }
        std::cout << out << "}" << std::endl;
    }

    const Options& m_options;
    std::chrono::steady_clock::time_point m_started;
};

// The listed table of that name as the database compares names; empty when none.
std::string listedAs(const std::vector<std::string>& tables, const std::string& name) {
    const auto found = std::find_if(tables.begin(), tables.end(),
                                    [&](const std::string& t) { return dedupe::sameTableName(t, name); });
    return found == tables.end() ? std::string() : *found;
}

int run(const Options& options) {
    Outcome outcome(options);
    const std::string password = readPassword(options.database);
    std::string database = options.database;

    // A real Access file is only ever read: its tables go into a new SQLite database, and the run (if any)
    // works on that copy.
    const bool accessFile = accessdb::isAccessFile(database);
    if (accessFile && options.sqliteCopy.empty())
        return outcome.fail(cli_text::accessNeedsCopy(database));
    if (!accessFile && !options.sqliteCopy.empty())
        return outcome.fail(cli_text::notAnAccessFile(database));
    if (accessFile) {
        try {
            const accessdb::CopyResult copied = accessdb::copyAccessToSqlite(
                database, options.sqliteCopy,
                [&](const accessdb::CopyProgress& p) {
                    if (!options.quiet && p.rowsDone == 0)
                        outcome.note(cli_text::copyingTable(p.table, p.tableIndex + 1, p.tableCount));
                    return true;
                },
                password);
            long long rows = 0;
            for (const auto& t : copied.tables)
                rows += t.rows;
            outcome.note(cli_text::copied(copied.tables.size(), rows, options.sqliteCopy));
        } catch (const db::Error& error) {
            return outcome.fail(error.description());
        }
        outcome.copiedInto = options.sqliteCopy;
        database = options.sqliteCopy;
        if (options.copyOnly())
            return outcome.succeed(cli_text::copied(0, -1, database));
    }
    const std::string connectionString = db::BuildConnectionString(database, password);

    std::vector<std::string> tables;
    std::vector<std::string> fields;
    std::string table; // as the file stores its name
    try {
        auto found = db::GetAccessTableNames(database, connectionString);
        if (!found)
            return outcome.fail(cli_text::noDatabaseFile(database));
        tables = std::move(*found);
        table = listedAs(tables, options.table);
        if (table.empty()) {
            if (auto module = db::VirtualTableModule(connectionString, options.table))
                return outcome.fail(cli_text::virtualTable(options.table, *module));
            return outcome.fail(
                cli_text::tableNotFound(options.table, database, joinNames(tables, 20), tables.empty()));
        }
        fields = fieldNames(connectionString, table);
    } catch (const db::Error& error) {
        return outcome.fail(error.description());
    }
    for (std::size_t i = 0; i < options.fields.size(); ++i) {
        const std::string& name = options.fields[i];
        if (std::find(fields.begin(), fields.end(), name) == fields.end())
            return outcome.fail(cli_text::fieldNotFound(name, table, database, joinNames(fields, 40)));
        if (std::find(options.fields.begin(), options.fields.begin() + static_cast<long>(i), name) !=
            options.fields.begin() + static_cast<long>(i))
            return outcome.fail(cli_text::fieldTwice(name));
    }

    dedupe::EngineInputs inputs = dedupe::makeEngineInputs(connectionString, table, fields, options.fields);
    inputs.options.keepLast = options.keepLast;
    inputs.options.rules.ignoreCase = options.ignoreCase;
    inputs.options.rules.trim = options.trim;
    inputs.options.removedInto = options.removedInto;

    // Names the engine refuses are refused here, for a dry run too, and said once.
    if (const std::string refusal = dedupe::refusalFor(inputs, options.output); !refusal.empty())
        return outcome.fail(refusal);
    // An existing table is replaced only when asked: without --replace nothing changes, and a dry run
    // answers so as well.
    std::string existing;
    for (const std::string& name : {options.output, options.removedInto})
        if (!name.empty() && existing.empty())
            existing = listedAs(tables, name);
    if (!existing.empty() && !options.replace)
        return outcome.fail(cli_text::existsWithoutReplace(existing));

    if (options.dryRun) {
        try {
            const dedupe::DryRunResult counted = dedupe::countRepeats(inputs);
            outcome.rowsRead = counted.rowsRead;
            outcome.rowsRemoved = counted.rowsRemoved;
            outcome.rowsWritten = counted.rowsWritten();
        } catch (const db::Error& error) {
            return outcome.fail(error.description());
        }
        outcome.outputExists = !existing.empty();
        if (!existing.empty())
            outcome.note(cli_text::wouldReplace(existing));
        return outcome.succeed(
            cli_text::wouldDo(outcome.rowsRead, outcome.rowsRemoved, outcome.rowsWritten, options.output));
    }
    CliHost host(options.output, tables, options.quiet || options.json, options.json);
    const dedupe::RunResult result = dedupe::CreateTableWithoutDuplicates(inputs, host);
    host.setProgressValue(0); // closes a progress bar left open
    outcome.rowsRead = result.rowsRead;
    outcome.rowsRemoved = result.rowsRemoved;
    if (!result.started) // the host has printed the refusal, unless for --json
        return options.json ? outcome.fail(result.refusal) : kExitFailed;
    // The report above said what failed and what was kept; the summary is only for a complete table.
    if (!result.complete())
        return outcome.fail(options.json && !result.failure.empty() ? result.failure : cli_text::notWritten(options.output),
                            result.kept);
    outcome.rowsWritten = result.rowsWritten;
    return outcome.succeed(cli_text::summary(result.rowsRead, result.rowsRemoved, result.rowsWritten, options.output));
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseArguments(argc, argv);
    } catch (const UsageError& error) {
        // With --json, standard output holds one JSON object whatever happens.
        for (int i = 1; i < argc; ++i)
            if (std::string(argv[i]) == "--json")
                std::cout << "{\"ok\": false, \"error\": " << cli_text::jsonString(error.message) << "}" << std::endl;
        std::cerr << "rowsifter-cli: " << error.message << "\n" << cli_text::kTryHelp << "\n";
        return kExitUsage;
    }
    if (options.help) {
        std::cout << cli_text::kHelp;
        return kExitOk;
    }
    if (options.version) {
        std::cout << cli_text::version() << "\n";
        return kExitOk;
    }
    try {
        return run(options);
    } catch (const std::exception& error) {
        if (options.json)
            std::cout << "{\"ok\": false, \"error\": " << cli_text::jsonString(error.what()) << "}" << std::endl;
        else
            std::cerr << "rowsifter-cli: " << error.what() << "\n";
        return kExitFailed;
    }
}

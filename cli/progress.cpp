// The engine's host on a terminal (see progress.h).
#include "cli/progress.h"
#include "cli/messages.h"
#include "core/error_report.h"
#include "dedupe/messages.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace cli {

namespace {

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
    CliHost(std::string output, std::vector<std::string> tables, bool exactly, bool quiet, bool json)
        : m_output(std::move(output)), m_tables(std::move(tables)), m_exactly(exactly),
          m_terminal(isatty(STDERR_FILENO)), m_quiet(quiet), m_json(json), m_reporter(json) {}

    std::string outputName() const override { return m_output; }
    // As the database compares names: in a file, a listed table named like the output in other letter case
    // is the table the output replaces; a server tells them apart.
    bool isTableListed(const std::string& name) const override {
        return std::any_of(m_tables.begin(), m_tables.end(), [&](const std::string& t) {
            return m_exactly ? t == name : dedupe::sameTableName(t, name);
        });
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
            std::cerr << text::rowsScanned(row, m_maximum) << "\n";
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
    bool m_exactly;
    bool m_terminal;
    bool m_quiet;
    bool m_json;
    bool m_barOpen = false;
    long long m_maximum = 0;
    long long m_lastShown = -1;
    std::chrono::steady_clock::time_point m_shownAt{};
    PrintingReporter m_reporter;
};

} // namespace

std::unique_ptr<dedupe::EngineHost> makeTerminalHost(std::string output, std::vector<std::string> tables, bool exactly,
                                                     bool quiet, bool json) {
    return std::make_unique<CliHost>(std::move(output), std::move(tables), exactly, quiet, json);
}

} // namespace cli

#pragma once
// The output page as the engine's window. The engine reports every row; the screen is updated at its own
// pace instead (at most once a frame), and events are let through by time rather than once per row, so a
// run of a million rows is not spent drawing numbers nobody can read. Whatever the engine reported last
// is on the screen before anything else it asks for (restoring the title, the result, "Done.").
#include "dedupe/engine_host.h"

#include <QElapsedTimer>
#include <chrono>
#include <optional>
#include <string>

namespace wizard {

class Form4;

class Form4Host : public dedupe::EngineHost {
public:
    // `frame`: the least time between two screen updates.
    explicit Form4Host(Form4& page, std::chrono::milliseconds frame = std::chrono::milliseconds(16));

    std::string outputName() const override;
    bool isTableListed(const std::string& name) const override;
    void setProgressMaximum(double maximum) override;
    void setProgressValue(double value) override;
    void setTitle(const std::string& text) override;
    void setPointer(int style) override;
    bool isMinimized() const override;
    void restoreNormal() override;
    void bindResult(const db::Recordset& result) override;
    void clearResult() override;
    void messageBox(const std::string& text) override;
    void yield() override;
    core::Reporter& reporter() override;

    // Puts the last reported progress and title on the screen now.
    void flush();

    // Screen updates and event passes made so far (for the measurements).
    long long frames() const { return m_frames; }

private:
    // Error reports show the state of the run as it was when the statement failed.
    class FlushingReporter : public core::Reporter {
    public:
        explicit FlushingReporter(Form4Host& host) : m_host(host) {}
        void report(const std::string& description, const std::string& location, int statement) override;

    private:
        Form4Host& m_host;
    };

    Form4& m_page;
    FlushingReporter m_reporter{*this};
    qint64 m_frameMs;
    QElapsedTimer m_sinceFrame;
    std::optional<int> m_pendingValue;
    std::string m_pendingTitle;
    bool m_titlePending = false;
    long long m_frames = 0;
};

} // namespace wizard

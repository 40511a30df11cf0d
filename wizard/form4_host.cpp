#include "wizard/form4_host.h"

#include "app/desktop_reporter.h"
#include "app/pointer.h"
#include "wizard/catalogue_ui.h"
#include "wizard/form4.h"
#include "wizard/list_utils.h"
#include "wizard/page_steps.h"
#include "wizard/recordset_model.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>
#include <algorithm>
#include <limits>

namespace wizard {

namespace {
int progressNumber(double value) {
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(std::numeric_limits<int>::max())));
}
} // namespace

Form4Host::Form4Host(Form4& page, std::chrono::milliseconds frame) : m_page(page), m_frameMs(frame.count()) {
    m_sinceFrame.start();
}

std::string Form4Host::outputName() const {
    return m_page.Text1->text().toStdString();
}

bool Form4Host::isTableListed(const std::string& name) const {
    return IsTableListed(name);
}

void Form4Host::setProgressMaximum(double maximum) {
    flush();
    // A bar whose maximum equals its minimum shows Qt's endless "busy" animation; an empty table keeps a
    // still, empty bar instead.
    m_page.ProgressBar1->setMaximum(std::max(progressNumber(maximum), 1));
}

void Form4Host::setProgressValue(double value) {
    m_pendingValue = progressNumber(value);
}

void Form4Host::setTitle(const std::string& text) {
    // The per-row titles wait for the next frame; any other title (the idle one at the end) is shown at
    // once, after the last row's.
    if (text.rfind("Processing ", 0) == 0) {
        m_pendingTitle.assign(text);
        m_titlePending = true;
        return;
    }
    flush();
    m_page.setWindowTitle(QString::fromStdString(text));
}

void Form4Host::setPointer(int style) {
    flush();
    app::setPointer(&m_page, style);
}

bool Form4Host::isMinimized() const {
    return m_page.isMinimized();
}

void Form4Host::restoreNormal() {
    flush();
    m_page.setWindowState(m_page.windowState() & ~Qt::WindowMinimized);
    m_page.show();
}

void Form4Host::bindResult(const db::Recordset& result) {
    flush();
    bindGrid(m_page.DataGrid1, result);
}

void Form4Host::clearResult() {
    unbindGrid(m_page.DataGrid1);
}

void Form4Host::messageBox(const std::string& text) {
    flush();
    showMessage(text);
}

void Form4Host::yield() {
    if (m_sinceFrame.elapsed() < m_frameMs)
        return;
    flush();
    processPendingEvents();
    ++m_frames;
    m_sinceFrame.restart();
}

core::Reporter& Form4Host::reporter() {
    return m_reporter;
}

void Form4Host::FlushingReporter::report(const std::string& description, const std::string& location, int statement) {
    m_host.flush();
    app::reporter().report(description, location, statement);
}

void Form4Host::flush() {
    if (m_pendingValue) {
        m_page.ProgressBar1->setValue(std::min(*m_pendingValue, m_page.ProgressBar1->maximum()));
        m_pendingValue.reset();
    }
    if (m_titlePending) {
        m_page.setWindowTitle(QString::fromStdString(m_pendingTitle));
        m_titlePending = false;
    }
}

} // namespace wizard

// What a run prints (see outcome.h).
#include "cli/outcome.h"
#include "cli/messages.h"
#include "db/server_address.h"
#include <cstdio>
#include <iostream>

namespace cli {

Outcome::Outcome(const Options& options) : m_options(options), m_started(std::chrono::steady_clock::now()) {}

int Outcome::fail(const std::string& message, const std::string& kept) {
    if (m_options.json)
        printJson(false, message, kept);
    else
        std::cerr << "rowsifter-cli: " << message << "\n";
    return kExitFailed;
}

void Outcome::note(const std::string& message) const {
    if (!m_options.json)
        std::cerr << "rowsifter-cli: " << message << "\n";
}

int Outcome::succeed(const std::string& summary) {
    if (m_options.json)
        printJson(true, {}, {});
    else
        std::cout << summary << std::endl;
    return kExitOk;
}

void Outcome::printJson(bool ok, const std::string& error, const std::string& kept) const {
    using text::jsonString;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    std::string fields;
    for (const std::string& f : m_options.fields)
        fields += (fields.empty() ? "" : ", ") + jsonString(f);
    std::string out = "{\"ok\": " + std::string(ok ? "true" : "false");
    out += ", \"database\": " + jsonString(db::shownDataSource(m_options.database));
    if (!copiedInto.empty())
        out += ", \"sqlite_copy\": " + jsonString(copiedInto);
    out += ", \"table\": " + jsonString(m_options.table) + ", \"fields\": [" + fields + "]";
    out += ", \"output\": " + jsonString(m_options.output);
    if (!m_options.removedInto.empty())
        out += ", \"removed_into\": " + jsonString(m_options.removedInto);
    if (!m_options.groupsInto.empty())
        out += ", \"groups_into\": " + jsonString(m_options.groupsInto);
    out += ", \"dry_run\": " + std::string(m_options.dryRun ? "true" : "false");
    if (m_options.dryRun)
        out += ", \"output_exists\": " + std::string(outputExists ? "true" : "false");
    auto number = [](long long n) { return n >= 0 ? std::to_string(n) : std::string("null"); };
    out += ", \"rows_read\": " + number(rowsRead) + ", \"rows_removed\": " + number(rowsRemoved) +
           ", \"rows_written\": " + number(rowsWritten);
    out += ", \"groups\": " + number(groups) + ", \"largest_group\": " + number(largestGroup);
    if (m_options.dryRun && !m_options.groupsInto.empty()) {
        std::string list;
        for (const auto& group : largestGroups)
            list += std::string(list.empty() ? "" : ", ") + "{\"values\": " + jsonString(group.values) +
                    ", \"rows\": " + std::to_string(group.rows) + "}";
        out += ", \"largest_groups\": [" + list + "]";
    }
    char secondsText[32];
    std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
    out += ", \"seconds\": " + std::string(secondsText);
    if (!ok) {
        out += ", \"error\": " + jsonString(error);
        // The copy of an Access file stays, whatever happened after it was written.
        std::string said = kept.empty() && copiedInto.empty() ? text::nothingChanged() : kept;
        if (!copiedInto.empty())
            said = text::copyKept(copiedInto) + (said.empty() ? "" : " " + said);
        out += ", \"kept\": " + jsonString(said);
    }
    std::cout << out << "}" << std::endl;
}

} // namespace cli

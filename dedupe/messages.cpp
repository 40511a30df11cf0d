#include "dedupe/messages.h"

#include "db/catalogue.h"
#include <cstdio>

namespace dedupe::text {

std::string outputIsChosenTable(const std::string& output, const std::string& table) {
    return "The new table cannot be named \"" + output + "\": that is the name of the chosen table \"" + table +
           "\", which would be dropped before it is copied. Please choose another name for the new table.";
}

std::string outputIsWorkTable(const std::string& output) {
    return "The new table cannot be named \"" + output +
           "\": Rowsifter uses a work table of that name while it runs. Please choose another name for the new "
           "table.";
}

std::string internalName(const std::string& name) {
    return "A table cannot be named \"" + name + "\": names beginning with \"" + db::kInternalTablePrefix +
           "\" are Rowsifter's own, and such a table would never be listed. Please choose another name.";
}

std::string chosenIsWorkTable(const std::string& table) {
    return "The table \"" + table +
           "\" is Rowsifter's work table, left behind by a run that was cut short, and is replaced at the start of "
           "every run. Rename it to remove duplicates from it.";
}

std::string removedTableNameTaken(const std::string& removed) {
    return "The removed rows cannot be written into a table named \"" + removed +
           "\": that name is the chosen table's, the new table's or a work table's. Please choose another name.";
}

std::string cannotTellRowsApart(const std::string& identifier, const std::string& table) {
    return "Field '" + identifier + "' of table '" + table + "' cannot tell the rows apart, so no rows were removed.";
}

std::string notCreated(const std::string& what) {
    return "The " + what + " could not be created.";
}

namespace {
std::string megabytes(long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}
} // namespace

std::string notEnoughRoom(const std::string& table, long long needed, const std::string& tempFolder,
                          long long tempAvailable, const std::string& fileFolder, long long fileAvailable) {
    return "There is not enough free space to copy the table '" + table + "' for the work: the copy needs at least " +
           megabytes(needed) + ", and the temporary folder '" + tempFolder + "' has " + megabytes(tempAvailable) +
           " free, the database's own folder '" + fileFolder + "' " + megabytes(fileAvailable) +
           ". Free some space in either of them.";
}

std::string keptAfterFailure(const std::string& table, const std::string& output, bool outputExisted,
                             const std::string& droppedLeftover) {
    std::string kept = droppedLeftover.empty() ? "Nothing was changed: the table '" + table + "' is as it was"
                                               : "The table '" + table + "' is as it was";
    kept += outputExisted ? ", and so is the table '" + output + "'." : ", and no table '" + output + "' was written.";
    if (!droppedLeftover.empty())
        kept += " The work table '" + droppedLeftover + "' that an earlier run had left in the file was removed.";
    return kept;
}

} // namespace dedupe::text

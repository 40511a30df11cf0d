#include "wizard/messages.h"

namespace wizard::text {

std::string offerAccessCopy(const std::string& accessName, const std::string& copyName, const std::string& folder,
                            bool besideTheFile) {
    return "'" + accessName +
           "' is a Microsoft Access database. Rowsifter can read it but cannot write into it on this system. Copy "
           "its tables into a new SQLite database '" +
           copyName + "' " +
           (besideTheFile ? std::string("in the same folder")
                          : "in your documents folder '" + folder + "' (the Access file's folder cannot be written)") +
           " and continue with the copy?";
}

std::string offerEarlierCopy(const std::string& accessName, const std::string& copyPath) {
    return "A SQLite copy of '" + accessName + "' was made earlier: '" + copyPath +
           "'. Continue with that copy (Yes), make a new copy (No), or leave it for now (Cancel)?";
}

std::string readingAccessFile(const std::string& accessName) {
    return "Reading '" + accessName + "' (Esc cancels)";
}

std::string copyingTable(const std::string& table, int number, int count) {
    return "Copying table '" + table + "' (" + std::to_string(number) + " of " + std::to_string(count) +
           ", Esc cancels)";
}

} // namespace wizard::text

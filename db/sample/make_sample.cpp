// Writes the sample database from its SQL text: rowsifter-make-sample SQL-FILE OUTPUT-FILE
// The output is replaced as a whole: written beside it first, then renamed over it.
#include "db/error.h"
#include "db/internal.h"
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: rowsifter-make-sample SQL-FILE OUTPUT-FILE\n";
        return 2;
    }
    const std::string sqlPath = argv[1];
    const std::string outPath = argv[2];
    std::ifstream in(sqlPath, std::ios::binary);
    if (!in) {
        std::cerr << "rowsifter-make-sample: cannot read '" << sqlPath << "'\n";
        return 1;
    }
    std::ostringstream script;
    script << in.rdbuf();

    const std::string temp = outPath + ".new";
    std::remove(temp.c_str());
    try {
        db::internal::createDatabase(temp, "", script.str());
    } catch (const db::Error& e) {
        std::remove(temp.c_str());
        std::cerr << "rowsifter-make-sample: " << e.description() << "\n";
        return 1;
    }
    if (std::rename(temp.c_str(), outPath.c_str()) != 0) {
        std::remove(temp.c_str());
        std::cerr << "rowsifter-make-sample: cannot write '" << outPath << "'\n";
        return 1;
    }
    return 0;
}

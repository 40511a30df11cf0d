// libFuzzer target over the Access reader: each input is written to a file, opened, and every table's
// definition and rows are read. Built and run by hand (tests/access/fuzz/run_fuzzer.sh), never by CI.
// libmdb's own hangs and unbounded growth show up here as timeouts and out-of-memory reports: in the
// program they are held in check by the helper process, so only faults in our reader count as findings.
#include "access/reader.h"
#include "db/error.h"
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/reader-fuzz-" + std::to_string(::getpid()) + ".mdb";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        const accessdb::Reader reader(path);
        for (const std::string& name : reader.tableNames()) {
            try {
                reader.table(name);
                reader.readRows(name, [](const accessdb::Row&) { return true; });
            } catch (const db::Error&) {
            }
        }
    } catch (const db::Error&) {
    }
    return 0;
}

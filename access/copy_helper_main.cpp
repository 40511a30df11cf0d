// rowsifter-access-copy: reads an Access file through libmdb and writes its SQLite copy, for the program
// that starts it (never by hand). libmdb may hang, grow or crash on a damaged file; here that ends this
// process only, which the program notices and reports.
//
//   rowsifter-access-copy ACCESS-FILE COPY-FILE MEMORY-BYTES PARENT-PID
//   standard input: the password; descriptor 3: progress lines (access/copy_protocol.h)
#include "access/copy_protocol.h"
#include "access/copy_writer.h"
#include "db/error.h"
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace accessdb;

bool say(const std::string& line) {
    const std::string text = line + "\n";
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(protocol::kProgressFd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string readPassword() {
    std::string password;
    char buffer[4096];
    for (ssize_t n; (n = ::read(STDIN_FILENO, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        password.append(buffer, static_cast<std::size_t>(n));
    }
    return password;
}

// The address sanitizer reserves terabytes of address space for its shadow memory before main runs, so a
// limit on the address space would stop every allocation of a sanitized build: there the limit is left out.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSpaceLimited = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSpaceLimited = false;
#else
constexpr bool kAddressSpaceLimited = true;
#endif
#else
constexpr bool kAddressSpaceLimited = true;
#endif

} // namespace

int main(int argc, char** argv) {
    if (argc != 5 || ::fcntl(protocol::kProgressFd, F_GETFD) < 0) {
        std::fprintf(stderr, "rowsifter-access-copy is part of Rowsifter and is started by it, not by hand.\n");
        return 2;
    }
    // Nothing outlives the program that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (std::to_string(::getppid()) != argv[4])
        return 3;
    const rlim_t memory = static_cast<rlim_t>(std::strtoll(argv[3], nullptr, 10));
    const rlimit addressSpace{memory, memory};
    const rlimit noCore{0, 0};
    if (memory > 0 && kAddressSpaceLimited)
        ::setrlimit(RLIMIT_AS, &addressSpace);
    ::setrlimit(RLIMIT_CORE, &noCore);

    const std::string password = readPassword();
    try {
        const CopyResult result = writeAccessCopy(argv[1], argv[2], password, [](const CopyProgress& p) {
            if (p.rowsDone == 0)
                return say("table " + std::to_string(p.tableIndex) + " " + std::to_string(p.tableCount) + " " +
                           std::to_string(p.tableRows) + " " + protocol::escape(p.table));
            return say("rows " + std::to_string(p.rowsDone));
        });
        if (result.cancelled)
            return 4;
        // The tables in order, each after its rows; the program pairs them with the tables it was told of.
        for (const CopiedTable& table : result.tables)
            if (!say("copied " + std::to_string(table.rows)))
                return 4;
        return say("done") ? 0 : 4;
    } catch (const db::Error& e) {
        say("failed " + std::to_string(e.number()) + " " + protocol::escape(e.description()));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "bad_alloc\n");
    }
    return 1;
}

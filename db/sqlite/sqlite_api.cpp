#include "db/sqlite/sqlite_api.h"
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <optional>

namespace db::sqlite {

namespace {

std::atomic<bool> g_pretendMissing{false};

struct Loaded {
    std::optional<Api> api;
    std::string error;
};

template <class F> bool lookUp(void* handle, const char* symbol, F& target, std::string& error) {
    void* address = ::dlsym(handle, symbol);
    if (!address) {
        error = std::string("it has no ") + symbol;
        return false;
    }
    static_assert(sizeof target == sizeof address);
    std::memcpy(&target, &address, sizeof target);
    return true;
}

// The system's SQLite goes into a link-map namespace of its own: loaded beside SQLCipher in the default
// one, its calls between its own public functions would bind to SQLCipher's symbols of the same names.
Loaded load() {
    Loaded out;
    void* handle = ::dlmopen(LM_ID_NEWLM, kSystemLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        out.error = why ? why : "it cannot be loaded";
        return out;
    }
    Api api;
    bool ok = true;
#define ROWSIFTER_SQLITE_LOOK_UP(member, function) ok = ok && lookUp(handle, #function, api.member, out.error);
    ROWSIFTER_SQLITE_ENTRY_POINTS(ROWSIFTER_SQLITE_LOOK_UP)
#undef ROWSIFTER_SQLITE_LOOK_UP
    if (!ok)
        return out; // the handle stays: unloading a namespace is not worth the risk for a failed look-up
    out.api = api;
    return out;
}

const Loaded& loaded() {
    static const Loaded instance = load();
    return instance;
}

} // namespace

const Api& cipherLibrary() {
    static const Api api = [] {
        Api a;
#define ROWSIFTER_SQLITE_LINKED(member, function) a.member = &::function;
        ROWSIFTER_SQLITE_ENTRY_POINTS(ROWSIFTER_SQLITE_LINKED)
#undef ROWSIFTER_SQLITE_LINKED
        a.key = &::sqlite3_key;
        return a;
    }();
    return api;
}

const Api* loadedSystemLibrary() {
    const Loaded& l = loaded();
    return l.api ? &*l.api : nullptr;
}

const Api* systemLibrary() {
    return g_pretendMissing ? nullptr : loadedSystemLibrary();
}

std::string systemLibraryError() {
    if (g_pretendMissing)
        return "loading it was turned off";
    return loaded().error;
}

const Api& plainFileLibrary() {
    const Api* system = systemLibrary();
    return system ? *system : cipherLibrary();
}

void pretendSystemLibraryMissing(bool missing) {
    g_pretendMissing = missing;
}

} // namespace db::sqlite

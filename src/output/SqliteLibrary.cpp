#include "output/SqliteLibrary.h"

#include <dlfcn.h>
#include <string>

namespace vok {

namespace {

// The library's name on the system: its interface has been version 3 since 2004.
constexpr const char* kLibraryName = "libsqlite3.so.0";

struct LoadedLibrary {
    SqliteLibrary functions;
    std::string error; // empty when every function was found
};

template <typename Function>
bool Find(void* library, const char* name, Function& function, std::string& error) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr) error = std::string(kLibraryName) + " has no " + name;
    return function != nullptr;
}

LoadedLibrary Load() {
    LoadedLibrary loaded;
    // Kept loaded to the process's end: connections may close as late as that.
    void* library = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        loaded.error = why ? why : std::string(kLibraryName) + " cannot be loaded";
        return loaded;
    }
    SqliteLibrary& f = loaded.functions;
    std::string& e = loaded.error;
    Find(library, "sqlite3_open_v2", f.open_v2, e) &&
        Find(library, "sqlite3_close_v2", f.close_v2, e) &&
        Find(library, "sqlite3_extended_result_codes", f.extended_result_codes, e) &&
        Find(library, "sqlite3_busy_timeout", f.busy_timeout, e) &&
        Find(library, "sqlite3_exec", f.exec, e) &&
        Find(library, "sqlite3_prepare_v2", f.prepare_v2, e) &&
        Find(library, "sqlite3_step", f.step, e) && Find(library, "sqlite3_reset", f.reset, e) &&
        Find(library, "sqlite3_finalize", f.finalize, e) &&
        Find(library, "sqlite3_bind_text", f.bind_text, e) &&
        Find(library, "sqlite3_bind_int64", f.bind_int64, e) &&
        Find(library, "sqlite3_bind_double", f.bind_double, e) &&
        Find(library, "sqlite3_bind_null", f.bind_null, e) &&
        Find(library, "sqlite3_column_text", f.column_text, e) &&
        Find(library, "sqlite3_column_int64", f.column_int64, e) &&
        Find(library, "sqlite3_errmsg", f.errmsg, e) &&
        Find(library, "sqlite3_system_errno", f.system_errno, e);
    return loaded;
}

} // namespace

Expected<const SqliteLibrary*> Sqlite() {
    // Loaded once, by whichever thread asks first; never changed after.
    static const LoadedLibrary loaded = Load();
    if (!loaded.error.empty()) return Status::Failed(loaded.error);
    return &loaded.functions;
}

} // namespace vok

// A preloaded library that makes every SQL statement the tool sends take at least
// $ZR_STATEMENT_DELAY_MS milliseconds longer, as on a loaded server. Tests that must act in the
// middle of the inserts use it: without it a small folder's rows are in before a test can look.
//
// It takes itself out of the environment at load, so that the servers the run starts are not
// affected.
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <sql.h>
#include <thread>

namespace {

// A plain value: a constructor function may run before the dynamic initialisation of globals.
long g_delayMs = 0;

__attribute__((constructor)) void readSettings()
{
    if (const char *delay = std::getenv("ZR_STATEMENT_DELAY_MS")) {
        g_delayMs = std::strtol(delay, nullptr, 10);
    }
    ::unsetenv("LD_PRELOAD");
}

void delay()
{
    if (g_delayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(g_delayMs));
    }
}

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

SQLRETURN SQLExecDirect(SQLHSTMT statement, SQLCHAR *text, SQLINTEGER length)
{
    static const auto real = next<SQLRETURN (*)(SQLHSTMT, SQLCHAR *, SQLINTEGER)>("SQLExecDirect");
    delay();
    return real(statement, text, length);
}

SQLRETURN SQLExecute(SQLHSTMT statement)
{
    static const auto real = next<SQLRETURN (*)(SQLHSTMT)>("SQLExecute");
    delay();
    return real(statement);
}
}

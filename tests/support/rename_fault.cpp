// A preloaded library that plays a crash or a stubborn file system in the middle of a run's
// moves. Only renames whose source path holds $ZR_RENAME_MATCH count:
//
//   ZR_KILL_AT_RENAME=N   the process kills itself with SIGKILL just before its Nth rename
//   ZR_FAIL_RENAMES=1     every rename fails with EBUSY, as on a file held by another program
//
// It takes itself out of the environment at load, so that the servers the run starts are not
// affected.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// Plain values: a constructor function may run before the dynamic initialisation of globals.
const char *g_match = nullptr;
long g_killAt = 0;
bool g_fail = false;
long g_count = 0;

__attribute__((constructor)) void readSettings()
{
    if (const char *match = std::getenv("ZR_RENAME_MATCH"); match && *match) {
        g_match = ::strdup(match); // the environment entry goes below
    }
    if (const char *at = std::getenv("ZR_KILL_AT_RENAME")) {
        g_killAt = std::strtol(at, nullptr, 10);
    }
    g_fail = std::getenv("ZR_FAIL_RENAMES") != nullptr;
    ::unsetenv("LD_PRELOAD");
}

// Whether this rename goes ahead; kills the process when its turn has come.
bool proceed(const char *from)
{
    if (g_match == nullptr || from == nullptr || std::strstr(from, g_match) == nullptr) {
        return true;
    }
    if (g_killAt > 0 && ++g_count == g_killAt) {
        ::kill(::getpid(), SIGKILL);
    }
    if (g_fail) {
        errno = EBUSY;
        return false;
    }
    return true;
}

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int rename(const char *from, const char *to)
{
    static const auto real = next<int (*)(const char *, const char *)>("rename");
    return proceed(from) ? real(from, to) : -1;
}

int renameat(int fromFd, const char *from, int toFd, const char *to)
{
    static const auto real = next<int (*)(int, const char *, int, const char *)>("renameat");
    return proceed(from) ? real(fromFd, from, toFd, to) : -1;
}

int renameat2(int fromFd, const char *from, int toFd, const char *to, unsigned int flags)
{
    static const auto real
        = next<int (*)(int, const char *, int, const char *, unsigned int)>("renameat2");
    return proceed(from) ? real(fromFd, from, toFd, to, flags) : -1;
}
}

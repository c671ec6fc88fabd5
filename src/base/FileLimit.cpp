#include "FileLimit.h"

#include <algorithm>
#include <sys/resource.h>

namespace FileLimit {

long openFiles()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    return limit.rlim_cur == RLIM_INFINITY ? 1L << 20 : long(limit.rlim_cur);
}

long raiseOpenFiles()
{
    constexpr rlim_t kWanted = 65536;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kWanted) {
        limit.rlim_cur = std::min(kWanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    return openFiles();
}

} // namespace FileLimit

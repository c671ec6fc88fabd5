// A file layer that fails on purpose: loaded before the C library (LD_PRELOAD), it lets the
// n-th call of one file operation fail with a chosen errno, so that tests can walk a save
// through every point where a disk can let it down. Only writing opens, writes, flushes to the
// disk, renames and links of files other than the standard streams count.
//
// Armed by the environment, TESSARIN_FAULT="op:n:errno" (for child processes), or in the process
// through tessarin_faultfs_arm(). op is open, write, fsync, rename, link, read, create or stall; an
// n of -1 fails every call.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

enum Op
{
    OpOpen,
    OpWrite,
    OpFsync,
    OpRename,
    OpLink,
    OpRead,
    OpCreate, // opens that make a new file of their own (temporary files): O_TMPFILE, O_EXCL
    OpStall,  // a read that hangs for a long time, as on a stalled network drive
    OpCount
};

static_assert(OpStall + 1 == OpCount);
const char* const kNames[OpCount] = {"open", "write", "fsync",  "rename",
                                     "link", "read",  "create", "stall"};

std::atomic<int> g_op{-1};
std::atomic<int> g_failAt{0};
std::atomic<int> g_errno{0};
std::atomic<int> g_calls[OpCount];
std::atomic<bool> g_fromEnvironment{false};

int opOf(const char* name)
{
    for (int i = 0; i < OpCount; ++i)
        if (std::strcmp(name, kNames[i]) == 0)
            return i;
    return -1;
}

void armFromEnvironment()
{
    if (g_fromEnvironment.exchange(true))
        return;
    const char* plan = std::getenv("TESSARIN_FAULT");
    if (!plan)
        return;
    char name[16] = {};
    int at = 0, code = 0;
    if (std::sscanf(plan, "%15[a-z]:%d:%d", name, &at, &code) == 3) {
        g_errno = code;
        g_failAt = at;
        g_op = opOf(name);
    }
}

// Whether this call of the operation fails (and errno is set).
bool fails(Op op)
{
    armFromEnvironment();
    const int n = ++g_calls[op];
    // An n of -1 fails every call of the operation.
    if (g_op.load() != op || (n != g_failAt.load() && g_failAt.load() != -1))
        return false;
    errno = g_errno.load();
    return true;
}

template <class F>
F real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool writing(int flags)
{
    return (flags & (O_WRONLY | O_RDWR | O_CREAT)) != 0;
}

bool creatingOwn(int flags)
{
    return (flags & O_TMPFILE) == O_TMPFILE || (flags & O_EXCL) != 0;
}

bool openFails(int flags)
{
    armFromEnvironment();
    if (creatingOwn(flags) && g_op.load() == OpCreate && fails(OpCreate))
        return true;
    return writing(flags) && fails(OpOpen);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void tessarin_faultfs_arm(const char* op, int at, int code)
{
    g_fromEnvironment = true;
    for (auto& calls : g_calls)
        calls = 0;
    g_errno = code;
    g_failAt = at;
    g_op = op ? opOf(op) : -1;
}

__attribute__((visibility("default"))) int open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    if (openFails(flags))
        return -1;
    static const auto next = real<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

// The same call under its large-file name.
__attribute__((visibility("default"), alias("open"))) int open64(const char* path, int flags, ...);

__attribute__((visibility("default"))) int openat(int dir, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    if (openFails(flags))
        return -1;
    static const auto next = real<int (*)(int, const char*, int, ...)>("openat");
    return next(dir, path, flags, mode);
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void* data, size_t size)
{
    if (fd > 2 && fails(OpWrite))
        return -1;
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    return next(fd, data, size);
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* data, size_t size)
{
    armFromEnvironment();
    if (fd > 2 && g_op.load() == OpRead && fails(OpRead))
        return -1;
    if (fd > 2 && g_op.load() == OpStall && fails(OpStall))
        ::sleep(3); // then reads as usual
    static const auto next = real<ssize_t (*)(int, void*, size_t)>("read");
    return next(fd, data, size);
}

__attribute__((visibility("default"))) int fsync(int fd)
{
    if (fails(OpFsync))
        return -1;
    static const auto next = real<int (*)(int)>("fsync");
    return next(fd);
}

__attribute__((visibility("default"))) int fdatasync(int fd)
{
    if (fails(OpFsync))
        return -1;
    static const auto next = real<int (*)(int)>("fdatasync");
    return next(fd);
}

__attribute__((visibility("default"))) int rename(const char* from, const char* to)
{
    if (fails(OpRename))
        return -1;
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    return next(from, to);
}

__attribute__((visibility("default"))) int renameat(int fromDir, const char* from, int toDir,
                                                    const char* to)
{
    if (fails(OpRename))
        return -1;
    static const auto next = real<int (*)(int, const char*, int, const char*)>("renameat");
    return next(fromDir, from, toDir, to);
}

__attribute__((visibility("default"))) int renameat2(int fromDir, const char* from, int toDir,
                                                     const char* to, unsigned int flags)
{
    if (fails(OpRename))
        return -1;
    static const auto next =
        real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    return next(fromDir, from, toDir, to, flags);
}

__attribute__((visibility("default"))) int linkat(int fromDir, const char* from, int toDir,
                                                  const char* to, int flags)
{
    if (fails(OpLink))
        return -1;
    static const auto next = real<int (*)(int, const char*, int, const char*, int)>("linkat");
    return next(fromDir, from, toDir, to, flags);
}

} // extern "C"

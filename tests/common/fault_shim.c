/* Faults of the machine for the end-to-end tests, loaded into a program with
 * LD_PRELOAD: a chosen read, write, fsync, lseek, rename, linkat or unlink
 * fails with a chosen errno, an open with O_TMPFILE is refused (as on a file
 * system without nameless files), or the call stops the program until a
 * signal ends it.
 *
 * TK_FAULTS holds rules separated by ';', each "call:match:skip:action":
 *   call    read write fsync lseek rename linkat unlink tmpfile
 *   match   a part of the file's path ('*': any file); for rename and linkat
 *           the new name, for tmpfile the directory
 *   skip    how many matching calls pass before the rule acts on every later
 *           one; "@n" for read: it acts on reads from byte n of the file on
 *   action  an errno name (EIO ENOSPC EPERM EACCES EOPNOTSUPP), or "pause":
 *           create the file that TK_FAULT_PAUSED names and wait for a signal
 * Example: TK_FAULTS='read:data.txt:1:EIO' fails every read of data.txt
 * after the first.
 *
 * Built without the sanitizers; an ASan program needs
 * ASAN_OPTIONS=verify_asan_link_order=0 to take it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#define MAX_RULES 16

struct rule {
    char call[16];
    char match[512];
    long skip;
    long from_byte; /* -1: count calls instead */
    long seen;
    int error; /* 0: pause */
};

static struct rule rules[MAX_RULES];
static int rule_count = -1;

static int error_named(const char* name) {
    static const struct {
        const char* name;
        int error;
    } names[] = {{"EIO", EIO}, {"ENOSPC", ENOSPC}, {"EPERM", EPERM}, {"EACCES", EACCES}, {"EOPNOTSUPP", EOPNOTSUPP}};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (strcmp(name, names[i].name) == 0) return names[i].error;
    return EIO;
}

static void load_rules(void) {
    if (rule_count >= 0) return;
    rule_count = 0;
    const char* text = getenv("TK_FAULTS");
    if (!text) return;
    char copy[4096];
    snprintf(copy, sizeof copy, "%s", text);
    char* saved = NULL;
    for (char* item = strtok_r(copy, ";", &saved); item && rule_count < MAX_RULES; item = strtok_r(NULL, ";", &saved)) {
        char call[16], match[512], skip[32], action[32];
        if (sscanf(item, "%15[^:]:%511[^:]:%31[^:]:%31s", call, match, skip, action) != 4) continue;
        struct rule* r = &rules[rule_count++];
        snprintf(r->call, sizeof r->call, "%s", call);
        snprintf(r->match, sizeof r->match, "%s", match);
        r->from_byte = skip[0] == '@' ? atol(skip + 1) : -1;
        r->skip = skip[0] == '@' ? 0 : atol(skip);
        r->seen = 0;
        r->error = strcmp(action, "pause") == 0 ? 0 : error_named(action);
    }
}

static int has_rules_for(const char* call) {
    load_rules();
    for (int i = 0; i < rule_count; ++i)
        if (strcmp(rules[i].call, call) == 0) return 1;
    return 0;
}

/* Marks the pause with a file (raw system calls: no interposed call runs) and waits. */
static void pause_here(void) {
    const char* marker = getenv("TK_FAULT_PAUSED");
    if (marker) {
        const long fd = syscall(SYS_openat, AT_FDCWD, marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) syscall(SYS_close, fd);
    }
    for (;;) pause();
}

/* The errno that the call on this path (at this offset, -1 unknown) fails with, or 0. */
static int fault(const char* call, const char* path, long offset) {
    for (int i = 0; i < rule_count; ++i) {
        struct rule* r = &rules[i];
        if (strcmp(r->call, call) != 0) continue;
        if (strcmp(r->match, "*") != 0 && (!path || !strstr(path, r->match))) continue;
        if (r->from_byte >= 0 && offset < r->from_byte) continue;
        if (r->seen++ < r->skip) continue;
        if (r->error == 0) pause_here();
        return r->error;
    }
    return 0;
}

static int fd_fault(const char* call, int fd) {
    if (!has_rules_for(call)) return 0;
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n < 0) return 0;
    path[n] = '\0';
    return fault(call, path, (long)syscall(SYS_lseek, fd, 0L, SEEK_CUR));
}

static int path_fault(const char* call, const char* path) { return has_rules_for(call) ? fault(call, path, -1) : 0; }

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))
#define FAIL_WITH(e)      \
    do {                  \
        errno = (e);      \
        return -1;        \
    } while (0)

ssize_t read(int fd, void* buffer, size_t size) {
    const int e = fd_fault("read", fd);
    if (e) FAIL_WITH(e);
    return REAL(read)(fd, buffer, size);
}

ssize_t write(int fd, const void* buffer, size_t size) {
    const int e = fd_fault("write", fd);
    if (e) FAIL_WITH(e);
    return REAL(write)(fd, buffer, size);
}

int fsync(int fd) {
    const int e = fd_fault("fsync", fd);
    if (e) FAIL_WITH(e);
    return REAL(fsync)(fd);
}

off_t lseek(int fd, off_t offset, int whence) {
    const int e = fd_fault("lseek", fd);
    if (e) FAIL_WITH(e);
    return REAL(lseek)(fd, offset, whence);
}

int rename(const char* from, const char* to) {
    const int e = path_fault("rename", to);
    if (e) FAIL_WITH(e);
    return REAL(rename)(from, to);
}

int linkat(int from_directory, const char* from, int to_directory, const char* to, int flags) {
    const int e = path_fault("linkat", to);
    if (e) FAIL_WITH(e);
    return REAL(linkat)(from_directory, from, to_directory, to, flags);
}

int unlink(const char* path) {
    const int e = path_fault("unlink", path);
    if (e) FAIL_WITH(e);
    return REAL(unlink)(path);
}

/* open and open64: the mode comes only with O_CREAT or O_TMPFILE. */
#define OPEN_WITH_FAULTS(name)                                                                        \
    int name(const char* path, int flags, ...) {                                                      \
        va_list arguments;                                                                            \
        va_start(arguments, flags);                                                                   \
        const int nameless = (flags & O_TMPFILE) == O_TMPFILE;                                        \
        const mode_t mode = (flags & O_CREAT) || nameless ? va_arg(arguments, mode_t) : 0;            \
        va_end(arguments);                                                                            \
        const int e = nameless ? path_fault("tmpfile", path) : 0;                                     \
        if (e) FAIL_WITH(e);                                                                          \
        return REAL(name)(path, flags, mode);                                                         \
    }

OPEN_WITH_FAULTS(open)
OPEN_WITH_FAULTS(open64)

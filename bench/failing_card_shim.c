/* LD_PRELOAD shim for bench/one_pass.sh: reads of one file that touch a chosen byte range fail
 * with EIO after a delay, as a card reader gives up on a bad area.
 * Environment: SHIM_FILE (the path as opened), SHIM_BAD_START, SHIM_BAD_BYTES, SHIM_DELAY_MS.
 * SHIM_COUNT_FILE, when set, receives the number of failed reads at exit. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static char target[PATH_MAX];
static long long bad_start, bad_end, delay_ms;
static int tracked[4096];
static long failures;

static void setup(void) __attribute__((constructor));
static void setup(void) {
  const char* file = getenv("SHIM_FILE");
  if (file == NULL || realpath(file, target) == NULL) target[0] = 0;
  bad_start = getenv("SHIM_BAD_START") ? atoll(getenv("SHIM_BAD_START")) : 0;
  bad_end = bad_start + (getenv("SHIM_BAD_BYTES") ? atoll(getenv("SHIM_BAD_BYTES")) : 0);
  delay_ms = getenv("SHIM_DELAY_MS") ? atoll(getenv("SHIM_DELAY_MS")) : 10;
}

static void report(void) __attribute__((destructor));
static void report(void) {
  const char* out = getenv("SHIM_COUNT_FILE");
  if (out == NULL) return;
  FILE* f = fopen(out, "w");
  if (f) {
    fprintf(f, "%ld\n", failures);
    fclose(f);
  }
}

static void note(int fd, const char* path) {
  if (fd < 0 || fd >= 4096) return;
  char resolved[PATH_MAX];
  tracked[fd] = target[0] && realpath(path, resolved) && strcmp(resolved, target) == 0;
}

static int fails(int fd, long long offset, size_t count) {
  if (fd < 0 || fd >= 4096 || !tracked[fd] || count == 0) return 0;
  if (offset >= bad_end || offset + (long long)count <= bad_start) return 0;
  struct timespec pause = {delay_ms / 1000, (delay_ms % 1000) * 1000000L};
  nanosleep(&pause, NULL);
  __atomic_add_fetch(&failures, 1, __ATOMIC_RELAXED);
  errno = EIO;
  return 1;
}

#define OPEN_LIKE(name)                                                     \
  int name(const char* path, int flags, ...) {                             \
    static int (*real)(const char*, int, ...);                             \
    if (!real) real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, #name); \
    mode_t mode = 0;                                                        \
    if (flags & (O_CREAT | O_TMPFILE)) {                                    \
      va_list args;                                                         \
      va_start(args, flags);                                                \
      mode = va_arg(args, mode_t);                                          \
      va_end(args);                                                         \
    }                                                                       \
    int fd = real(path, flags, mode);                                       \
    note(fd, path);                                                         \
    return fd;                                                              \
  }
OPEN_LIKE(open)
OPEN_LIKE(open64)

int openat(int dir, const char* path, int flags, ...) {
  static int (*real)(int, const char*, int, ...);
  if (!real) real = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  int fd = real(dir, path, flags, mode);
  if (path[0] == '/') note(fd, path);
  return fd;
}

int close(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
  if (fd >= 0 && fd < 4096) tracked[fd] = 0;
  return real(fd);
}

ssize_t read(int fd, void* buffer, size_t count) {
  static ssize_t (*real)(int, void*, size_t);
  if (!real) real = (ssize_t (*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  if (fd >= 0 && fd < 4096 && tracked[fd] && fails(fd, lseek(fd, 0, SEEK_CUR), count)) return -1;
  return real(fd, buffer, count);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = (ssize_t (*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
  if (fails(fd, offset, count)) return -1;
  return real(fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = (ssize_t (*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread64");
  if (fails(fd, offset, count)) return -1;
  return real(fd, buffer, count, offset);
}

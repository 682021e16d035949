// A read-only passthrough file system for the benchmark's slow medium: it
// shows the folder SOURCE at MOUNTPOINT and waits DELAY_US microseconds on
// every open and every read, as a network share or a remote disk does. Data
// is not cached by the kernel (direct_io), so every run reads it cold.
//
//   slowfs SOURCE MOUNTPOINT DELAY_US [fuse options...]   (unmount: fusermount3 -u)
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int source_fd = -1;
static long delay_us = 1000;

static void wait_a_while(void) {
  struct timespec pause = {delay_us / 1000000, (delay_us % 1000000) * 1000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// The path relative to the source folder ("." for the root).
static const char* inside(const char* path) { return path[1] == '\0' ? "." : path + 1; }

static int slow_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  (void)fi;
  return fstatat(source_fd, inside(path), st, AT_SYMLINK_NOFOLLOW) != 0 ? -errno : 0;
}

static int slow_readlink(const char* path, char* buffer, size_t size) {
  ssize_t length = readlinkat(source_fd, inside(path), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

static int slow_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                        struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)offset, (void)fi, (void)flags;
  int fd = openat(source_fd, inside(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -errno;
  DIR* dir = fdopendir(fd);
  if (dir == NULL) {
    close(fd);
    return -errno;
  }
  struct dirent* entry;
  while ((entry = readdir(dir)) != NULL) {
    struct stat st = {.st_ino = entry->d_ino, .st_mode = (mode_t)DTTOIF(entry->d_type)};
    if (fill(buffer, entry->d_name, &st, 0, 0) != 0) break;
  }
  closedir(dir);
  return 0;
}

static int slow_open(const char* path, struct fuse_file_info* fi) {
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  wait_a_while();
  int fd = openat(source_fd, inside(path), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  fi->fh = (uint64_t)fd;
  fi->direct_io = 1;
  return 0;
}

static int slow_read(const char* path, char* buffer, size_t size, off_t offset,
                     struct fuse_file_info* fi) {
  (void)path;
  wait_a_while();
  ssize_t got = pread((int)fi->fh, buffer, size, offset);
  return got < 0 ? -errno : (int)got;
}

static int slow_release(const char* path, struct fuse_file_info* fi) {
  (void)path;
  close((int)fi->fh);
  return 0;
}

static const struct fuse_operations operations = {
    .getattr = slow_getattr,
    .readlink = slow_readlink,
    .readdir = slow_readdir,
    .open = slow_open,
    .read = slow_read,
    .release = slow_release,
};

int main(int argc, char* argv[]) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s SOURCE MOUNTPOINT DELAY_US [fuse options...]\n", argv[0]);
    return 2;
  }
  source_fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (source_fd < 0) {
    perror(argv[1]);
    return 1;
  }
  delay_us = strtol(argv[3], NULL, 10);
  // fuse_main gets: the program, the mount point, read-only, and the rest.
  char* args[64];
  int count = 0;
  args[count++] = argv[0];
  args[count++] = argv[2];
  args[count++] = "-o";
  args[count++] = "ro,default_permissions,allow_other";
  for (int i = 4; i < argc && count < 63; ++i) args[count++] = argv[i];
  args[count] = NULL;
  return fuse_main(count, args, &operations, NULL);
}

// The system calls of a copy alone, with nothing around them: what any
// copier making the same calls per file cannot go below on this machine.
//
//   floor SOURCE DEST LIST THREADS kit|cp
//
// LIST holds the files to copy, one path relative to SOURCE per line, grouped
// by folder (bench/parallel.py writes it sorted). The folders of DEST are
// made first; then THREADS threads each take whole folders in turn and copy
// their files:
//   kit  open, fstat, an unnamed file (O_TMPFILE), copy_file_range, futimens,
//        linkat under the name, two closes: the calls vostrel-kit makes for
//        a copy that never stands half-written under its name and keeps the
//        original's times
//   cp   open, fstat, open of the name (O_CREAT | O_EXCL), copy_file_range,
//        two closes: the calls of a plain copy, as cp makes them
// Exit status 1 when any call fails.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

struct folder {
  char* path;    // relative to SOURCE and DEST, "" for the root
  size_t first;  // its files: names[first, end)
  size_t end;
};

static const char *source_root, *dest_root;
static int kit_calls;
static char** names;  // leaf names, in LIST order
static struct folder* folders;
static size_t folder_count;
static atomic_size_t next_folder;
static atomic_int failed;

static int open_folder(const char* root, const char* path) {
  char full[8192];
  snprintf(full, sizeof full, "%s/%s", root, path);
  return open(full, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

static int copy_file(int from, int into, const char* name) {
  int in = openat(from, name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), out = -1;
  struct stat status;
  int ok = in >= 0 && fstat(in, &status) == 0;
  if (ok) {
    out = kit_calls ? openat(into, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0444)
                    : openat(into, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
    ok = out >= 0;
  }
  for (off_t left = ok ? status.st_size : 0; left > 0;) {
    ssize_t moved = copy_file_range(in, NULL, out, NULL, (size_t)left, 0);
    if (moved <= 0) {
      ok = 0;
      break;
    }
    left -= moved;
  }
  if (ok && kit_calls) {
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    ok = futimens(out, times) == 0 && linkat(out, "", into, name, AT_EMPTY_PATH) == 0;
  }
  const int saved = errno;
  if (out >= 0) close(out);
  if (in >= 0) close(in);
  errno = saved;
  return ok ? 0 : -1;
}

static void* work(void* unused) {
  (void)unused;
  for (size_t i; (i = atomic_fetch_add(&next_folder, 1)) < folder_count;) {
    const struct folder* f = &folders[i];
    int from = open_folder(source_root, f->path), into = open_folder(dest_root, f->path);
    if (from < 0 || into < 0) atomic_store(&failed, 1);
    for (size_t k = f->first; from >= 0 && into >= 0 && k < f->end; ++k) {
      if (copy_file(from, into, names[k]) != 0) {
        fprintf(stderr, "floor: %s/%s: %s\n", f->path, names[k], strerror(errno));
        atomic_store(&failed, 1);
      }
    }
    close(from);
    close(into);
  }
  return NULL;
}

// Makes DEST/path and the folders above it.
static void make_folders(const char* path) {
  char full[8192];
  snprintf(full, sizeof full, "%s/%s", dest_root, path);
  for (char* slash = full + strlen(dest_root) + 1; (slash = strchr(slash, '/')); ++slash) {
    *slash = '\0';
    mkdir(full, 0777);
    *slash = '/';
  }
  mkdir(full, 0777);
}

static void read_list(const char* list) {
  FILE* in = fopen(list, "r");
  if (in == NULL) exit((perror(list), 2));
  size_t capacity = 0, count = 0;
  char* line = NULL;
  size_t size = 0;
  for (ssize_t length; (length = getline(&line, &size, in)) > 0;) {
    if (line[length - 1] == '\n') line[--length] = '\0';
    if (length == 0) continue;
    char* slash = strrchr(line, '/');
    const char* leaf = slash ? slash + 1 : line;
    if (slash) *slash = '\0';
    const char* folder = slash ? line : "";
    if (count == capacity) {
      capacity = capacity ? capacity * 2 : 1024;
      names = realloc(names, capacity * sizeof *names);
      folders = realloc(folders, capacity * sizeof *folders);
    }
    if (folder_count == 0 || strcmp(folders[folder_count - 1].path, folder) != 0) {
      folders[folder_count++] = (struct folder){strdup(folder), count, count};
    }
    names[count++] = strdup(leaf);
    folders[folder_count - 1].end = count;
  }
  free(line);
  fclose(in);
}

int main(int argc, char** argv) {
  if (argc != 6 || (strcmp(argv[5], "kit") != 0 && strcmp(argv[5], "cp") != 0)) {
    fprintf(stderr, "usage: floor SOURCE DEST LIST THREADS kit|cp\n");
    return 2;
  }
  source_root = argv[1];
  dest_root = argv[2];
  kit_calls = strcmp(argv[5], "kit") == 0;
  int threads = atoi(argv[4]);
  if (threads < 1 || threads > 64) threads = 1;
  read_list(argv[3]);
  mkdir(dest_root, 0777);
  for (size_t i = 0; i < folder_count; ++i) make_folders(folders[i].path);
  pthread_t running[64];
  for (int t = 0; t < threads; ++t) pthread_create(&running[t], NULL, work, NULL);
  for (int t = 0; t < threads; ++t) pthread_join(running[t], NULL);
  return atomic_load(&failed) ? 1 : 0;
}

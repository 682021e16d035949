// The system calls of a copy alone, with nothing around them: what any
// copier making the same calls per file cannot go below on this machine.
//
//   floor SOURCE DEST LIST THREADS kit|cp|ordered
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
// or, with `ordered`, the kit's calls the way its walk may make them: one
// thread goes through LIST in order, lists each folder as it gets there (the
// names and each entry's attributes) and links every copy in its turn, while
// THREADS - 1 more make the copies ahead, unnamed, in list order; the first
// thread makes the next copy itself when the one it waits for is not made.
// Exit status 1 when any call fails.
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

struct folder {
  char* path;    // relative to SOURCE and DEST, "" for the root
  size_t first;  // its files: names[first, end)
  size_t end;
  int from, into;  // ordered: open from the start
};

static const char *source_root, *dest_root;
static int kit_calls, ordered;
static char** names;  // leaf names, in LIST order
static size_t name_count;
static size_t* folder_of;  // ordered: each name's folder
static int* made;          // ordered: each name's unnamed copy, once `ready`
static atomic_int* ready;
static atomic_size_t next_file;
static struct folder* folders;
static size_t folder_count;
static atomic_size_t next_folder;
static atomic_int failed;

static int open_folder(const char* root, const char* path) {
  char full[8192];
  snprintf(full, sizeof full, "%s/%s", root, path);
  return open(full, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Copies `name` from the folder `from` into `into`: with the kit's calls into
// an unnamed file, left open as *copy with the original's times, with cp's
// under the name, closed. 0, or -1 with errno.
static int make_copy(int from, int into, const char* name, int* copy) {
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
    ok = futimens(out, times) == 0;
  }
  const int saved = errno;
  if (out >= 0 && !(ok && kit_calls)) close(out);
  if (in >= 0) close(in);
  *copy = ok && kit_calls ? out : -1;
  errno = saved;
  return ok ? 0 : -1;
}

// Links the unnamed `copy` (-1: none to link) into `into` as `name`, and
// closes it.
static int link_copy(int copy, int into, const char* name) {
  if (copy < 0) return 0;
  const int ok = linkat(copy, "", into, name, AT_EMPTY_PATH) == 0, saved = errno;
  close(copy);
  errno = saved;
  return ok ? 0 : -1;
}

static void failure(const struct folder* f, size_t k, const char* call) {
  fprintf(stderr, "floor: %s/%s: %s: %s\n", f->path, names[k], call, strerror(errno));
  atomic_store(&failed, 1);
}

static void* work(void* unused) {
  (void)unused;
  for (size_t i; (i = atomic_fetch_add(&next_folder, 1)) < folder_count;) {
    const struct folder* f = &folders[i];
    int from = open_folder(source_root, f->path), into = open_folder(dest_root, f->path);
    if (from < 0 || into < 0) atomic_store(&failed, 1);
    for (size_t k = f->first; from >= 0 && into >= 0 && k < f->end; ++k) {
      int copy;
      if (make_copy(from, into, names[k], &copy) != 0 || link_copy(copy, into, names[k]) != 0) {
        failure(f, k, "copy");
      }
    }
    close(from);
    close(into);
  }
  return NULL;
}

// Ordered: the copy of the k-th name, made ahead, unnamed.
static void make_ahead(size_t k) {
  const struct folder* f = &folders[folder_of[k]];
  if (make_copy(f->from, f->into, names[k], &made[k]) != 0) failure(f, k, "copy");
  atomic_store_explicit(&ready[k], 1, memory_order_release);
}

static void* make_in_order(void* unused) {
  (void)unused;
  for (size_t k; (k = atomic_fetch_add(&next_file, 1)) < name_count;) make_ahead(k);
  return NULL;
}

// Lists the folder `from` as a walk reads it: every name and its attributes.
static void list_folder(const struct folder* f) {
  DIR* dir = fdopendir(openat(f->from, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir == NULL) {
    failure(f, f->first, "list");
    return;
  }
  struct stat status;
  for (const struct dirent* entry; (entry = readdir(dir)) != NULL;) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0 &&
        fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
      failure(f, f->first, "stat");
    }
  }
  closedir(dir);
}

// The walk: each folder listed when it is reached, each copy linked in its
// turn, made here when no other thread has made it yet.
static void link_in_order(void) {
  for (size_t i = 0; i < folder_count; ++i) {
    const struct folder* f = &folders[i];
    list_folder(f);
    for (size_t k = f->first; k < f->end; ++k) {
      while (!atomic_load_explicit(&ready[k], memory_order_acquire)) {
        const size_t next = atomic_fetch_add(&next_file, 1);
        if (next < name_count) {
          make_ahead(next);
        } else {
          sched_yield();
        }
      }
      if (made[k] >= 0 && link_copy(made[k], f->into, names[k]) != 0) failure(f, k, "link");
    }
  }
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
      folders[folder_count++] = (struct folder){strdup(folder), count, count, -1, -1};
    }
    names[count++] = strdup(leaf);
    folders[folder_count - 1].end = count;
  }
  name_count = count;
  free(line);
  fclose(in);
}

// Ordered: every folder open from the start, and room for every copy.
static void prepare_ordered(void) {
  struct rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  folder_of = malloc((name_count + 1) * sizeof *folder_of);
  made = malloc((name_count + 1) * sizeof *made);
  ready = calloc(name_count + 1, sizeof *ready);
  if (folder_of == NULL || made == NULL || ready == NULL) exit((perror("floor"), 2));
  for (size_t i = 0; i < folder_count; ++i) {
    struct folder* f = &folders[i];
    f->from = open_folder(source_root, f->path);
    f->into = open_folder(dest_root, f->path);
    if (f->from < 0 || f->into < 0) exit((perror(f->path), 2));
    for (size_t k = f->first; k < f->end; ++k) folder_of[k] = i;
  }
}

int main(int argc, char** argv) {
  const char* calls = argc == 6 ? argv[5] : "";
  ordered = strcmp(calls, "ordered") == 0;
  if (strcmp(calls, "kit") != 0 && strcmp(calls, "cp") != 0 && !ordered) {
    fprintf(stderr, "usage: floor SOURCE DEST LIST THREADS kit|cp|ordered\n");
    return 2;
  }
  source_root = argv[1];
  dest_root = argv[2];
  kit_calls = strcmp(calls, "cp") != 0;
  int threads = atoi(argv[4]);
  if (threads < 1 || threads > 64) threads = 1;
  read_list(argv[3]);
  mkdir(dest_root, 0777);
  for (size_t i = 0; i < folder_count; ++i) make_folders(folders[i].path);
  if (ordered) prepare_ordered();
  pthread_t running[64];
  const int started = ordered ? threads - 1 : threads;
  for (int t = 0; t < started; ++t) {
    pthread_create(&running[t], NULL, ordered ? make_in_order : work, NULL);
  }
  if (ordered) link_in_order();
  for (int t = 0; t < started; ++t) pthread_join(running[t], NULL);
  return atomic_load(&failed) ? 1 : 0;
}

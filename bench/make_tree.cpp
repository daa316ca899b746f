// Makes the benchmark's directory trees quickly, straight through POSIX: every directory is created
// and filled through its own descriptor, so a million files cost two calls each. Prints the number
// of entries made, files and directories, the top directory included.
//
//   bench-make-tree DIR flat N        one directory of N empty files
//   bench-make-tree DIR wide D F      D directories of F empty files each
//   bench-make-tree DIR deep DEPTH    a chain of DEPTH one-letter directories, a file at each level
//   bench-make-tree DIR mixed N       three levels, N files of 0 to 64 KiB, mixed-case CP1252 names
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench-make-tree: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// Creates directory `name` in `parent` and returns a descriptor for it.
int MakeDirectory(int parent, const std::string& name) {
  if (mkdirat(parent, name.c_str(), 0755) != 0) Fail("mkdir " + name);
  const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail("open " + name);
  return fd;
}

// Creates file `name` in `dir` holding `size` bytes.
void MakeFile(int dir, const std::string& name, size_t size) {
  static const std::vector<char> filler(64 * 1024, 'x');
  const int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) Fail("create " + name);
  if (size > 0 && write(fd, filler.data(), size) != static_cast<ssize_t>(size)) {
    Fail("write " + name);
  }
  (void)close(fd);
}

std::string Numbered(const char* format, long number) {
  char name[64];
  (void)std::snprintf(name, sizeof(name), format, number);
  return name;
}

long Flat(int top, long files) {
  for (long i = 0; i < files; ++i) MakeFile(top, Numbered("f%07ld.txt", i), 0);
  return files + 1;
}

long Wide(int top, long dirs, long files) {
  for (long d = 0; d < dirs; ++d) {
    const int dir = MakeDirectory(top, Numbered("dir%04ld", d));
    for (long i = 0; i < files; ++i) MakeFile(dir, Numbered("f%05ld.dat", i), 0);
    (void)close(dir);
  }
  return dirs * (files + 1) + 1;
}

long Deep(int top, long depth) {
  int dir = top;
  MakeFile(dir, "f", 0);
  for (long level = 1; level <= depth; ++level) {
    const int next = MakeDirectory(dir, "d");
    if (dir != top) (void)close(dir);
    dir = next;
    MakeFile(dir, "f", 0);
  }
  if (dir != top) (void)close(dir);
  return 2 * depth + 2;
}

// A fixed sequence, so that both copies of a tree and every run get the same files.
uint32_t NextRandom() {
  static uint32_t state = 12345;
  state = state * 1103515245u + 12345u;
  return state >> 8;
}

// Names as an installer of its time writes them: mixed case, Western European letters (UTF-8 on
// the host, each one a single CP1252 character on the machine), short extensions.
const char* const kStems[] = {"Léa",    "Müller", "Straße", "Café",  "Niño",  "Garçon", "Façade",
                              "Öl",     "Ärger",  "Übung",  "Señor", "Crème", "Noël",   "Hôtel",
                              "Smørre", "Ålborg", "Æther",  "Björk", "Zoë",   "Déjà"};
const char* const kExtensions[] = {".DLL", ".exe", ".Txt", ".dat", ".INI", ".hlp", ".Wav", ".bmp"};
constexpr long kMixedFanOut = 8;

std::string MixedName(long index) {
  const char* stem = kStems[NextRandom() % (sizeof(kStems) / sizeof(kStems[0]))];
  const char* ext = kExtensions[NextRandom() % (sizeof(kExtensions) / sizeof(kExtensions[0]))];
  return stem + Numbered("%ld", index) + ext;
}

// Three levels of directories below the top, kMixedFanOut at each; the files are dealt out over
// all of them in turn.
long Mixed(int top, long files) {
  std::vector<int> dirs = {top};
  std::vector<int> level = {top};
  for (int depth = 0; depth < 3; ++depth) {
    std::vector<int> next;
    for (int parent : level) {
      for (long i = 0; i < kMixedFanOut; ++i) {
        next.push_back(MakeDirectory(parent, Numbered("Sübdir%ld", depth * 100 + i)));
      }
    }
    dirs.insert(dirs.end(), next.begin(), next.end());
    level = next;
  }
  for (long i = 0; i < files; ++i) {
    MakeFile(dirs[i % dirs.size()], MixedName(i), NextRandom() % (64 * 1024 + 1));
  }
  for (int fd : dirs) {
    if (fd != top) (void)close(fd);
  }
  return files + static_cast<long>(dirs.size());
}

long Number(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < 0) {
    std::fprintf(stderr, "bench-make-tree: not a count: %s\n", text);
    std::exit(2);
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench-make-tree DIR flat N | wide D F | deep DEPTH | mixed N\n");
    return 2;
  }
  const std::string kind = argv[2];
  const int top = MakeDirectory(AT_FDCWD, argv[1]);
  long entries = 0;
  if (kind == "flat") {
    entries = Flat(top, Number(argv[3]));
  } else if (kind == "wide" && argc == 5) {
    entries = Wide(top, Number(argv[3]), Number(argv[4]));
  } else if (kind == "deep") {
    entries = Deep(top, Number(argv[3]));
  } else if (kind == "mixed") {
    entries = Mixed(top, Number(argv[3]));
  } else {
    std::fprintf(stderr, "bench-make-tree: unknown tree: %s\n", kind.c_str());
    return 2;
  }
  (void)close(top);
  std::printf("%ld\n", entries);
  return 0;
}

// Directory enumeration (FindFirstFileA, FindNextFileA, FindClose) and entry attributes. A search
// takes one snapshot of the directory from the machine when it starts, so that deleting entries
// while walking the results never disturbs it.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/state.h"
#include "platform/windows.h"

namespace tvx::platform {
namespace {

HANDLE FailFind(Win32Error error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

DWORD AttributesOf(const EntryInfo& info) {
  DWORD attributes = 0;
  // A link is shown as a file with the reparse bit, never as the directory it may point to.
  if (info.directory && !info.link) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (info.readonly) attributes |= FILE_ATTRIBUTE_READONLY;
  if (info.link) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// --- Wildcards, matched as the real platform hands them to its file systems: "*.*" is "*"; a
// "*" before a "." stops at the name's last dot; a "." before a wildcard or at the end also
// matches the end of a name without one; a "?" matches one character but never a dot, and
// nothing at a dot or the end of the name.
constexpr int kStar = -1;
constexpr int kStarToLastDot = -2;
constexpr int kOneChar = -3;
constexpr int kDotOrEnd = -4;

std::vector<int> CompilePattern(std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return {kStar};
  std::vector<int> out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (c == '?') {
      out.push_back(kOneChar);
    } else if (c == '*') {
      out.push_back(next == '.' ? kStarToLastDot : kStar);
    } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
      out.push_back(kDotOrEnd);
    } else {
      out.push_back(cp1252::Upper(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

// Whether `name` matches, ignoring case: a table over the pattern's suffixes, linear in the
// product of both lengths whatever the stars.
bool Matches(const std::vector<int>& pattern, std::string_view name) {
  if (pattern.size() == 1 && pattern[0] == kStar) return true;  // the common "*.*"
  const size_t n = name.size();
  const size_t last_dot = name.rfind('.');
  std::vector<char> next(n + 1, 0), cur(n + 1, 0);
  next[n] = 1;
  for (size_t i = pattern.size(); i-- > 0;) {
    for (size_t j = n + 1; j-- > 0;) {
      const bool more = j < n;
      const bool dot = more && name[j] == '.';
      switch (pattern[i]) {
        case kStar:
          cur[j] = next[j] || (more && cur[j + 1]);
          break;
        case kStarToLastDot:
          cur[j] = next[j] || (more && j != last_dot && cur[j + 1]);
          break;
        case kOneChar:
          cur[j] = more && !dot ? next[j + 1] : next[j];
          break;
        case kDotOrEnd:
          cur[j] = (dot && next[j + 1]) || (!more && next[j]);
          break;
        default:
          cur[j] = more && cp1252::Upper(static_cast<unsigned char>(name[j])) == pattern[i] &&
                   next[j + 1];
      }
    }
    std::swap(cur, next);
  }
  return next[0] != 0;
}

bool IsValidPattern(std::string_view pattern) {
  return std::none_of(pattern.begin(), pattern.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|';
  });
}

// --- The open searches.
struct Search {
  std::vector<EntryInfo> dots;  // "." and "..", handed out first
  Listing entries;              // the machine's listing, filtered and sorted in place
  size_t next = 0;

  /// The entry at `index` of the whole result; false past its end.
  bool At(size_t index, EntryInfo* entry) const {
    if (index < dots.size()) {
      *entry = dots[index];
      return true;
    }
    index -= dots.size();
    if (index >= entries.size()) return false;
    *entry = entries.At(index);
    return true;
  }
  bool empty() const { return dots.empty() && entries.empty(); }
};

class SearchTable {
 public:
  HANDLE Open(Search search) {
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh();
    // Values of their own, a step of 4 apart, never reused, so a stale handle is refused.
    next_value_ += 4;
    searches_[next_value_] = std::move(search);
    return reinterpret_cast<HANDLE>(next_value_);
  }
  /// The next entry of the search, or false at its end; ERROR_INVALID_HANDLE for no search.
  Win32Error Next(HANDLE handle, EntryInfo* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh();
    auto it = searches_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == searches_.end()) return ERROR_INVALID_HANDLE;
    Search& search = it->second;
    if (!search.At(search.next, entry)) return ERROR_NO_MORE_FILES;
    ++search.next;
    return ERROR_SUCCESS;
  }
  bool Close(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh();
    return searches_.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
  }

 private:
  // Searches belong to the machine they were opened on.
  void Refresh() {
    if (generation_ == MachineGeneration()) return;
    generation_ = MachineGeneration();
    searches_.clear();
  }

  std::mutex mutex_;
  uint64_t generation_ = 0;
  uintptr_t next_value_ = 0x46000000;
  std::map<uintptr_t, Search> searches_;
};

SearchTable& Searches() {
  static SearchTable table;
  return table;
}

void Fill(const EntryInfo& entry, WIN32_FIND_DATAA* data) {
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = AttributesOf(entry);
  const FILETIME time{static_cast<DWORD>(entry.write_time),
                      static_cast<DWORD>(entry.write_time >> 32)};
  data->ftCreationTime = time;
  data->ftLastAccessTime = time;
  data->ftLastWriteTime = time;
  data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(entry.size);
  const size_t length = std::min(entry.name.size(), sizeof(data->cFileName) - 1);
  std::memcpy(data->cFileName, entry.name.data(), length);
}

EntryInfo DotEntry(const char* name) {
  EntryInfo entry;
  entry.name = name;
  entry.directory = true;
  return entry;
}

// Splits a search name into the directory it names and the pattern of its last part.
void SplitSearch(std::string name, std::string* dir, std::string* pattern) {
  std::replace(name.begin(), name.end(), '/', '\\');
  const size_t cut = name.rfind('\\');
  // "C:*.x" searches drive C's directory; "*.x" the current one.
  const size_t dir_end =
      cut != std::string::npos ? cut + 1 : (name.size() >= 2 && name[1] == ':' ? 2 : 0);
  *dir = name.substr(0, dir_end);
  *pattern = name.substr(dir_end);
}

// By the upper-cased name, then the name itself, so that every machine lists alike.
bool ListedBefore(std::string_view a, std::string_view b) {
  const int order = cp1252::CompareIgnoringCase(a, b);
  return order != 0 ? order < 0 : a < b;
}

// The matching entries of `dir`, sorted by name ignoring case, "." and ".." first except at a
// drive's root. The machine's listing is filtered and sorted where it lies and kept as it is.
Win32Error Collect(const MachinePath& dir, std::string_view pattern, Search* out) {
  Machine& machine = CurrentMachine();
  if (Win32Error error = machine.List(dir, &out->entries)) return error;
  const std::vector<int> compiled = CompilePattern(pattern);
  if (!dir.IsRoot() && !machine.IsHostRoot(dir)) {
    for (const char* dots : {".", ".."}) {
      if (Matches(compiled, dots)) out->dots.push_back(DotEntry(dots));
    }
  }
  out->entries.EraseIf([&](std::string_view name) { return !Matches(compiled, name); });
  out->entries.Sort(ListedBefore);
  return out->empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

}  // namespace
}  // namespace tvx::platform

using namespace tvx;
using namespace tvx::platform;

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (lpFileName == nullptr || lpFindFileData == nullptr) {
    return FailFind(ERROR_INVALID_PARAMETER);
  }
  if (std::strlen(lpFileName) > MAX_PATH) return FailFind(ERROR_FILENAME_EXCED_RANGE);
  if (*lpFileName == '\0') return FailFind(ERROR_PATH_NOT_FOUND);
  std::string dir_text, pattern;
  SplitSearch(lpFileName, &dir_text, &pattern);
  if (!IsValidPattern(pattern)) return FailFind(ERROR_INVALID_NAME);
  MachinePath dir = CurrentDirectory();
  if (!dir_text.empty()) {
    if (Win32Error error = ResolvePath(dir_text, &dir)) return FailFind(error);
  }
  if (ToString(dir).size() + 1 + pattern.size() > MAX_PATH) {
    return FailFind(ERROR_FILENAME_EXCED_RANGE);
  }
  Search search;
  if (Win32Error error = Collect(dir, pattern, &search)) return FailFind(error);
  EntryInfo first;
  (void)search.At(0, &first);
  Fill(first, lpFindFileData);
  search.next = 1;
  return Searches().Open(std::move(search));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  EntryInfo entry;
  if (Win32Error error = Searches().Next(hFindFile, &entry)) {
    SetLastError(error);
    return FALSE;
  }
  if (lpFindFileData != nullptr) Fill(entry, lpFindFileData);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (Searches().Close(hFindFile)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  MachinePath path;
  Win32Error error = lpFileName == nullptr ? ERROR_PATH_NOT_FOUND : ResolvePath(lpFileName, &path);
  EntryInfo info;
  if (error == ERROR_SUCCESS && path.drive != 0 && path.IsRoot()) {
    error = CurrentMachine().HasDrive(path.drive) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    info.directory = true;
  } else if (error == ERROR_SUCCESS) {
    error = CurrentMachine().Stat(path, &info);
  }
  if (error == ERROR_SUCCESS) return AttributesOf(info);
  SetLastError(error);
  return INVALID_FILE_ATTRIBUTES;
}

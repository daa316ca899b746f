// The Windows path resolver on any text, from any current directory: every path it gives is one
// the machine may be handed (a drive or a UNC root, names that are real names, under MAX_PATH),
// and a name the host lets a program see, put after an absolute directory, always names an entry
// of that directory: the promise the sweep's deletions rest on.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "platform/host/names.h"
#include "platform/state.h"
#include "platform/windows.h"

namespace {

using tvx::MachinePath;
using tvx::platform::ResolvePath;

bool IsForbidden(unsigned char c) {
  return c < 0x20 || std::strchr("<>:\"|?*\\/", c) != nullptr;
}

void CheckPath(const MachinePath& path, bool limited) {
  if (path.drive != 0) {
    TVX_FUZZ_CHECK(path.drive >= 'A' && path.drive <= 'Z' && path.unc.empty());
  } else {
    TVX_FUZZ_CHECK(path.unc.size() >= 3 && path.unc[0] == '\\' && path.unc[1] == '\\');
  }
  for (const std::string& name : path.names) {
    TVX_FUZZ_CHECK(!name.empty() && name != "." && name != "..");
    TVX_FUZZ_CHECK(name.back() != '.' && name.back() != ' ');
    for (char c : name) TVX_FUZZ_CHECK(!IsForbidden(static_cast<unsigned char>(c)));
  }
  if (limited) TVX_FUZZ_CHECK(tvx::ToString(path).size() < MAX_PATH);
}

// The sweep's promise: "<directory>\<name>" for a name the machine lists is that entry.
void CheckChild(const std::string& directory, const std::string& name) {
  MachinePath base;
  if (ResolvePath(directory, &base) != ERROR_SUCCESS) return;
  if (!tvx::host::IsShowableName(name)) return;
  MachinePath child;
  const tvx::Win32Error error = ResolvePath(directory + "\\" + name, &child);
  if (error == ERROR_FILENAME_EXCED_RANGE) return;
  TVX_FUZZ_CHECK(error == ERROR_SUCCESS);
  TVX_FUZZ_CHECK(child == base.Child(name) && child.names.back() == name);
}

void CheckFullPathName(const std::string& text, DWORD size) {
  std::unique_ptr<char[]> buffer(new char[size + 1]);
  std::memset(buffer.get(), 'x', size + 1);
  LPSTR file_part = nullptr;
  const DWORD n = GetFullPathNameA(text.c_str(), size, buffer.get(), &file_part);
  TVX_FUZZ_CHECK(buffer[size] == 'x');  // one past the buffer is never written
  if (n != 0 && n < size) {
    if (buffer[n] != '\0' || std::strlen(buffer.get()) != n) {
      std::fprintf(stderr, "GetFullPathNameA(\"%s\", %u) = %u, current %s, buffer \"%.*s\"\n",
                   text.c_str(), size, n, tvx::ToString(tvx::platform::CurrentDirectory()).c_str(),
                   static_cast<int>(size), buffer.get());
    }
    TVX_FUZZ_CHECK(buffer[n] == '\0' && std::strlen(buffer.get()) == n);
    if (file_part != nullptr)
      TVX_FUZZ_CHECK(file_part >= buffer.get() && file_part < buffer.get() + n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  tvx::fuzz::FuzzMachine machine;
  // A start directory comes from the host's getcwd(): it never holds a zero byte.
  machine.start = provider.ConsumeRandomLengthString(300).c_str();
  const tvx::ScopedMachine scope(machine);
  CheckPath(tvx::platform::CurrentDirectory(), /*limited=*/false);
  for (int step = 0; step < 64 && provider.remaining_bytes() > 0; ++step) {
    const int what = provider.ConsumeIntegralInRange(0, 3);
    // Every caller hands the resolver a zero-terminated text.
    const std::string text = provider.ConsumeRandomLengthString(300).c_str();
    MachinePath path;
    switch (what) {
      case 0:
        if (ResolvePath(text, &path) == ERROR_SUCCESS) {
          CheckPath(path, /*limited=*/true);
          tvx::platform::SetCurrentDirectoryState(path, provider.ConsumeBool());
        }
        break;
      case 1:
        if (ResolvePath(text, &path) == ERROR_SUCCESS) CheckPath(path, /*limited=*/true);
        break;
      case 2:
        // An absolute directory, spelt as a product directory may be, and a name.
        CheckChild(std::string(1, static_cast<char>('A' + provider.ConsumeIntegralInRange(0, 25))) +
                       (provider.ConsumeBool() ? ":\\" : ":/") + text,
                   provider.ConsumeRandomLengthString(40));
        break;
      default:
        CheckFullPathName(text, provider.ConsumeIntegralInRange<DWORD>(0, 300));
        break;
    }
  }
  return 0;
}

// The profile file reader on any text: the parsed lines cover the text exactly, lookups and
// listings never fail, an edit is found again by the next read, and the calls the program and the
// framework make keep to the buffers they are given.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_machine.h"
#include "platform/profile_format.h"
#include "platform/windows.h"

namespace {

using tvx::profile::Document;
using tvx::profile::Line;
using tvx::profile::LineKind;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v';
}
bool HasBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}
bool EndsClean(std::string_view s) {
  return !s.empty() && !IsBlank(s.front()) && !IsBlank(s.back());
}

// Arguments an edit can be read back with: one line each, no blanks at their ends, a key that
// reads as a key and a section name that reads as one.
bool IsCleanSection(std::string_view s) {
  return EndsClean(s) && !HasBreakOrNul(s) && s.find(']') == s.npos;
}
bool IsCleanKey(std::string_view k) {
  return EndsClean(k) && !HasBreakOrNul(k) && k.find('=') == k.npos && k[0] != ';' && k[0] != '[';
}
bool IsCleanValue(std::string_view v) {
  if (v.empty()) return true;
  const bool quoted = v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v[0] == v.back();
  return EndsClean(v) && !HasBreakOrNul(v) && !quoted;
}

template <typename Char>
void CheckLines(const Document<Char>& doc, size_t size) {
  size_t at = 0;
  for (const Line& line : doc.lines()) {
    TVX_FUZZ_CHECK(line.begin == at && line.begin <= line.end && line.end <= line.next);
    TVX_FUZZ_CHECK(line.next > line.begin && line.next <= size);
    if (line.kind == LineKind::kKey || line.kind == LineKind::kSection ||
        line.kind == LineKind::kText) {
      TVX_FUZZ_CHECK(line.begin <= line.name_begin && line.name_begin <= line.name_end &&
                     line.name_end <= line.end);
    }
    if (line.kind == LineKind::kKey) {
      TVX_FUZZ_CHECK(line.name_end <= line.value_begin && line.value_begin <= line.value_end &&
                     line.value_end <= line.end);
    }
    at = line.next;
  }
  TVX_FUZZ_CHECK(at == size);
}

void CheckDocument(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value) {
  const Document<char> doc(text);
  CheckLines(doc, text.size());
  (void)doc.Find("TAVOX_INFO", "TavoxDirectory");
  (void)doc.SectionNames();
  (void)doc.KeyNames(section);
  if (const auto found = doc.Find(section, key)) (void)tvx::profile::ParseProfileInt(*found);
  if (const auto without = doc.WithoutKey(section, key)) {
    TVX_FUZZ_CHECK(!Document<char>(*without).Find(section, key));
  }
  if (const auto without = doc.WithoutSection(section)) {
    TVX_FUZZ_CHECK(!Document<char>(*without).Find(section, key));
  }
  if (IsCleanSection(section) && IsCleanKey(key) && IsCleanValue(value)) {
    const std::string edited = doc.WithValue(section, key, value);
    const auto found = Document<char>(edited).Find(section, key);
    TVX_FUZZ_CHECK(found && *found == value);
  }
  const std::u16string wide = tvx::profile::DecodeUtf16Le(text);
  const Document<char16_t> wide_doc(wide);
  CheckLines(wide_doc, wide.size());
  TVX_FUZZ_CHECK(tvx::profile::DecodeUtf16Le(tvx::profile::EncodeUtf16Le(wide)) == wide);
}

// A lookup into a heap buffer of exactly `size` bytes: never more than size - 1 characters and a
// zero, and a list always ended by two zeros.
void Lookup(const char* section, const char* key, DWORD size) {
  std::unique_ptr<char[]> buffer(new char[size == 0 ? 1 : size]);
  std::memset(buffer.get(), 'x', size == 0 ? 1 : size);
  const DWORD n =
      GetPrivateProfileStringA(section, key, "C:\\TAVOX", buffer.get(), size, "tavox.ini");
  if (size == 0) {
    TVX_FUZZ_CHECK(n == 0 && buffer[0] == 'x');
    return;
  }
  TVX_FUZZ_CHECK(n < size && buffer[n] == '\0');
  if (section != nullptr && key != nullptr) TVX_FUZZ_CHECK(std::strlen(buffer.get()) == n);
  if (section == nullptr || key == nullptr) {
    // The list's last name ends with a zero and one more follows; a list cut short ends in two.
    TVX_FUZZ_CHECK(n == 0 || buffer[n - 1] == '\0' || (n + 1 < size && buffer[n + 1] == '\0'));
  }
}

void UseTheCalls(const std::string& text, const std::string& section, const std::string& key,
                 const std::string& value) {
  tvx::fuzz::FuzzMachine machine;
  machine.files["C:\\WINDOWS\\TAVOX.INI"] = text;
  const tvx::ScopedMachine scope(machine);
  for (const DWORD size : {0u, 1u, 2u, 3u, 16u, 260u}) {
    Lookup("TAVOX_INFO", "TavoxDirectory", size);
    Lookup(section.c_str(), key.c_str(), size);
    Lookup(nullptr, nullptr, size);
    Lookup(section.c_str(), nullptr, size);
  }
  (void)GetPrivateProfileIntA("Settings", "PreviewPages", 0, "tavox.ini");
  (void)GetPrivateProfileIntA(section.c_str(), key.c_str(), -1, "tavox.ini");
  // What the framework does at exit, then a clean value written and read back.
  (void)WritePrivateProfileStringA("Recent File List", nullptr, nullptr, "tavox.ini");
  (void)WritePrivateProfileStringA("Recent File List", "File1", "C:\\A.TXT", "tavox.ini");
  if (IsCleanSection(section) && IsCleanKey(key) && IsCleanValue(value) && value.size() < 200) {
    TVX_FUZZ_CHECK(
        WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), "tavox.ini"));
    char buffer[260];
    (void)GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer,
                                   "tavox.ini");
    TVX_FUZZ_CHECK(value == buffer);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::string section = provider.ConsumeRandomLengthString(24);
  const std::string key = provider.ConsumeRandomLengthString(24);
  const std::string value = provider.ConsumeRandomLengthString(48);
  const std::string text = provider.ConsumeRemainingBytesAsString();
  CheckDocument(text, section, key, value);
  // The calls parse the file once per lookup; the text's length adds nothing there but time.
  if (text.size() <= 4096) UseTheCalls(text, section, key, value);
  return 0;
}

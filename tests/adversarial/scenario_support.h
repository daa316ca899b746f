// The scenarios of the adversarial tests: a prefix with the product, its settings, an uninstall
// program and canaries everywhere outside the product, and the checks made after a run.
#pragma once

#include <sys/stat.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/adversarial/run_support.h"
#include "tests/adversarial/tree_support.h"
#include "tests/support/temp_prefix.h"

namespace tvx::adversarial {

using tvx::testing::TempPrefix;

/// The registry-file form of a text: backslashes and quotes escaped.
inline std::string RegEscape(const std::string& raw) {
  std::string out;
  for (char c : raw) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

/// The uninstall program of the scenarios: it notes where it started, then removes the file on
/// drive C that its "-f" argument names, as a setup log's owner does. Shell built-ins only but
/// for the one removal, so that a run costs little.
inline constexpr char kUninstallScript[] = R"sh(#!/bin/sh
log=""
for arg in "$@"; do case "$arg" in -f*) log=${arg#-f} ;; esac; done
rest=${log#?:}
host=""
while :; do
  case "$rest" in
    *\\*) host="$host${rest%%\\*}/"; rest=${rest#*\\} ;;
    *) host="$host$rest"; break ;;
  esac
done
pwd > "$WINEPREFIX/../log/uninst.log"
[ -n "$log" ] && rm -f "$WINEPREFIX/drive_c$host"
exit 0
)sh";

/// The standard product command: the uninstaller, told which setup log to read.
inline constexpr char kCommand[] = "C:\\windows\\UNINST.EXE -f\"C:\\TAVOX\\DEISL1.ISU\"";

/// The framework's settings file as the scenarios start it.
inline constexpr char kSettings[] =
    "[Recent File List]\r\nFile1=C:\\DOCS\\ONE.TXT\r\nFile2=C:\\DOCS\\TWO.TXT\r\n"
    "[Settings]\r\nPreviewPages=2\r\n";

/// A prefix with the product installed in C:\TAVOX, its settings in the registry, an uninstall
/// program, the framework's settings file, and canaries everywhere outside the product: beside
/// it, at the root of drive C, in the Windows directory, on drive D, beside the prefix, in a
/// fallback prefix under HOME, behind the links that tests put in the tree.
class Scenario {
 public:
  Scenario() {
    p_.MakeDirectory(Log());
    MakeProduct();
    p_.MakeFile(p_.outside() + "/canary.txt", "keep");
    p_.MakeFile(p_.outside() + "/dir/a.txt", "a");
    p_.MakeFile(p_.outside() + "/dir/sub/b.txt", "b");
    p_.MakeFile(p_.outside() + "/dir/README.TXT", "same name as a product file");
    p_.MakeFile(p_.outside() + "/readonly.txt", "ro", /*readonly=*/true);
    p_.MakeFile(p_.root() + "/ABOVE.TXT", "beside the prefix");
    p_.MakeFile(p_.Host("C:\\ROOT.TXT"), "root of drive C");
    p_.MakeFile(p_.Host("C:\\TAVOX2\\KEEP.TXT"), "a sibling with a longer name");
    p_.MakeFile(p_.Host("C:\\TAVO\\KEEP.TXT"), "a sibling with a shorter name");
    p_.MakeFile(p_.Host("C:\\TAVOX.BAK\\README.TXT"), "a sibling");
    p_.MakeFile(p_.Host("C:\\windows\\WIN.INI"), "[windows]\r\n");
    p_.MakeFile(p_.Host("C:\\windows\\system\\KERNEL.DLL"), "kernel");
    p_.MakeFile(p_.Host("C:\\windows\\UNINST.EXE"), kUninstallScript);
    EXPECT_EQ(chmod(p_.Host("C:\\windows\\UNINST.EXE").c_str(), 0755), 0);
    p_.MakeFile(Settings(), kSettings);
    p_.MapDrive('d', DriveD());
    p_.MakeFile(DriveD() + "/DATA/KEEP.TXT", "drive D");
    p_.MakeFile(DriveD() + "/TAVOX/README.TXT", "the same product path on drive D");
    p_.MakeFile(Home() + "/.wine/drive_c/TAVOX/README.TXT", "a fallback prefix's product");
    p_.MakeFile(Home() + "/.wine/system.reg", "WINE REGISTRY Version 2\n");
    SetRegistry(RegEscape("C:\\TAVOX"), RegEscape(kCommand));
  }
  virtual ~Scenario() = default;

  TempPrefix& p() { return p_; }
  const TempPrefix& p() const { return p_; }
  std::string DriveC() const { return p_.prefix() + "/drive_c"; }
  std::string DriveD() const { return p_.root() + "/d"; }
  std::string Log() const { return p_.root() + "/log"; }
  std::string Home() const { return p_.root() + "/home"; }
  std::string Settings() const { return p_.Host("C:\\windows\\tavox-uninstall.INI"); }
  std::string Product() const { return p_.Host(product_); }
  std::string UninstallLog() const { return Log() + "/uninst.log"; }
  bool UninstallerRan() const { return p_.Exists(UninstallLog()); }

  /// The standard product: kept entries, a game with saves, a read-me.
  void MakeProduct() {
    p_.MakeFile(p_.Host("C:\\TAVOX\\DEISL1.ISU"), "log");
    p_.MakeFile(p_.Host("C:\\TAVOX\\UNISTX32.EXE"), "helper");
    p_.MakeFile(p_.Host("C:\\TAVOX\\SYSTEM\\LUMRT.DLL"), "runtime");
    p_.MakeFile(p_.Host("C:\\TAVOX\\Game\\game.exe"), "game");
    p_.MakeFile(p_.Host("C:\\TAVOX\\Game\\Saves\\slot1.sav"), "save");
    p_.MakeFile(p_.Host("C:\\TAVOX\\README.TXT"), "readme");
  }

  /// Writes system.reg with the two values as they stand in the file (already escaped); a
  /// missing one is left out.
  void SetRegistry(const std::optional<std::string>& dir, const std::optional<std::string>& cmd) {
    std::string body =
        ";; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
        "[Software\\\\TAVOX] 1700000000\n";
    if (dir) body += "\"TavoxDirectory\"=" + Quoted(*dir) + "\n";
    if (cmd) body += "\"UninstallString\"=" + Quoted(*cmd) + "\n";
    p_.WriteRegistry(body);
  }
  /// The whole system.reg, header included.
  void SetRegistryFile(const std::string& text) { p_.MakeFile(p_.prefix() + "/system.reg", text); }
  /// C:\windows\tavox.ini.
  void SetProfile(const std::string& text) { p_.MakeFile(p_.Host("C:\\windows\\tavox.ini"), text); }

  /// The product directory the checks treat as the program's own (a Windows path on drive C).
  void SetProduct(const std::string& windows_path) { product_ = windows_path; }
  /// More host paths (relative to the temporary directory) that a test lets change.
  void AllowChanges(const std::string& relative) { allowed_.push_back(relative); }

  /// Notes everything outside the product directory; the checks compare with it.
  void Freeze() {
    before_ = Snapshot(p_.root(), Skipped());
    settings_before_ = p_.Read(Settings());
    frozen_ = true;
  }

  RunPlan Plan(const std::string& input = "y\n") const {
    RunPlan plan;
    plan.prefix = p_.prefix();
    plan.home = Home();
    plan.cwd = DriveC();
    plan.input = input;
    return plan;
  }
  /// Freezes (unless done) and runs the program.
  Outcome Execute(const RunPlan& plan) {
    if (!frozen_) Freeze();
    return RunProgram(plan);
  }
  Outcome Execute(const std::string& input = "y\n") { return Execute(Plan(input)); }

  /// Nothing outside the product directory changed, and the settings file is sound.
  void ExpectOutsideIntact() const {
    const auto after = Snapshot(p_.root(), Skipped());
    EXPECT_TRUE(after == before_) << "outside the product directory:\n"
                                  << Differences(before_, after);
    ExpectSettingsSound();
  }

  /// The framework's settings file holds what it held, or a whole rewrite of it: the same
  /// values, every line ended.
  void ExpectSettingsSound() const {
    const std::string after = p_.Read(Settings());
    if (after == settings_before_) return;
    for (const char* line : {"File1=C:\\DOCS\\ONE.TXT", "File2=C:\\DOCS\\TWO.TXT", "PreviewPages=2",
                             "[Recent File List]", "[Settings]"}) {
      if (settings_before_.find(line) != std::string::npos) {
        EXPECT_NE(after.find(line), std::string::npos) << line << " lost from\n" << after;
      }
    }
    EXPECT_TRUE(after.empty() || after.back() == '\n') << "a partial settings file:\n" << after;
  }

  /// The product directory holds exactly `paths` (TempPrefix::Tree form); empty: it is gone.
  void ExpectProduct(const std::vector<std::string>& paths) const {
    if (paths.empty()) {
      EXPECT_FALSE(p_.Exists(Product())) << "left: " << Join(p_.Tree(Product()));
      return;
    }
    EXPECT_EQ(p_.Tree(Product()), paths);
  }

  static std::string Join(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += path + " ";
    return text;
  }

 protected:
  std::vector<std::string> Skipped() const {
    std::vector<std::string> skip = {"log", Relative(Product()), Relative(Settings())};
    skip.insert(skip.end(), allowed_.begin(), allowed_.end());
    return skip;
  }
  std::string Relative(const std::string& host) const { return host.substr(p_.root().size() + 1); }
  static std::string Quoted(const std::string& data) {
    // A value that names its own type (dword:, hex:, str(2):) stands as it is.
    if (data.rfind("dword:", 0) == 0 || data.rfind("hex", 0) == 0 || data.rfind("str", 0) == 0) {
      return data;
    }
    return "\"" + data + "\"";
  }

  TempPrefix p_;
  std::string product_ = "C:\\TAVOX";
  std::vector<std::string> allowed_;
  std::map<std::string, std::string> before_;
  std::string settings_before_;
  bool frozen_ = false;
};

/// The standard product tree, as TempPrefix::Tree gives it.
inline std::vector<std::string> StandardProduct() {
  return {"DEISL1.ISU", "Game/",   "Game/Saves/",      "Game/Saves/slot1.sav", "Game/game.exe",
          "README.TXT", "SYSTEM/", "SYSTEM/LUMRT.DLL", "UNISTX32.EXE"};
}

/// Which product directory a run with odd settings must have swept.
enum class Swept {
  kRegistry,  // C:\TAVOX, which the registry names
  kProfile,   // C:\INIDIR, which the profile file names
  kNothing,   // neither
  kAny,       // either or neither: only the outside is checked
};

/// A scenario whose profile file names another product directory, C:\INIDIR, and the same
/// command: whichever source wins, the run is sound.
class SettingsScenario : public Scenario {
 public:
  SettingsScenario() {
    p().MakeFile(p().Host("C:\\INIDIR\\README.TXT"), "the profile file's product");
    p().MakeFile(p().Host("C:\\INIDIR\\SUB\\GAME.EXE"), "the profile file's product");
    SetProfile(std::string("[TAVOX_INFO]\r\nTavoxDirectory=C:\\INIDIR\r\nUninstallString=") +
               kCommand + "\r\n");
  }

  /// Runs with answer Yes and checks the outcome. A run that ran out of memory (exit code 3, when
  /// allowed) must have said so and left the outside alone.
  void RunAndExpect(Swept swept, bool out_of_memory_allowed = false) {
    AllowChanges("prefix/drive_c/TAVOX/DEISL1.ISU");  // the uninstaller removes its log
    switch (swept) {
      case Swept::kRegistry:
        SetProduct("C:\\TAVOX");
        break;
      case Swept::kProfile:
        SetProduct("C:\\INIDIR");
        break;
      case Swept::kNothing:
        SetProduct("C:\\NONE");
        break;
      case Swept::kAny:
        SetProduct("C:\\NONE");
        AllowChanges("prefix/drive_c/TAVOX");
        AllowChanges("prefix/drive_c/INIDIR");
        break;
    }
    const Outcome o = Execute();
    if (out_of_memory_allowed && o.exit_code == 3) {
      EXPECT_NE(o.err.find("out of memory"), std::string::npos) << o;
      ExpectOutsideIntact();
      return;
    }
    EXPECT_EQ(o.exit_code, 0) << o;
    ExpectOutsideIntact();
    if (swept == Swept::kRegistry || swept == Swept::kProfile) ExpectProduct({});
  }
};

/// A text shown in a failure: control and non-ASCII bytes escaped, long texts cut.
inline std::string Printable(const std::string& text, size_t limit = 300) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7f) {
      out.push_back(static_cast<char>(c));
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  if (out.size() >= limit) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

}  // namespace tvx::adversarial

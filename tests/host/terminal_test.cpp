// The message box as a terminal dialogue, and the beep, through pipes and a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "platform/host/host_machine.h"
#include "platform/windows.h"

namespace tvx {
namespace {

struct Pipe {
  Pipe() { EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0); }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (fds[0] >= 0) close(fds[0]);
    fds[0] = -1;
  }
  void CloseWrite() {
    if (fds[1] >= 0) close(fds[1]);
    fds[1] = -1;
  }
  void Write(const std::string& bytes) {
    EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string ReadToEnd() {
    std::string bytes;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(fds[0], buffer, sizeof buffer)) > 0) bytes.append(buffer, count);
    return bytes;
  }
  // Reads until `bytes` ends with `suffix`.
  std::string ReadUntil(const std::string& suffix) {
    std::string bytes;
    char c = 0;
    while (!bytes.ends_with(suffix) && read(fds[0], &c, 1) == 1) bytes += c;
    return bytes;
  }
  int fds[2] = {-1, -1};
};

std::unique_ptr<Machine> MachineOn(int input, int output) {
  HostOptions options;
  options.input_fd = input;
  options.output_fd = output;
  return MakeHostMachine(options);
}

struct LineCase {
  uint32_t type;
  const char* input;
  int answer;
};

void PrintTo(const LineCase& c, std::ostream* out) {
  *out << "type " << c.type << " input \"" << c.input << "\"";
}

class HostQuestionByLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(HostQuestionByLines, AnswersFromTheLinesTyped) {
  Pipe input;
  Pipe output;
  input.Write(GetParam().input);
  input.CloseWrite();
  auto machine = MachineOn(input.fds[0], output.fds[1]);
  EXPECT_EQ(machine->AskQuestion("Caption", "Text", GetParam().type), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostQuestionByLines,
    ::testing::Values(LineCase{MB_YESNO, "y\n", IDYES}, LineCase{MB_YESNO, "yes\n", IDYES},
                      LineCase{MB_YESNO, "YeS\n", IDYES}, LineCase{MB_YESNO, "\n", IDYES},
                      LineCase{MB_YESNO, " yes \r\n", IDYES}, LineCase{MB_YESNO, "y", IDYES},
                      LineCase{MB_YESNO, "n\n", IDNO}, LineCase{MB_YESNO, "NO\n", IDNO},
                      LineCase{MB_YESNO, "maybe\nsi\nn\n", IDNO}, LineCase{MB_YESNO, "", 0},
                      LineCase{MB_YESNO, "maybe\n", 0}, LineCase{MB_YESNO, "maybe", 0},
                      LineCase{MB_YESNO | MB_ICONEXCLAMATION, "y\n", IDYES},
                      LineCase{MB_YESNO | MB_DEFBUTTON2, "\n", IDNO}, LineCase{MB_OK, "\n", IDOK},
                      LineCase{MB_OK, "x\nok\n", IDOK}, LineCase{MB_OKCANCEL, "c\n", IDCANCEL},
                      LineCase{MB_OKCANCEL, "Cancel\n", IDCANCEL},
                      LineCase{MB_OKCANCEL, "y\no\n", IDOK},
                      LineCase{MB_YESNOCANCEL, "cancel\n", IDCANCEL},
                      LineCase{MB_YESNOCANCEL | MB_DEFBUTTON3, "\n", IDCANCEL},
                      LineCase{MB_YESNOCANCEL | 0x300, "\n", IDYES},  // no fourth button
                      LineCase{MB_ABORTRETRYIGNORE, "i\n", IDIGNORE},
                      LineCase{MB_RETRYCANCEL, "retry\n", IDRETRY}));

TEST(HostQuestion, ShowsTheCaptionTheTextAndTheButtonsWithTheDefaultMarked) {
  Pipe input;
  Pipe output;
  input.Write("n\n");
  input.CloseWrite();
  auto machine = MachineOn(input.fds[0], output.fds[1]);
  ASSERT_EQ(machine->AskQuestion("Uninstall", "Sure?  (caf\xe9)\r\nReally.\x1b[2J",
                                 MB_YESNO | MB_ICONEXCLAMATION),
            IDNO);
  output.CloseWrite();
  EXPECT_EQ(output.ReadToEnd(), "Uninstall\nSure?  (caf\xc3\xa9)\nReally.[2J\n[Yes] / No ");
}

TEST(HostQuestion, TakesNothingFromTheInputPastTheAnswer) {
  Pipe input;
  Pipe output;
  input.Write("what\nyes\nrest of input\n");
  input.CloseWrite();
  ASSERT_EQ(MachineOn(input.fds[0], output.fds[1])->AskQuestion("C", "T", MB_YESNO), IDYES);
  EXPECT_EQ(input.ReadToEnd(), "rest of input\n");
}

TEST(HostQuestion, WithoutInputOrOutputOrButtonsThereIsNoAnswer) {
  Pipe input;
  Pipe output;
  input.Write("y\n");
  EXPECT_EQ(MachineOn(-1, output.fds[1])->AskQuestion("C", "T", MB_YESNO), 0);
  EXPECT_EQ(MachineOn(input.fds[0], output.fds[1])->AskQuestion("C", "T", 0xF), 0);
  output.CloseRead();  // a broken output: the question cannot be shown, and nothing dies
  EXPECT_EQ(MachineOn(input.fds[0], output.fds[1])->AskQuestion("C", "T", MB_YESNO), 0);
  EXPECT_EQ(MachineOn(input.fds[0], -1)->AskQuestion("C", "T", MB_YESNO), 0);
}

TEST(HostQuestion, AnInterruptOrARequestToEndWhileAskingMeansNoAnswer) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    Pipe input;
    Pipe output;
    auto machine = MachineOn(input.fds[0], output.fds[1]);
    int answer = -1;
    std::thread asker([&] { answer = machine->AskQuestion("C", "T", MB_YESNO); });
    (void)output.ReadUntil("No ");
    ASSERT_EQ(kill(getpid(), signal_number), 0);
    asker.join();
    EXPECT_EQ(answer, 0) << signal_number;
    struct sigaction now {};
    ASSERT_EQ(sigaction(signal_number, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << signal_number;
  }
}

TEST(HostBeep, WritesTheBellCharacterAndSurvivesABrokenOutput) {
  Pipe output;
  auto machine = MachineOn(-1, output.fds[1]);
  machine->Beep(MB_OK);
  output.CloseWrite();
  EXPECT_EQ(output.ReadToEnd(), "\a");
  Pipe broken;
  broken.CloseRead();
  MachineOn(-1, broken.fds[1])->Beep(MB_OK);
  MachineOn(-1, -1)->Beep(MB_OK);
}

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ >= 0) (void)tcgetattr(slave_, &original_);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) close(slave_);
    CloseMaster();
  }
  bool ok() const { return slave_ >= 0; }
  int slave() const { return slave_; }
  void Type(const std::string& keys) {
    EXPECT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  bool Restored() const {
    termios now{};
    return tcgetattr(slave_, &now) == 0 && now.c_lflag == original_.c_lflag &&
           now.c_iflag == original_.c_iflag;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  termios original_{};
};

struct KeyCase {
  uint32_t type;
  const char* keys;
  int answer;
};

void PrintTo(const KeyCase& c, std::ostream* out) {
  *out << "type " << c.type;
}

class HostQuestionByKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(HostQuestionByKeys, AnswersFromSingleKeysAndRestoresTheTerminal) {
  PseudoTerminal terminal;
  if (!terminal.ok()) GTEST_SKIP() << "no pseudo-terminal";
  Pipe output;
  auto machine = MachineOn(terminal.slave(), output.fds[1]);
  int answer = -1;
  std::thread asker([&] { answer = machine->AskQuestion("C", "T", GetParam().type); });
  (void)output.ReadUntil("] ");  // the question is written whole, after the keys are raw
  terminal.Type(GetParam().keys);
  asker.join();
  EXPECT_EQ(answer, GetParam().answer);
  EXPECT_TRUE(terminal.Restored());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostQuestionByKeys,
    ::testing::Values(KeyCase{MB_YESNO, "n", IDNO}, KeyCase{MB_YESNO, "Y", IDYES},
                      KeyCase{MB_YESNO, "\r", IDYES}, KeyCase{MB_YESNO | MB_DEFBUTTON2, "\r", IDNO},
                      KeyCase{MB_YESNO, "\x1bqn", IDNO},  // Escape and other keys do nothing
                      KeyCase{MB_YESNO, "\x03", 0},       // Ctrl-C
                      KeyCase{MB_OKCANCEL, "\x1b", IDCANCEL},
                      KeyCase{MB_OKCANCEL, "\x1b[A\x1bOBo", IDOK},  // arrows are no Escape
                      KeyCase{MB_OK, "\x1b", IDOK}));

TEST(HostQuestion, AClosedTerminalMeansNoAnswer) {
  PseudoTerminal terminal;
  if (!terminal.ok()) GTEST_SKIP() << "no pseudo-terminal";
  Pipe output;
  auto machine = MachineOn(terminal.slave(), output.fds[1]);
  int answer = -1;
  std::thread asker([&] { answer = machine->AskQuestion("C", "T", MB_YESNO); });
  (void)output.ReadUntil("No ");
  terminal.CloseMaster();
  asker.join();
  EXPECT_EQ(answer, 0);
}

}  // namespace
}  // namespace tvx

#include "platform/host/dialog.h"

#include "platform/base/codepage.h"
#include "platform/windows.h"

namespace tvx::host {
namespace {

constexpr char kEscape = 0x1B;

std::vector<Button> ButtonsOf(uint32_t type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK:
      return {{"OK", IDOK}};
    case MB_OKCANCEL:
      return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{"Abort", IDABORT}, {"Retry", IDRETRY}, {"Ignore", IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO:
      return {{"Yes", IDYES}, {"No", IDNO}};
    case MB_RETRYCANCEL:
      return {{"Retry", IDRETRY}, {"Cancel", IDCANCEL}};
    default:
      return {};
  }
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c;
}

bool EqualsLower(std::string_view typed, std::string_view label) {
  if (typed.size() != label.size()) return false;
  for (size_t i = 0; i < typed.size(); ++i) {
    if (Lower(typed[i]) != Lower(label[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.remove_suffix(1);
  }
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

// The text for the terminal: UTF-8, line ends as "\n", and no control character that could
// move the cursor or change the terminal's state.
std::string ForTerminal(std::string_view text) {
  std::string kept;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char16_t code = cp1252::ToUnicode(static_cast<unsigned char>(c));
    if (c == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') kept += '\n';
    } else if (c == '\n' || c == '\t' ||
               (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code <= 0x9F))) {
      kept += c;
    }
  }
  return cp1252::ToUtf8(kept);
}

}  // namespace

Dialog::Dialog(uint32_t type) : buttons_(ButtonsOf(type)) {
  const size_t chosen = (type & MB_DEFMASK) >> 8;
  default_ = chosen < buttons_.size() ? chosen : 0;
}

std::string Dialog::Render(std::string_view caption, std::string_view text) const {
  std::string out = ForTerminal(caption) + "\n" + ForTerminal(text) + "\n";
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (i > 0) out += " / ";
    out += i == default_ ? std::string("[") + buttons_[i].label + "]" : buttons_[i].label;
  }
  return out + " ";
}

int Dialog::AnswerForLine(std::string_view line) const {
  line = Trimmed(line);
  if (line.empty()) return buttons_[default_].id;
  for (const Button& button : buttons_) {
    if (EqualsLower(line, button.label)) return button.id;
  }
  return line.size() == 1 ? ButtonFor(line[0]) : 0;
}

int Dialog::AnswerForKey(char key) const {
  if (key == '\r' || key == '\n') return buttons_[default_].id;
  if (key == kEscape) {
    // As on the real platform: Escape is Cancel, or OK in a box that has only OK.
    for (const Button& button : buttons_) {
      if (button.id == IDCANCEL) return IDCANCEL;
    }
    return buttons_.size() == 1 && buttons_[0].id == IDOK ? IDOK : 0;
  }
  return ButtonFor(key);
}

const char* Dialog::LabelOf(int id) const {
  for (const Button& button : buttons_) {
    if (button.id == id) return button.label;
  }
  return "";
}

int Dialog::ButtonFor(char letter) const {
  for (const Button& button : buttons_) {
    if (Lower(button.label[0]) == Lower(letter)) return button.id;
  }
  return 0;
}

}  // namespace tvx::host

// The message box as text: its buttons, how it is written, and how typed answers choose a button.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::host {

struct Button {
  const char* label;
  int id;  // IDOK, IDYES...
};

class Dialog {
 public:
  /// The box of MB_* `type`; no buttons for a type this machine cannot show.
  explicit Dialog(uint32_t type);

  bool CanShow() const { return !buttons_.empty(); }
  /// The caption, the text and the buttons, the default one in brackets: "[Yes] / No".
  std::string Render(std::string_view caption, std::string_view text) const;
  /// The button a typed line chooses (its label or first letter, case ignored; an empty line the
  /// default button), or 0 for a line that chooses none.
  int AnswerForLine(std::string_view line) const;
  /// The button a key chooses: its first letter, Enter for the default, Escape for Cancel (OK
  /// in a box with only OK); 0 for any other key.
  int AnswerForKey(char key) const;
  const char* LabelOf(int id) const;

 private:
  int ButtonFor(char letter) const;

  std::vector<Button> buttons_;
  size_t default_ = 0;
};

}  // namespace tvx::host

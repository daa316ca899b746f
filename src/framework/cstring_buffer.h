// The storage helpers CString's source files share.
#pragma once

namespace tvx::framework {

/// A buffer for `capacity` characters and a terminating zero. Ends the process through
/// AfxThrowMemoryException when the memory cannot be had or the size cannot be counted.
char* AllocateText(int capacity);
/// a + b, ending the process like AllocateText when the sum and its zero exceed an int.
int SumOfLengths(int a, int b);
/// The length of a zero-terminated text; a null text counts as empty.
int TextLength(const char* text);

}  // namespace tvx::framework

// The step from the bytes that GetPrivateProfileStringA leaves in its buffer to the value's
// text, kept apart so that cuts the local platform never produces can be tested as well.
#pragma once

#include <string>

namespace settings {

// The value held by `buffer` after a read that reported `reported` bytes into a buffer of
// `bufferSize` bytes: up to the reported length or the first NUL, without a lead byte whose
// trail byte was cut off, converted from the ANSI code page.
std::wstring valueFromProfileBuffer(const char* buffer, unsigned long reported,
                                    unsigned long bufferSize);

}  // namespace settings

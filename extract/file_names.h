// Which names from a disk directory may become files in the output directory.
#pragma once

// False for names that would leave the image's directory or cannot be a
// plain file there: empty, "." and "..", and names holding a path separator.
// Every other byte, Shift_JIS bytes among them, is fine.
bool IsUsableFileName(const char* name);

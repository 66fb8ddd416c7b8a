// Which names of a disk directory can be files here.
#pragma once

// False for names that would leave the folder they are written in or
// cannot be a plain file in it: empty, "." and "..", and whatever this
// system's own rules refuse (IsUsableNameHere: a path separator anywhere;
// on Windows also its reserved names and characters).
bool IsUsableFileName(const char* name);

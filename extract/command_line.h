// The command line as the run takes it: the platform seam for arguments.
//
// On Windows a narrow main() gets its arguments in the system's ANSI code
// page, which cannot spell every file name and maps some characters to
// look-alikes (a fullwidth letter to its ASCII twin), so the wrong file
// could be opened. There the arguments are read in UTF-16 and handed on in
// UTF-8; the program name stays as the narrow main() got it, for the usage
// message. Elsewhere the arguments are the bytes main() got.
#pragma once

struct Arguments {
  int count;
  char** values;  // values[0] to values[count - 1]; null-terminated
};

// The arguments of this process, from main()'s `argc` and `argv`. The
// returned strings live until the process ends.
Arguments TakeArguments(int argc, char** argv);

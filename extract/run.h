// The whole run of the tool: arguments, the loop over the images of the D88
// file, every message of the run and the exit status.
#pragma once

class D88File;

// Runs the tool with the command line `argv[0..argc-1]` on `d88` and returns
// the exit status: 0 when every image was extracted and every file written,
// 1 otherwise. Writes below the current directory only, through folders it
// holds open; never changes the current directory.
int RunExtractor(int argc, char** argv, D88File& d88);

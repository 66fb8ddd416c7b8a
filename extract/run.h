// The whole run of the tool: arguments, the loop over the images of the D88
// file, every message of the run and the exit status.
#pragma once

class D88File;

// Runs the tool with the command line `argv[0..argc-1]` on `d88` and returns
// the exit status: 0 when every image was extracted and every file written,
// 1 otherwise. Leaves the current directory where it found it, except after
// an image with an unsupported media type, which ends the run at once.
int RunExtractor(int argc, char** argv, D88File& d88);

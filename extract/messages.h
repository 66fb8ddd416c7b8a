// Every text the tool prints. The three Japanese messages are Shift_JIS bytes
// (their full stops are ASCII), written out byte by byte so that the source
// encoding cannot change them.
#pragma once

// "Usage: <program> [d88file]"
inline constexpr char kUsageFormat[] = "Usage: %s [d88file]\n";
inline constexpr char kDefaultProgramName[] = "d88extract";

// --help and -h as the only argument; --version prints kVersionFormat.
inline constexpr char kHelpText[] =
    "Usage: d88extract [OPTIONS] D88FILE      write each 2HD image's files into 000, 001, ...\n"
    "       d88extract [OPTIONS] D88FILE -d   write every image's files into one folder\n"
    "       d88extract --help | -h | --version\n"
    "\n"
    "  --list, -l   show what would be written, and write nothing\n"
    "  -C DIR       write below the folder DIR, not the current directory\n"
    "\n"
    "Reads the D88 disk-image file D88FILE and writes the files of every 2HD\n"
    "image in it below the current directory (or DIR), never elsewhere. The\n"
    "listing goes to standard output, failures to standard error. Exit status\n"
    "0 when every image was extracted and every file written, 1 otherwise.\n"
    "Options come before D88FILE; a D88 file named like one is given as ./-l.\n"
    "See man d88extract.\n";
inline constexpr char kVersionFormat[] = "d88extract %s\n";

// "The file cannot be opened."
inline constexpr char kOpenFailedMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5\x82\xAB"
    "\x82\xDC\x82\xB9\x82\xF1.\n";

// "2HD media recognised."
inline constexpr char kMedia2HDMessage[] =
    "2HD\x83\x81\x83\x66\x83\x42\x83\x41\x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
    ".\n";

// "Unsupported disk image format."
inline constexpr char kUnsupportedMediaMessage[] =
    "\x96\xA2\x91\xCE\x89\x9E\x82\xCC\x83\x66\x83\x42\x83\x58\x83\x4E\x83\x43\x83\x81\x81\x5B"
    "\x83\x57\x8C\x60\x8E\xAE\x82\xC5\x82\xB7.\n";

// Disk name and directory name of each image, with per-image directories.
inline constexpr char kImageHeaderFormat[] = "\n[%s] -> %s\n";

// One line per directory entry: name, first unit, last unit, size in bytes.
// The name comes padded to six of its Shift_JIS bytes (OnOutput), as
// "%-6s" would pad its bytes, so that decoded names keep the columns too.
inline constexpr char kListingFormat[] = "%s  START:%04x  END:%04x  SIZE:%04x\n";

// Failures the tool reports on top of the three above.
inline constexpr char kCannotEnterDirectoryFormat[] =
    "d88extract: cannot enter directory %s; image %d skipped\n";
inline constexpr char kCannotFindStartDirectory[] =
    "d88extract: cannot tell the current directory\n";
inline constexpr char kCannotReadD88[] = "d88extract: cannot read the D88 file\n";
// The folder of -C, as given, control bytes escaped.
inline constexpr char kCannotUseFolderFormat[] = "d88extract: cannot use the folder %s\n";
inline constexpr char kStdoutIsD88[] = "d88extract: standard output is the D88 file\n";
inline constexpr char kStderrIsD88[] = "d88extract: standard error is the D88 file\n";
inline constexpr char kCannotTellStdout[] =
    "d88extract: cannot tell whether standard output is the D88 file\n";
inline constexpr char kCannotTellStderr[] =
    "d88extract: cannot tell whether standard error is the D88 file\n";
inline constexpr char kCannotHoldStreams[] =
    "d88extract: cannot hold a closed standard stream\n";
inline constexpr char kStdoutFailed[] = "d88extract: cannot write to standard output\n";

// Directory entries that are listed but not written: image index, entry
// index and the entry's name (control bytes escaped, see InMessage).
inline constexpr char kEntryOutsideDiskFormat[] =
    "d88extract: image %d, entry %d \"%s\": points outside the disk, not written\n";
inline constexpr char kEntryNameUnusableFormat[] =
    "d88extract: image %d, entry %d \"%s\": not a usable file name, not written\n";
inline constexpr char kEntryIsD88FileFormat[] =
    "d88extract: image %d, entry %d \"%s\": is the D88 file being read, not written\n";
inline constexpr char kEntryIsStdoutFormat[] =
    "d88extract: image %d, entry %d \"%s\": is where standard output goes, not written\n";
inline constexpr char kEntryIsStderrFormat[] =
    "d88extract: image %d, entry %d \"%s\": is where standard error goes, not written\n";
inline constexpr char kEntryWriteFailedFormat[] =
    "d88extract: image %d, entry %d \"%s\": cannot write the file\n";

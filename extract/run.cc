#include "extract/run.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "extract/console.h"
#include "extract/disk_extract.h"
#include "extract/messages.h"
#include "extract/output_files.h"
#include "image/d88_file.h"

namespace {

// The run proper; its messages are printed, but standard output is not yet
// known to have been written.
int RunImages(int argc, char** argv, D88File& d88) {
  const int argumentCount = argc - 1;
  if (argumentCount < 1 || argumentCount > 3) {
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : kDefaultProgramName;
    PrintError(kUsageFormat, program);
    return 1;
  }
  // Only "PATH -d" writes into the current directory; a third argument keeps
  // per-image directories on.
  const bool perImageDirectories = !(argumentCount == 2 && std::strcmp(argv[2], "-d") == 0);

  // The D88 file's identity is taken right after it is opened: no file the
  // run writes may be that file.
  FileIdentity d88Identity;
  if (!d88.Open(argv[1]) || !IdentifyPath(argv[1], &d88Identity)) {
    PrintError("%s", kOpenFailedMessage);
    return 1;
  }

  // Each image's directory is left for the directory the run started in, not
  // for "..": a directory that leads elsewhere (a link) must not move the
  // next image's output out of the place the user chose.
  std::filesystem::path startDirectory;
  if (perImageDirectories && d88.GetImageCount() > 0) {
    std::error_code error;
    startDirectory = std::filesystem::current_path(error);
    if (error) {
      PrintError("%s", kCannotFindStartDirectory);
      return 1;
    }
  }

  bool everythingWritten = true;
  for (int32_t index = 0; index < d88.GetImageCount(); ++index) {
    d88.SelectImage(index);  // cannot fail: the file is open and the index below the count
    char directoryName[16];
    std::snprintf(directoryName, sizeof directoryName, "%03d", static_cast<int>(index));

    if (perImageDirectories) {
      std::error_code ignored;  // an existing directory is reused
      std::filesystem::create_directory(directoryName, ignored);
      std::error_code entering;
      std::filesystem::current_path(directoryName, entering);
      if (entering) {
        // Writing this image anywhere else could overwrite the user's files.
        PrintError(kCannotEnterDirectoryFormat, directoryName, static_cast<int>(index));
        everythingWritten = false;
        continue;
      }
      std::printf(kImageHeaderFormat, ForStandardOutput(d88.GetDiskName()).text, directoryName);
    }

    if (d88.GetMediaType() != kMediaType2HD) {
      PrintError("%s", kUnsupportedMediaMessage);
      return 1;
    }
    std::fputs(kMedia2HDMessage, stdout);
    if (!ExtractImage(d88, index, d88Identity)) everythingWritten = false;

    if (perImageDirectories) {
      std::error_code returning;
      std::filesystem::current_path(startDirectory, returning);
      if (returning) {
        PrintError("%s", kCannotReturnDirectory);
        return 1;
      }
    }
  }
  return everythingWritten ? 0 : 1;
}

}  // namespace

int RunExtractor(int argc, char** argv, D88File& d88) {
  SetUpConsole();
  int status = RunImages(argc, argv, d88);
  if (!FlushStandardOutput()) {
    std::fputs(kStdoutFailed, stderr);
    status = 1;
  }
  return status;
}

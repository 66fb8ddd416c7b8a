#include "extract/platform.h"
#include "extract/run.h"
#include "image/d88_file.h"

namespace {

// The one reader of the process, in static storage: made before main runs;
// its destruction at exit closes the D88 file.
D88File d88File;

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = TakeArguments(argc, argv);
  return RunExtractor(arguments.count, arguments.values, d88File);
}

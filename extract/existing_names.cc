// What may be replaced at an entry's name, and the temporary name that
// replaces it: the same on every system.
#include <cstdio>

#include "extract/platform.h"

void FormatTemporaryName(char* name, long process, int attempt) {
  std::snprintf(name, kTemporaryNameBytes, ".d88extract-%ld-%d.tmp", process, attempt);
}

SaveResult JudgeExistingName(const FileIdentity& existing, bool isDirectory,
                             const ProtectedFiles& files) {
  // Without both identities nothing tells the name from the D88 file.
  if (!existing.known || !files.d88.known) return SaveResult::kNotWritten;
  if (MayBeSameFile(existing, files.d88)) return SaveResult::kIsD88File;
  if (files.output.known && MayBeSameFile(existing, files.output)) {
    return SaveResult::kIsStandardOutput;
  }
  if (files.error.known && MayBeSameFile(existing, files.error)) {
    return SaveResult::kIsStandardError;
  }
  return isDirectory ? SaveResult::kNotWritten : SaveResult::kWritten;
}

#include "tests/common/file_trees.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

Tree ReadTree(const fs::path& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string& contents = tree[entry.path().lexically_relative(root).generic_string()];
    if (entry.is_symlink() || !entry.is_regular_file()) {
      contents = entry.is_symlink() ? "<link>" : entry.is_directory() ? "<dir>" : "<other>";
    } else {
      contents = ReadFileText(entry.path());
    }
  }
  return tree;
}

std::string ReadFileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

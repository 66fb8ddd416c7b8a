#include "tests/common/file_trees.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

Tree ReadTree(const fs::path& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    tree[entry.path().lexically_relative(root).generic_string()] =
        entry.is_symlink()        ? "<link>"
        : entry.is_directory()    ? "<dir>"
        : entry.is_regular_file() ? ReadFileText(entry.path())
                                  : "<other>";
  }
  return tree;
}

std::string ReadFileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

// What a run left on disk, read back alike by the tests and the fuzz target that runs the tool.
#pragma once

#include <filesystem>
#include <map>
#include <string>

// Every entry below `root` by its relative path: a file's bytes, "<dir>",
// "<link>" (not followed) or "<other>".
using Tree = std::map<std::string, std::string>;
Tree ReadTree(const std::filesystem::path& root);

// The whole file at `path`; empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);

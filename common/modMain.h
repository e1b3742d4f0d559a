// Creating a folder together with every missing folder above it.
#pragma once

#include <string>

namespace tolvik {

// Creates the folder and each missing folder above it; folders that exist are left alone.
// The path may end with a separator or not. True when the folder exists afterwards. When it
// returns false and `reason` is given, it receives the system's account of the failure.
bool EnsureDirectoryPath(const std::string& path, std::string* reason = nullptr);

}  // namespace tolvik

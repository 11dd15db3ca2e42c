// Files for the rendering services served from memory, by virtual path.
#pragma once

#include <map>
#include <string>

std::map<std::string, std::string>& testFiles();
// Installs testFiles() as the file reader of the rendering services.
void useTestFiles();
// Restores the virtual file system as the reader.
void stopUsingTestFiles();

// Encoding of test pictures for the benchmarks that decode images: the files
// are made at run time so that no binary test data is kept in the tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A PNG of an 8-bit RGB picture of width × height pixels (rows top first).
std::string encodePng(const std::vector<uint8_t>& rgb, int width, int height);

// A JPEG at quality 90 of the same kind of picture.
std::string encodeJpeg(const std::vector<uint8_t>& rgb, int width, int height);

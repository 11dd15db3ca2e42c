// Preview recordings: every frame of a `--frames` run with the sound values
// it was drawn with, so that tests and tools can judge how a scene moves
// (does it change, does it follow the beat, does it flash) without a window.
//
// The file is "VREC", the width and the height (32-bit little-endian), then
// for each frame four floats (level, low band, beat position, beat strength)
// and width x height RGB pixels, top row first. A run that stops early leaves
// fewer frames; a frame cut short by the end of the file is not read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct RecordedFrame {
    float level = 0.0f;
    float low = 0.0f;
    float position = 0.0f;
    float strength = 0.0f;
    std::vector<uint8_t> rgb;  // width x height x 3, top row first
};

struct Recording {
    int width = 0;
    int height = 0;
    std::vector<RecordedFrame> frames;
};

// Writes the header; false when the file cannot be written.
bool writeRecordingHeader(FILE* file, int width, int height);
// Appends one frame, whose pixels must be width x height x 3 bytes.
bool writeRecordedFrame(FILE* file, const RecordedFrame& frame);
// Reads a whole recording; false (with `recording` partly filled) for a file
// that is missing or does not start with the header.
bool readRecording(const std::string& path, Recording& recording);

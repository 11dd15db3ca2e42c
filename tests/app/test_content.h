// Content made by the tests: one archive with scene images assembled from
// source, scene lists and a control script; and WAV files to listen to.
#pragma once

#include <map>
#include <string>
#include <vector>

// Writes `files` (name to content) as the archive `path`.
void writeArchive(const std::string& path, const std::map<std::string, std::string>& files);
// The image of a scene assembled from `source` (test failures on errors).
std::string sceneImage(const std::string& source);
// A scene list naming scenes/<id>.vsi for each id.
std::string sceneList(const std::vector<std::string>& ids);
// The source of a scene that clears the whole picture to red, green, blue
// given as assembler float literals.
std::string solidSceneSource(const std::string& red, const std::string& green,
                             const std::string& blue);
// A control script that puts `id` in play once the lists are read.
std::string insertingScript(const std::string& id);
// A mono 16-bit WAV file at 22 050 Hz of `seconds`: bursts of a 330 Hz tone
// at `volume` (0 to 1), 0.1 s on and 0.1 s off.
std::string wavFile(double volume, double seconds);

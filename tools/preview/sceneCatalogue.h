// The scenes of a folder of scene-list files on disk (the sources of an
// archive's scenes/), for tools that go through every scene: the gallery,
// the content checks and the content benchmark. Conditions are not
// evaluated: every Scene element is listed.
#pragma once

#include <string>
#include <vector>

struct CatalogueScene {
    std::string id;
    std::string list;    // file name of the list, e.g. "library.xml"
    std::string styles;  // the Styles value
    int inputs = 0;      // children it composes: 0 for a scene with a picture of its own
};

// Every Scene of every *.xml file in `directory`, lists in file-name order
// and scenes in document order. Files that do not parse are skipped.
std::vector<CatalogueScene> readSceneCatalogue(const std::string& directory);

// The scenes of the catalogue that draw a picture of their own (no
// children): those a preview shows as they are.
std::vector<CatalogueScene> scenesWithPictures(const std::vector<CatalogueScene>& catalogue);

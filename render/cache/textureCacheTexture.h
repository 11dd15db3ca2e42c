// One texture of the texture cache: a file texture (decoded by a loader
// thread, uploaded by the upload thread or on the main thread) or an array texture a scene
// supplied.
//
// Sharing with the loader threads: the name and the maximum size never change
// after the record is listed; the three flags hand the decoded image back and
// forth (needs load and free image are cleared only by a loader, image ready
// only by the main thread), and the image itself belongs to whichever side
// the flags say. `claimed` (under the cache's list lock) lets exactly one
// loader decode the record. Everything else is main-thread bookkeeping.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/cache/textureUploader.h"
#include "render/image.h"

class CTextureCacheTexture {
public:
    CTextureCacheTexture(std::string name, int id, int maxSize)
        : name(std::move(name)), id(id), maxSize(maxSize) {}

    // Loader thread: decodes the file part of the name, runs its tweak script
    // and fits the result to the maximum size; with `fourChannels` an image
    // without alpha gets an opaque one, the layout the upload copies fastest.
    // `spare` is pixel memory of an earlier image to decode into. On success
    // the image is held and image ready is set; on failure nothing is held.
    void loadToImg(bool fourChannels, std::vector<uint8_t> spare = {});

    // Main thread: ownership bookkeeping.
    void addOwner(const std::string& owner) { owners.push_back(owner); }
    // Removes the first occurrence of `owner`, or all of them; true if any went.
    bool removeOwner(const std::string& owner, bool allOccurrences);
    bool ownedBy(const std::string& owner) const;

    const std::string name;
    const int id;
    const int maxSize;
    uint32_t lastUse = 0;
    std::vector<std::string> owners;

    // File textures: the size after fitting; array textures: the array's.
    std::atomic<int> width{1};
    std::atomic<int> height{1};
    int depth = 1;

    // Array textures.
    uint32_t checksum = 0;
    bool isFloat = false;
    std::vector<uint8_t> data;

    std::unique_ptr<Image> image;
    std::atomic<bool> needsLoad{false};
    std::atomic<bool> imageReady{false};
    std::atomic<bool> freeImage{false};
    // Taken by the loader that decodes the record (list lock).
    bool claimed = false;
    // Uploads off the main thread (list lock): taken by the upload thread (or
    // by a first bind that came before it), the fenced result waiting to be
    // published, and whether the record left the list meanwhile.
    bool uploadClaimed = false;
    bool uploadFenced = false;
    bool dropped = false;
    OffThreadUpload offThread;
};

// The size an image of width x height is scaled to so that neither side
// exceeds `maxSize`, keeping the proportions (integer arithmetic); no side
// becomes smaller than one pixel.
void textureFitSize(int maxSize, int* width, int* height);

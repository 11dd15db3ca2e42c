// Decoding and bookkeeping of one cached texture. See textureCacheTexture.h.
#include "render/cache/textureCacheTexture.h"

#include <algorithm>
#include <exception>

#include "app/log.h"
#include "render/cache/imageTweak.h"
#include "render/cache/textureDecode.h"

void textureFitSize(int maxSize, int* width, int* height) {
    int64_t w = *width;
    int64_t h = *height;
    if (maxSize < 1) return;
    if (w > maxSize) {
        h = std::max<int64_t>(1, maxSize * h / w);
        w = maxSize;
    }
    if (h > maxSize) {
        w = std::max<int64_t>(1, maxSize * w / h);
        h = maxSize;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
}

void CTextureCacheTexture::loadToImg(bool fourChannels, std::vector<uint8_t> spare) {
    Log(LOG_INFO, "CTextureCacheTexture::loadToImg start '%s'\n", name.c_str());
    size_t split = name.find(';');
    std::string file = name.substr(0, split);
    std::string script = split == std::string::npos ? std::string() : name.substr(split + 1);
    std::unique_ptr<Image> decoded;
    try {
        // A tweak script sees the image as the file gives it (bpp and all).
        decoded = textureDecode(file, fourChannels && script.empty(), std::move(spare));
        if (decoded) {
            imageTweakRun(decoded.get(), script);
            int w = decoded->width;
            int h = decoded->height;
            textureFitSize(maxSize, &w, &h);
            if (w != decoded->width || h != decoded->height) imageScale(decoded.get(), w, h);
            // Files the direct decoders do not take, and tweaked images. Alpha
            // 255 samples exactly like a texture without alpha.
            if (fourChannels) imageAddAlpha(decoded.get());
        }
    } catch (const std::exception&) {
        // Running out of memory on a huge image, or anything else thrown while
        // decoding, must not take the loader thread (and the program) down.
        decoded.reset();
    }
    if (!decoded || decoded->width < 1 || decoded->height < 1) {
        Log(LOG_WARNING, "can't load image '%s'\n", file.c_str());
        return;
    }
    width = decoded->width;
    height = decoded->height;
    image = std::move(decoded);
    imageReady = true;
    Log(LOG_INFO, "CTextureCacheTexture::loadToImg done '%s'\n", name.c_str());
}

bool CTextureCacheTexture::removeOwner(const std::string& owner, bool allOccurrences) {
    bool removed = false;
    for (auto it = owners.begin(); it != owners.end();) {
        if (*it == owner && (allOccurrences || !removed)) {
            it = owners.erase(it);
            removed = true;
        } else {
            ++it;
        }
    }
    return removed;
}

bool CTextureCacheTexture::ownedBy(const std::string& owner) const {
    return std::find(owners.begin(), owners.end(), owner) != owners.end();
}

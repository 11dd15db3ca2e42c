// GL textures behind texture ids: uploads from decoded images, byte arrays
// and float arrays (2-D and 3-D), and binding to texture units with a
// fallback texture while a cached texture has not arrived.
#pragma once

#include <GL/glew.h>

#include <cstdint>

struct Image;

// What texBind needs of the texture cache (which owns file and array textures).
class TextureCacheHook {
public:
    virtual ~TextureCacheHook() = default;
    // Makes the texture resident if it can (may wait for the loader).
    virtual void ensureTextureLoaded(int id) = 0;
    // One line about the texture at shutdown.
    virtual void report(int id) = 0;
};

// The cache, or null (then nothing is made resident and reports say nothing).
void texSetCacheHook(TextureCacheHook* hook);
// The texture drawn in place of one that did not load (the logo); 0 for none.
void texSetFallbackTexture(int id);

// Asks the cache to make a non-renderable texture resident.
void texEnsureResident(int id);

// Fills the existing record `id` from a decoded image (ids 0, out of range
// or unused: nothing happens).
void texUploadImage(int id, const Image& image);
// New 2-D textures; each returns its id.
int texFromBytes(int width, int height, const uint8_t* rgba);
int texFromFloats(int width, int height, const float* rgba);
int texFromFloats3D(int width, int height, int depth, const float* rgba);
// Removes the record and deletes its GL texture (the texture cache's free).
void texDelete(int id);

// Binds texture `id` to `unit`; id 0 disables texturing on that unit.
void texBind(int unit, int id);

// Shutdown: lists every used record of the table.
void texReportAll();

// The byte a float channel becomes when float textures are missing.
uint8_t texFloatToByte(float value);

// The texture id table: id -> GL texture, target, size, and whether the
// texture belongs to the frame buffer pool (renderable) or to the texture
// cache. Slot 0 is reserved (id 0 means no texture); a new record takes the
// lowest free id from 1, so ids are reused after removal.
//
// The table itself makes no GL calls.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <vector>

struct TextureRecord {
    bool used = false;
    GLenum target = 0;
    GLuint glName = 0;
    int width = 0;
    int height = 0;
    int cacheId = 0;
    bool renderable = false;
};

class CTextureInfos {
public:
    CTextureInfos();

    // A record without GL texture for the texture cache to fill later.
    int allocateCacheSlot();
    int registerTexture(GLenum target, GLuint glName, int width, int height, bool renderable);
    GLenum getTarget(int id);
    GLuint getGLid(int id);
    void remove(int id);

    // The used record of `id`, or null; id 0 is never a record.
    TextureRecord* find(int id);
    // Number of slots including the reserved one.
    int size() const { return static_cast<int>(records_.size()); }
    // Forgets every record (tests).
    void clear();

private:
    int takeSlot();
    std::vector<TextureRecord> records_;
};

// The process-wide table.
CTextureInfos& textureInfos();

// The texture id table. See textureInfos.h.
#include "render/textureInfos.h"

#include "app/log.h"

CTextureInfos::CTextureInfos() {
    clear();
}

void CTextureInfos::clear() {
    records_.clear();
    records_.emplace_back();
    records_[0].used = true;
}

int CTextureInfos::takeSlot() {
    for (size_t id = 1; id < records_.size(); id++) {
        if (!records_[id].used) {
            records_[id] = TextureRecord();
            records_[id].used = true;
            records_[id].cacheId = static_cast<int>(id);
            return static_cast<int>(id);
        }
    }
    records_.emplace_back();
    int id = static_cast<int>(records_.size() - 1);
    records_[id].used = true;
    records_[id].cacheId = id;
    return id;
}

int CTextureInfos::allocateCacheSlot() {
    return takeSlot();
}

int CTextureInfos::registerTexture(GLenum target, GLuint glName, int width, int height,
                                   bool renderable) {
    int id = takeSlot();
    TextureRecord& record = records_[id];
    record.target = target;
    record.glName = glName;
    record.width = width;
    record.height = height;
    record.renderable = renderable;
    return id;
}

TextureRecord* CTextureInfos::find(int id) {
    if (id <= 0 || id >= static_cast<int>(records_.size())) return nullptr;
    return records_[id].used ? &records_[id] : nullptr;
}

GLenum CTextureInfos::getTarget(int id) {
    TextureRecord* record = find(id);
    if (!record) {
        Log(LOG_WARNING, "CTextureInfos::getTarget Texture ID %d not found\n", id);
        return 0;
    }
    return record->target;
}

GLuint CTextureInfos::getGLid(int id) {
    if (id == 0) return 0;
    TextureRecord* record = find(id);
    if (!record) {
        Log(LOG_WARNING, "CTextureInfos::getGLid Texture ID %d not found\n", id);
        return 0;
    }
    return record->glName;
}

void CTextureInfos::remove(int id) {
    if (id <= 0 || id >= static_cast<int>(records_.size())) return;
    if (!records_[id].used) Log(LOG_WARNING, "CTextureInfos::remove - texture not used\n");
    records_[id] = TextureRecord();
}

CTextureInfos& textureInfos() {
    static CTextureInfos table;
    return table;
}

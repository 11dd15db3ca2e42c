// The texture id table needs no GL context.
#include <gtest/gtest.h>

#include "app/log.h"
#include "render/textureInfos.h"
#include "tests/support/log_capture.h"

namespace {

TEST(TextureInfos, IdsStartAtOneAndReuseTheLowestFreeSlot) {
    CTextureInfos table;
    int first = table.registerTexture(GL_TEXTURE_2D, 11, 4, 4, false);
    int second = table.allocateCacheSlot();
    int third = table.registerTexture(GL_TEXTURE_3D, 13, 2, 2, true);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(third, 3);
    table.remove(1);
    table.remove(3);
    EXPECT_EQ(table.allocateCacheSlot(), 1);
    EXPECT_EQ(table.registerTexture(GL_TEXTURE_2D, 14, 1, 1, false), 3);
    EXPECT_EQ(table.allocateCacheSlot(), 4);
    EXPECT_EQ(table.size(), 5);
}

TEST(TextureInfos, ReusedSlotForgetsTheOldRecord) {
    CTextureInfos table;
    int id = table.registerTexture(GL_TEXTURE_3D, 99, 8, 8, true);
    table.remove(id);
    EXPECT_EQ(table.allocateCacheSlot(), id);
    TextureRecord* record = table.find(id);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->glName, 0u);
    EXPECT_EQ(record->target, 0u);
    EXPECT_FALSE(record->renderable);
    EXPECT_EQ(record->cacheId, id);
}

TEST(TextureInfos, LookupsOfMissingIdsWarnAndYieldZero) {
    CTextureInfos table;
    int id = table.registerTexture(GL_TEXTURE_2D, 21, 4, 4, false);
    LogCapture log;
    EXPECT_EQ(table.getGLid(0), 0u);
    EXPECT_EQ(log.lines().size(), 0u);
    EXPECT_EQ(table.getGLid(id), 21u);
    EXPECT_EQ(table.getTarget(id), static_cast<GLenum>(GL_TEXTURE_2D));
    EXPECT_EQ(table.getGLid(7), 0u);
    EXPECT_TRUE(log.contains(LOG_WARNING, "CTextureInfos::getGLid Texture ID 7 not found\n"));
    EXPECT_EQ(table.getTarget(0), 0u);
    EXPECT_TRUE(log.contains(LOG_WARNING, "CTextureInfos::getTarget Texture ID 0 not found\n"));
    table.remove(id);
    EXPECT_EQ(table.getGLid(id), 0u);
    EXPECT_EQ(log.count("getGLid Texture ID 1 not found"), 1u);
}

TEST(TextureInfos, RemovingTwiceWarnsAndReservedOrOutOfRangeIdsAreIgnored) {
    CTextureInfos table;
    int id = table.allocateCacheSlot();
    LogCapture log;
    table.remove(0);
    table.remove(-3);
    table.remove(50);
    EXPECT_EQ(log.lines().size(), 0u);
    EXPECT_EQ(table.find(0), nullptr);  // slot 0 is never a record
    table.remove(id);
    EXPECT_EQ(log.lines().size(), 0u);
    table.remove(id);
    EXPECT_TRUE(log.contains(LOG_WARNING, "CTextureInfos::remove - texture not used\n"));
    EXPECT_EQ(table.allocateCacheSlot(), 1);
}

}  // namespace

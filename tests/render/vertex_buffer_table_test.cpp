// The vertex buffer table and its lock discipline. Without buffer objects
// none of this reaches GL, so it runs without a display.
#include <gtest/gtest.h>

#include <vector>

#include "app/log.h"
#include "app/settingsAccess.h"
#include "render/renderState.h"
#include "render/vertexBuffer.h"
#include "tests/support/log_capture.h"

namespace {

// A word heap in the manner of a scene's VM memory: blocks are word ranges.
class FakeHeap : public VertexMemoryOwner {
public:
    explicit FakeHeap(uint32_t capacity) : words(capacity, 0.0f) {}
    int allocateWords(uint32_t count) override {
        if (next + count > words.size()) return -1;
        int index = static_cast<int>(next);
        next += count;
        live.push_back(index);
        return index;
    }
    void freeWords(int index) override {
        freed.push_back(index);
        for (size_t i = 0; i < live.size(); i++)
            if (live[i] == index) live.erase(live.begin() + static_cast<long>(i));
    }
    float* wordPointer(int index) override { return &words[index]; }

    std::vector<float> words;
    uint32_t next = 1;  // word 0 stays unused, as a null address would
    std::vector<int> live;
    std::vector<int> freed;
};

class TableHost : public RenderHost {
public:
    int outputWidth() const override { return 640; }
    int outputHeight() const override { return 480; }
    SettingsAccess* settings() override { return &store; }
    MemorySettings store;
};

class VertexBufferTable : public ::testing::Test {
protected:
    void SetUp() override {
        renderSetCaps(RenderCaps());
        renderUtilsInit(&host);
    }
    void TearDown() override {
        LogCapture quiet;
        vbDestroyAll();
    }
    TableHost host;
    // Outlives the final sweep in TearDown, which gives blocks back to it.
    FakeHeap heap{1000};
};

TEST_F(VertexBufferTable, IdsStartAtZeroAndTheLowestEmptySlotIsReused) {
    EXPECT_EQ(vbCreate(nullptr, 0, 3), 0);
    EXPECT_EQ(vbCreate(nullptr, 1, 3), 1);
    EXPECT_EQ(vbCreate(nullptr, 2, 3), 2);
    EXPECT_TRUE(vbDestroy(0));
    EXPECT_EQ(vbCreate(nullptr, 3, 3), 0);
    EXPECT_TRUE(vbDestroy(1));
    EXPECT_TRUE(vbDestroy(2));
    EXPECT_EQ(vbCreate(nullptr, 4, 1), 1);
    EXPECT_EQ(vbTableSize(), 3);
    LogCapture log;
    EXPECT_FALSE(vbDestroy(2));
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unknown Vertex Buffer 2\n"));
}

TEST_F(VertexBufferTable, MemoryComesFromTheOwnerAndGoesBackToIt) {
    int id = vbCreate(&heap, 5, 10);
    ASSERT_GE(id, 0);
    EXPECT_EQ(heap.next, 1u + 10 * 15);
    float* vertices = vbLock(id);
    EXPECT_EQ(vertices, &heap.words[1]);
    vbUnLock(id);
    EXPECT_TRUE(vbDestroy(id));
    EXPECT_EQ(heap.freed, std::vector<int>{1});
}

TEST_F(VertexBufferTable, FloatsPerVertexFollowTheFormats) {
    const int expected[6] = {3, 5, 6, 8, 12, 15};
    for (int format = 0; format < 6; format++) {
        uint32_t before = heap.next;
        vbCreate(&heap, format, 7);
        EXPECT_EQ(heap.next - before, 7u * expected[format]) << "format " << format;
        EXPECT_EQ(vbFloatsPerVertex(format), expected[format]);
    }
}

TEST_F(VertexBufferTable, UnknownFormatIsFatal) {
    LogCapture log;
    EXPECT_THROW(vbCreate(nullptr, 6, 3), VisException);
    EXPECT_TRUE(log.contains(LOG_FATAL, "ASSERT FAILED AT"));
    EXPECT_EQ(vbTableSize(), 0);
}

TEST_F(VertexBufferTable, FullOwnerOrNegativeCountIsRefusedInsteadOfFailingLater) {
    heap.words.resize(20);
    LogCapture log;
    EXPECT_EQ(vbCreate(&heap, 4, 2), -1);
    EXPECT_EQ(vbCreate(nullptr, 0, -1), -1);
    EXPECT_EQ(log.count("vbCreate:"), 2u);
    EXPECT_EQ(vbTableSize(), 0);
    EXPECT_EQ(vbCreate(&heap, 0, 2), 0);
}

TEST_F(VertexBufferTable, LockDiscipline) {
    int id = vbCreate(nullptr, 0, 4);
    LogCapture log;
    float* first = vbLock(id);
    float* second = vbLock(id);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "Attempting to lock Vertex Buffer that was already locked\n"));
    EXPECT_FALSE(vbDestroy(id));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Attempting to destroy Vertex Buffer that was locked\n"));
    vbUnLock(id);
    vbUnLock(id);
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "Attempting to unlock Vertex Buffer that wasn't locked\n"));
    EXPECT_EQ(vbLock(id + 5), nullptr);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Unknown Vertex Buffer 5\n"));
    vbUnLock(-1);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unknown Vertex Buffer -1\n"));
    EXPECT_TRUE(vbDestroy(id));
}

TEST_F(VertexBufferTable, RefusedDrawsNeedNoContext) {
    int id = vbCreate(nullptr, 0, 4);
    LogCapture log;
    EXPECT_FALSE(vbRender(id, 4, 0, 4));
    EXPECT_TRUE(log.contains(LOG_WARNING, "vbRender with no shader bound!\n"));
    vbLock(id);
    EXPECT_FALSE(vbRender(id, 4, 0, 4));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Attempting to render locked Vertex Buffer\n"));
    vbUnLock(id);
}

TEST_F(VertexBufferTable, BufferObjectsWithoutSupportWarnOnceAndClearTheSetting) {
    host.store.setInt("gl.use_vbo", 1);
    LogCapture log;
    vbCreate(nullptr, 0, 3);
    vbCreate(nullptr, 0, 3);
    EXPECT_EQ(log.count("VBOs enabled but not supported by the system\n"), 1u);
    EXPECT_EQ(host.store.getInt("gl.use_vbo", -1), 0);
}

TEST_F(VertexBufferTable, ShutdownReportsAndEmptiesTheTable) {
    vbCreate(nullptr, 2, 5);
    int locked = vbCreate(&heap, 0, 3);
    vbCreate(nullptr, 1, 1);
    vbDestroy(2);
    vbLock(locked);
    LogCapture log;
    vbDestroyAll();
    EXPECT_TRUE(log.contains(LOG_WARNING, "vb: format 2 elems 5\n"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "vb: format 0 elems 3\n"));
    EXPECT_FALSE(log.contains("format 1 elems 1"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVertexBuffer: Locked VB Being destroyed!\n"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "renderUtilsKill: vertexBuffers not empty (2)\n"));
    EXPECT_EQ(vbTableSize(), 0);
    EXPECT_TRUE(heap.live.empty());
}

}  // namespace

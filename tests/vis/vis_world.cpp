#include "tests/vis/vis_world.h"

#include <gtest/gtest.h>

#include "script/script.h"
#include "tests/scene/fake_clock.h"
#include "vfs/archiveWriter.h"
#include "vm/assembler.h"

std::string printingScene(const std::string& tag) {
    std::string source = R"vsa(
.native print "V print(*I,F)"
.string tag "TAG"
.func "V init()" init
.func "V step()" step
.func "V render()" render
.func "V kill()" kill
init:
    REF tag
    LITERALF 1
    NATIVE print
    RETURN
step:
    REF tag
    LITERALF 2
    NATIVE print
    RETURN
render:
    REF tag
    LITERALF 3
    NATIVE print
    RETURN
kill:
    REF tag
    LITERALF 4
    NATIVE print
    RETURN
)vsa";
    source.replace(source.find("TAG"), 3, tag);
    return source;
}

VisWorld::VisWorld() = default;

VisWorld::~VisWorld() {
    stop();
}

void VisWorld::file(const std::string& name, const std::string& content) {
    files_[name] = content;
}

std::string VisWorld::scene(const std::string& id, const std::string& source,
                            const std::string& data) {
    AsmResult image = vmAssemble(source, id + ".vsa");
    for (const std::string& error : image.errors)
        ADD_FAILURE() << id << ": " << error;
    std::vector<uint8_t> bytes = vmImageBytes(image.words);
    file("scenes/" + id + ".vsi", std::string(bytes.begin(), bytes.end()));
    return "<Scene id=\"" + id + "\"><Filename>" + id + ".vsi</Filename><Data>" + data +
           "</Data></Scene>";
}

CVisMain& VisWorld::start(CWindowBase* window, uint32_t flags, const char* startupScript) {
    if (!files_.empty()) {
        CArchiveWriter writer;
        for (const auto& [name, content] : files_)
            EXPECT_TRUE(writer.add(name, content.data(), content.size())) << writer.error();
        EXPECT_TRUE(writer.writeFile(base.path() + "content.vortapack")) << writer.error();
    }
    vis = std::make_unique<CVisMain>(base.path(), window ? window : &headless, &beat, flags,
                                     startupScript);
    vis->queueSceneLists();
    return *vis;
}

void VisWorld::frames(int count, uint32_t milliseconds) {
    for (int i = 0; i < count; i++) {
        fakeClockAdvance(milliseconds);
        vis->step();
    }
}

void VisWorld::stop() {
    if (!vis) return;
    vis->kill();
    vis.reset();
}

std::string VisWorld::eval(const std::string& code) {
    return vis->script().evalString(code);
}

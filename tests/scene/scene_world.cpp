#include "tests/scene/scene_world.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "app/log.h"
#include "scene/sceneNatives.h"
#include "tests/support/log_capture.h"
#include "vfs/fileSystem.h"
#include "vm/assembler.h"

SceneWorld::SceneWorld() {
    host.base = directory.path();
    CVFileSystem::create(directory.path());
    vmSystemCreate(logLevelFromPrefix);
    EXPECT_TRUE(sceneInstallNatives());
}

SceneWorld::~SceneWorld() {
    scenes.clear();
    vmSystemDestroy();
    CVFileSystem::destroy();
}

void SceneWorld::file(const std::string& name, const std::string& content) {
    directory.write(name, content);
    CVFileSystem::get().addFile(name);
}

CScene& SceneWorld::scene(const std::string& id, const std::string& source,
                          const std::string& data) {
    AsmResult image = vmAssemble(source, id + ".vsa");
    for (const std::string& error : image.errors)
        ADD_FAILURE() << error;
    std::vector<uint8_t> bytes = vmImageBytes(image.words);
    file("scenes/" + id + ".vsi", std::string(bytes.begin(), bytes.end()));
    std::string xml = "<Scene id=\"" + id + "\"><Filename>" + id + ".vsi</Filename><Data>" + data +
                      "</Data></Scene>";
    TiXmlDocument document;
    document.Parse(xml.c_str());
    auto definition = SceneDefinition::fromElement(*document.RootElement(), "scenes/test.xml",
                                                   SceneContext{&host, &host});
    scenes.push_back(std::make_unique<CScene>(&host, std::move(definition)));
    return *scenes.back();
}

std::vector<std::string> printed(const LogCapture& log) {
    std::vector<std::string> result;
    const std::string prefix = "VM PRINT: '";
    for (const CapturedLine& line : log.lines()) {
        if (line.text.rfind(prefix, 0) != 0) continue;
        std::string rest = line.text.substr(prefix.size());
        size_t quote = rest.find("' ");
        std::string value = rest.substr(quote + 2);
        while (!value.empty() && value.back() == '\n')
            value.pop_back();
        result.push_back(rest.substr(0, quote) + " " + value);
    }
    return result;
}

#include "tests/app/test_content.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "vfs/archiveWriter.h"
#include "vm/assembler.h"

void writeArchive(const std::string& path, const std::map<std::string, std::string>& files) {
    CArchiveWriter writer;
    for (const auto& [name, content] : files)
        ASSERT_TRUE(writer.add(name, content.data(), content.size())) << writer.error();
    ASSERT_TRUE(writer.writeFile(path)) << writer.error();
}

std::string sceneImage(const std::string& source) {
    AsmResult image = vmAssemble(source, "test.vsa");
    for (const std::string& error : image.errors)
        ADD_FAILURE() << error;
    std::vector<uint8_t> bytes = vmImageBytes(image.words);
    return std::string(bytes.begin(), bytes.end());
}

std::string sceneList(const std::vector<std::string>& ids) {
    std::string list = "<SceneList>";
    for (const std::string& id : ids)
        list += "<Scene id=\"" + id + "\"><Filename>" + id + ".vsi</Filename></Scene>";
    return list + "</SceneList>";
}

std::string solidSceneSource(const std::string& red, const std::string& green,
                             const std::string& blue) {
    return ".native glClear \"V glClear(F,F,F,F,I)\"\n"
           ".func \"V init()\" init\n"
           ".func \"V render()\" render\n"
           "init:\n    RETURN\n"
           "render:\n    LITERALF " +
           red + "\n    LITERALF " + green + "\n    LITERALF " + blue +
           "\n    LITERALF 1\n    LITERAL 3\n    NATIVE glClear\n    RETURN\n";
}

std::string insertingScript(const std::string& id) {
    return "function onInit() {}\nfunction onScenesLoaded() { renderSceneInsert(\"" + id +
           "\", -1); }\n";
}

std::string wavFile(double volume, double seconds) {
    const int rate = 22050;
    int count = static_cast<int>(rate * seconds);
    std::string data;
    for (int i = 0; i < count; i++) {
        bool on = (i / (rate / 10)) % 2 == 0;
        double value = on ? volume * std::sin(2 * M_PI * 330.0 * i / rate) : 0.0;
        int16_t sample = static_cast<int16_t>(value * 32000);
        data.push_back(static_cast<char>(sample & 0xff));
        data.push_back(static_cast<char>((sample >> 8) & 0xff));
    }
    auto word = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; i++)
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
        return out;
    };
    return "RIFF" + word(36 + data.size(), 4) + "WAVE" + "fmt " + word(16, 4) + word(1, 2) +
           word(1, 2) + word(rate, 4) + word(rate * 2, 4) + word(2, 2) + word(16, 2) + "data" +
           word(data.size(), 4) + data;
}

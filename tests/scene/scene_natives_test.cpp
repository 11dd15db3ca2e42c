// The scene natives and the visualiser ids, driven by small assembled scenes
// whose "V init()" prints what the natives returned.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/scene/scene_world.h"
#include "tests/support/log_capture.h"

namespace {

using Lines = std::vector<std::string>;

class SceneNativesTest : public ::testing::Test {
protected:
    // Runs "V init()" of a scene made of `body` (natives, statics, then the
    // code of init, which must end with RETURN) and returns what it printed.
    Lines run(const std::string& body, const std::string& data = "") {
        CScene& scene = world.scene("s" + std::to_string(world.scenes.size()),
                                    ".native print \"V print(*I,F)\"\n" + body, data);
        log.clear();
        scene.initialise(true);
        last = &scene;
        return printed(log);
    }

    LogCapture log;
    SceneWorld world;
    CScene* last = nullptr;
};

TEST_F(SceneNativesTest, SharedRegistersPassValuesBetweenScenes) {
    run(R"vsa(
.native set "V visSetFloat(I,F)"
.func "V init()" init
init:
    LITERAL 310
    LITERALF 2.5
    NATIVE set
    LITERAL 311
    LITERALF -2.5
    NATIVE set
    RETURN
)vsa");
    EXPECT_FLOAT_EQ(world.host.registers[10], 2.5f);
    Lines lines = run(R"vsa(
.native getf "F visGetFloat(I)"
.native geti "I visGetInt(I)"
.string v "v"
.func "V init()" init
init:
    REF v
    LITERAL 310
    NATIVE getf
    NATIVE print
    REF v
    LITERAL 310
    NATIVE geti
    ITOF
    NATIVE print
    REF v
    LITERAL 311
    NATIVE geti
    ITOF
    NATIVE print
    REF v
    LITERAL 363
    NATIVE getf
    NATIVE print
    RETURN
)vsa");
    EXPECT_EQ(lines, (Lines{"v 2.500000", "v 3.000000", "v -2.000000", "v 0.000000"}));
}

TEST_F(SceneNativesTest, UnknownIdsWarnAndGiveZero) {
    Lines lines = run(R"vsa(
.native getf "F visGetFloat(I)"
.native geti "I visGetInt(I)"
.native setf "V visSetFloat(I,F)"
.native seti "V visSetInt(I,I)"
.native getv "V visGetFloatv(I,*F)"
.string v "v"
.word area[4] 7 7 7 7
.func "V init()" init
init:
    REF v
    LITERAL 52
    NATIVE getf
    NATIVE print
    REF v
    LITERAL 364
    NATIVE geti
    ITOF
    NATIVE print
    LITERAL 299
    LITERALF 4.75
    NATIVE setf
    LITERAL 201
    LITERAL 9
    NATIVE seti
    LITERAL 104
    REF area
    NATIVE getv
    REF v
    REF area
    DEREF
    ITOF
    NATIVE print
    RETURN
)vsa");
    EXPECT_EQ(lines, (Lines{"v 0.000000", "v 0.000000", "v 7.000000"}));
    EXPECT_TRUE(log.contains(2, "Unknown id in visGetFloat(52)"));
    EXPECT_TRUE(log.contains(2, "Unknown id in visGetInt(364)"));
    EXPECT_TRUE(log.contains(2, "Unknown id in vmnVisSetFloat(id=299, val=4)"));
    EXPECT_TRUE(log.contains(2, "Unknown id in visSetInt(id=201, val=9)"));
    EXPECT_TRUE(log.contains(2, "Unknown id in visGetFloatv(104, ...)"));
    EXPECT_TRUE(last->initialised());
}

TEST_F(SceneNativesTest, FinishedFlagIsABoolean) {
    const char* scene = R"vsa(
.native seti "V visSetInt(I,I)"
.native geti "I visGetInt(I)"
.string v "v"
.func "V init()" init
init:
    REF v
    LITERAL 200
    NATIVE geti
    ITOF
    NATIVE print
    LITERAL 200
    LITERAL 7
    NATIVE seti
    REF v
    LITERAL 200
    NATIVE geti
    ITOF
    NATIVE print
    RETURN
)vsa";
    EXPECT_EQ(run(scene), (Lines{"v 0.000000", "v 1.000000"}));
    EXPECT_TRUE(last->finished());
    last->initialise(true);  // already initialised: only clears the flag
    EXPECT_FALSE(last->finished());
}

TEST_F(SceneNativesTest, TimeStepAspectAndSoundValues) {
    world.host.time = 0.02f;
    for (int i = 0; i < 30; ++i)
        world.host.advanceSound();
    const char* scene = R"vsa(
.native getf "F visGetFloat(I)"
.native getv "V visGetFloatv(I,*F)"
.string v "v"
.word spectrum[512]
.func "V init()" init
init:
    REF v
    LITERAL 51
    NATIVE getf
    NATIVE print
    REF v
    LITERAL 60
    NATIVE getf
    NATIVE print
    LITERAL 106
    REF spectrum
    NATIVE getv
    RETURN
)vsa";
    Lines lines = run(scene);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "v 0.020000");
    EXPECT_EQ(lines[1], "v 1.333333");
    int count = 0;
    const float* spectrum = world.host.analyser.array(106, &count);
    ASSERT_EQ(count, 512);
    // The scene's copy, read back from its memory at the symbol's address.
    VMState* vm = last->vm();
    int address = -1;
    for (uint32_t word = 1; word + 512 < vm->memorySize && address < 0; ++word)
        if (std::memcmp(vm->memory + word, spectrum, 512 * sizeof(float)) == 0) address = word;
    EXPECT_GE(address, 0) << "spectrum not copied";
    float sum = 0;
    for (int i = 0; i < 512; ++i)
        sum += spectrum[i];
    EXPECT_GT(sum, 0.0f) << "the beat left no spectrum to copy";

    world.host.jobTime = 0.25f;
    EXPECT_EQ(run(scene)[0], "v 0.250000");
}

TEST_F(SceneNativesTest, ArrayIdsRangeTestTheirDestination) {
    run(R"vsa(
.native getv "V visGetFloatv(I,*F)"
.func "V init()" init
init:
    LITERAL 106
    LITERAL 0x7FFFFF00
    NATIVE getv
    RETURN
)vsa");
    EXPECT_TRUE(log.contains("vcheck failed"));
    EXPECT_FALSE(last->initialised());
    EXPECT_EQ(world.host.vmErrors.size(), 1u);
}

TEST_F(SceneNativesTest, XmlParametersConvertLikeTheirDefaults) {
    Lines lines = run(R"vsa(
.native xint "I xmlInt(*I,I)"
.native xfloat "F xmlFloat(*I,F)"
.native xstring "V xmlString(*I,I,*I,*I)"
.string v "v"
.string hex "Hex"
.string oct "Oct"
.string none "None"
.string ratio "Ratio"
.string name "Name"
.string fallback "fallback"
.word text[4] 9 9 9 9
.func "V init()" init
init:
    REF v
    REF hex
    LITERAL 5
    NATIVE xint
    ITOF
    NATIVE print
    REF v
    REF oct
    LITERAL 5
    NATIVE xint
    ITOF
    NATIVE print
    REF v
    REF none
    LITERAL 5
    NATIVE xint
    ITOF
    NATIVE print
    REF v
    REF ratio
    LITERALF 1
    NATIVE xfloat
    NATIVE print
    REF v
    REF none
    LITERALF 1.5
    NATIVE xfloat
    NATIVE print
    REF text
    LITERAL 4
    REF name
    REF fallback
    NATIVE xstring
    REF text
    LITERALF 0
    NATIVE print
    REF text
    LITERAL 4
    REF none
    REF fallback
    NATIVE xstring
    REF text
    LITERALF 0
    NATIVE print
    RETURN
)vsa",
                      "<Hex>0x10</Hex><Oct>-010</Oct><None></None><Ratio>0.75xyz</Ratio>"
                      "<Name>sixchr</Name>");
    EXPECT_EQ(lines, (Lines{"v 16.000000", "v -8.000000", "v 5.000000", "v 0.750000", "v 1.500000",
                            "six 0.000000", "fal 0.000000"}));
}

TEST_F(SceneNativesTest, ScriptNativesGoThroughTheHost) {
    world.host.scriptValues["speed"] = "0x20";
    world.host.scriptValues["gain"] = "2.5";
    world.host.scriptValues["label"] = "hello";
    Lines lines = run(R"vsa(
.native jint "I jsInt(*I)"
.native jfloat "F jsFloat(*I)"
.native jstring "V jsString(*I,I,*I)"
.native jexec "V jsExec(*I)"
.string v "v"
.string speed "speed"
.string gain "gain"
.string label "label"
.string broken "broken"
.string code "count++;"
.word text[10]
.func "V init()" init
init:
    REF v
    REF speed
    NATIVE jint
    ITOF
    NATIVE print
    REF v
    REF gain
    NATIVE jfloat
    NATIVE print
    REF v
    REF broken
    NATIVE jint
    ITOF
    NATIVE print
    REF text
    LITERAL 10
    REF label
    NATIVE jstring
    REF text
    LITERALF 0
    NATIVE print
    REF code
    NATIVE jexec
    RETURN
)vsa");
    EXPECT_EQ(lines, (Lines{"v 32.000000", "v 2.500000", "v 0.000000", "hello 0.000000"}));
    EXPECT_EQ(world.host.executed, Lines{"count++;"});
}

const char* const kFileScene = R"vsa(
.native size "I fileSize(*I)"
.native read "V fileRead(*I,*V,I,I)"
.string v "v"
.string ten "ten.bin"
.string sixteen "xml://Table"
.word out[4] 1 1 1 1
.func "V init()" init
init:
    REF v
    REF ten
    NATIVE size
    ITOF
    NATIVE print
    REF sixteen
    REF out
    LITERAL 1
    LITERAL 4
    NATIVE read
    REF v
    REF out
    DEREF
    ITOF
    NATIVE print
    REF sixteen
    REF out
    LITERAL 1
    LITERAL 3
    NATIVE read
    REF v
    REF out
    DEREF
    ITOF
    NATIVE print
    RETURN
)vsa";

TEST_F(SceneNativesTest, FilesAreReadInWholeWordsAndNeverPastTheirEnd) {
    world.file("data/ten.bin", "0123456789");
    std::string words;
    for (int i = 0; i < 4; ++i)
        words.append(reinterpret_cast<const char*>(&i), 4);
    world.file("data/table.bin", words);
    Lines lines = run(kFileScene, "<Table>table.bin</Table>");
    // 4 words at word 1 need bytes 4..19 of a 16-byte file: nothing copied.
    EXPECT_EQ(lines, (Lines{"v 2.000000", "v 1.000000", "v 1.000000"}));
    EXPECT_TRUE(log.contains(1, "File Size Request 'data/ten.bin'"));
    EXPECT_TRUE(log.contains(1, "File Read 'data/table.bin' starting 4, 16 bytes"));
    EXPECT_TRUE(log.contains(
        2, "Read of 'data/table.bin' failed. 16 bytes requested (at offset 4), file only 16 long"));
    EXPECT_TRUE(last->initialised());
}

TEST_F(SceneNativesTest, ReadingAMissingFileIsAnError) {
    run(kFileScene, "<Table>absent.bin</Table>");
    EXPECT_TRUE(log.contains(5, "Unable to load 'data/absent.bin'"));
    EXPECT_FALSE(last->initialised());
}

TEST_F(SceneNativesTest, VertexBufferLockOfAnUnknownIdEndsTheRun) {
    run(R"vsa(
.native lock "*F vbLock(I)"
.string v "v"
.func "V init()" init
init:
    LITERAL 12345
    NATIVE lock
    POP
    REF v
    LITERALF 1
    NATIVE print
    RETURN
)vsa");
    EXPECT_TRUE(log.contains(5, "Call to *F vbLock(I) caused an error"));
    EXPECT_FALSE(log.contains("VM PRINT"));
    EXPECT_FALSE(last->initialised());
}

TEST_F(SceneNativesTest, MatrixNativesRefuseUnknownKindsAndShortAreas) {
    run(R"vsa(
.native get "V getMatrix(I,*F[16])"
.word m[16]
.func "V init()" init
init:
    LITERAL 3
    REF m
    NATIVE get
    RETURN
)vsa");
    EXPECT_TRUE(log.contains(5, "Call to V getMatrix(I,*F[16]) caused an error"));
    EXPECT_FALSE(last->initialised());
    run(R"vsa(
.native get "V getMatrix(I,*F[16])"
.func "V init()" init
init:
    LITERAL 0
    LITERAL 0x7FFFFFF8
    NATIVE get
    RETURN
)vsa");
    EXPECT_TRUE(log.contains("vcheck failed"));
    EXPECT_FALSE(last->initialised());
}

TEST_F(SceneNativesTest, ANotANumberReadsAsZero) {
    Lines lines = run(R"vsa(
.native setf "V visSetFloat(I,F)"
.native getf "F visGetFloat(I)"
.string v "v"
.func "V init()" init
init:
    LITERAL 305
    LITERALF nan
    NATIVE setf
    REF v
    LITERAL 305
    NATIVE getf
    NATIVE print
    RETURN
)vsa");
    EXPECT_EQ(lines, Lines{"v 0.000000"});
    EXPECT_TRUE(log.contains(1, "NaN Value created in visGetFloat(305)"));
}

TEST_F(SceneNativesTest, AnUnknownVertexFormatFailsOnlyTheScene) {
    run(R"vsa(
.native create "I vbCreate(I,I)"
.func "V init()" init
init:
    LITERAL 6
    LITERAL 4
    NATIVE create
    POP
    RETURN
)vsa");
    EXPECT_TRUE(log.contains(5, "vbCreate: unknown vertex format 6"));
    EXPECT_FALSE(last->initialised());
    EXPECT_TRUE(last->vertexBuffers().empty());
}

}  // namespace

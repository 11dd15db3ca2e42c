// Texture uploads and texBind against a real context.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/log.h"
#include "render/image.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/textureInfos.h"
#include "render/vertexBuffer.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"

namespace {

// Stands in for the texture cache: counts residency requests and may upload.
class FakeCache : public TextureCacheHook {
public:
    void ensureTextureLoaded(int id) override {
        requests.push_back(id);
        if (id == uploadOnRequest) {
            Image image = imageMake(1, 1, false);
            image.pixels = {0, 0, 255};
            texUploadImage(id, image);
        }
    }
    void report(int id) override { reported.push_back(id); }
    std::vector<int> requests;
    std::vector<int> reported;
    int uploadOnRequest = -1;
};

class TextureGl : public GlTest {
protected:
    GLint boundName(GLenum binding = GL_TEXTURE_BINDING_2D) {
        GLint name = 0;
        glGetIntegerv(binding, &name);
        return name;
    }
    GLint internalFormat(int id) {
        glBindTexture(GL_TEXTURE_2D, textureInfos().getGLid(id));
        GLint format = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        return format;
    }
    std::vector<uint8_t> texels(int id, GLenum format) {
        TextureRecord* record = textureInfos().find(id);
        std::vector<uint8_t> bytes(static_cast<size_t>(record->width) * record->height * 4);
        glBindTexture(GL_TEXTURE_2D, record->glName);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, bytes.data());
        bytes.resize(static_cast<size_t>(record->width) * record->height *
                     (format == GL_RGB ? 3 : 4));
        return bytes;
    }
    // Draws a full-screen quad sampling unit 0 and returns the centre pixel.
    std::array<uint8_t, 4> drawTextured() {
        GLuint program = colourShader(
            "uniform sampler2D image;\n"
            "void main() { gl_FragColor = texture2D(image, gl_TexCoord[0].st); }\n");
        shaderBind(program);
        int quad = vbCreate(nullptr, 1, 4);
        float* v = vbLock(quad);
        const float data[20] = {0, 0, -1, -1, 0, 1, 0, 1, -1, 0, 1, 1, 1, 1, 0, 0, 1, -1, 1, 0};
        for (int i = 0; i < 20; i++)
            v[i] = data[i];
        vbUnLock(quad);
        vbRender(quad, 4, 0, 4);
        return pixel(kGlWidth / 2, kGlHeight / 2);
    }
    FakeCache cache;
};

TEST_F(TextureGl, BytesAreUploadedAndDrawn) {
    const uint8_t texel[4] = {10, 200, 30, 255};
    int id = texFromBytes(1, 1, texel);
    EXPECT_EQ(id, 1);
    texBind(0, id);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    auto colour = drawTextured();
    EXPECT_EQ(colour[0], 10);
    EXPECT_EQ(colour[1], 200);
    EXPECT_EQ(colour[2], 30);
    EXPECT_EQ(renderState().currentTextureId, id);
    EXPECT_EQ(renderState().currentTextureUnit, 0);
}

TEST_F(TextureGl, BindingSetsLinearFilteringAndRestoresUnitZero) {
    const uint8_t texel[4] = {1, 2, 3, 4};
    int id = texFromBytes(1, 1, texel);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    texBind(1, id);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
    glActiveTexture(GL_TEXTURE1);
    EXPECT_EQ(boundName(), static_cast<GLint>(textureInfos().getGLid(id)));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glActiveTexture(GL_TEXTURE0);
    // Id 0 disables texturing on that unit and leaves that unit active.
    texBind(1, 0);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE1);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_3D));
    glActiveTexture(GL_TEXTURE0);
}

TEST_F(TextureGl, UnitOutsideTheCardWarnsAndCarriesOn) {
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    LogCapture log;
    texBind(units, 0);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Trying to bind texture unit " + std::to_string(units) +
                                              ", only " + std::to_string(units) +
                                              " units available on card\n"));
    EXPECT_EQ(renderState().currentTextureUnit, units);
    glGetError();
}

TEST_F(TextureGl, UnloadedCachedTextureDrawsTheFallback) {
    texSetCacheHook(&cache);
    const uint8_t logoTexel[4] = {0, 255, 0, 255};
    int logo = texFromBytes(1, 1, logoTexel);
    texSetFallbackTexture(logo);
    int pending = textureInfos().allocateCacheSlot();
    texBind(0, pending);
    // The fallback is a cached texture too and is made resident in its turn.
    EXPECT_EQ(cache.requests, (std::vector<int>{pending, logo}));
    EXPECT_EQ(renderState().currentTextureId, logo);
    EXPECT_EQ(boundName(), static_cast<GLint>(textureInfos().getGLid(logo)));
    EXPECT_EQ(drawTextured()[1], 255);
}

TEST_F(TextureGl, CachedTextureMadeResidentByTheBindIsDrawn) {
    texSetCacheHook(&cache);
    int id = textureInfos().allocateCacheSlot();
    cache.uploadOnRequest = id;
    texBind(0, id);
    EXPECT_EQ(renderState().currentTextureId, id);
    EXPECT_EQ(glGetInt(209), 1);
    EXPECT_EQ(drawTextured()[2], 255);
}

TEST_F(TextureGl, FallbackThatIsItselfMissingDisablesTexturing) {
    texSetCacheHook(&cache);
    int logo = textureInfos().allocateCacheSlot();
    int pending = textureInfos().allocateCacheSlot();
    texSetFallbackTexture(logo);
    glEnable(GL_TEXTURE_2D);
    texBind(0, pending);
    EXPECT_EQ(renderState().currentTextureId, logo);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(TextureGl, RenderableTexturesAreNotAskedOfTheCache) {
    texSetCacheHook(&cache);
    GLuint name = 0;
    glGenTextures(1, &name);
    int id = textureInfos().registerTexture(GL_TEXTURE_2D, name, 4, 4, true);
    texBind(0, id);
    EXPECT_TRUE(cache.requests.empty());
    texReportAll();
    EXPECT_TRUE(cache.reported.empty());
    int cached = textureInfos().allocateCacheSlot();
    LogCapture log;
    texReportAll();
    EXPECT_TRUE(log.contains(LOG_INFO, "Renderable Texture 4 x 4\n"));
    EXPECT_EQ(cache.reported, std::vector<int>{cached});
}

TEST_F(TextureGl, ImageUploadReplacesTheTextureOfASlot) {
    int id = textureInfos().allocateCacheSlot();
    Image rgba = imageMake(2, 1, true);
    rgba.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    texUploadImage(id, rgba);
    GLuint firstName = textureInfos().getGLid(id);
    EXPECT_NE(firstName, 0u);
    EXPECT_EQ(internalFormat(id), GL_RGBA);
    EXPECT_EQ(texels(id, GL_RGBA), rgba.pixels);
    Image rgb = imageMake(3, 1, false);
    rgb.pixels = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    texUploadImage(id, rgb);
    if (textureInfos().getGLid(id) != firstName) {
        EXPECT_FALSE(glIsTexture(firstName));
    }
    EXPECT_EQ(textureInfos().find(id)->width, 3);
    EXPECT_EQ(internalFormat(id), GL_RGB);
    EXPECT_EQ(texels(id, GL_RGB), rgb.pixels);
    texUploadImage(0, rgb);
    texUploadImage(99, rgb);
    EXPECT_EQ(textureInfos().size(), 2);
}

TEST_F(TextureGl, OpaqueFloatsWithoutFloatTexturesBecomeRgbBytes) {
    caps.floatTextureFormat = GL_RGBA;
    renderSetCaps(caps);
    const float opaque[8] = {1.0f, 0.5f, 0.0f, 1.0f, 2.0f, -1.0f, 0.25f, 1.0f};
    int id = texFromFloats(2, 1, opaque);
    EXPECT_EQ(internalFormat(id), GL_RGB);
    EXPECT_EQ(texels(id, GL_RGB), (std::vector<uint8_t>{255, 128, 0, 255, 0, 64}));
    const float translucent[8] = {1.0f, 0.5f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.5f};
    int second = texFromFloats(2, 1, translucent);
    EXPECT_EQ(internalFormat(second), GL_RGBA);
    EXPECT_EQ(texels(second, GL_RGBA), (std::vector<uint8_t>{255, 128, 0, 255, 0, 0, 0, 128}));
    EXPECT_EQ(textureInfos().getTarget(second), static_cast<GLenum>(GL_TEXTURE_2D));
}

TEST_F(TextureGl, FloatsKeepTheirPrecisionWithFloatTextures) {
    if (!caps.floatTextures) GTEST_SKIP() << "no float textures";
    const float values[4] = {0.3f, 2.5f, -1.0f, 0.5f};
    int id = texFromFloats(1, 1, values);
    EXPECT_EQ(internalFormat(id), GL_RGBA32F_ARB);
    float back[4] = {0, 0, 0, 0};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, back);
    EXPECT_EQ(back[1], 2.5f);
    EXPECT_EQ(back[2], -1.0f);
}

TEST_F(TextureGl, ThreeDimensionalFloatTexturesClampAndBindAs3D) {
    std::vector<float> values(2 * 2 * 3 * 4, 0.5f);
    int id = texFromFloats3D(2, 2, 3, values.data());
    EXPECT_EQ(textureInfos().getTarget(id), static_cast<GLenum>(GL_TEXTURE_3D));
    EXPECT_EQ(textureInfos().find(id)->height, 2);
    GLint wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP);
    texBind(0, id);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_3D));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(boundName(GL_TEXTURE_BINDING_3D), static_cast<GLint>(textureInfos().getGLid(id)));
    glSetInt(206, 200);
    glGetTexParameteriv(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, &wrap);
    EXPECT_EQ(wrap, GL_REPEAT);
    EXPECT_EQ(glGetInt(210), 2);
}

TEST_F(TextureGl, DeletingFreesTheIdForReuse) {
    const uint8_t texel[4] = {0, 0, 0, 0};
    int first = texFromBytes(1, 1, texel);
    int second = texFromBytes(1, 1, texel);
    GLuint name = textureInfos().getGLid(first);
    texDelete(first);
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(texFromBytes(1, 1, texel), first);
    EXPECT_NE(textureInfos().find(second), nullptr);
}

}  // namespace

// The shader table. See shader.h.
#include "render/shader.h"

#include <map>
#include <memory>

#include "app/clock.h"
#include "app/log.h"
#include "app/settingsAccess.h"
#include "render/renderFiles.h"
#include "render/renderState.h"

namespace {

constexpr GLsizei kInfoLogSize = 4096;
constexpr size_t kMaxSamplerName = 255;

std::map<GLuint, std::unique_ptr<ShaderRecord>> shaders;

void logInfo(GLuint object, bool isProgram) {
    std::vector<char> text(kInfoLogSize + 1, 0);
    GLsizei length = 0;
    if (isProgram)
        glGetProgramInfoLog(object, kInfoLogSize, &length, text.data());
    else
        glGetShaderInfoLog(object, kInfoLogSize, &length, text.data());
    if (length > 0 && text[0]) Log(LOG_WARNING, "InfoLog: %s\n", text.data());
}

void deleteRecord(ShaderRecord* record) {
    if (renderState().currentShader == record) renderState().currentShader = nullptr;
    if (record->vertexShader) {
        if (record->program) glDetachShader(record->program, record->vertexShader);
        glDeleteShader(record->vertexShader);
    }
    if (record->fragmentShader) {
        if (record->program) glDetachShader(record->program, record->fragmentShader);
        glDeleteShader(record->fragmentShader);
    }
    if (record->program) glDeleteProgram(record->program);
}

// The GL shader object, or 0 after the messages.
GLuint compileFile(const std::string& name, GLenum type, std::vector<std::string>* samplers) {
    Log(LOG_INFO, "loading shader '%s'\n", name.c_str());
    uint32_t length = 0;
    char* text = renderFileLoad(name.c_str(), &length);
    if (!text) {
        Log(LOG_WARNING, "Cannot open shader file! '%s'\n", name.c_str());
        return 0;
    }
    std::string source(text, length);
    renderFileFree(text);
    GLuint object = glCreateShader(type);
    const GLchar* sources[1] = {source.c_str()};
    GLint lengths[1] = {static_cast<GLint>(source.size())};
    glShaderSource(object, 1, sources, lengths);
    glCompileShader(object);
    if (type == GL_FRAGMENT_SHADER && !shaderCollectSamplers(source, samplers))
        Log(LOG_WARNING, "Grabbing texture units from source failed\n");
    GLint compiled = GL_FALSE;
    glGetShaderiv(object, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        Log(LOG_WARNING, "GLSL shader compile failed (%s)\n", name.c_str());
        logInfo(object, false);
        glDeleteShader(object);
        return 0;
    }
    return object;
}

void assignSamplerUnits(const ShaderRecord& record) {
    glUseProgram(record.program);
    for (size_t unit = 0; unit < record.samplerNames.size(); unit++) {
        const std::string& name = record.samplerNames[unit];
        GLint location = glGetUniformLocation(record.program, name.c_str());
        if (location == -1)
            Log(LOG_WARNING, "Couldn't find GLSL texture unit uniform location for %s\n",
                name.c_str());
        else
            glUniform1i(location, static_cast<GLint>(unit));
    }
    glUseProgram(0);
}

// Frees at most one expired record per walk, until a walk frees nothing.
void expireShaders() {
    uint32_t life = static_cast<uint32_t>(renderSettings()->getInt("gl.shader_life", 60)) * 1000u;
    bool freed = true;
    while (freed) {
        freed = false;
        uint32_t now = osTickCount();
        for (auto it = shaders.begin(); it != shaders.end(); ++it) {
            ShaderRecord* record = it->second.get();
            // Differences of u32 ticks stay right across a wrap of the counter.
            if (record->useCount != 0 || now - record->lastUse <= life) continue;
            Log(LOG_INFO, "Freeing shader (%s, %s) as too old\n", record->vertexFile.c_str(),
                record->fragmentFile.c_str());
            deleteRecord(record);
            shaders.erase(it);
            freed = true;
            break;
        }
    }
}

ShaderRecord* findRecord(GLuint id) {
    auto found = shaders.find(id);
    return found == shaders.end() ? nullptr : found->second.get();
}

}  // namespace

bool shaderCollectSamplers(const std::string& source, std::vector<std::string>* names) {
    size_t position = 0;
    for (;;) {
        size_t found = source.find("sampler", position);
        if (found == std::string::npos) return true;
        if (source.size() - found < 10) return false;
        size_t start = found + 9;
        while (start < source.size() && (source[start] == ' ' || source[start] == '\t'))
            start++;
        size_t semicolon = source.find(';', start);
        if (semicolon == std::string::npos) return false;
        size_t end = semicolon;
        while (end > start && (source[end - 1] == ' ' || source[end - 1] == '\t'))
            end--;
        if (end - start > kMaxSamplerName) return false;
        std::string name = source.substr(start, end - start);
        Log(LOG_INFO, "Found texture unit named '%s'\n", name.c_str());
        names->push_back(name);
        position = end;
    }
}

GLuint shaderLoad(const char* vertexFile, const char* fragmentFile) {
    for (auto& entry : shaders) {
        ShaderRecord* record = entry.second.get();
        if (record->vertexFile != vertexFile || record->fragmentFile != fragmentFile) continue;
        Log(LOG_INFO, "Re-using shader %d (%s, %s)\n", static_cast<int>(record->program),
            vertexFile, fragmentFile);
        record->useCount++;
        record->lastUse = osTickCount();
        GLuint program = record->program;
        expireShaders();
        return program;
    }
    auto record = std::make_unique<ShaderRecord>();
    record->vertexFile = vertexFile;
    record->fragmentFile = fragmentFile;
    record->vertexShader = compileFile(vertexFile, GL_VERTEX_SHADER, nullptr);
    if (!record->vertexShader) return 0;
    record->fragmentShader = compileFile(fragmentFile, GL_FRAGMENT_SHADER, &record->samplerNames);
    if (!record->fragmentShader) {
        deleteRecord(record.get());
        return 0;
    }
    record->program = glCreateProgram();
    glAttachShader(record->program, record->vertexShader);
    glAttachShader(record->program, record->fragmentShader);
    glLinkProgram(record->program);
    GLint linked = GL_FALSE;
    glGetProgramiv(record->program, GL_LINK_STATUS, &linked);
    if (!linked) {
        // Kept all the same: drawing with it yields GL errors, not a crash.
        Log(LOG_WARNING, "GLSL shader link failed\n");
        logInfo(record->program, true);
    }
    assignSamplerUnits(*record);
    record->lastUse = osTickCount();
    record->useCount = 1;
    GLuint program = record->program;
    shaders[program] = std::move(record);
    expireShaders();
    return program;
}

void shaderBind(GLuint id) {
    if (id == 0) {
        renderState().currentShader = nullptr;
        glUseProgram(0);
        return;
    }
    ShaderRecord* record = findRecord(id);
    if (!record) {
        Log(LOG_WARNING, "Program #%d not found\n", static_cast<int>(id));
        return;
    }
    renderState().currentShader = record;
    glUseProgram(record->program);
}

void shaderUniform(const char* name, int count, const float* values) {
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    ShaderRecord* record = findRecord(static_cast<GLuint>(current));
    if (!record) {
        Log(LOG_WARNING, "Could not find currently bound program #%d\n", current);
        return;
    }
    glUseProgram(record->program);
    GLint location = glGetUniformLocation(record->program, name);
    if (location == -1) {
        Log(LOG_WARNING, "Unknown GLSL uniform '%s'\n", name);
        return;
    }
    switch (count) {
        case 1:
            glUniform1f(location, values[0]);
            break;
        case 2:
            glUniform2f(location, values[0], values[1]);
            break;
        case 3:
            glUniform3f(location, values[0], values[1], values[2]);
            break;
        case 4:
            glUniform4f(location, values[0], values[1], values[2], values[3]);
            break;
        default:
            break;
    }
}

void shaderDestroy(GLuint id) {
    ShaderRecord* record = findRecord(id);
    if (!record) {
        Log(LOG_WARNING, "Shader #%d not found\n", static_cast<int>(id));
        return;
    }
    record->useCount--;
    record->lastUse = osTickCount();
    if (record->useCount < 0) Log(LOG_WARNING, "Shader destroyed too many times\n");
    expireShaders();
}

void shaderDestroyAll() {
    for (auto& entry : shaders) {
        ShaderRecord* record = entry.second.get();
        if (record->useCount != 0)
            Log(LOG_WARNING, "Shader was in use when we quit: %s %s\n",
                record->fragmentFile.c_str(), record->vertexFile.c_str());
        Log(LOG_INFO, "freeing shader: %s %s\n", record->fragmentFile.c_str(),
            record->vertexFile.c_str());
        deleteRecord(record);
    }
    shaders.clear();
}

const ShaderRecord* shaderFind(GLuint id) {
    return findRecord(id);
}
size_t shaderCount() {
    return shaders.size();
}

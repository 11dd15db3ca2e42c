// GLSL programs shared by file pair. Loading a pair that is already loaded
// adds a user; a program without users is kept for `gl.shader_life` seconds
// and then freed by the next load or destroy. The samplers of the fragment
// shader read texture units 0, 1, 2 ... in the order they are declared.
//
// A program's id towards scenes is its GL program name.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

struct ShaderRecord {
    GLuint program = 0;
    GLuint vertexShader = 0;
    GLuint fragmentShader = 0;
    std::string vertexFile;
    std::string fragmentFile;
    int useCount = 0;
    uint32_t lastUse = 0;
    std::vector<std::string> samplerNames;
};

// The program name of the pair, or 0 when a file is missing or does not compile.
GLuint shaderLoad(const char* vertexFile, const char* fragmentFile);
// 0 unbinds; an unknown id warns and keeps the current program.
void shaderBind(GLuint id);
// Sets a float uniform (count 1..4) of the program in use.
void shaderUniform(const char* name, int count, const float* values);
// Gives up one use of the program; it is freed later by expiry.
void shaderDestroy(GLuint id);

// Shutdown: reports and frees every record.
void shaderDestroyAll();
// The record of `id`, or null (tests and reports).
const ShaderRecord* shaderFind(GLuint id);
size_t shaderCount();

// Appends the names of the samplers declared in `source`, in order, found by
// a plain text scan for "sampler"; false when a declaration is cut short.
bool shaderCollectSamplers(const std::string& source, std::vector<std::string>* names);

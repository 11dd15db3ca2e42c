// The built-in image table; the bytes come from the generated builtinData.cpp.
#include "vfs/builtinFiles.h"

extern const unsigned char builtinFontPng[];
extern const uint32_t builtinFontPngSize;
extern const unsigned char builtinLogoPng[];
extern const uint32_t builtinLogoPngSize;

const BuiltinFile* builtinFileFind(const std::string& name) {
    static const BuiltinFile files[] = {
        {"tex/UI/font.png", builtinFontPng, builtinFontPngSize},
        {"tex/UI/logo.png", builtinLogoPng, builtinLogoPngSize},
    };
    for (const BuiltinFile& file : files)
        if (name == file.name) return &file;
    return nullptr;
}

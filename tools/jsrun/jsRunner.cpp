#include "tools/jsrun/jsRunner.h"

#include <fstream>
#include <sstream>

#include "js/engine.h"
#include "js/library.h"

namespace {

const char kUsage[] =
    "usage: jsrun [--math] FILE...\n"
    "       jsrun [--math] -e EXPRESSION\n";

void print(CJsValue* scope, void* data) {
    (*static_cast<const JsRunSink*>(data))(scope->argument("text")->asString() + "\n");
}

bool readFile(const std::string& path, std::string* text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    *text = content.str();
    return true;
}

}  // namespace

int jsRun(const std::vector<std::string>& args, const JsRunSink& out, const JsRunSink& err) {
    bool math = false;
    bool haveExpression = false;
    std::string expression;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--math") {
            math = true;
        } else if (args[i] == "-e" && i + 1 < args.size() && !haveExpression) {
            haveExpression = true;
            expression = args[++i];
        } else if (args[i] == "--help" || args[i] == "-h") {
            out(kUsage);
            return 0;
        } else if (!args[i].empty() && args[i][0] == '-') {
            err(kUsage);
            return 1;
        } else {
            files.push_back(args[i]);
        }
    }
    if (haveExpression == !files.empty()) {
        err(kUsage);
        return 1;
    }

    CJsEngine engine;
    engine.setOutput(out);
    registerBaseLibrary(engine);
    if (math) registerMathLibrary(engine);
    engine.registerNative("function print(text)", print, const_cast<JsRunSink*>(&out));
    try {
        if (haveExpression) {
            out(engine.evalToString(expression) + "\n");
            return 0;
        }
        for (const std::string& path : files) {
            std::string code;
            if (!readFile(path, &code)) {
                err("jsrun: cannot read " + path + "\n");
                return 1;
            }
            engine.runScript(code);
        }
    } catch (const CScriptException& error) {
        err("JS Error: " + error.text + "\n");
        return 1;
    }
    return 0;
}

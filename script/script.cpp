#include "script/script.h"

#include <cstdlib>

#include "app/log.h"
#include "js/engine.h"
#include "js/library.h"
#include "vfs/fileSystem.h"

CScript* currentScript = nullptr;

CScript::CScript(CVisMain* owner) : owner_(owner), engine_(new CJsEngine()) {
    registerBaseLibrary(*engine_);
}

CScript::~CScript() {
    if (currentScript == this) currentScript = nullptr;
}

bool CScript::runCode(const std::string& code) {
    currentScript = this;
    try {
        engine_->runScript(code);
        return true;
    } catch (const CScriptException& error) {
        Log(LOG_WARNING, "JS Error: %s in %s\n", error.text.c_str(), code.c_str());
        return false;
    }
}

std::string CScript::evalString(const std::string& code) {
    currentScript = this;
    try {
        return engine_->evalToString(code);
    } catch (const CScriptException& error) {
        Log(LOG_WARNING, "JS Error: %s in %s\n", error.text.c_str(), code.c_str());
        return std::string();
    }
}

void CScript::executeFile(const std::string& path) {
    Log(LOG_INFO, "CScript::executeFile('%s')\n", path.c_str());
    uint32_t length = 0;
    char* text = vfileLoad(path, &length);
    if (!text) return;
    std::string code(text, length);
    std::free(text);
    runCode(code);
}

bool CScript::callHandler(const std::string& call, const std::string& argument) {
    return runCode(call + "(\"" + argument + "\");");
}

void CScript::setGlobalString(const std::string& name, const std::string& value) {
    engine_->root()->setChild(name, new CJsValue(value));
}

void CScript::setGlobalNumber(const std::string& name, double value) {
    engine_->root()->setChild(name, new CJsValue(value));
}

std::string CScript::getGlobalString(const std::string& name, const std::string& defaultValue) {
    CJsBinding* binding = engine_->root()->lookupChild(name);
    return binding ? binding->value->asString() : defaultValue;
}

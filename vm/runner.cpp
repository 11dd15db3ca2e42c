#include "vm/runner.h"

#include <cstdlib>
#include <cstring>

#include "app/log.h"
#include "vm/assembler.h"
#include "vm/vm.h"

bool vmRunParseOptions(const std::vector<std::string>& words, RunOptions& options,
                       std::string& error) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        bool hasValue = i + 1 < words.size();
        if (word == "--call" && hasValue) {
            options.calls.push_back(words[++i]);
        } else if (word == "--budget" && hasValue) {
            char* end = nullptr;
            options.budgetMs = static_cast<uint32_t>(std::strtoul(words[++i].c_str(), &end, 10));
            if (*end) {
                error = "bad budget '" + words[i] + "'";
                return false;
            }
        } else if (word == "--args") {
            options.args.assign(words.begin() + static_cast<long>(i) + 1, words.end());
            break;
        } else {
            error = "unexpected '" + word + "'";
            return false;
        }
    }
    return true;
}

bool vmRunnerInstallLogging(std::function<void(const std::string& line)> printLine) {
    // The visualiser's sink raises VisException on level 'E'; a runner reports
    // the line and carries on, as the failing run ends by itself.
    bool created = vmSystemCreate([](const char* text) {
        try {
            logLevelFromPrefix(text);
        } catch (const VisException&) {
        }
    });
    if (!created) return false;
    logSetMirror([printLine](int, const char* label, const char* text) {
        std::string line = std::string(label) + ": " + text;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        printLine(line);
    });
    return true;
}

void vmRunnerRemoveLogging() {
    vmSystemDestroy();
    logSetMirror(nullptr);
}

namespace {

// The parameter types of a signature: 'F' for floats, 'I' for the rest.
std::string parameterKinds(const std::string& signature) {
    std::string kinds;
    size_t open = signature.find('(');
    if (open == std::string::npos) return kinds;
    size_t at = open + 1;
    while (at < signature.size() && signature[at] != ')') {
        size_t end = signature.find_first_of(",)", at);
        if (end == std::string::npos) end = signature.size();
        kinds += signature.compare(at, end - at, "F") == 0 ? 'F' : 'I';
        at = end + (end < signature.size() && signature[end] == ',' ? 1 : 0);
    }
    return kinds;
}

bool convertArgs(const std::string& signature, const std::vector<std::string>& values,
                 std::vector<uint32_t>& words) {
    std::string kinds = parameterKinds(signature);
    if (kinds.size() != values.size()) {
        Log(LOG_WARNING, "vmrun: '%s' takes %d arguments, %d given\n", signature.c_str(),
            static_cast<int>(kinds.size()), static_cast<int>(values.size()));
        return false;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        char* end = nullptr;
        if (kinds[i] == 'F') {
            float f = std::strtof(values[i].c_str(), &end);
            uint32_t word;
            std::memcpy(&word, &f, 4);
            words.push_back(word);
        } else {
            words.push_back(static_cast<uint32_t>(std::strtoll(values[i].c_str(), &end, 0)));
        }
        if (*end) {
            Log(LOG_WARNING, "vmrun: bad argument '%s'\n", values[i].c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int vmRunImage(const std::vector<uint8_t>& bytes, const RunOptions& options) {
    VMState* vm = vmCreateFromBytes(bytes.data(), bytes.size());
    if (!vm) return 2;
    int result = vm->errorFlag ? 2 : vmRunCalls(vm, options);
    vmDestroy(vm);
    return result;
}

int vmRunCalls(VMState* vm, const RunOptions& options) {
    int result = 0;
    std::vector<std::string> calls = options.calls;
    if (calls.empty()) calls.push_back("V main()");
    for (size_t i = 0; i < calls.size() && result == 0; ++i) {
        std::vector<uint32_t> args;
        if (!convertArgs(calls[i], options.args, args)) {
            result = 2;
            break;
        }
        bool finished = vmExecuteFunction(vm, calls[i].c_str(), args.data(),
                                          static_cast<int>(args.size()), options.budgetMs);
        for (int resumes = 0; !finished; ++resumes) {
            if (options.maxResumes >= 0 && resumes >= options.maxResumes) break;
            finished = vmResume(vm, options.budgetMs);
        }
        if (vm->errorFlag || !finished) result = 1;
    }
    return result;
}

#include "tools/vmfreq/vmFreq.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "vm/native.h"
#include "vm/opcodes.h"
#include "vm/vm.h"

namespace {

bool isPlain(uint8_t opcode) {
    switch (opcode) {
        case op::NOP:
        case op::STOREFUNC:
        case op::FINDNATIVE:
        case op::SETHEAPSIZE:
        case op::UUID:
        case op::VERSIONCHECK:
        case op::CALL:
        case op::NATIVE:
        case op::RETURN:
        case op::J:
        case op::JZ:
        case op::JNZ:
        case op::COPYVAR_LITERAL_INTLT_JZ:
        case op::POP_MULTIPLE_RETURN:
            return false;
        default:
            return opcodeInfo(opcode).name != nullptr && !opcodeInfo(opcode).super;
    }
}

// Positions that control flow can enter other than by falling through: the
// operands of CALL, J, JZ and JNZ (as the fusion pass sees them), the
// targets of the four-slot compare-and-jump, and registered functions.
std::vector<uint8_t> entries(const std::vector<uint32_t>& words, VMState* vm) {
    std::vector<uint8_t> marks(words.size(), 0);
    auto mark = [&](uint32_t position) {
        if (position < words.size()) marks[position] = 1;
    };
    for (size_t at = 0; at + 1 < words.size(); at += 2) {
        uint8_t opcode = words[at] & 0xFF;
        if (opcode == op::CALL || opcode == op::J || opcode == op::JZ || opcode == op::JNZ)
            mark(words[at + 1]);
        if (opcode == op::COPYVAR_LITERAL_INTLT_JZ && at + 7 < words.size()) mark(words[at + 7]);
    }
    if (vm)
        for (const std::string& name : vmFunctionNames(vm))
            mark(static_cast<uint32_t>(vmFunctionPosition(vm, name.c_str())));
    return marks;
}

// ---- stand-ins for natives served outside the VM library ----

std::vector<int32_t> vertexBlocks;

struct Signature {
    std::string result, name;
    std::vector<std::string> parameters;
};

Signature parseSignature(const char* text) {
    Signature s;
    std::string all = text ? text : "";
    size_t space = all.find(' '), open = all.find('(');
    if (space == std::string::npos || open == std::string::npos) return s;
    s.result = all.substr(0, space);
    s.name = all.substr(space + 1, open - space - 1);
    size_t at = open + 1;
    while (at < all.size() && all[at] != ')') {
        size_t end = all.find_first_of(",)", at);
        if (end == std::string::npos) end = all.size();
        s.parameters.push_back(all.substr(at, end - at));
        at = end + (end < all.size() && all[end] == ',' ? 1 : 0);
    }
    return s;
}

void standIn(VMState* state) {
    Signature s = parseSignature(vmNativeSignature(vmCurrentNative(state)));
    std::vector<uint32_t> args;
    for (auto it = s.parameters.rbegin(); it != s.parameters.rend(); ++it)
        for (int w = *it == "Vector3" ? 3 : 1; w > 0; --w)
            args.insert(args.begin(), vmPop(state));
    if (s.result == "V") return;
    uint32_t last = args.empty() ? 0 : args.back();
    if (s.name == "vbCreate") {
        int32_t count = args.size() == 2 ? static_cast<int32_t>(args[1]) : 0;
        int32_t address = vmalloc(state, std::clamp(count, 1, 1 << 16) * 16);
        vertexBlocks.push_back(address);
        vmPush(state, static_cast<uint32_t>(vertexBlocks.size() - 1));
    } else if (s.name == "vbLock") {
        vmPush(state, last < vertexBlocks.size() ? static_cast<uint32_t>(vertexBlocks[last]) : 0);
    } else if (s.name == "xmlInt" || s.name == "xmlFloat") {
        vmPush(state, last);  // the default
    } else if (s.result == "F") {
        vmPushFloat(state, 0.5f);
    } else {
        vmPush(state, 1);
    }
}

}  // namespace

void freqInstallNativeStandIns() {
    static const std::set<std::string> own = {
        "assert",  "print",  "printv", "sin",   "cos",
        "tan",     "atan",   "atan2",  "pow",   "rand",
        "randint", "malloc", "free",   "qSort", "cubicInterpFloat"};
    for (int i = 0; i < vmNativeCount(); ++i) {
        Signature s = parseSignature(vmNativeSignature(i));
        if (own.count(s.name) || s.name.compare(0, 2, "mb") == 0) continue;
        vmSetNativeHandlerAt(i, standIn);
    }
}

uint8_t freqClassOf(uint8_t opcode) {
    switch (operatorClass(opcode)) {
        case OperatorClass::INT_ARITHMETIC:
            return kIntOp;
        case OperatorClass::INT_COMPARE:
            return kIntCompare;
        case OperatorClass::FLOAT_ARITHMETIC:
            return kFloatOp;
        case OperatorClass::FLOAT_COMPARE:
            return kFloatCompare;
        case OperatorClass::NONE:
            break;
    }
    return opcode;
}

std::vector<std::string> freqDefaultCalls(const std::vector<std::string>& functions, int frames) {
    auto has = [&](const char* name) {
        return std::find(functions.begin(), functions.end(), name) != functions.end();
    };
    if (has("V main()")) return {"V main()"};
    std::vector<std::string> calls;
    if (has("V init()")) calls.push_back("V init()");
    for (int i = 0; i < frames; ++i) {
        if (has("V step()")) calls.push_back("V step()");
        if (has("V render()")) calls.push_back("V render()");
    }
    return calls;
}

bool freqAddImage(FreqTable& table, const std::vector<uint32_t>& words, const FreqOptions& options,
                  const std::string& label, std::string& error) {
    if (words.size() < 2) {
        error = "no code";
        return false;
    }
    vertexBlocks.clear();
    vmSetWorkLimit(options.workLimit);
    // Unfused, so that every plain instruction is dispatched and counted.
    VMState* vm = vmCreateUnfused(words.data(), static_cast<int>(words.size()));
    if (!vm) {
        error = "no VM registry";
        return false;
    }
    std::vector<uint64_t> counts;
    if (options.run && !vm->errorFlag) {
        vmEnableProfile(vm, true);
        RunOptions run;
        run.calls = options.calls.empty() ? freqDefaultCalls(vmFunctionNames(vm), options.frames)
                                          : options.calls;
        run.maxResumes = options.maxResumes;
        vmRunCalls(vm, run);
        counts = vmProfileCounts(vm);
    }
    std::vector<uint8_t> entered = entries(words, vm);
    vmDestroy(vm);
    vmSetWorkLimit(0);

    // The setup block (after the last RETURN's function) runs once; it is
    // counted like the rest.
    size_t instructionCount = words.size() / 2;
    table.instructions += instructionCount;
    uint64_t executed = 0;
    for (size_t at = 0; at < counts.size() && at < words.size(); at += 2)
        executed += counts[at];
    table.executedInstructions += executed;
    table.executedPerImage.push_back({label, executed});
    ++table.images;
    bool weighed = executed >= options.minExecuted && executed > 0;
    if (weighed) ++table.weighedImages;
    std::set<SequenceKey> seen;
    for (size_t first = 0; first < instructionCount; ++first) {
        SequenceKey key;
        uint64_t executions = UINT64_MAX;
        for (size_t i = first;
             i < instructionCount && static_cast<int>(key.size()) < options.maxLength; ++i) {
            uint8_t opcode = words[2 * i] & 0xFF;
            if (!isPlain(opcode) || (i > first && entered[2 * i])) break;
            key.push_back(options.classes ? freqClassOf(opcode) : opcode);
            executions = std::min<uint64_t>(executions, counts.empty() ? 0 : counts[2 * i]);
            if (static_cast<int>(key.size()) < options.minLength) continue;
            SequenceCount& c = table.sequences[key];
            c.occurrences += 1;
            c.executions += executions;
            if (weighed)
                c.weight += static_cast<double>(executions) / static_cast<double>(executed);
            if (seen.insert(key).second) c.images += 1;
        }
    }
    return true;
}

std::vector<std::pair<SequenceKey, SequenceCount>> freqRanked(const FreqTable& table, int length,
                                                              bool byExecutions) {
    std::vector<std::pair<SequenceKey, SequenceCount>> ranked;
    for (const auto& entry : table.sequences)
        if (static_cast<int>(entry.first.size()) == length) ranked.push_back(entry);
    std::stable_sort(ranked.begin(), ranked.end(), [&](const auto& a, const auto& b) {
        if (byExecutions && a.second.weight != b.second.weight)
            return a.second.weight > b.second.weight;
        return a.second.occurrences > b.second.occurrences;
    });
    return ranked;
}

std::string freqName(const SequenceKey& key) {
    std::string text;
    for (uint8_t opcode : key) {
        const char* name = opcode == kIntOp          ? "<intop>"
                           : opcode == kIntCompare   ? "<intcmp>"
                           : opcode == kFloatOp      ? "<floatop>"
                           : opcode == kFloatCompare ? "<floatcmp>"
                                                     : opcodeName(opcode);
        text += (text.empty() ? "" : " ") + std::string(name);
    }
    return text;
}

// Instruction sequence frequencies of scene images: how often each run of
// two or more fusable instructions occurs in the code (static) and how often
// it is executed (dynamic, from a profiled run of the unfused image). Only
// runs that the fusion pass could fuse are counted: plain instructions other
// than NOP, no jump target or function entry after the first.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vm/runner.h"

struct SequenceCount {
    uint64_t occurrences = 0;  // places in the code
    uint64_t executions = 0;   // times executed as a whole
    int images = 0;            // images holding it at least once
    // Sum over images of executions / instructions executed in that image:
    // every image that ran long enough weighs the same, however long its
    // loops ran.
    double weight = 0;
};

using SequenceKey = std::vector<uint8_t>;  // opcodes in order

struct FreqTable {
    std::map<SequenceKey, SequenceCount> sequences;
    uint64_t instructions = 0;          // static, over all images
    uint64_t executedInstructions = 0;  // dynamic, over all images
    int images = 0;
    int weighedImages = 0;  // those that count towards the weights
    std::vector<std::pair<std::string, uint64_t>> executedPerImage;
};

struct FreqOptions {
    int minLength = 2;
    int maxLength = 3;
    bool run = true;                 // also run the image and count executions
    std::vector<std::string> calls;  // functions to call; empty: chosen from the image
    int frames = 100;                // scene images: step and render calls after init
    uint32_t workLimit = 2000000;    // branches per run before it is stopped
    int maxResumes = 4;              // resumptions of a stopped run
    uint64_t minExecuted = 1000;     // smaller runs are left out of the weights
    bool classes = false;            // count operators by class (freqClassOf)
};

// Adds one image's counts to `table`. `label` names it in messages. Returns
// false (with `error` set) when the image cannot be loaded.
bool freqAddImage(FreqTable& table, const std::vector<uint32_t>& words, const FreqOptions& options,
                  const std::string& label, std::string& error);

// The calls used when none are given: "V main()" if the image has it,
// otherwise "V init()" then `frames` times "V step()" and "V render()" (those
// the image has).
std::vector<std::string> freqDefaultCalls(const std::vector<std::string>& functions, int frames);

// Sequences of one length, by weight (dynamic) or by occurrences (static).
std::vector<std::pair<SequenceKey, SequenceCount>> freqRanked(const FreqTable& table, int length,
                                                              bool byExecutions);

// With FreqOptions::classes, binary operators count as their class, so that
// shapes such as "a literal, then an integer operator" are measured as one:
// kIntOp (integer arithmetic, bitwise and shift), kIntCompare, kFloatOp,
// kFloatCompare. Other opcodes stand for themselves.
constexpr uint8_t kIntOp = 0xF0, kIntCompare = 0xF1, kFloatOp = 0xF2, kFloatCompare = 0xF3;
uint8_t freqClassOf(uint8_t opcode);

// "A B C" for a key.
std::string freqName(const SequenceKey& key);

// Installs stand-ins for the natives that the VM library leaves to other
// services (graphics, scene, script): they pop their arguments and push a
// plausible result, so that scene code runs to its end outside the
// visualiser. vbCreate reserves heap words that vbLock hands out.
void freqInstallNativeStandIns();

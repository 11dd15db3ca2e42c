// Shared set-up for VM tests: a registry whose sink records every message
// with its level letter, and helpers to assemble and load images.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vm/native.h"
#include "vm/vm.h"

class VmTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Assembles `source` (failing the test on assembler errors) and loads it.
    VMState* load(const std::string& source, bool fused = true);
    // Loads raw words.
    VMState* loadWords(const std::vector<uint32_t>& words, bool fused = true);
    // Assembles `source` into words, failing the test on errors.
    std::vector<uint32_t> assemble(const std::string& source);

    bool run(VMState* vm, const char* name, uint32_t budgetMs = 0);
    // True when a message contains `fragment` (the level letter is the first character).
    bool logged(const std::string& fragment) const;
    size_t count(const std::string& fragment) const;
    std::string allMessages() const;

    static float asFloat(uint32_t word);
    static uint32_t floatWord(float f);

    std::vector<std::string> messages;
    std::vector<VMState*> vms;
};

// Words of a hand-made image: instructions as (opcode, operand) pairs.
std::vector<uint32_t> words(std::initializer_list<std::pair<uint32_t, uint32_t>> instructions);

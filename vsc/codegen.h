// The checker and code generator: declarations in, vsasm text out.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vsc/ast.h"

namespace vsc {

// Checks the program and returns its assembler text; throws CompileError.
// `globals` receives each global's static address and size in words.
std::string generate(const std::vector<Decl*>& decls, const std::vector<SourceFile>& files,
                     std::map<std::string, std::pair<uint32_t, uint32_t>>& globals);

}  // namespace vsc

#include "vsc/compiler.h"

#include <memory>

#include "vm/assembler.h"
#include "vsc/ast.h"
#include "vsc/codegen.h"

namespace {

std::string position(const std::vector<vsc::SourceFile>& files, const vsc::Pos& pos) {
    std::string name = pos.file >= 0 && static_cast<size_t>(pos.file) < files.size()
                           ? files[static_cast<size_t>(pos.file)].name
                           : "vsc";
    return name + ":" + std::to_string(pos.line) + ":" + std::to_string(pos.column);
}

struct HeaderTree {
    std::vector<std::string> typeNames;
    std::vector<std::unique_ptr<vsc::Decl>> decls;
};

HeaderTree parseHeader() {
    HeaderTree tree;
    std::vector<vsc::Token> tokens = vsc::tokenize(vscStandardHeader(), 0);
    for (size_t j = 0; j + 1 < tokens.size(); ++j)
        if (tokens[j].kind == vsc::Tok::Ident && tokens[j].text == "struct")
            tree.typeNames.push_back(tokens[j + 1].text);
    vsc::parse(tokens, tree.typeNames, tree.decls);
    return tree;
}

}  // namespace

VscResult vscCompile(const std::vector<VscSource>& sources) {
    VscResult result;
    std::vector<vsc::SourceFile> files;
    files.push_back({kVscHeaderName, vscStandardHeader()});
    for (const VscSource& s : sources)
        files.push_back({s.name, s.text});
    try {
        // The header is the same for every program: split and parse it once
        // per process. Its tree holds only constants and type names, whose
        // checked state does not depend on the program.
        static const HeaderTree header = parseHeader();
        std::vector<std::string> typeNames = header.typeNames;
        std::vector<std::vector<vsc::Token>> tokens;
        for (size_t i = 1; i < files.size(); ++i) {
            tokens.push_back(vsc::tokenize(files[i].text, static_cast<int>(i)));
            const std::vector<vsc::Token>& t = tokens.back();
            for (size_t j = 0; j + 1 < t.size(); ++j)
                if (t[j].kind == vsc::Tok::Ident && t[j].text == "struct" &&
                    t[j + 1].kind == vsc::Tok::Ident)
                    typeNames.push_back(t[j + 1].text);
        }
        std::vector<std::unique_ptr<vsc::Decl>> decls;
        for (const auto& t : tokens)
            vsc::parse(t, typeNames, decls);
        std::vector<vsc::Decl*> all;
        for (const auto& d : header.decls)
            all.push_back(d.get());
        for (const auto& d : decls)
            all.push_back(d.get());
        std::map<std::string, std::pair<uint32_t, uint32_t>> globals;
        result.assembly = vsc::generate(all, files, globals);
        for (const auto& g : globals)
            result.globals[g.first] = VscGlobal{g.second.first, g.second.second};
    } catch (const vsc::CompileError& e) {
        result.error = position(files, e.pos) + ": " + e.message;
        result.assembly.clear();
        return result;
    }
    AsmResult image = vmAssemble(result.assembly, "vsc");
    if (!image.ok) {
        // The generated text is ours; an assembler error is a compiler fault.
        result.error = "vsc:0:0: internal error: " +
                       (image.errors.empty() ? std::string("assembly failed") : image.errors[0]);
        result.assembly.clear();
        return result;
    }
    result.words = std::move(image.words);
    result.ok = true;
    return result;
}

// The script runner behind `jsrun`, kept apart from main() so that the script
// tests run scripts through exactly the same path.
#pragma once

#include <functional>
#include <string>
#include <vector>

using JsRunSink = std::function<void(const std::string& text)>;

// Runs a jsrun command line (the arguments after the program name):
//   [--math] FILE...      run the files in one engine
//   [--math] -e EXPRESSION print the expression's value
// Everything the scripts and the engine print goes to `out`, errors and usage
// to `err`. Returns the exit code: 0 on success, 1 on a script error, a
// missing file or a bad command line.
int jsRun(const std::vector<std::string>& args, const JsRunSink& out, const JsRunSink& err);

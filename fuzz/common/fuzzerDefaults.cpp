// libFuzzer settings for targets whose inputs each reach thousands of
// coverage features (a compiler run, a script host with its library).
//
// The entropic schedule keeps every feature seen fewer than
// -entropic_feature_frequency_threshold times (255 by default) in a list of
// rare features, and searches that list linearly for each feature of each
// input that is still rare. A target that finds tens of thousands of features
// in its first minutes then spends more time in that search than in the
// target itself. A threshold of 16 keeps the list near its floor of the 100
// rarest features: inputs are still weighted by the rare features they reach,
// and coverage grows as fast per input as with 255. An -entropic... flag
// given on the command line wins.
#include <cstring>
#include <vector>

namespace {

const char kThreshold[] = "-entropic_feature_frequency_threshold=16";

bool setsEntropic(const char* argument) {
    return std::strncmp(argument, "-entropic", 9) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; i++)
        if (setsEntropic((*argv)[i])) return 0;
    // libFuzzer reads its flags from the array after this returns and keeps
    // using it, so it must live as long as the process.
    static std::vector<char*> arguments;
    arguments.assign(*argv, *argv + *argc);
    arguments.push_back(const_cast<char*>(kThreshold));
    arguments.push_back(nullptr);
    *argc = static_cast<int>(arguments.size()) - 1;
    *argv = arguments.data();
    return 0;
}

// The two ready-made groups of natives: the base library that every
// control-script engine gets and the math library that the configuration
// dialog adds. Both register in a fixed order with fixed signature texts.
#pragma once

class CJsEngine;

void registerBaseLibrary(CJsEngine& engine);
void registerMathLibrary(CJsEngine& engine);

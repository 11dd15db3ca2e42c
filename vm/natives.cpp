// The native table: every signature an image may bind, in registration
// order. The order is the contract behind the indices that FINDNATIVE
// stores in VM memory, so entries are only ever appended. Natives whose
// services live in other libraries (scene parameters, script, files,
// graphics) start with vmNativeUnavailable; those libraries install their
// handlers with vmSetNativeHandler.
#include <cstring>

#include "vm/metaballs.h"
#include "vm/native.h"
#include "vm/natives.h"

void vmReplaceLiveHandler(const char* signature, VMNativeHandler handler);

namespace {

struct NativeDefinition {
    const char* signature;
    VMNativeHandler handler;
    uint8_t timeCheck;
};

constexpr VMNativeHandler kLater = vmNativeUnavailable;

// clang-format off
NativeDefinition nativeTable[] = {
    {"V assert(I)",                           vmnAssert,           0},
    {"V print(*I,F)",                         vmnPrint,            0},
    {"V printv(*I,Vector3)",                  vmnPrintv,           0},
    {"I xmlInt(*I,I)",                        kLater,              0},
    {"F xmlFloat(*I,F)",                      kLater,              0},
    {"V xmlString(*I,I,*I,*I)",               kLater,              0},
    {"I jsInt(*I)",                           kLater,              0},
    {"F jsFloat(*I)",                         kLater,              0},
    {"V jsString(*I,I,*I)",                   kLater,              0},
    {"V jsExec(*I)",                          kLater,              0},
    {"I fileSize(*I)",                        kLater,              0},
    {"V fileRead(*I,*V,I,I)",                 kLater,              1},
    {"I vbCreate(I,I)",                       kLater,              0},
    {"V vbDestroy(I)",                        kLater,              0},
    {"*F vbLock(I)",                          kLater,              0},
    {"V vbUnLock(I)",                         kLater,              0},
    {"V vbRender(I,I,I,I)",                   kLater,              0},
    {"V getMatrix(I,*F[16])",                 kLater,              0},
    {"V setMatrix(I,*F[16])",                 kLater,              0},
    {"F sin(F)",                              vmnSin,              0},
    {"F cos(F)",                              vmnCos,              0},
    {"F tan(F)",                              vmnTan,              0},
    {"F atan(F)",                             vmnAtan,             0},
    {"F atan2(F,F)",                          vmnAtan2,            0},
    {"F pow(F,F)",                            vmnPow,              0},
    {"F rand()",                              vmnRand,             0},
    {"I randint(I,I)",                        vmnRandInt,          0},
    {"*V malloc(I)",                          vmnMalloc,           0},
    {"V free(*V)",                            vmnFree,             0},
    {"I texLoad(*I)",                         kLater,              1},
    {"I texFromArray(I,I,*I)",                kLater,              1},
    {"I texFromFloatArray(I,I,*F)",           kLater,              1},
    {"I texFromFloatArray(I,I,I,*F)",         kLater,              1},
    {"V texBind(I,I)",                        kLater,              1},
    {"V texDestroy(I)",                       kLater,              0},
    {"V texRenderBegin(I,I)",                 kLater,              0},
    {"V texRenderBegin(I,I,I)",               kLater,              0},
    {"I texRenderEnd()",                      kLater,              0},
    {"V texRenderFinished(I)",                kLater,              0},
    {"I shaderLoad(*I,*I)",                   kLater,              1},
    {"V shaderBind(I)",                       kLater,              0},
    {"V shaderUniform1(*I,F)",                kLater,              0},
    {"V shaderUniform2(*I,F,F)",              kLater,              0},
    {"V shaderUniform3(*I,F,F,F)",            kLater,              0},
    {"V shaderUniform4(*I,F,F,F,F)",          kLater,              0},
    {"V shaderDestroy(I)",                    kLater,              0},
    {"V sumViewport(*F)",                     kLater,              1},
    {"V sumViewport(*F,I,I)",                 kLater,              1},
    {"F visGetFloat(I)",                      kLater,              0},
    {"V visGetFloatv(I,*F)",                  kLater,              0},
    {"V visSetFloat(I,F)",                    kLater,              0},
    {"I visGetInt(I)",                        kLater,              0},
    {"V visSetInt(I,I)",                      kLater,              0},
    {"V visRenderChildToScreen(I,F)",         kLater,              0},
    {"V visRenderChildToTexture(I,F,I,I)",    kLater,              0},
    {"I visGetRenderedTexture()",             kLater,              0},
    {"V glClear(F,F,F,F,I)",                  kLater,              0},
    {"I glGetInt(I)",                         kLater,              0},
    {"V glSetInt(I,I)",                       kLater,              0},
    {"V mbClear(*MetaBallVolume,I)",          vmnMbClear,          0},
    {"I mbTriangleCount(*MetaBallVolume)",    vmnMbTriangleCount,  1},
    {"I mbTriangulateN3V3(*MetaBallVolume,*N3V3,I)", vmnMbTriangulateN3V3, 1},
    {"I mbValue(*MetaBallVolume,*Vector3)",   vmnMbValue,          0},
    {"V mbBall(*MetaBallVolume,*Vector3,F,I)", vmnMbBall,          0},
    {"V mbLookupBall(*MetaBallVolume,*MetaBallLookup,*Vector3,F,I)", vmnMbLookupBall, 0},
    {"V mbDisc(*MetaBallVolume,*Vector3,I,F,I)", vmnMbDisc,        0},
    {"V mbLookupCreate(*MetaBallLookup,I)",   vmnMbLookupCreate,   0},
    {"V mbLookupDestroy(*MetaBallLookup)",    vmnMbLookupDestroy,  0},
    {"V qSort(*I,*F,I)",                      vmnQSort,            0},
    {"F cubicInterpFloat(F,F,F,F,F)",         vmnCubicInterpFloat, 0},
};
// clang-format on

}  // namespace

void vmRegisterDefaultNatives() {
    for (const NativeDefinition& native : nativeTable)
        vmRegisterNative(native.signature, native.handler, native.timeCheck);
}

bool vmSetNativeHandler(const char* signature, VMNativeHandler handler) {
    for (NativeDefinition& native : nativeTable)
        if (std::strcmp(native.signature, signature) == 0) {
            native.handler = handler;
            vmReplaceLiveHandler(signature, handler);
            return true;
        }
    return false;
}

void vmNativeUnavailable(VMState* s) {
    const char* signature = vmNativeSignature(vmCurrentNative(s));
    vmLog('S', "native %s is not available\n", signature ? signature : "?");
    s->errorFlag = 1;
}

bool vmSetNativeHandlerAt(int index, VMNativeHandler handler) {
    constexpr int count = static_cast<int>(sizeof nativeTable / sizeof nativeTable[0]);
    if (index < 0 || index >= count) return false;
    return vmSetNativeHandler(nativeTable[index].signature, handler);
}

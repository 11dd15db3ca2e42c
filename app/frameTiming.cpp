#include "app/frameTiming.h"

#include <algorithm>
#include <functional>

namespace {

float medianOfRing(FrameTiming& timing, float elapsed) {
    timing.timeFilterIndex = (timing.timeFilterIndex + 1) % FrameTiming::kRingSize;
    timing.timeFilterRing[timing.timeFilterIndex] = elapsed;
    float sorted[FrameTiming::kRingSize];
    std::copy(timing.timeFilterRing, timing.timeFilterRing + FrameTiming::kRingSize, sorted);
    std::sort(sorted, sorted + FrameTiming::kRingSize, std::greater<float>());
    return (sorted[4] + sorted[5] + sorted[6]) / 3.0f;
}

}  // namespace

void frameTimeStep(FrameTiming& timing, uint32_t now, int filter) {
    // Unsigned subtraction keeps the step right across the tick's wrap.
    float elapsed =
        timing.lastTick != 0 ? static_cast<float>(now - timing.lastTick) * 0.001f : 0.0f;
    timing.realTimePass = elapsed;
    switch (filter) {
        case TIME_FILTER_NONE:
            timing.timePass = elapsed;
            break;
        case TIME_FILTER_MEDIAN:
            timing.timePass = medianOfRing(timing, elapsed);
            break;
        default:
            timing.timePass = 0.2f * elapsed + 0.8f * timing.timePass;
            break;
    }
    timing.timePass = std::clamp(timing.timePass, 0.0f, FrameTiming::kMaxTimePass);
    timing.averageFrameTime = 0.95f * timing.averageFrameTime + 0.05f * elapsed;
}

void frameTimeStep(FrameTiming& timing, uint32_t now, SettingsAccess& settings) {
    frameTimeStep(timing, now, settings.getInt("vis.time_filter", 2));
}

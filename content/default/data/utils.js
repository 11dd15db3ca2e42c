// Helpers shared by the control scripts. Loaded before script.js or device.js.
function clamp(value, low, high) {
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

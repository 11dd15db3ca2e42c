// The control script in device mode; for now the same as script.js.
function onInit() {
}

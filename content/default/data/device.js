// The control script in device mode: the player of utils.js.
function onInit() {
    playerInit();
}

function onScenesLoaded() {
    playerScenesLoaded();
}

function onFrame() {
    playerFrame();
}

function onKeyPress(name) {
    playerKey(name);
}

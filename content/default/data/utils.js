// Helpers shared by the control scripts. Loaded before device.js or script.js.
function clamp(value, low, high) {
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

// The setting settings[group][name] as a number; a missing one is stored with
// its default so that settings.js shows it for editing.
function settingNumber(group, name, fallback) {
    if (settings[group] == undefined) settings[group] = {};
    if (settings[group][name] == undefined) settings[group][name] = fallback;
    return settings[group][name] * 1.0;
}

// The top-level setting `name` as text, stored with its default when missing.
function settingText(name, fallback) {
    if (settings[name] == undefined) settings[name] = fallback;
    return "" + settings[name];
}

// A random scene of `type` for the user's themes; any scene of the type when
// none matches them.
function pickScene(type, themes) {
    var id = getRandomScene(type, themes);
    if (id == "") id = getRandomScene(type, "");
    return id;
}

// The player: one scene of type "scene" at a time, changed for another every
// vis.scene_length seconds when there is more than one; the synthetic beat
// follows fakesound.bpm.
var playing = "";
var playingFor = 0;

function playerInit() {
    setSoundBPM(settingNumber("fakesound", "bpm", 120));
}

function changeScene() {
    var next = pickScene("scene", settingText("theme_string", ""));
    if (next == "" || next == playing) return;
    renderSceneInsert(next, -1);
    if (renderSceneFind(next) < 0) return;
    if (playing != "") renderSceneRemove(playing);
    playing = next;
    playingFor = 0;
}

function playerScenesLoaded() {
    changeScene();
}

function playerFrame() {
    playingFor = playingFor + timePass;
    if (playing == "" || renderSceneFind(playing) < 0) {
        // Nothing plays (no scene, or it failed): try again now and then,
        // not every frame, so a broken scene does not fill the log.
        playing = "";
        if (playingFor >= 5) {
            playingFor = 0;
            changeScene();
        }
        return;
    }
    if (playingFor >= settingNumber("vis", "scene_length", 15)) {
        if (getScenes() > 1) changeScene();
        playingFor = 0;
    }
}

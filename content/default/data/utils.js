// The player of the default content, shared by device.js and script.js,
// which hand their handlers to it. Loaded before them.
//
// It plays one scene of type "scene" at a time and changes it every
// vis.scene_length seconds through the `fade` scene, with the new scene's
// name shown by `announce` while it comes in. The next scene is chosen as
// soon as a change is over and initialised in the background, a slice a
// frame, so that the change itself never waits for it. Keys: n (or space)
// next scene, p previous scene, f favourite, + and - rating, s screenshot.
//
// The render list it keeps, read from its end:
//   playing:  [current]                  or [current, announce]
//   changing: [next, announce, current, fade]
// so that the fade's child 0 is the outgoing scene and child 1 the incoming
// one (inside its announcement). With vis.overlay set, `overlay` stays at the
// end of the list and covers all of it.

// ---- settings -------------------------------------------------------------

function clamp(value, low, high) {
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

// A number from a setting that may have been written as text ("15"): the
// leading decimal number, 0 when there is none.
function toNumber(value) {
    var text = "" + value;
    var sign = 1;
    if (text.charAt(0) == "-") {
        sign = 0 - 1;
        text = text.substring(1, text.length);
    }
    var dot = text.indexOf(".");
    if (dot < 0) return sign * Integer.parseInt(text);
    var number = Integer.parseInt("0" + text.substring(0, dot)) * 1.0;
    var scale = 1.0;
    for (var i = dot + 1; i < text.length; i++) {
        var digit = text.charCodeAt(i) - 48;
        if (digit < 0 || digit > 9) {
            i = text.length;  // the number ends here
        } else {
            scale = scale * 0.1;
            number = number + digit * scale;
        }
    }
    return sign * number;
}

// The setting settings[group][name] as a number; a missing one is stored with
// its default so that settings.js shows it for editing.
function settingNumber(group, name, fallback) {
    if (settings[group] === undefined) settings[group] = {};
    if (settings[group][name] === undefined) settings[group][name] = fallback;
    return toNumber(settings[group][name]);
}

// settings[group][name] as text, stored with its default when missing.
function settingWord(group, name, fallback) {
    if (settings[group] === undefined) settings[group] = {};
    if (settings[group][name] === undefined) settings[group][name] = fallback;
    return "" + settings[group][name];
}

// The top-level setting `name` as text, stored with its default when missing.
function settingText(name, fallback) {
    if (settings[name] === undefined) settings[name] = fallback;
    return "" + settings[name];
}

function sceneLength() {
    return clamp(settingNumber("vis", "scene_length", 15), 1, 3600);
}

// ---- scenes, ratings and favourites ---------------------------------------

// The registry index of `id`, or "" when there is no such scene.
function sceneIndex(id) {
    if (id == "") return "";
    return findSceneId(id);
}

function sceneExists(id) {
    return sceneIndex(id) != "";
}

// Ratings live in settings.scene under the scene's SceneId (its id when it
// has none); 1 is the default, and 0 keeps the scene off screen. Reading a
// member the script engine does not have creates it as undefined, which the
// registry would take as a rating of 0, so a missing rating is written as 1
// when it is first read (settings.js then lists it for editing).
function ratingKey(id) {
    var n = sceneIndex(id);
    if (n == "") return id;
    var key = "" + getSceneInfo(n, "SceneId");
    if (key == "") return id;
    return key;
}

function sceneRating(id) {
    var key = ratingKey(id);
    var rating = settings.scene[key];
    if (rating === undefined) {
        settings.scene[key] = 1;
        return 1;
    }
    return toNumber(rating);
}

function setSceneRating(id, rating) {
    settings.scene[ratingKey(id)] = rating;
}

function isFavourite(id) {
    return settings.favourites.contains(id);
}

function hasFavourites() {
    return settings.favourites.length > 0;
}

// The name to announce: the scene's Name, else its id made readable
// ("lava-tunnel" becomes "Lava Tunnel").
function sceneName(id) {
    var n = sceneIndex(id);
    var name = "";
    if (n != "") name = "" + getSceneInfo(n, "Name");
    if (name != "") return name;
    var words = id.split("-");
    for (var i = 0; i < words.length; i++) {
        var word = words[i];
        var first = word.charCodeAt(0);
        if (first >= 97 && first <= 122)
            word = String.fromCharCode(first - 32) + word.substring(1, word.length);
        if (i == 0) name = word;
        else name = name + " " + word;
    }
    return name;
}

// The registry's theme rule: an empty list takes every scene; otherwise an
// item matches when it occurs in the scene's Styles, and the item
// "favourites" when the favourites list holds the scene.
function matchesThemes(n, id, themes) {
    if (themes == "") return 1;
    var styles = "" + getSceneInfo(n, "Styles");
    if (styles == "") return 0;
    var items = themes.split(",");
    for (var i = 0; i < items.length; i++) {
        var item = items[i];
        if (item == "favourites") {
            if (settings.favourites.contains(id)) return 1;
        } else if (styles.indexOf(item) >= 0) {
            return 1;
        }
    }
    return 0;
}

// A scene may come next when it exists, is not `avoid` and is not rated 0.
function acceptable(id, avoid) {
    if (id == "" || id == avoid) return 0;
    if (!sceneExists(id)) return 0;
    return sceneRating(id) > 0;
}

// A scene of type "scene" for `themes` other than `avoid`, weighted by the
// registry (Weight times rating); when the draws keep hitting `avoid` (a
// heavily rated current scene), any other acceptable one. "" when none.
function drawScene(themes, avoid) {
    var id = "";
    var tries = 0;
    while (tries < 12 && !acceptable(id, avoid)) {
        id = getRandomScene("scene", themes);
        tries++;
    }
    if (acceptable(id, avoid)) return id;
    var found = [];
    var count = getScenes();
    for (var n = 0; n < count; n++) {
        var other = "" + getSceneInfo(n, "id");
        if (getSceneInfo(n, "Type") == "scene" && acceptable(other, avoid) &&
            matchesThemes(n, other, themes))
            found[found.length] = other;
    }
    if (found.length == 0) return "";
    return found[Math.randInt(0, found.length - 1)];
}

// Whether any acceptable scene of type "scene" matches `themes`.
function themesHaveScenes(themes) {
    var count = getScenes();
    for (var n = 0; n < count; n++) {
        var id = "" + getSceneInfo(n, "id");
        if (getSceneInfo(n, "Type") == "scene" && acceptable(id, "") &&
            matchesThemes(n, id, themes))
            return 1;
    }
    return 0;
}

// The scene to play after `avoid` (the one on screen, or ""): now and then a
// favourite, else one of the user's themes or a favourite, else (when the
// themes have no scene at all) any scene. "" when nothing but `avoid` may
// play; a scene rated 0 plays only when every scene is rated 0.
function chooseScene(avoid) {
    var themes = settingText("theme_string", "");
    var id = "";
    if (hasFavourites() && Math.randInt(0, 2) == 0) id = drawScene("favourites", avoid);
    if (themes != "") {
        if (id == "") id = drawScene(themes + ",favourites", avoid);
        if (id == "" && themesHaveScenes(themes + ",favourites")) return "";
    }
    if (id == "") id = drawScene("", avoid);
    if (id == "" && avoid == "") id = getRandomScene("scene", "");
    return id;
}

// ---- the render list ------------------------------------------------------

// Where the root of the show goes: before the overlay when there is one.
function rootPosition() {
    var at = renderSceneFind("overlay");
    if (at < 0) return -1;
    return at;
}

function inRenderList(id) {
    return renderSceneFind(id) >= 0;
}

function sceneFinished(id) {
    var n = sceneIndex(id);
    if (n == "") return 1;
    return getSceneInfo(n, "finished") == 1;
}

// ---- the player -----------------------------------------------------------

// A copy of `list` without its item at `at` (Array.remove would drop every
// item equal to it).
function withoutItem(list, at) {
    var out = [];
    for (var i = 0; i < list.length; i++)
        if (i != at) out[out.length] = list[i];
    return out;
}

var current = "";     // the scene on screen (the incoming one during a change)
var outgoing = "";    // the scene fading out, "" when no change runs
var upcoming = "";    // the next scene, initialising in the background
var spare = "";       // a prepared scene that "previous" pushed aside
var goingBack = 0;    // upcoming came from the history
var history = [];     // scenes shown before current, oldest first
var shownFor = 0;     // seconds since current came in
var changeAsked = 0;  // a key asked for the change
var waitFor = 0;      // seconds before the next attempt to choose a scene
var changeFor = 0;    // seconds since the change began
var changeLength = 0;
var announcing = 0;
var failedChanges = 0;
var shotNotice = 0;   // frames until the screenshot is confirmed on screen
var sinceUpdate = 0;  // seconds since the last update cycle was started

var kFadeStyles = ["dissolve", "wipe", "zoom"];
var kHistoryLength = 20;

function prepare(id) {
    if (id != "") renderSceneInitialise(id);
}

// The composing scenes are initialised ahead too, since each change inserts
// them anew.
function prepareComposers() {
    if (sceneExists("fade") && !inRenderList("fade")) prepare("fade");
    if (wantAnnouncements() && !inRenderList("announce")) prepare("announce");
    if (wantOverlay() && !inRenderList("overlay")) prepare("overlay");
}

function chooseUpcoming() {
    if (upcoming != "" || waitFor > 0) return;
    if (spare != "" && spare != current && acceptable(spare, current)) {
        upcoming = spare;
    } else {
        upcoming = chooseScene(current);
    }
    spare = "";
    goingBack = 0;
    if (upcoming == "") {
        // Only the current scene may play, or none (no scene yet, or all
        // failed): look again later, not every frame, so that a broken
        // scene does not fill the log.
        waitFor = current == "" ? 5 : 1;
        return;
    }
    prepare(upcoming);
}

function fadeLength() {
    return clamp(settingNumber("vis", "fade_length", 2), 0, sceneLength() * 0.5);
}

function fadeStyle() {
    var style = settingWord("vis", "transition", "random");
    if (style == "random") return kFadeStyles[Math.randInt(0, kFadeStyles.length - 1)];
    return style;
}

function stopAnnouncing() {
    if (announcing) renderSceneRemove("announce");
    announcing = 0;
    prepareComposers();
}

// Puts `next` in front of `current`, wrapped in an announcement, and the
// fade over both; a first scene, or a change without a fade scene, cuts.
function beginChange(next) {
    stopAnnouncing();
    if (current == "" && wantOverlay() && !inRenderList("overlay"))
        renderSceneInsert("overlay", -1);
    renderSceneInsert(next, 0);
    if (!inRenderList(next)) {
        // It failed to initialise: never try it again in this run.
        print("Scene " + next + " does not start; dropped");
        removeScene(next);
        return 0;
    }
    if (wantAnnouncements()) {
        renderSceneInsert("announce", 1);
        if (inRenderList("announce")) {
            var at = renderSceneFind("announce");
            renderSceneSet(at, "Text", sceneName(next));
            renderSceneSet(at, "Duration", "" + clamp(4, 0.5, sceneLength() * 0.8));
            announcing = 1;
        }
    }
    if (current != "" && inRenderList(current)) {
        if (sceneExists("fade") && fadeLength() > 0 && failedChanges < 3)
            renderSceneInsert("fade", rootPosition());
        if (inRenderList("fade")) {
            var fadeAt = renderSceneFind("fade");
            changeLength = fadeLength();
            renderSceneSet(fadeAt, "Duration", "" + changeLength);
            renderSceneSet(fadeAt, "Style", fadeStyle());
            outgoing = current;
            changeFor = 0;
        } else {
            renderSceneRemove(current);
        }
    }
    if (current != "" && !goingBack) {
        history[history.length] = current;
        if (history.length > kHistoryLength) history = withoutItem(history, 0);
    }
    current = next;
    shownFor = 0;
    changeAsked = 0;
    goingBack = 0;
    return 1;
}

function endChange() {
    renderSceneRemove("fade");
    if (outgoing != "" && outgoing != current) renderSceneRemove(outgoing);
    outgoing = "";
    failedChanges = 0;
    prepareComposers();
}

function changing() {
    return outgoing != "";
}

// A change may begin once the next scene and the composing scenes are ready,
// so inserting them costs nothing.
function tryChange() {
    if (upcoming == "" || renderScenesInitialised() != 1) return;
    var next = upcoming;
    upcoming = "";
    if (beginChange(next)) prepareComposers();
}

// A scene's error empties the render list. The scene that just came in is
// the likely culprit: it is dropped from the registry when it fails twice,
// and after three changes in a row that failed the changes cut.
var failures = {};

function recover() {
    if (changing()) failedChanges++;
    if (current != "") {
        if (failures[current] === undefined) failures[current] = 0;
        failures[current] = failures[current] + 1;
        if (failures[current] >= 2) removeScene(current);
    }
    current = "";
    outgoing = "";
    announcing = 0;
    shownFor = 0;
    changeAsked = 1;
    if (renderSceneFind("overlay") >= 0) renderSceneRemove("overlay");
    prepareComposers();
}

function wantAnnouncements() {
    return settingNumber("vis", "announce", 1) != 0 && sceneExists("announce");
}

function wantOverlay() {
    return settingNumber("vis", "overlay", 0) != 0 && sceneExists("overlay");
}

// Whether `value` is written as JSON starting with `opening` ("[" for an
// array, "{" for an object); the dialect has no typeof.
function writtenAs(value, opening) {
    if (value === undefined) return 0;
    return JSON.stringify(value, 0).charAt(0) == opening;
}

// The ratings and favourites exist from the start, so that reading them never
// leaves undefined members behind; anything else in their place (a hand-edited
// settings.js) is set aside.
function playerInit() {
    if (!writtenAs(settings.scene, "{")) settings.scene = {};
    if (!writtenAs(settings.favourites, "[")) settings.favourites = [];
    setSoundBPM(settingNumber("fakesound", "bpm", 120));
    sceneLength();
    fadeLength();
    // Content updates: once at start and then hourly. Without a content
    // server in the settings (updater.host) this only logs that updates are off.
    restartUpdater();
}

// What the update report tells the content server about this script.
function getUpdaterInfo() {
    return "default player " + VERSION;
}

// After every scene list: start playing when nothing plays yet; the first
// scene is inserted at once (the loading screen hides the wait).
function playerScenesLoaded() {
    if (current != "") return;
    var first = chooseScene("");
    if (first == "") return;
    beginChange(first);
    prepareComposers();
}

function playerFrame() {
    sinceUpdate = sinceUpdate + realTimePass;
    if (sinceUpdate > 3600) {
        sinceUpdate = 0;
        restartUpdater();
    }
    if (current != "" && !inRenderList(current)) recover();
    waitFor = waitFor - timePass;
    shownFor = shownFor + timePass;
    if (shotNotice > 0) {
        shotNotice--;
        if (shotNotice == 0) printOSD("^Screenshot saved");
    }
    if (changing()) {
        changeFor = changeFor + timePass;
        if (sceneFinished("fade") || changeFor > changeLength + 2) endChange();
    }
    if (announcing && sceneFinished("announce")) stopAnnouncing();
    if (changing()) return;
    chooseUpcoming();
    if (current == "" || changeAsked || shownFor >= sceneLength()) tryChange();
}

// ---- keys -----------------------------------------------------------------

function nextScene() {
    if (upcoming == "") {
        waitFor = 0;
        chooseUpcoming();
    }
    if (upcoming == "") {
        printOSD("#No other scene to show");
        return;
    }
    changeAsked = 1;
    printOSD("^Next scene");
}

function previousScene() {
    if (history.length == 0) {
        printOSD("#No previous scene");
        return;
    }
    var back = history[history.length - 1];
    history = withoutItem(history, history.length - 1);
    if (!sceneExists(back)) {
        previousScene();
        return;
    }
    if (upcoming != "" && !goingBack) spare = upcoming;
    upcoming = back;
    goingBack = 1;
    prepare(back);
    changeAsked = 1;
    printOSD("^Previous scene: " + sceneName(back));
}

function toggleFavourite() {
    if (current == "") return;
    if (isFavourite(current)) {
        settings.favourites.remove(current);
        printOSD("#" + sceneName(current) + " is no longer a favourite");
    } else {
        settings.favourites[settings.favourites.length] = current;
        printOSD("&" + sceneName(current) + " is a favourite");
    }
    saveSettings();
}

// Ratings go in whole steps from 0 (never shown) to 5 (five times as often).
function rate(step) {
    if (current == "") return;
    var rating = clamp(Integer.parseInt("" + sceneRating(current)) + step, 0, 5);
    setSceneRating(current, rating);
    saveSettings();
    if (rating == 0) {
        printOSD("!" + sceneName(current) + " rated 0: not shown again");
        nextScene();
        return;
    }
    printOSD("!" + sceneName(current) + " rated " + rating);
}

function takeScreenshot() {
    screenshot();
    // The message waits a frame, or it would be in the picture.
    shotNotice = 2;
}

function playerKey(name) {
    if (name == "n" || name == "N" || name == " ") nextScene();
    if (name == "p" || name == "P") previousScene();
    if (name == "f" || name == "F") toggleFavourite();
    if (name == "+" || name == "=") rate(1);
    if (name == "-" || name == "_") rate(0 - 1);
    if (name == "s" || name == "S") takeScreenshot();
}

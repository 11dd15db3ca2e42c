// The default control script: picks scenes and composes the render tree.
function onInit() {
}

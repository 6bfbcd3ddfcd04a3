// Loaded into KWin by Velloq: tells Velloq which window is in front, each time it changes.
// Written for both Plasma 6 (windowActivated) and Plasma 5 (clientActivated), in ES5.
var velloqService = "@SERVICE@";
var velloqPath = "/app/velloq/Velloq/ActiveApp";
var velloqInterface = "app.velloq.ActiveApp1";

// Plasma 5 gives resourceClass and resourceName as byte arrays.
function velloqText(value) {
    if (value === undefined || value === null)
        return "";
    if (typeof value === "object" && value.byteLength !== undefined)
        return String.fromCharCode.apply(null, new Uint8Array(value));
    return String(value);
}

function velloqReport(window) {
    if (!window) {
        callDBus(velloqService, velloqPath, velloqInterface, "WindowActivated", "", "", "", "");
        return;
    }
    callDBus(velloqService, velloqPath, velloqInterface, "WindowActivated",
             velloqText(window.desktopFileName), velloqText(window.resourceClass),
             velloqText(window.resourceName), window.pid > 0 ? String(window.pid) : "");
}

if (workspace.windowActivated !== undefined) {
    workspace.windowActivated.connect(velloqReport);
    velloqReport(workspace.activeWindow);
} else {
    workspace.clientActivated.connect(velloqReport);
    velloqReport(workspace.activeClient);
}

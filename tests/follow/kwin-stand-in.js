// A stand-in for KWin's scripting on the test's session bus: owns org.kde.KWin, serves
// /Scripting (loadScript, unloadScript, start) and each loaded script's run and stop, and runs
// a script the way KWin does, with `workspace` and `callDBus`. The test drives it through
// /org/velloq/test/KWin: Activate makes a window active and lets the scripts hear of it.
//   gjs -m kwin-stand-in.js [--plasma5]
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import System from 'system';

const plasma5 = System.programArgs.includes('--plasma5');

const SCRIPTING_XML = `<node><interface name="org.kde.kwin.Scripting">
  <method name="loadScript"><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="i" direction="out"/></method>
  <method name="unloadScript"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <method name="isScriptLoaded"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <method name="start"/>
</interface></node>`;
const SCRIPT_XML = `<node><interface name="org.kde.kwin.Script">
  <method name="run"/><method name="stop"/>
</interface></node>`;
const TEST_XML = `<node><interface name="org.velloq.test.KWin">
  <method name="Activate"><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="i" direction="in"/></method>
  <method name="Loaded"><arg type="as" direction="out"/></method>
  <method name="Listeners"><arg type="i" direction="out"/></method>
  <method name="Unloads"><arg type="i" direction="out"/></method>
  <method name="Problems"><arg type="as" direction="out"/></method>
</interface></node>`;

let nextId = 0;
let unloads = 0;
const problems = [];
const scripts = new Map(); // id -> {plugin, code, exported, listeners}
let activeWindow = null;

function problem(text) {
    problems.push(text);
    printerr(`kwin-stand-in: ${text}`);
}

// KWin hands scripts windows whose resourceClass and resourceName are QByteArrays on Plasma 5
// (ArrayBuffers in the script) and strings on Plasma 6.
function bytes(text) {
    return plasma5 ? new TextEncoder().encode(text).buffer : text;
}

function callDBus(service, path, iface, method, ...args) {
    if (args.length && typeof args[args.length - 1] === 'function')
        args.pop(); // a reply callback, which this script does not use
    let signature = '';
    for (const arg of args) {
        if (typeof arg === 'string')
            signature += 's';
        else if (Number.isInteger(arg))
            signature += 'i';
        else if (typeof arg === 'number')
            signature += 'd';
        else if (typeof arg === 'boolean')
            signature += 'b';
        else
            return problem(`callDBus got an argument KWin cannot send: ${String(arg)}`);
    }
    Gio.DBus.session.call(service, path, iface, method, new GLib.Variant(`(${signature})`, args),
        null, Gio.DBusCallFlags.NONE, -1, null, (connection, result) => {
            try {
                connection.call_finish(result);
            } catch (e) {
                problem(`callDBus ${method}: ${e.message}`);
            }
        });
}

function signal(script) {
    return {
        connect(handler) {
            if (typeof handler !== 'function')
                return problem('connect() without a function');
            script.listeners.push(handler);
        },
        disconnect(handler) {
            script.listeners = script.listeners.filter(h => h !== handler);
        },
    };
}

function runScript(script) {
    if (script.running)
        return;
    script.running = true;
    const workspace = {};
    if (plasma5) {
        workspace.clientActivated = signal(script);
        Object.defineProperty(workspace, 'activeClient', {get: () => activeWindow});
    } else {
        workspace.windowActivated = signal(script);
        Object.defineProperty(workspace, 'activeWindow', {get: () => activeWindow});
    }
    try {
        // A script's top-level names are its own, as in KWin.
        new Function('workspace', 'callDBus', script.code)(workspace, callDBus);
    } catch (e) {
        problem(`the script failed: ${e}`);
    }
}

function scriptPath(id) {
    return plasma5 ? `/${id}` : `/Scripting/Script${id}`;
}

const scripting = Gio.DBusExportedObject.wrapJSObject(SCRIPTING_XML, {
    loadScript(path, plugin) {
        for (const script of scripts.values()) {
            if (script.plugin === plugin)
                return -1; // as KWin: one script per plugin name
        }
        let code;
        try {
            code = new TextDecoder().decode(GLib.file_get_contents(path)[1]);
        } catch (e) {
            problem(`loadScript: cannot read ${path}: ${e.message}`);
            return -1;
        }
        const id = nextId++;
        const script = {plugin, code, listeners: [], running: false};
        script.exported = Gio.DBusExportedObject.wrapJSObject(SCRIPT_XML, {
            run: () => runScript(script),
            stop: () => {
                script.listeners = [];
            },
        });
        script.exported.export(Gio.DBus.session, scriptPath(id));
        scripts.set(id, script);
        return id;
    },
    unloadScript(plugin) {
        for (const [id, script] of scripts) {
            if (script.plugin === plugin) {
                script.exported.unexport();
                scripts.delete(id);
                unloads++;
                return true;
            }
        }
        return false;
    },
    isScriptLoaded(plugin) {
        return [...scripts.values()].some(s => s.plugin === plugin);
    },
    start() {
        for (const script of scripts.values())
            runScript(script);
    },
});

const control = Gio.DBusExportedObject.wrapJSObject(TEST_XML, {
    Activate(desktopFileName, resourceClass, resourceName, pid) {
        activeWindow = desktopFileName || resourceClass || resourceName || pid
            ? {desktopFileName, resourceClass: bytes(resourceClass),
                resourceName: bytes(resourceName), pid, caption: resourceClass}
            : null;
        for (const script of scripts.values()) {
            for (const handler of script.listeners)
                handler(activeWindow);
        }
    },
    Loaded() {
        return [...scripts.values()].map(s => s.plugin);
    },
    Listeners() {
        return [...scripts.values()].reduce((n, s) => n + s.listeners.length, 0);
    },
    Unloads() {
        return unloads;
    },
    Problems() {
        return problems;
    },
});

const loop = new GLib.MainLoop(null, false);
Gio.bus_own_name(Gio.BusType.SESSION, 'org.kde.KWin', Gio.BusNameOwnerFlags.NONE,
    connection => {
        scripting.export(connection, '/Scripting');
        control.export(connection, '/org/velloq/test/KWin');
    },
    () => print('ready'),
    () => loop.quit());
loop.run();

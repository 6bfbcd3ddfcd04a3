// A stand-in for GNOME Shell on the test's session bus, to run Velloq's real extension: owns
// org.gnome.Shell, serves org.gnome.Shell.Extensions (GetExtensionInfo, EnableExtension,
// DisableExtension, ExtensionStateChanged) for the one extension it is given, and loads it as
// the shell of its form would, with `global.display` and Shell.WindowTracker standing in.
// The test moves the focus through /org/velloq/test/Shell.
//   gjs -m gnome-shell-stand-in.js <extension folder>
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import System from 'system';

const extensionDir = System.programArgs[0];
const metadata = JSON.parse(new TextDecoder().decode(
    GLib.file_get_contents(`${extensionDir}/metadata.json`)[1]));
const esm = metadata['shell-version'].includes('45');

const EXTENSIONS_XML = `<node><interface name="org.gnome.Shell.Extensions">
  <method name="GetExtensionInfo"><arg type="s" direction="in"/>
    <arg type="a{sv}" direction="out"/></method>
  <method name="EnableExtension"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <method name="DisableExtension"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <signal name="ExtensionStateChanged"><arg type="s"/><arg type="a{sv}"/></signal>
</interface></node>`;
const TEST_XML = `<node><interface name="org.velloq.test.Shell">
  <method name="Focus"><arg type="s" direction="in" name="shell_app_id"/>
    <arg type="s" direction="in" name="gtk_application_id"/>
    <arg type="s" direction="in" name="wm_class"/><arg type="s" direction="in" name="wm_instance"/>
    <arg type="i" direction="in" name="pid"/></method>
  <method name="Listeners"><arg type="i" direction="out"/></method>
</interface></node>`;

const ENABLED = 1, DISABLED = 2;
let state = DISABLED;
let extension = null;

// Meta.Display's part the extension uses: focus_window and notify::focus-window.
const display = {
    focus_window: null,
    _handlers: new Map(),
    _next: 1,
    connect(name, handler) {
        if (name !== 'notify::focus-window')
            throw new Error(`unexpected signal ${name}`);
        this._handlers.set(this._next, handler);
        return this._next++;
    },
    disconnect(id) {
        if (!this._handlers.delete(id))
            throw new Error(`disconnect of unknown handler ${id}`);
    },
};
globalThis.global = {display};

// Shell.WindowTracker: the app of a window, if the shell knows one.
globalThis.velloqStandInShell = {
    WindowTracker: {
        get_default: () => ({
            get_window_app: window => ({get_id: () => window._shellAppId}),
        }),
    },
};

function window(shellAppId, gtkId, wmClass, wmInstance, pid) {
    return {
        _shellAppId: shellAppId,
        get_sandboxed_app_id: () => null,
        get_gtk_application_id: () => gtkId || null,
        get_wm_class: () => wmClass || null,
        get_wm_class_instance: () => wmInstance || null,
        get_pid: () => pid,
    };
}

// The extension's source with the shell's own modules swapped for the stand-ins above.
function loadable(folder) {
    let source = new TextDecoder().decode(GLib.file_get_contents(`${extensionDir}/extension.js`)[1]);
    if (esm) {
        const stubs = `${folder}/stubs.js`;
        GLib.file_set_contents(stubs, `export default globalThis.velloqStandInShell;
export class Extension { constructor(metadata) { this.metadata = metadata; } }`);
        source = source.replace("import Shell from 'gi://Shell';", `import Shell from 'file://${stubs}';`)
            .replace("'resource:///org/gnome/shell/extensions/extension.js'", `'file://${stubs}'`);
    } else {
        source = source.replace('imports.gi.Shell', 'globalThis.velloqStandInShell');
    }
    GLib.file_set_contents(`${folder}/extension.js`, source);
}

async function enable() {
    if (!extension) {
        const folder = GLib.dir_make_tmp('velloq-gnome-XXXXXX');
        loadable(folder);
        if (esm) {
            const module = await import(`file://${folder}/extension.js`);
            extension = new module.default({...metadata, path: extensionDir});
        } else {
            imports.searchPath.unshift(folder);
            extension = imports.extension.init();
        }
    }
    extension.enable();
}

function info() {
    return {uuid: new GLib.Variant('s', metadata.uuid), state: new GLib.Variant('d', state)};
}

const extensions = Gio.DBusExportedObject.wrapJSObject(EXTENSIONS_XML, {
    GetExtensionInfo(uuid) {
        return uuid === metadata.uuid ? info() : {};
    },
    EnableExtensionAsync([uuid], invocation) {
        if (uuid !== metadata.uuid || state === ENABLED) {
            invocation.return_value(new GLib.Variant('(b)', [false]));
            return;
        }
        enable().then(() => {
            state = ENABLED;
            extensions.emit_signal('ExtensionStateChanged',
                new GLib.Variant('(sa{sv})', [metadata.uuid, info()]));
            invocation.return_value(new GLib.Variant('(b)', [true]));
        }).catch(e => {
            printerr(`gnome-shell-stand-in: ${e}\n${e.stack}`);
            invocation.return_dbus_error('org.gnome.Shell.Extensions.Error', String(e));
        });
    },
    DisableExtension(uuid) {
        if (uuid !== metadata.uuid || state !== ENABLED)
            return false;
        extension.disable();
        state = DISABLED;
        extensions.emit_signal('ExtensionStateChanged',
            new GLib.Variant('(sa{sv})', [metadata.uuid, info()]));
        return true;
    },
});

const control = Gio.DBusExportedObject.wrapJSObject(TEST_XML, {
    Focus(shellAppId, gtkId, wmClass, wmInstance, pid) {
        display.focus_window = shellAppId || gtkId || wmClass || wmInstance || pid
            ? window(shellAppId, gtkId, wmClass, wmInstance, pid) : null;
        for (const handler of [...display._handlers.values()])
            handler(display);
    },
    Listeners() {
        return display._handlers.size;
    },
});

const loop = new GLib.MainLoop(null, false);
Gio.bus_own_name(Gio.BusType.SESSION, 'org.gnome.Shell', Gio.BusNameOwnerFlags.NONE,
    connection => {
        extensions.export(connection, '/org/gnome/Shell');
        control.export(connection, '/org/velloq/test/Shell');
    },
    () => print('ready'),
    () => loop.quit());
loop.run();

// Tells Velloq which app is in front, each time it changes, while Velloq asks for it (the
// Watching property of its app.velloq.ActiveApp1 object). Shared by both forms of the
// extension; Gio, GLib and Shell come from the form around it.
const VELLOQ_BUS_NAME = 'app.velloq.Velloq';
const VELLOQ_PATH = '/app/velloq/Velloq/ActiveApp';
const VELLOQ_INTERFACE = 'app.velloq.ActiveApp1';

class VelloqReporter {
    constructor(display, tracker) {
        this._display = display;
        this._tracker = tracker;
        this._proxy = null;
        this._focusHandler = 0;
        this._cancellable = new Gio.Cancellable();
        this._watch = Gio.bus_watch_name(Gio.BusType.SESSION, VELLOQ_BUS_NAME,
            Gio.BusNameWatcherFlags.NONE, () => this._velloqAppeared(),
            () => this._velloqVanished());
    }

    destroy() {
        this._cancellable.cancel();
        Gio.bus_unwatch_name(this._watch);
        this._velloqVanished();
    }

    _velloqAppeared() {
        Gio.DBusProxy.new_for_bus(Gio.BusType.SESSION, Gio.DBusProxyFlags.DO_NOT_AUTO_START, null,
            VELLOQ_BUS_NAME, VELLOQ_PATH, VELLOQ_INTERFACE, this._cancellable, (_source, result) => {
                try {
                    this._proxy = Gio.DBusProxy.new_for_bus_finish(result);
                } catch (e) {
                    if (!e.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED))
                        logError(e, 'Velloq: cannot reach Velloq');
                    return;
                }
                this._proxy.connect('g-properties-changed', () => this._follow());
                this._follow();
            });
    }

    _velloqVanished() {
        this._proxy = null;
        this._follow();
    }

    // Listens to focus changes only while Velloq wants them.
    _follow() {
        const watching = this._proxy?.get_cached_property('Watching')?.unpack() ?? false;
        if (watching && !this._focusHandler) {
            this._focusHandler = this._display.connect('notify::focus-window',
                () => this._report());
            this._report();
        } else if (!watching && this._focusHandler) {
            this._display.disconnect(this._focusHandler);
            this._focusHandler = 0;
        }
    }

    _report() {
        const window = this._display.focus_window;
        let appId = '', wmClass = '', wmInstance = '', pid = '';
        if (window) {
            const app = this._tracker.get_window_app(window);
            const shellId = app ? app.get_id() : null;
            // Windows the shell cannot place get an id of its own ("window:<n>").
            if (shellId && !shellId.startsWith('window:'))
                appId = shellId;
            else
                appId = window.get_sandboxed_app_id() || window.get_gtk_application_id() || '';
            wmClass = window.get_wm_class() || '';
            wmInstance = window.get_wm_class_instance() || '';
            const number = window.get_pid();
            pid = number > 0 ? String(number) : '';
        }
        this._proxy?.call('WindowActivated',
            new GLib.Variant('(ssss)', [appId, wmClass, wmInstance, pid]),
            Gio.DBusCallFlags.NO_AUTO_START, -1, null, null);
    }
}

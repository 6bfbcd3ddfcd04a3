// A native Wayland client for the GNOME Shell test: one GTK 4 window of the application id
// it is given. Prints "ready" once the window is presented.
//   gjs wayland-window.js <application id>
imports.gi.versions.Gtk = '4.0';
const {Gio, Gtk} = imports.gi;

const app = new Gtk.Application({application_id: ARGV[0], flags: Gio.ApplicationFlags.NON_UNIQUE});
app.connect('activate', () => {
    const window = new Gtk.ApplicationWindow({application: app, title: ARGV[0],
        default_width: 320, default_height: 200});
    window.present();
    print('ready');
});
app.run([]);

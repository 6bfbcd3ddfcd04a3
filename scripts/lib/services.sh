# Starts the services the tests need, each private to this run: an X server (Xvfb), a D-Bus
# session bus and a PulseAudio daemon with a null sink and a null source.
# Source this file, call start_services, and stop_services on exit. start_services exports
# DISPLAY, DBUS_SESSION_BUS_ADDRESS and PULSE_SERVER, and VELLOQ_TEST_SERVICES (the folder
# of this run), which tells the ctest fixture that the services are already there.

_velloq_services_dir=""
_velloq_pids=()

# Waits up to 10 s for a command to succeed.
_velloq_await() {
    local tries=0
    until "$@" >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ $tries -gt 100 ] && return 1
        sleep 0.1
    done
}

start_services() {
    _velloq_services_dir=$(mktemp -d /tmp/velloq-services-XXXXXX)
    chmod 700 "$_velloq_services_dir"
    local dir=$_velloq_services_dir

    # X server on a display number it picks itself, so parallel runs never race for one; it
    # never resets, so a client that connects just as the last one leaves is not refused.
    : >"$dir/display"
    setsid Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset \
        3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
    _velloq_pids+=($!)
    if ! _velloq_await test -s "$dir/display"; then
        echo "services: Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; return 1
    fi
    export DISPLAY=":$(tr -d '[:space:]' <"$dir/display")"

    # Session bus.
    local bus
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 \
          --address="unix:path=$dir/bus" </dev/null)
    export DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | head -n1)
    _velloq_pids+=("$(echo "$bus" | sed -n 2p)")

    # Sound server with a null output and a null input.
    export VELLOQ_TEST_PULSE_DIR="$dir/pulse"
    mkdir -p "$VELLOQ_TEST_PULSE_DIR"
    cat >"$VELLOQ_TEST_PULSE_DIR/default.pa" <<PA
load-module module-native-protocol-unix socket=$VELLOQ_TEST_PULSE_DIR/native auth-anonymous=1
load-module module-null-sink sink_name=velloq_null_sink
load-module module-null-source source_name=velloq_null_source
set-default-sink velloq_null_sink
set-default-source velloq_null_source
PA
    HOME="$VELLOQ_TEST_PULSE_DIR" XDG_RUNTIME_DIR="$VELLOQ_TEST_PULSE_DIR" \
        setsid env -u DISPLAY pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --disallow-exit=yes --use-pid-file=no --log-target=file:"$VELLOQ_TEST_PULSE_DIR/log" \
        -F "$VELLOQ_TEST_PULSE_DIR/default.pa" </dev/null >/dev/null 2>&1 &
    _velloq_pids+=($!)
    export PULSE_SERVER="unix:$VELLOQ_TEST_PULSE_DIR/native"
    if ! _velloq_await pactl info; then
        echo "services: PulseAudio did not start" >&2
        cat "$VELLOQ_TEST_PULSE_DIR/log" >&2 || true
        return 1
    fi
    export VELLOQ_TEST_SERVICES=$dir
}

stop_services() {
    local pid
    for pid in "${_velloq_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "$_velloq_services_dir" ] && rm -rf "$_velloq_services_dir"
    _velloq_pids=()
    _velloq_services_dir=""
}

#!/usr/bin/env bash
# Runs a command under a headless sway of its own, on a private session bus
# (with the accessibility bus) and a private XDG_RUNTIME_DIR. sway refuses to
# run as root, so as root the whole run enters a user namespace first; the
# clients then share it, which also lets them pass Xwayland's local-user
# check. WAYLAND_DISPLAY, DISPLAY (Xwayland, started by sway) and SWAYSOCK
# are set for the command.
set -euo pipefail
if [ "$(id -u)" = 0 ] && [ -z "${MIRVOK_IN_USERNS:-}" ]; then
    export MIRVOK_IN_USERNS=1
    # The group too: a client sending its credentials with an unmapped
    # group is refused by the bus.
    exec unshare --user --map-user=1000 --map-group=1000 "$0" "$@"
fi
if [ -z "${MIRVOK_IN_BUS:-}" ]; then
    export MIRVOK_IN_BUS=1
    # Writable places of our own: inside the namespace root's files are
    # nobody's. The accessibility bus puts its socket here too.
    run=$(mktemp -d)
    chmod 700 "$run"
    mkdir -m 700 "$run/home"
    export XDG_RUNTIME_DIR=$run HOME=$run/home MIRVOK_SWAY_RUN=$run
    exec dbus-run-session -- "$0" "$@"
fi
run=$MIRVOK_SWAY_RUN
export XDG_SESSION_TYPE=wayland
export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
unset DISPLAY WAYLAND_DISPLAY
cat > "$run/config" <<CONF
xwayland enable
output HEADLESS-1 resolution 1280x1024
exec sh -c 'echo \$DISPLAY > $run/display.tmp && mv $run/display.tmp $run/display'
CONF
sway -c "$run/config" > "$run/sway.log" 2>&1 &
sway_pid=$!
cleanup() { kill "$sway_pid" 2>/dev/null; wait "$sway_pid" 2>/dev/null; rm -rf "$run"; }
trap cleanup EXIT
# Conditions, not times: the socket, then the display sway's children see.
for _ in $(seq 1 600); do
    [ -S "$run/wayland-1" ] && [ -s "$run/display" ] && break
    kill -0 "$sway_pid" 2>/dev/null || { cat "$run/sway.log" >&2; exit 1; }
    sleep 0.05
done
[ -S "$run/wayland-1" ] || { echo "sway did not start" >&2; cat "$run/sway.log" >&2; exit 1; }
export WAYLAND_DISPLAY=wayland-1 DISPLAY=$(cat "$run/display")
SWAYSOCK=$(ls "$run"/sway-ipc.*.sock 2>/dev/null | head -1)
export SWAYSOCK
"$@"

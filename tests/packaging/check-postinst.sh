#!/usr/bin/env bash
# Runs the package's postinst with stand-ins for modprobe and udevadm that record their
# calls. Without a running udev it must say in one line when the rule takes effect; with one,
# it applies the rule at once and says nothing. Usage: check-postinst.sh <postinst>
set -euo pipefail
postinst=${1:?usage: check-postinst.sh <postinst>}
fail() { echo "FAIL: $*" >&2; exit 1; }

stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT
for tool in modprobe udevadm; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$tool" "$stubs" >"$stubs/$tool"
    chmod +x "$stubs/$tool"
done

out=$(PATH="$stubs:/usr/bin:/bin" sh "$postinst" configure)
grep -qx 'modprobe uinput' "$stubs/calls" || fail "uinput is not loaded"
grep -qx 'modprobe i2c-dev' "$stubs/calls" || fail "i2c-dev is not loaded"
if [ -S /run/udev/control ]; then
    grep -q 'udevadm trigger.*--subsystem-match=hidraw' "$stubs/calls" || fail "no trigger"
    [ -z "$out" ] || fail "prints with udev running: $out"
else
    ! grep -q udevadm "$stubs/calls" || fail "calls udevadm without udev"
    [ "$(wc -l <<<"$out")" -eq 1 ] || fail "not one line: $out"
    grep -q 'after the dock is replugged or the computer restarts' <<<"$out" || fail "says: $out"
fi
# Other maintainer-script arguments do nothing.
: >"$stubs/calls"
[ -z "$(PATH="$stubs:/usr/bin:/bin" sh "$postinst" abort-upgrade)" ] || fail "abort-upgrade prints"
[ ! -s "$stubs/calls" ] || fail "abort-upgrade calls tools"
echo "postinst: ok"

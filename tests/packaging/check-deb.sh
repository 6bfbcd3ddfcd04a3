#!/usr/bin/env bash
# Installs the package twice (a fresh install, then an upgrade over itself), checks that
# every file it lists is in place, removes and purges it, and checks that nothing is left.
# Needs root (or sudo). Usage: tests/packaging/check-deb.sh <velloq.deb>
set -euo pipefail
deb=${1:?usage: check-deb.sh <velloq.deb>}

if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
package=$(dpkg-deb -f "$deb" Package)
if dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed; then
    echo "check-deb: $package is installed already; remove it first" >&2
    exit 1
fi

mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^[^.]*\./, ""); print }')
[ ${#files[@]} -gt 0 ] || { echo "check-deb: $deb lists no files" >&2; exit 1; }

"${as_root[@]}" dpkg -i "$deb" >/dev/null
"${as_root[@]}" dpkg -i "$deb" >/dev/null
for f in "${files[@]}"; do
    [ -f "$f" ] || { echo "check-deb: missing after install: $f" >&2; exit 1; }
done
"$(dpkg -L "$package" | grep -m1 '/bin/velloq$')" --version

"${as_root[@]}" dpkg -r "$package" >/dev/null
"${as_root[@]}" dpkg -P "$package" >/dev/null
left=0
for f in "${files[@]}"; do
    if [ -e "$f" ]; then echo "check-deb: left behind: $f" >&2; left=1; fi
done
[ -d /usr/share/velloq ] && { echo "check-deb: left behind: /usr/share/velloq" >&2; left=1; }
[ $left -eq 0 ]
echo "check-deb: $(basename "$deb"): installed, upgraded, removed; nothing left"

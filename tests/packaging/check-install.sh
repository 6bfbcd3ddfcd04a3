#!/usr/bin/env bash
# Checks of the tree that cmake --install made (install.sh). Usage:
#   check-install.sh tree <prefix> <expected list>  the files, exactly
#   check-install.sh validate <prefix>              desktop entry, metainfo, icon and D-Bus
#                                                   service file agree
#   check-install.sh command-line <prefix> <version> --version, --help, bad arguments, the
#                                                   manual page
set -euo pipefail
check=${1:?} prefix=${2:?}
fail() { echo "FAIL: $*" >&2; exit 1; }

case "$check" in
tree)
    diff -u "${3:?}" <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) \
        || fail "the installed files differ from $3"
    [ -x "$prefix/bin/velloq" ] || fail "bin/velloq is not executable"
    ;;
validate)
    desktop=$prefix/share/applications/app.velloq.Velloq.desktop
    metainfo=$prefix/share/metainfo/app.velloq.Velloq.metainfo.xml
    desktop-file-validate "$desktop"
    appstreamcli validate --no-net "$metainfo"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon $icon"
    grep -q "<icon type=\"stock\">$icon</icon>" "$metainfo" || fail "metainfo names another icon"
    [ "$(sed -n 's/^Exec=//p' "$desktop")" = "velloq %U" ] || fail "Exec is not velloq %U"
    # The .velloq type: the database built from our file knows it, and the entry opens it.
    mime=$(mktemp -d)
    trap 'rm -rf "$mime"' EXIT
    mkdir -p "$mime/mime/packages"
    cp "$prefix/share/mime/packages/app.velloq.Velloq.xml" "$mime/mime/packages/"
    update-mime-database "$mime/mime"
    grep -q '^50:application/x-velloq:\*\.velloq$' "$mime/mime/globs2" \
        || fail "the MIME database does not map *.velloq to application/x-velloq"
    grep -q '^MimeType=.*application/x-velloq;' "$desktop" || fail "the entry does not open .velloq"
    # The launcher starts Velloq through D-Bus, by the service file of the desktop entry's name.
    grep -qx 'DBusActivatable=true' "$desktop" || fail "the desktop entry is not DBusActivatable"
    service=$prefix/share/dbus-1/services/app.velloq.Velloq.service
    [ "$(sed -n 's/^Name=//p' "$service")" = "$(basename "$desktop" .desktop)" ] \
        || fail "the D-Bus service is not named after the desktop entry"
    [ "$(sed -n 's/^Exec=//p' "$service")" = "$prefix/bin/velloq" ] \
        || fail "the D-Bus service does not start the installed velloq"
    # The newest release of the metainfo is the version the program reports.
    release=$(grep -m1 -o '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
    [ "$("$prefix/bin/velloq" --version)" = "Velloq $release" ] \
        || fail "velloq --version is not Velloq $release"
    ;;
command-line)
    velloq=$prefix/bin/velloq
    [ "$("$velloq" --version)" = "Velloq ${3:?}" ] || fail "--version"
    help=$("$velloq" --help 2>/dev/null) || fail "--help exit code"
    grep -q "Velloq/config.json\|share/Velloq" <<<"$help" || fail "--help names no settings"
    [ "$("$velloq" -h)" = "$help" ] || fail "-h is not --help"
    # Bad arguments: nothing on stdout, the fault named on stderr, then the usage; status 2.
    for args in "--bogus" "-v" "--version --help" "extra"; do
        set +e
        # shellcheck disable=SC2086
        out=$("$velloq" $args 2>/dev/null); rc=$?
        err=$("$velloq" $args 2>&1 >/dev/null)
        set -e
        [ $rc -eq 2 ] || fail "velloq $args exits $rc, not 2"
        [ -z "$out" ] || fail "velloq $args prints on stdout"
        case "$(head -n1 <<<"$err")" in
        "velloq: unknown option ${args%% *}" | "velloq: unexpected argument --help" | \
            "velloq: unknown command extra") ;;
        *) fail "velloq $args does not name the fault: $(head -n1 <<<"$err")" ;;
        esac
        [ "$(tail -n +3 <<<"$err")" = "$help" ] || fail "velloq $args does not print the usage"
    done
    # The manual page reads cleanly and covers every command.
    page=$prefix/share/man/man1/velloq.1
    warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "velloq.1: $warnings"
    for command in $(sed -n 's/^  \([a-z]\+\) .*/\1/p' <<<"$help" | sort -u); do
        grep -q "^\.BI\? \"\?$command\b" "$page" || fail "velloq.1 does not describe $command"
    done
    ;;
*) fail "unknown check $check" ;;
esac
echo "$check: ok"

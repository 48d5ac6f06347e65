#!/usr/bin/env bash
# The Debian package as a user gets it: built the Debian way from the tracked sources by an
# unprivileged user, its unit tests included, checked by lintian and the validators, unpacked
# into a scratch root (dpkg -x), and run from there by another unprivileged user (uid 65534)
# with a fresh HOME: the console mode against chronyd on this run's loopback address, then the
# window under Xvfb, which must offer the servers of the root's
# etc/horalink/time.txt and show the same clock as a portable copy of the program beside it.
# Neither may write a file into HOME or the root.
#
#   install_test.sh SOURCE_DIR OUT_DIR
#
# Exits 77 (skipped) when a tool is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/e2e/lib.sh
source "$here/../e2e/lib.sh"
e2e_drop_clock_capability bash "$0" "$@"

src=$(realpath "$1")
out=$(realpath -m "$2")
nobody=65534
for tool in dpkg-buildpackage lintian desktop-file-validate appstreamcli man setpriv; do
    command -v "$tool" >/dev/null || e2e_skip "$tool is not installed (see scripts/deps)"
done
[ "$(id -u)" -eq 0 ] || e2e_skip "chronyd needs root to serve port 123"
rm -rf "$out"
e2e_init "$out"
# The scratch folders must be reachable by the unprivileged user.
scratch=$(mktemp -d /tmp/horalink-install.XXXXXX)
chmod 755 "$scratch"
trap 'e2e_cleanup; rm -rf "$scratch"' EXIT

step() { echo "== $*"; }
fail() { e2e_fail "$*"; }

# The package is built the way Debian's build daemons and most packagers build it: by an
# ordinary user with no capability at all (one made for it here), from a copy of the sources it
# owns, its unit tests included. Their guard must let such a user through.
build_user=horalink-build
build_package() {
    getent passwd "$build_user" >/dev/null ||
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$build_user" ||
        fail "cannot create the user $build_user"
    local pkg="$scratch/pkg"
    mkdir -p "$pkg/src" "$pkg/home"
    (cd "$src" && git ls-files -z --cached --others --exclude-standard | sort -zu |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf -) | tar -xf - -C "$pkg/src"
    chown -R "$build_user:$build_user" "$pkg"
    local started=$SECONDS
    (cd "$pkg/src" && setpriv --reuid="$build_user" --regid="$build_user" --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$pkg/home" LANG=C.UTF-8 DEB_BUILD_OPTIONS="parallel=$(nproc)" \
        sh -c 'grep -E "^Cap(Prm|Eff|Amb)" /proc/self/status && dpkg-buildpackage -us -uc -b') \
        >"$out/build.log" 2>&1 || { tail -n 40 "$out/build.log"; fail "dpkg-buildpackage as $build_user failed (see build.log)"; }
    grep -q 'PASSED' "$out/build.log" || fail "the package build ran no unit test (see build.log)"
    [ "$(grep -cE '^Cap(Prm|Eff|Amb):[[:space:]]+0+$' "$out/build.log")" -eq 3 ] ||
        fail "the build user holds a capability"
    echo "built by $build_user with its unit tests in $((SECONDS - started)) s"
    mv "$pkg"/horalink_*.deb "$scratch/"
}

# HORALINK_INSTALL_DEB names a package built before, to check it again without a build.
if [ -n "${HORALINK_INSTALL_DEB:-}" ]; then
    step "package $HORALINK_INSTALL_DEB"
    cp "$HORALINK_INSTALL_DEB" "$scratch/"
else
    step "package built from the tracked and new files of $src"
    build_package
fi
debs=("$scratch"/horalink_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not one horalink_*.deb: ${debs[*]}"
deb=${debs[0]}
cp "$deb" "$out/"
basename "$deb"

step "lintian: nothing but information"
lintian --pedantic --display-info --fail-on error,warning,pedantic "$deb" | tee "$out/lintian.txt" || fail "lintian objects"

step "what the package holds"
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/horalink usr/share/applications/org.horalink.horalink.desktop \
    usr/share/icons/hicolor/48x48/apps/org.horalink.horalink.png \
    usr/share/icons/hicolor/256x256/apps/org.horalink.horalink.png \
    usr/share/metainfo/org.horalink.horalink.metainfo.xml usr/share/man/man1/horalink.1.gz \
    "usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/horalink/horalink-nts.so" etc/horalink/time.txt \
    usr/share/horalink/time.txt; do
    [ -f "$root/$f" ] || fail "the package lacks $f"
done
grep -qx /etc/horalink/time.txt < <(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles) ||
    fail "/etc/horalink/time.txt is not a conffile"
! grep -v '^#' "$root/etc/horalink/time.txt" | grep -q . || fail "the shipped server list names a server"
# Nothing that starts by itself, nothing privileged.
for d in etc/init.d etc/systemd lib/systemd usr/lib/systemd etc/cron.d etc/xdg/autostart; do
    [ ! -e "$root/$d" ] || fail "the package installs $d"
done
[ -z "$(find "$root" -perm /6000)" ] || fail "a setuid or setgid file"
[ -z "$(getcap -r "$root" 2>/dev/null)" ] || fail "a file capability"
version=$(dpkg-deb -f "$deb" Version)
[ "$("$root/usr/bin/horalink" --version)" = "Horalink $version" ] ||
    fail "the program's version is not the package's ($version)"

step "validators"
desktop-file-validate "$root/usr/share/applications/org.horalink.horalink.desktop"
# Pedantic, and nothing but information (AppStream 0.16 does not know <developer> yet).
appstream=$(appstreamcli validate --pedantic --no-net "$root/usr/share/metainfo/org.horalink.horalink.metainfo.xml" 2>&1) ||
    fail "appstreamcli: $appstream"
echo "$appstream"
! grep -qE '^[EWP]:' <<<"$appstream" || fail "appstreamcli validate --pedantic objects"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/horalink.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man: $warnings"

step "run from the scratch root by uid $nobody"
e2e_start_xvfb
e2e_start_chronyd
printf '# this run'"'"'s servers\n%s\n' "$E2E_ADDRESS" >"$root/etc/horalink/time.txt"
home="$scratch/home"
# A desktop session's runtime folder; without one Qt makes /tmp/runtime-USER.
runtime="$scratch/runtime"
mkdir "$home" "$runtime"
chown "$nobody:$nobody" "$home" "$runtime"
chmod 700 "$runtime"
listing() { (cd "$1" && find . -printf '%p %s %T@ %m %u\n' | sort); }
listing "$root" >"$out/root-before.txt"
# Replaces the calling shell, so call it in a subshell: $(...) or with &, which then gives the
# program's own pid.
as_nobody() {
    cd "$home"
    exec setpriv --reuid=$nobody --regid=$nobody --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" DISPLAY="$DISPLAY" \
        DBUS_SESSION_BUS_ADDRESS="${session_bus:-}" "$@"
}

# A desktop session's bus: without one, D-Bus clients in Qt would start one themselves and
# leave its address in ~/.dbus.
as_nobody dbus-daemon --session --nofork --address="unix:path=$runtime/bus" >"$out/dbus.log" 2>&1 &
e2e_pids+=($!)
e2e_wait_for 10 test -S "$runtime/bus" || fail "the session bus did not start (see dbus.log)"
session_bus="unix:path=$runtime/bus"

console=$(as_nobody "$root/usr/bin/horalink" --console "$E2E_ADDRESS" 2>&1) && status=0 || status=$?
echo "$console" | tee "$out/console.txt"
[ "$status" -eq 0 ] || fail "--console exited with $status"
grep -q '^Time was successfully retreived$' <<<"$console" || fail "no report from --console"
# NTS comes from a module the installed program loads on first use: a refused key exchange, not
# a missing module.
nts=$(as_nobody "$root/usr/bin/horalink" --console --timeout 0.5 --nts 127.0.0.1:1 2>&1) || true
grep -qx 'horalink: connection refused' <<<"$nts" || fail "NTS from the installed program: $nts"

# A portable copy of the same program, its list beside it, for comparison: it writes its clock
# font file and adds it from there.
portable="$scratch/portable"
mkdir -p "$portable/url"
cp "$root/usr/bin/horalink" "$portable/"
# Without its NTS module, and beside a module that is not of its version (as after an upgrade
# while it runs), a copy fails NTS cleanly and says why.
for module in "" "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libz.so.1"; do
    [ -z "$module" ] || cp "$module" "$portable/horalink-nts.so"
    nts=$("$portable/horalink" --console --timeout 0.5 --nts 127.0.0.1:1 2>&1) && status=0 || status=$?
    [ "$status" -eq 1 ] && grep -Eq 'unavailable: (horalink-nts.so not found|.*another version)' <<<"$nts" ||
        fail "NTS from a copy with module '$module': exit $status, $nts"
done
rm "$portable/horalink-nts.so"
cp "$root/etc/horalink/time.txt" "$portable/url/"
E2E_PROGRAM=$portable/horalink
e2e_start_app
e2e_wait_window
portable_wid=$e2e_wid
[ -f "$portable/Segmatic.ttf" ] || fail "the portable copy did not write its font file"
xdotool windowmove --sync "$portable_wid" 0 0

as_nobody QT_QPA_PLATFORM=xcb "$root/usr/bin/horalink" >>"$out/horalink.log" 2>&1 &
e2e_app_pid=$!
e2e_pids+=("$e2e_app_pid")
e2e_wait_window
echo "installed window $e2e_wid at $WX,$WY"

# The selector (17, 200, 141 x 22) and the digital clock (104, 36, 144 x 42) of both windows;
# the clocks tick on their own, so they agree in most shots, not all.
crops() {
    local shot=$1 name=$2 x=$3 y=$4
    python3 "$E2E_SHOT" png "$out/$shot.ppm" "$out/$shot-$name-list.png" $((x + 17)) $((y + 200)) 141 22
    python3 "$E2E_SHOT" png "$out/$shot.ppm" "$out/$shot-$name-clock.png" $((x + 104)) $((y + 36)) 144 42
}
same=0
for i in $(seq 12); do
    sleep 0.25
    e2e_shot "both-$i"
    crops "both-$i" installed "$WX" "$WY"
    crops "both-$i" portable 0 0
    if cmp -s "$out/both-$i-installed-list.png" "$out/both-$i-portable-list.png" &&
        cmp -s "$out/both-$i-installed-clock.png" "$out/both-$i-portable-clock.png"; then
        same=1
        break
    fi
done
[ "$same" -eq 1 ] || fail "the installed window's clock or server list differs from the portable one's (see both-*.png)"
step "the installed window offers $E2E_ADDRESS and shows the seven-segment clock"

e2e_click $((165 + 20)) $((200 + 11))
e2e_wait_report 5 installed-report || fail "the installed window's report did not arrive"
kill -TERM "$e2e_app_pid"
wait "$e2e_app_pid" 2>/dev/null || true

step "nothing was written"
listing "$root" >"$out/root-after.txt"
diff -u "$out/root-before.txt" "$out/root-after.txt" || fail "the scratch root changed"
written=$(cd "$home" && find . -mindepth 1)
[ -z "$written" ] || fail "written into HOME: $written"
echo "PASSED; screenshots in $out"

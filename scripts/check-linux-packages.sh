#!/usr/bin/env bash
# Builds the Linux packages with cpack from a configured and built Release tree and checks them as
# a user meets them: the .deb's members and control fields, lintian (no errors), an install on this
# machine (as root; otherwise unpacked into a scratch root), 'vexo --sim info' from the installed
# copy, pkg-config and a C program built with its flags for each library, seeing no other .pc file
# than the package's, the ~/.passthru file, python-can's can.Bus(interface="j2534") through the
# entry point, and a removal that leaves nothing behind; the
# tarball's members and its bin/vexo.
# usage: check-linux-packages.sh BUILD_TREE
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(cd "${1:?usage: check-linux-packages.sh BUILD_TREE}" && pwd)
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[ -n "$VERSION" ] || { echo "no CMAKE_PROJECT_VERSION in $BUILD/CMakeCache.txt" >&2; exit 1; }
DEB=$BUILD/packages/vexo-j2534_${VERSION}_amd64.deb
TGZ=$BUILD/packages/vexo-j2534-$VERSION-linux-x86_64.tar.gz
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

FAILURES=0
fail() { printf '  FAIL: %s\n' "$*" >&2; FAILURES=$((FAILURES + 1)); }
ok() { printf '  ok: %s\n' "$*"; }
same_list() {  # what wanted have
    if [ "$2" = "$3" ]; then ok "$1"; else fail "$1:"; diff <(echo "$2") <(echo "$3") >&2 || true; fi
}
sim_info() {  # vexo: its 'vexo --sim info' output with the library line dropped
    "$1" --sim info 2>&1 | sed 1d
}
WANT_INFO="firmware: Openport 2.0 sim 1.17.4877
dll:      $VERSION
api:      04.04
battery:  12.60 V"
# The python-can interface: its modules and the dist-info setuptools writes from pyproject.toml.
PY_DIST=python_can_j2534-$(sed -n 's/^version = "\(.*\)"$/\1/p' "$ROOT/python/pyproject.toml").dist-info
PY_FILES=$( (cd "$ROOT/python" && ls can_j2534/*.py; printf "$PY_DIST/%s\n" METADATA entry_points.txt top_level.txt) |
    sed 's|^|lib/python3/dist-packages/|')
PY_NAME="Tactrix Openport 2.0 (vexo)"  # the device's name in ~/.passthru/vexo-j2534.json
py_bus() {  # python3-path extra-PYTHONPATH channel simusb-dir home: the interface found through its entry point, on the car
    HOME=$5 PYTHONPATH=$2 VEXO_SIM_CABLES=1 LD_LIBRARY_PATH=$4 "$1" -c 'import sys, can, can_j2534
print(can.interfaces.BACKENDS["j2534"], can_j2534.__file__)
bus = can.Bus(interface="j2534", channel=sys.argv[1] or None)
print(bus.channel_info)
bus.shutdown()' "$3" 2>&1
}
want_py_bus() {  # dist-packages channel-name library abi
    printf "('can_j2534', 'J2534Bus') %s/can_j2534/__init__.py\nJ2534 %s (%s, %s ABI): protocol 5 at 500000 bit/s; %s\n" \
        "$1" "$2" "$3" "$4" "firmware Openport 2.0 sim 1.17.4877, API 04.04"
}

# pkg-config as on a machine with nothing but the package (in ROOT, empty for /): it sees the
# package's .pc files alone, so a Requires on a -dev package the .deb does not pull in fails;
# each library's flags build a C program that opens the simulated cable and reads the versions.
use_pkg_config() {  # root
    local root=$1 name flags want_flags
    for name in vexo-j2534 vexo-j2534-fixed32; do
        flags=$(PKG_CONFIG_LIBDIR=$root/usr/lib/pkgconfig PKG_CONFIG_SYSROOT_DIR=$root pkg-config --cflags --libs $name 2>&1) ||
            { fail "pkg-config --cflags --libs $name: $flags"; continue; }
        flags=${flags% }
        want_flags=$([ -z "$root" ] || echo "-I$root/usr/include ")$([ $name = vexo-j2534 ] || echo "-DVEXO_J2534_FIXED32 ")
        want_flags="$want_flags$([ -z "$root" ] || echo "-L$root/usr/lib ")-l$(echo $name | sed 's/j2534/j2534_0404/; s/-/_/g')"
        [ "$flags" = "$want_flags" ] && ok "pkg-config --cflags --libs $name: $flags" || fail "pkg-config $name: '$flags', not '$want_flags'"
        # shellcheck disable=SC2086
        if cc -std=c11 -Wall -Wextra -Werror "$ROOT/tests/install/use_installed.c" $flags \
            "$root/usr/lib/vexo-j2534/libusb-1.0.so.0" -o "$WORK/use_$name" 2>"$WORK/cc.log"; then
            same_list "a C program built with $name's flags" "dll $VERSION api 04.04" \
                "$(LD_LIBRARY_PATH=$root/usr/lib/vexo-j2534:$root/usr/lib "$WORK/use_$name" 2>&1)"
        else
            fail "a C program does not build with $name's flags: $(cat "$WORK/cc.log")"
        fi
    done
    grep -qx "  \"FUNCTION_LIB\": \"/usr/lib/libvexo_j2534_0404_fixed32.so\"," "$root/usr/share/vexo-j2534/passthru/vexo-j2534.json" &&
        ok "vexo-j2534.json names /usr/lib/libvexo_j2534_0404_fixed32.so" || fail "vexo-j2534.json: $(cat "$root/usr/share/vexo-j2534/passthru/vexo-j2534.json")"
}

rm -f "$DEB" "$TGZ"
(cd "$BUILD" && cpack -G "DEB;TGZ" >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; exit 1; }
[ -f "$DEB" ] && [ -f "$TGZ" ] || { cat "$WORK/cpack.log"; echo "cpack made no $DEB or $TGZ" >&2; exit 1; }

printf '\n== %s\n' "$(basename "$DEB")"
DEB_FILES="/lib/udev/rules.d/60-vexo-openport.rules
/usr/bin/vexo
/usr/include/vexo/j2534.h
/usr/lib/libvexo_j2534_0404.so
/usr/lib/libvexo_j2534_0404_fixed32.so
/usr/lib/pkgconfig/vexo-j2534-fixed32.pc
/usr/lib/pkgconfig/vexo-j2534.pc
/usr/lib/vexo-j2534/libusb-1.0.so.0
/usr/share/doc/vexo-j2534/LICENSE
/usr/share/doc/vexo-j2534/changelog.gz
/usr/share/doc/vexo-j2534/copyright
/usr/share/man/man1/vexo.1.gz
/usr/share/vexo-j2534/passthru/vexo-j2534.json"
DEB_FILES=$(printf '%s\n' "$DEB_FILES" $(sed 's|^|/usr/|' <<<"$PY_FILES") | LC_ALL=C sort)
same_list "dpkg-deb -c: exactly the $(echo "$DEB_FILES" | wc -l) files" "$DEB_FILES" \
    "$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | LC_ALL=C sort)"
[ "$(dpkg-deb -f "$DEB" Package Version Architecture | tr '\n' ' ')" = "Package: vexo-j2534 Version: $VERSION Architecture: amd64 " ] &&
    ok "Package vexo-j2534, Version $VERSION, Architecture amd64" || fail "control: $(dpkg-deb -f "$DEB" Package Version Architecture)"
grep -qE '(^|, )libusb-1\.0-0 \(>= [^)]+\)' <<<"$(dpkg-deb -f "$DEB" Depends)" &&
    ok "Depends (dpkg-shlibdeps): $(dpkg-deb -f "$DEB" Depends)" || fail "Depends lacks libusb-1.0-0: $(dpkg-deb -f "$DEB" Depends)"
# Listed first: grep -q stopping early would fail the pipeline under pipefail.
grep -qx './postinst' <<<"$(dpkg-deb --ctrl-tarfile "$DEB" | tar -tf -)" && ok "postinst present" || fail "no postinst"
cmp -s <(dpkg-deb --fsys-tarfile "$DEB" | tar -xOf - ./lib/udev/rules.d/60-vexo-openport.rules) "$ROOT/udev/60-vexo-openport.rules" &&
    ok "the udev rule is udev/60-vexo-openport.rules" || fail "the packaged udev rule differs from udev/60-vexo-openport.rules"

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$DEB" >"$WORK/lintian.log" 2>&1 || true
    grep -v 'running with root privileges' "$WORK/lintian.log" | sed 's/^/    /' || true
    if grep -q '^E: ' "$WORK/lintian.log"; then fail "lintian reports errors"; else ok "lintian: no errors"; fi
else
    fail "lintian is not installed"
fi

if [ "$(id -u)" -eq 0 ] && [ "${VEXO_DEB_SCRATCH:-0}" != 1 ]; then
    ! dpkg -s vexo-j2534 >/dev/null 2>&1 || { fail "vexo-j2534 is installed already; not touching it"; exit 1; }
    if dpkg -i "$DEB" >"$WORK/dpkg.log" 2>&1; then
        ok "dpkg -i"
        same_list "/usr/bin/vexo --sim info from the installed package" "$WANT_INFO" "$(sim_info /usr/bin/vexo)"
        [ "$(/usr/bin/vexo --sim info 2>&1 | head -n1)" = "library:  /usr/lib/libvexo_j2534_0404.so" ] &&
            ok "it loads /usr/lib/libvexo_j2534_0404.so" || fail "installed vexo loads $(/usr/bin/vexo --sim info 2>&1 | head -n1)"
        use_pkg_config ""
        same_list "python3: can.Bus(interface=\"j2534\") through the entry point, on the default library" \
            "$(want_py_bus /usr/lib/python3/dist-packages vexo-j2534 libvexo_j2534_0404.so platform)" \
            "$(py_bus /usr/bin/python3 "" "" /usr/lib/vexo-j2534 "$HOME")"
        mkdir -p "$WORK/home"
        HOME=$WORK/home /usr/bin/vexo register >/dev/null && cmp -s "$WORK/home/.passthru/vexo-j2534.json" \
            /usr/share/vexo-j2534/passthru/vexo-j2534.json && ok "vexo register writes the system copy's file" ||
            fail "vexo register wrote $(cat "$WORK/home/.passthru/vexo-j2534.json" 2>&1)"
        same_list "python3: can.Bus(interface=\"j2534\") on the device ~/.passthru names" \
            "$(want_py_bus /usr/lib/python3/dist-packages "$PY_NAME" /usr/lib/libvexo_j2534_0404_fixed32.so fixed32)" \
            "$(py_bus /usr/bin/python3 "" "$PY_NAME" /usr/lib/vexo-j2534 "$WORK/home")"
        dpkg -r vexo-j2534 >>"$WORK/dpkg.log" 2>&1 && ok "dpkg -r" || fail "dpkg -r: $(tail -n 3 "$WORK/dpkg.log")"
        dpkg --purge vexo-j2534 >>"$WORK/dpkg.log" 2>&1 || true
        left=""
        for f in $DEB_FILES /usr/lib/vexo-j2534 /usr/include/vexo /usr/share/doc/vexo-j2534 /usr/share/vexo-j2534 \
            /usr/lib/python3/dist-packages/can_j2534 /usr/lib/python3/dist-packages/$PY_DIST; do
            [ ! -e "$f" ] || left="$left $f"
        done
        [ -z "$left" ] && ok "removed cleanly: none of its files or directories is left" || fail "left behind:$left"
    else
        fail "dpkg -i failed: $(tail -n 5 "$WORK/dpkg.log")"
    fi
else
    dpkg-deb -x "$DEB" "$WORK/root"
    same_list "vexo --sim info from the package unpacked into a scratch root" "$WANT_INFO" "$(sim_info "$WORK/root/usr/bin/vexo")"
    use_pkg_config "$WORK/root"
    py=$WORK/root/usr/lib/python3/dist-packages
    same_list "python3: can.Bus(interface=\"j2534\") through the entry point, from the scratch root" \
        "$(want_py_bus "$py" libvexo_j2534_0404.so "$WORK/root/usr/lib/libvexo_j2534_0404.so" platform)" \
        "$(py_bus /usr/bin/python3 "$py" "$WORK/root/usr/lib/libvexo_j2534_0404.so" "$WORK/root/usr/lib/vexo-j2534" "$HOME")"
fi

printf '\n== %s\n' "$(basename "$TGZ")"
TOP=vexo-j2534-$VERSION-linux-x86_64
same_list "exactly the expected members" "$(printf '%s\n' bin/vexo include/vexo/j2534.h lib/libvexo_j2534_0404.so \
    lib/libvexo_j2534_0404_fixed32.so lib/pkgconfig/vexo-j2534.pc lib/pkgconfig/vexo-j2534-fixed32.pc \
    lib/vexo-j2534/libusb-1.0.so.0 share/doc/vexo-j2534/LICENSE share/man/man1/vexo.1.gz \
    share/vexo-j2534/udev/60-vexo-openport.rules share/vexo-j2534/udev/README $PY_FILES | LC_ALL=C sort)" \
    "$(tar -tzf "$TGZ" | grep -v '/$' | sed "s|^$TOP/||" | LC_ALL=C sort)"
mkdir -p "$WORK/tgz" && tar -C "$WORK/tgz" -xzf "$TGZ"
same_list "bin/vexo --sim info from the unpacked tarball" "$WANT_INFO" "$(sim_info "$WORK/tgz/$TOP/bin/vexo")"

if [ "$FAILURES" -ne 0 ]; then
    printf '\ncheck-linux-packages.sh: %d check(s) FAILED\n' "$FAILURES" >&2
    exit 1
fi
printf '\ncheck-linux-packages.sh: %s and %s hold what they should\n' "$(basename "$DEB")" "$(basename "$TGZ")"

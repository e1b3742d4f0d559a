#!/usr/bin/env bash
# Installing Tolvik: `cmake --install` lays out the programs beside their manual with
# launcher links on the PATH, the desktop entry, the AppStream metainfo, the theme icons, a
# manual page for each program and the copyright file and changelog, all of which pass their
# validators; CPack builds a .deb with the same files whose dependencies cover every shared
# library the programs load, and which lintian passes without an error or a warning.
#
#   bash tests/e2e_install.sh BIN_DIR SOURCE_ROOT
set -euo pipefail

BIN_DIR=$(cd "$1" && pwd)
BUILD_DIR=$(cd "$BIN_DIR/.." && pwd)
APP_ID=org.tolvik.Tolvik
ICON_SIZES=(16 22 24 32 48 64 128 256)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# PNG width and height from the IHDR chunk.
png_size() {
    python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$1"
}

# The layout of one installed tree rooted at $1 (the prefix as seen on disk).
check_tree() {
    local root=$1
    local app="$root/lib/tolvik"
    for program in tolvik tolvik-convert; do
        [[ -f "$app/$program" && -x "$app/$program" ]] || fail "$app/$program is not an executable"
        local link="$root/bin/$program"
        if [[ ! -L "$link" ]]; then
            fail "$link is not a link"
            continue
        fi
        local target
        target=$(readlink "$link")
        [[ "$target" != /* ]] || fail "$link points to the absolute $target; it must move with the tree"
        [[ "$(realpath "$link")" == "$(realpath "$app/$program")" ]] ||
            fail "$link resolves to $(realpath -m "$link"), not $app/$program"
    done
    if [[ -f "$app/Help-Manual.chm" ]]; then
        cmp -s "$app/Help-Manual.chm" "$BIN_DIR/Help-Manual.chm" ||
            fail "the installed manual differs from the built one"
    else
        fail "no Help-Manual.chm beside the executable in $app"
    fi

    local desktop="$root/share/applications/$APP_ID.desktop"
    local metainfo="$root/share/metainfo/$APP_ID.metainfo.xml"
    [[ -f "$desktop" ]] || fail "no desktop entry $desktop"
    [[ -f "$metainfo" ]] || fail "no metainfo $metainfo"
    if [[ -f "$desktop" ]]; then
        grep -qx "Exec=tolvik" "$desktop" || fail "the desktop entry does not start the launcher"
        grep -qx "Icon=$APP_ID" "$desktop" || fail "the desktop entry names another icon"
        if command -v desktop-file-validate >/dev/null; then
            desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
        else
            echo "note: desktop-file-validate (package desktop-file-utils) not installed" >&2
        fi
    fi
    if [[ -f "$metainfo" ]]; then
        appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || {
            cat "$work/appstream.log" >&2
            fail "appstreamcli rejects $metainfo"
        }
    fi
    # A manual page for each program, which man formats without a warning, of the version
    # the program reports, naming every option its --help lists.
    for program in tolvik tolvik-convert; do
        local page="$root/share/man/man1/$program.1.gz"
        if [[ ! -f "$page" ]]; then
            fail "no manual page $page"
            continue
        fi
        if ! LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >"$work/page.txt" 2>"$work/man.log" ||
            [[ -s "$work/man.log" ]]; then
            cat "$work/man.log" >&2
            fail "man reports problems in $page"
        fi
        local version
        version=$(DISPLAY= WAYLAND_DISPLAY= "$app/$program" --version | head -n 1)
        grep -qF "Tolvik ${version##* }" "$work/page.txt" ||
            fail "$page is not of version ${version##* }"
        grep -q "GPL-3.0-or-later" "$work/page.txt" || fail "$page does not name the licence"
        local option
        while read -r option; do
            grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" "$work/page.txt" || fail "$page does not name $program's option $option"
        done < <(DISPLAY= WAYLAND_DISPLAY= "$app/$program" --help | grep -oE '^ +-[^ ]+(, --[^ ]+)?' |
            tr ',' '\n' | tr -d ' ')
    done
    local doc="$root/share/doc/tolvik"
    [[ -f "$doc/copyright" ]] || fail "no copyright file in $doc"
    if [[ -f "$doc/changelog.gz" ]]; then
        [[ "$(zcat "$doc/changelog.gz" | head -n 1)" =~ ^tolvik\ \(([^\)]+)\) ]] ||
            fail "$doc/changelog.gz does not start with a Debian changelog entry"
    else
        fail "no changelog.gz in $doc"
    fi

    for size in "${ICON_SIZES[@]}"; do
        local icon="$root/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png"
        if [[ -f "$icon" ]]; then
            [[ "$(png_size "$icon")" == "${size}x${size}" ]] ||
                fail "$icon is $(png_size "$icon"), not ${size}x${size}"
        else
            fail "no theme icon $icon"
        fi
    done
}

# 1. A plain prefix: the launcher links work where the tree lies.
prefix="$work/prefix"
cmake --install "$BUILD_DIR" --prefix "$prefix" >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install into $prefix" >&2
    exit 1
}
check_tree "$prefix"
version=$("$prefix/bin/tolvik-convert" --version) || fail "tolvik-convert --version through the launcher link"
[[ "$version" == *2.01* ]] || fail "tolvik-convert --version printed '$version'"

# 2. A staging root, as distribution packages install: DESTDIR with the prefix /usr.
DESTDIR="$work/stage" cmake --install "$BUILD_DIR" --prefix /usr >"$work/stage.log" 2>&1 || {
    cat "$work/stage.log" >&2
    echo "FAIL: cmake --install with DESTDIR" >&2
    exit 1
}
check_tree "$work/stage/usr"

# 3. The .deb package.
if [[ ! -f "$BUILD_DIR/CPackConfig.cmake" ]]; then
    fail "no CPackConfig.cmake in $BUILD_DIR"
elif ! command -v dpkg-deb >/dev/null; then
    echo "note: dpkg-deb not installed; the .deb is not checked" >&2
else
    (cd "$work" && cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$work/package") \
        >"$work/cpack.log" 2>&1 || {
        cat "$work/cpack.log" >&2
        fail "cpack -G DEB"
    }
    deb=$(find "$work/package" -maxdepth 1 -name 'tolvik_*.deb' | head -n 1)
    if [[ -z "$deb" ]]; then
        fail "cpack made no tolvik_*.deb"
    else
        mkdir -p "$work/deb"
        dpkg-deb -x "$deb" "$work/deb"
        check_tree "$work/deb/usr"
        [[ "$(dpkg-deb -f "$deb" Package)" == tolvik ]] || fail "package name"
        [[ "$(dpkg-deb -f "$deb" Version)" == 2.1.0 ]] || fail "package version $(dpkg-deb -f "$deb" Version)"
        depends=$(dpkg-deb -f "$deb" Depends)
        # The package names alone, one to a line, without their version conditions.
        depends_names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/[[:space:]]//g')
        # Every shared library the programs link directly comes from a package the .deb
        # depends on (the libraries those load come with their own packages' dependencies).
        for program in tolvik tolvik-convert; do
            needed=$(objdump -p "$BIN_DIR/$program" | awk '$1 == "NEEDED" { print $2 }')
            while read -r library; do
                owner=$(dpkg -S "$library" 2>/dev/null | head -n 1 | cut -d: -f1) || true
                if [[ -z "$owner" ]]; then
                    owner=$(dpkg -S "$(realpath "$library")" 2>/dev/null | head -n 1 | cut -d: -f1) || true
                fi
                [[ -n "$owner" ]] || continue  # built here, not from a package
                # A sanitizer build's runtimes are not part of what gets shipped.
                [[ ! "$owner" =~ ^lib(a|ub|l|t|hwa)san[0-9]*$ ]] || continue
                grep -qxF "$owner" <<<"$depends_names" ||
                    fail "$program loads $library from $owner, which the package does not depend on"
            done < <(ldd "$BIN_DIR/$program" | awk '/=> \// { print $1, $3 }' |
                while read -r name path; do
                    grep -qxF "$name" <<<"$needed" && echo "$path"
                done)
        done
        grep -qxF qt6-qpa-plugins <<<"$depends_names" || fail "the package lacks Qt's platform plugins"

        # The changelog's newest entry is of the package's version.
        changelog_version=$(zcat "$work/deb/usr/share/doc/tolvik/changelog.gz" 2>/dev/null |
            sed -n '1s/^tolvik (\([^)]*\)).*/\1/p')
        [[ "$changelog_version" == "$(dpkg-deb -f "$deb" Version)" ]] ||
            fail "the changelog's newest entry is of version '$changelog_version', the package of $(dpkg-deb -f "$deb" Version)"

        # Debian's package checker: no error and no warning (informational tags are allowed).
        if command -v lintian >/dev/null; then
            if ! lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1; then
                cat "$work/lintian.log" >&2
                fail "lintian reports errors or warnings on the .deb"
            fi
        else
            fail "lintian is not installed (scripts/install-deps.sh --test installs it)"
        fi
    fi
fi

if ((failures > 0)); then
    echo "$failures install check(s) failed" >&2
    exit 1
fi
echo "install: layout, launchers, desktop entry, metainfo, icons and .deb as expected"

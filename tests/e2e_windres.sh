#!/usr/bin/env bash
# The Windows resource script app/win/tolvik.rc compiles with the MinGW resource compiler,
# and the compiled resources hold what tolvik.exe must carry: the ten-image icon, the
# application manifest with its common-controls dependency, and the version information.
#
#   bash tests/e2e_windres.sh BIN_DIR SOURCE_ROOT
set -euo pipefail

BIN_DIR=$1
SOURCE_ROOT=$2
WINDRES=${WINDRES:-x86_64-w64-mingw32-windres}
ICON_DIR="$BIN_DIR/../icons"

if ! command -v "$WINDRES" >/dev/null; then
    echo "FAIL: $WINDRES not found (Debian package binutils-mingw-w64-x86-64)" >&2
    exit 1
fi
if [[ ! -f "$ICON_DIR/tolvik.ico" ]]; then
    echo "FAIL: $ICON_DIR/tolvik.ico is missing: the build draws it (target tolvik_icons)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The host's C preprocessor stands in for MinGW's compiler driver, which the script does not
# need: it includes no Windows headers.
"$WINDRES" --preprocessor=cpp -I "$ICON_DIR" -I "$SOURCE_ROOT/app/win" \
    -i "$SOURCE_ROOT/app/win/tolvik.rc" -O res -o "$work/tolvik.res"

# The same script as an object file that a MinGW link would take.
"$WINDRES" --preprocessor=cpp -I "$ICON_DIR" -I "$SOURCE_ROOT/app/win" \
    -i "$SOURCE_ROOT/app/win/tolvik.rc" -O coff -o "$work/tolvik-res.o"
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
    x86_64-w64-mingw32-objdump -h "$work/tolvik-res.o" | grep -q '\.rsrc' || {
        echo "FAIL: the object file has no .rsrc section" >&2
        exit 1
    }
fi

python3 - "$work/tolvik.res" <<'PY'
import struct
import sys
import xml.etree.ElementTree as ET

data = open(sys.argv[1], "rb").read()
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def read_id(buf, at):
    """A resource type or name: 0xFFFF and a number, or a zero-ended UTF-16 string."""
    (first,) = struct.unpack_from("<H", buf, at)
    if first == 0xFFFF:
        return struct.unpack_from("<H", buf, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", buf, end)[0] != 0:
        end += 2
    return buf[at:end].decode("utf-16-le"), end + 2


def align4(n):
    return (n + 3) & ~3


resources = {}
at = 0
while at < len(data):
    size, header = struct.unpack_from("<II", data, at)
    rtype, p = read_id(data, at + 8)
    name, p = read_id(data, p)
    p = align4(p)
    _, _, language = struct.unpack_from("<IHH", data, p)
    body = data[at + header : at + header + size]
    if size:
        resources[(rtype, name)] = (language, body)
    at = align4(at + header + size)

# --- the icon: a group of ten images
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
groups = [key for key in resources if key[0] == RT_GROUP_ICON]
check(len(groups) == 1, f"one icon group expected, found {groups}")
if groups:
    group = resources[groups[0]][1]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    check((reserved, kind, count) == (0, 1, 10), f"icon group header {reserved, kind, count}")
    images = []
    for i in range(count):
        w, h, colours, _, planes, bits, nbytes, ident = struct.unpack_from(
            "<BBBBHHIH", group, 6 + 14 * i
        )
        size = w or 256
        image = resources.get((RT_ICON, ident))
        check(image is not None, f"icon image {ident} is missing")
        if image is not None:
            check(len(image[1]) == nbytes, f"icon image {ident}: {len(image[1])} != {nbytes}")
            if size == 256:
                check(image[1].startswith(b"\x89PNG\r\n\x1a\n"), "the 256 px image is not PNG")
            else:
                check(struct.unpack_from("<I", image[1], 0)[0] == 40, f"{size} px: no bitmap")
        images.append((size, bits))
    expected = [(16, 8), (24, 8), (32, 8), (48, 8)] + [
        (s, 32) for s in (16, 24, 32, 48, 128, 256)
    ]
    check(images == expected, f"icon images {images}")

# --- the manifest
manifest = resources.get((RT_MANIFEST, 1))
check(manifest is not None, "no manifest resource (type 24, id 1)")
if manifest is not None:
    ns = {"a": "urn:schemas-microsoft-com:asm.v1"}
    root = ET.fromstring(manifest[1])
    own = root.find("a:assemblyIdentity", ns)
    check(own is not None, "the manifest has no assembly identity of its own")
    if own is not None:
        for key, value in (("type", "win32"), ("processorArchitecture", "x86"),
                           ("version", "1.0.0.0")):
            check(own.get(key) == value, f"own identity {key}={own.get(key)!r}")
    deps = root.findall("a:dependency/a:dependentAssembly/a:assemblyIdentity", ns)
    want = {
        "type": "win32",
        "name": "Microsoft.Windows.Common-Controls",
        "version": "6.0.0.0",
        "processorArchitecture": "x86",
        "publicKeyToken": "6595b64144ccf1df",
        "language": "*",
    }
    check(any(all(d.get(k) == v for k, v in want.items()) for d in deps),
          f"no common-controls 6.0.0.0 dependency in {[d.attrib for d in deps]}")


# --- the version information
def parse_block(buf, at):
    """One VERSIONINFO block: (key, value bytes, value type, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", buf, at)
    key, p = read_id(buf, at + 6)
    p = align4(p)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = buf[p : p + value_bytes]
    p = align4(p + value_bytes)
    children = []
    end = at + length
    while p < end:
        child = parse_block(buf, p)
        children.append(child)
        p = align4(child[4])
    return key, value, value_type, children, end


version = resources.get((RT_VERSION, 1))
check(version is not None, "no version resource")
if version is not None:
    language, body = version
    check(language == 0x0409, f"version resource language {language:#x}")
    key, fixed, _, children, _ = parse_block(body, 0)
    check(key == "VS_VERSION_INFO", f"version key {key!r}")
    sig, _, fv_ms, fv_ls, pv_ms, pv_ls = struct.unpack_from("<IIIIII", fixed, 0)
    check(sig == 0xFEEF04BD, "no fixed file information")
    check((fv_ms, fv_ls) == (0x00020001, 0), f"file version {fv_ms:#x} {fv_ls:#x}")
    check((pv_ms, pv_ls) == (0x00020001, 0), f"product version {pv_ms:#x} {pv_ls:#x}")
    strings = {}
    translations = []
    for child in children:
        if child[0] == "StringFileInfo":
            for table in child[3]:
                check(table[0].upper() == "040904B0", f"string table {table[0]!r}")
                for entry in table[3]:
                    strings[entry[0]] = entry[1].decode("utf-16-le").rstrip("\0")
        elif child[0] == "VarFileInfo":
            for var in child[3]:
                if var[0] == "Translation":
                    translations = list(struct.unpack(f"<{len(var[1]) // 2}H", var[1]))
    check(translations == [0x0409, 1200], f"translation {translations}")
    for key, value in (("FileVersion", "2.01"), ("ProductVersion", "2.01"),
                       ("ProductName", "Tolvik")):
        check(strings.get(key) == value, f"{key}={strings.get(key)!r}")
    for key in ("FileDescription", "CompanyName", "InternalName", "OriginalFilename"):
        check(bool(strings.get(key)), f"{key} is empty")

for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print("windres: icon, manifest and version resources as expected")
PY

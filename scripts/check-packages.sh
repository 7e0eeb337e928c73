#!/bin/bash
# Checks the two zip packages that CPack made in build/win64 and build/win32:
# exactly the two programs and the two documents in a folder named like the
# archive, each program of the archive's architecture and carrying the
# project version in its version resource. Then, under Wine, runs the
# companion from the unpacked 64-bit package, and checks that the window
# program's documents are found beside it from another start directory.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(ManagePlugins VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "check-packages: no version in CMakeLists.txt" >&2; exit 1; }

for arch in win64 win32; do
    python3 - "build/$arch/ManagePlugins-$version-$arch.zip" "$version" "$arch" <<'PY'
import struct, sys, zipfile

path, version, arch = sys.argv[1:]
folder = path.rsplit("/", 1)[-1][:-len(".zip")]
want = {f"{folder}/{name}" for name in
        ("ManagePlugins.exe", "manage-plugins-cli.exe", "readme.txt", "license.txt")}
zf = zipfile.ZipFile(path)
# A folder entry of its own is allowed; any other entry is not.
names = {n for n in zf.namelist() if n != folder + "/"}
if names != want:
    sys.exit(f"{path}: holds {sorted(names)}, not {sorted(want)}")

def version_resource(pe):
    """VS_FIXEDFILEINFO's file and product versions, as 'a.b.c.d' texts."""
    at = struct.unpack_from("<I", pe, 0x3C)[0]
    magic = struct.unpack_from("<H", pe, at + 24)[0]
    sections = struct.unpack_from("<H", pe, at + 6)[0]
    opt_size = struct.unpack_from("<H", pe, at + 20)[0]
    dirs = at + 24 + (112 if magic == 0x20B else 96)
    rsrc_rva = struct.unpack_from("<I", pe, dirs + 2 * 8)[0]
    def offset(rva):
        for i in range(sections):
            s = at + 24 + opt_size + i * 40
            vsize, vaddr, rsize, raw = struct.unpack_from("<IIII", pe, s + 8)
            if vaddr <= rva < vaddr + max(vsize, rsize):
                return rva - vaddr + raw
        raise ValueError(f"RVA {rva:#x} in no section")
    base = offset(rsrc_rva)
    def first_entry(table, wanted_id=None):
        named, ids = struct.unpack_from("<HH", pe, table + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", pe, table + 16 + 8 * i)
            if wanted_id is None or name == wanted_id:
                return target
        raise ValueError(f"no resource {wanted_id}")
    node = first_entry(base, 16)                                     # RT_VERSION
    node = first_entry(base + (node & 0x7FFFFFFF))                   # its id
    leaf = first_entry(base + (node & 0x7FFFFFFF))                   # its language
    data_rva, size = struct.unpack_from("<II", pe, base + leaf)
    data = pe[offset(data_rva):offset(data_rva) + size]
    fixed = data.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        raise ValueError("no VS_FIXEDFILEINFO")
    fms, fls, pms, pls = struct.unpack_from("<IIII", data, fixed + 8)
    text = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    return text(fms, fls), text(pms, pls)

expected_machine, expected_magic = {"win64": (0x8664, 0x20B), "win32": (0x14C, 0x10B)}[arch]
for exe in ("ManagePlugins.exe", "manage-plugins-cli.exe"):
    pe = zf.read(f"{folder}/{exe}")
    at = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[:2] != b"MZ" or pe[at:at + 4] != b"PE\0\0":
        sys.exit(f"{path}: {exe} is no PE file")
    machine = struct.unpack_from("<H", pe, at + 4)[0]
    magic = struct.unpack_from("<H", pe, at + 24)[0]
    if (machine, magic) != (expected_machine, expected_magic):
        sys.exit(f"{path}: {exe} has machine {machine:#x}, optional header {magic:#x}")
    file_version, product_version = version_resource(pe)
    if file_version != product_version or file_version != version + ".0":
        sys.exit(f"{path}: {exe} has file version {file_version}, product version "
                 f"{product_version}, not {version}.0")
readme = zf.read(f"{folder}/readme.txt").decode("ascii")
if not readme.startswith(f"Manage Plug-ins {version}\r\n"):
    sys.exit(f"{path}: readme.txt does not begin with the version")
kind = "PE32+" if arch == "win64" else "PE32"
print(f"check-packages: {path}: the four files; {kind}; version {version}")
PY
done

work=$(mktemp -d "${TMPDIR:-/tmp}/mp-packages.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "build/win64/ManagePlugins-$version-win64.zip" "$work"
unpacked="$work/ManagePlugins-$version-win64"
cli="$unpacked/manage-plugins-cli.exe"

out=$(tests/wine-run.sh "$cli" --version | tr -d '\r')
[ "$out" = "manage-plugins-cli $version" ] ||
    { echo "check-packages: --version printed \"$out\"" >&2; exit 1; }

out=$(tests/wine-run.sh --seed resources/samples.reg "$cli" list | tr -d '\r')
for expected in "Name " "Acme Room Reverb" "Classic Chorus" "Disabled"; do
    grep -qF "$expected" <<<"$out" ||
        { printf 'check-packages: list lacks "%s":\n%s\n' "$expected" "$out" >&2; exit 1; }
done
echo "check-packages: the unpacked companion prints its version and lists the samples"

# The window program's document links, computed in a test program put
# beside the unpacked programs and started from another directory.
cp build/win64/wine_tests.exe "$unpacked/"
mkdir "$work/elsewhere"
repo=$PWD
(cd "$work/elsewhere" &&
    "$repo/tests/wine-run.sh" "$unpacked/wine_tests.exe" --gtest_filter='UiLinks.*' --gtest_brief=1)
echo "check-packages: the documents are found beside the unpacked program"

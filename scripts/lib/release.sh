# The release a user on Windows downloads: the 32-bit program and a text for
# users, zipped, with the zip's SHA-256 beside it. Sourced after common.sh,
# not run.

DIST="$BUILD/dist"

# The system DLLs the program may import. Each is part of every 32- and
# 64-bit Windows since Windows 2000 (on 64-bit Windows in its 32-bit side
# too); msvcrt.dll is the system's own C runtime, which MinGW programs use.
# Not in the list, on purpose: MinGW's libstdc++, libgcc and libwinpthread
# (on no Windows at all: they are linked in statically), and the universal
# C runtime (ucrtbase.dll, api-ms-win-crt-*), which only Windows 10 and later
# have without an update.
RELEASE_SYSTEM_DLLS=(KERNEL32 USER32 GDI32 ADVAPI32 SHELL32 OLE32 COMDLG32 COMCTL32 WINMM OPENGL32 GLU32 MSVCRT)

# release_version [TREE]: the version the win32 tree (build/win32 unless
# named) was configured with, that of project() in CMakeLists.txt, which the
# About box shows.
release_version() {
  local v
  v="$(cat "${1:-$BUILD/win32}/version.txt" 2>/dev/null)" || return 1
  [ -n "$v" ] || return 1
  echo "$v"
}

# release_zip [TREE [DIST]]: the path of the release zip of the configured
# version, in build/dist unless named.
release_zip() {
  local v
  v="$(release_version "${1:-}")" || return 1
  echo "${2:-$DIST}/dudorori-$v-win32.zip"
}

# package_release [TREE [DIST]]: packs the built win32 tree (build_config
# win32 first; build/win32 and build/dist unless named).
# The program in the zip is a stripped copy: the build tree keeps the
# linker's output with its symbols, so an address from a crash of the
# shipped program can still be looked up, and the build does not relink.
# The text for users is made UTF-8 with a byte order mark and CRLF lines,
# which every Notepad shows right. Earlier versions' zips are removed.
# The same program and text give the same zip, byte for byte: both files get
# the build's SOURCE_DATE_EPOCH as their time (read in UTC) and the same
# mode, are stored in a fixed order, and without the extra fields of owners
# and exact times. strip writes a time into the program's PE header too:
# SOURCE_DATE_EPOCH when it is set, else the current time.
package_release() {
  local tree="${1:-$BUILD/win32}" dist="${2:-$DIST}" version zip stage stamp
  version="$(release_version "$tree")" || { echo "package: no version in $tree (is it built?)" >&2; return 1; }
  zip="$dist/dudorori-$version-win32.zip"
  set_source_date_epoch
  # A zip cannot hold a time before 1980.
  stamp=$((SOURCE_DATE_EPOCH > 315532800 ? SOURCE_DATE_EPOCH : 315532800))
  mkdir -p "$dist"
  (
    flock 9
    # Every step is checked by hand: set -e does not hold where the caller
    # tests this function's status.
    stage="$(mktemp -d "$dist/.stage.XXXXXX")" || exit 1
    trap 'rm -rf "$stage" "$stage.zip"' EXIT
    i686-w64-mingw32-strip --strip-all -o "$stage/dudorori.exe" "$tree/dudorori.exe" || exit 1
    {
      printf '\xEF\xBB\xBF'
      sed -e 's/\r$//' -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$REPO/resources/release-readme.txt"
    } >"$stage/readme.txt" || exit 1
    chmod 644 "$stage/dudorori.exe" "$stage/readme.txt" &&
      touch -d "@$stamp" "$stage/dudorori.exe" "$stage/readme.txt" || exit 1
    rm -f "$dist"/dudorori-*-win32.zip "$dist"/dudorori-*-win32.zip.sha256
    (cd "$stage" && TZ=UTC zip -q -X -9 "$stage.zip" dudorori.exe readme.txt) || exit 1
    mv "$stage.zip" "$zip" || exit 1
    (cd "$dist" && sha256sum "$(basename "$zip")" >"$(basename "$zip").sha256") || exit 1
  ) 9>"$(dirname "$dist")/.lock-$(basename "$dist")"
}

# rebuild_release_elsewhere DIR: what a user who rebuilds the release does,
# here: the release program built again from a copy of the sources at
# another path (DIR/src), in another build folder (DIR/win32), and packed
# into DIR/dist, with the same SOURCE_DATE_EPOCH. The copy keeps the files'
# times, so the tree builds again only what changed since its last build.
# Every build folder (build, and the sanitizers' and fuzzer's build-*) stays
# behind: they are no sources, and the test run builds in them while this
# copy is made.
rebuild_release_elsewhere() {
  local dir="$1"
  set_source_date_epoch
  rm -rf "$dir/src" && mkdir -p "$dir/src" || return 1
  tar -C "$REPO" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$dir/src" -xf - || return 1
  build_config win32 "$dir/win32" "$dir/src" dudorori || return 1
  package_release "$dir/win32" "$dir/dist"
}

# release_difference ZIP1 ZIP2: nothing, status 0, when the two zips are the
# same bytes; else says where they first differ (the first file of the zip
# whose name, contents or stored attributes differ; for contents, the first
# differing byte), status 1.
release_difference() {
  cmp -s "$1" "$2" && return 0
  python3 - "$1" "$2" <<'PY'
import sys, zipfile
a, b = (zipfile.ZipFile(p) for p in sys.argv[1:3])
ea, eb = a.infolist(), b.infolist()
for i in range(max(len(ea), len(eb))):
    x = ea[i] if i < len(ea) else None
    y = eb[i] if i < len(eb) else None
    if x is None or y is None or x.filename != y.filename:
        print(f"entry {i + 1}: {x and x.filename} against {y and y.filename}")
        break
    dx, dy = a.read(x), b.read(y)
    if dx != dy:
        at = next((k for k in range(min(len(dx), len(dy))) if dx[k] != dy[k]), min(len(dx), len(dy)))
        print(f"{x.filename}: contents differ from byte {at} (sizes {len(dx)} and {len(dy)})")
        break
    fields = ("date_time", "external_attr", "internal_attr", "create_system", "create_version",
              "compress_type", "flag_bits", "extra", "comment", "compress_size")
    diff = [f for f in fields if getattr(x, f) != getattr(y, f)]
    if diff:
        print(f"{x.filename}: stored {', '.join(diff)} differ")
        break
else:
    print("the zip's own records (same files, same contents and attributes)")
PY
  return 1
}

# unpack_release_file ZIP NAME DEST: the one file NAME of the zip, alone in
# the fresh folder DEST.
unpack_release_file() {
  rm -rf "$3"
  mkdir -p "$3"
  (
    flock -s 9
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extract(sys.argv[2], sys.argv[3])' "$1" "$2" "$3"
  ) 9>"$BUILD/.lock-dist"
}

# release_imports EXE: the DLLs the program imports, upper case, one a line.
release_imports() {
  i686-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort -u
}

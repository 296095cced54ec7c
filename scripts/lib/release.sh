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

# release_version: the version the win32 tree was configured with, that of
# project() in CMakeLists.txt, which the About box shows.
release_version() {
  local v
  v="$(cat "$BUILD/win32/version.txt" 2>/dev/null)" || return 1
  [ -n "$v" ] || return 1
  echo "$v"
}

# release_zip: the path of the release zip of the configured version.
release_zip() {
  local v
  v="$(release_version)" || return 1
  echo "$DIST/dudorori-$v-win32.zip"
}

# package_release: packs the built win32 tree (build_config win32 first).
# The program in the zip is a stripped copy: the build tree keeps the
# linker's output with its symbols, so an address from a crash of the
# shipped program can still be looked up, and the build does not relink.
# The text for users is made UTF-8 with a byte order mark and CRLF lines,
# which every Notepad shows right. Earlier versions' zips are removed.
package_release() {
  local version zip stage
  version="$(release_version)" || { echo "package: no version in $BUILD/win32 (is it built?)" >&2; return 1; }
  zip="$DIST/dudorori-$version-win32.zip"
  mkdir -p "$DIST"
  (
    flock 9
    # Every step is checked by hand: set -e does not hold where the caller
    # tests this function's status.
    stage="$(mktemp -d "$DIST/.stage.XXXXXX")" || exit 1
    trap 'rm -rf "$stage" "$stage.zip"' EXIT
    i686-w64-mingw32-strip --strip-all -o "$stage/dudorori.exe" "$BUILD/win32/dudorori.exe" || exit 1
    {
      printf '\xEF\xBB\xBF'
      sed -e 's/\r$//' -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$REPO/resources/release-readme.txt"
    } >"$stage/readme.txt" || exit 1
    rm -f "$DIST"/dudorori-*-win32.zip "$DIST"/dudorori-*-win32.zip.sha256
    (cd "$stage" && zip -q -X -9 "$stage.zip" dudorori.exe readme.txt) || exit 1
    mv "$stage.zip" "$zip" || exit 1
    (cd "$DIST" && sha256sum "$(basename "$zip")" >"$(basename "$zip").sha256") || exit 1
  ) 9>"$BUILD/.lock-dist"
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

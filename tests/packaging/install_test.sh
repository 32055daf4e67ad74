#!/usr/bin/env bash
# Installs the build into a DESTDIR and checks what a user's system would get: exactly the
# expected files, programs that run from there, a valid desktop entry whose MIME types cover
# every picture extension the viewer lists, valid AppStream data, icons of the sizes their
# folders name, and man pages that render without warnings.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr

sizes="16 22 24 32 48 64 128 256"
expected=$( {
  printf '%s\n' /usr/bin/quendra /usr/bin/quendra-convert \
    /usr/share/applications/quendra.desktop /usr/share/metainfo/org.quendra.quendra.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/quendra.svg \
    /usr/share/man/man1/quendra.1.gz /usr/share/man/man1/quendra-convert.1.gz \
    /usr/share/doc/quendra/copyright /usr/share/doc/quendra/changelog.gz
  for s in $sizes; do echo "/usr/share/icons/hicolor/${s}x${s}/apps/quendra.png"; done
} | sort)
actual=$(cd "$root" && find . ! -type d | sed 's|^\.||' | sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$actual"))"

[ -x "$usr/bin/quendra" ] && [ -x "$usr/bin/quendra-convert" ] || fail "programs not executable"
"$usr/bin/quendra-convert" "$source/samples/small.bmp" "$root/out.png" ||
  fail "installed quendra-convert does not run"
[ "$(identify -format '%m' "$root/out.png")" = PNG ] || fail "quendra-convert wrote no PNG"
# Every decoder but libjpeg, the compressors and littlecms are opened on their first picture (or
# save), not at every start.
for lib in libpng libz libgif libdeflate liblcms2 libtiff libopenjp2 libwebp libavif libheif libjxl; do
  ! readelf -d "$usr/bin/quendra-convert" | grep -q "NEEDED.*\[$lib" ||
    fail "quendra-convert links $lib at start"
done
convert -size 64x48 gradient:red-blue "$root/in.png"
for kind in png gif tif jp2 webp avif heic jxl; do
  case $kind in
    png) ;;
    gif | tif | jp2) convert "$root/in.png" "$root/in.$kind" ;;
    webp) cwebp -quiet -lossless "$root/in.png" -o "$root/in.webp" ;;
    avif) avifenc -l "$root/in.png" "$root/in.avif" >/dev/null ;;
    heic) heif-enc -q 90 "$root/in.png" -o "$root/in.heic" >/dev/null ;;
    jxl) cjxl "$root/in.png" "$root/in.jxl" -d 0 >/dev/null 2>&1 ;;
  esac
  "$usr/bin/quendra-convert" "$root/in.$kind" "$root/$kind.png" || fail "no $kind from quendra-convert"
  [ "$(identify -format '%wx%h' "$root/$kind.png")" = 64x48 ] || fail "$kind read wrongly"
done
"$usr/bin/quendra-convert" "$root/in.png" "$root/out.jp2" && [ -s "$root/out.jp2" ] ||
  fail "no JPEG 2000 saved by quendra-convert"

desktop=$usr/share/applications/quendra.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
# Opened from the desktop, the file's folder is listed around it.
grep -qx 'Exec=quendra --browse %f' "$desktop" || fail "Exec line"
grep -qx 'Categories=Graphics;Viewer;' "$desktop" || fail "Categories"
appstreamcli validate --no-net --pedantic "$usr/share/metainfo/org.quendra.quendra.metainfo.xml" \
  >/dev/null || fail "appstreamcli validate"

# Every extension the file list admits maps, by the system's MIME database, to a type the
# desktop entry declares.
mimetypes=$(sed -n 's/^MimeType=//p' "$desktop")
extensions=$(sed -n 's/.*Listed\[\] = {\(.*\)};/\1/p' "$source"/src/formats/*.cpp | tr -d '", ')
[ -n "$extensions" ] || fail "extension list not found"
for ext in $(echo "$extensions" | tr '.' ' '); do
  type=$(grep -m1 ":\*\.$ext\$" /usr/share/mime/globs2 | cut -d: -f2)
  [ -n "$type" ] || fail "no MIME type for .$ext"
  [[ ";$mimetypes" == *";$type;"* ]] || fail "MimeType lacks $type (.$ext)"
done

for s in $sizes; do
  got=$(identify -format '%wx%h' "$usr/share/icons/hicolor/${s}x${s}/apps/quendra.png")
  [ "$got" = "${s}x${s}" ] || fail "icon ${s}x${s} is $got"
done
python3 -c 'import sys, xml.dom.minidom as m; m.parse(sys.argv[1])' \
  "$usr/share/icons/hicolor/scalable/apps/quendra.svg" || fail "SVG icon is not XML"

for page in quendra quendra-convert; do
  f=$usr/share/man/man1/$page.1.gz
  gzip -t "$f" || fail "$page.1.gz"
  warnings=$(gzip -dc "$f" | groff -man -ww -z -Tutf8 2>&1)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
echo "install into DESTDIR: ok"

#!/usr/bin/env bash
# Checks an installation and the Debian package, as a user would meet them.
#   scripts/install-check.sh [BUILD_DIR] [--no-package]
# 1. cmake --install BUILD_DIR (default build-asan, already built) into a
#    temporary DESTDIR; every file a user needs is there; the installed
#    programs run with a clean environment (no LD_LIBRARY_PATH, no display);
#    with the program folder read-only and a fresh HOME, the settings file and
#    an exported log land in the XDG folders and nothing beside the program.
# 2. scripts/package.sh builds the package; its contents are checked, the
#    desktop entry validated and lintian run (errors fail, warnings shown).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-asan}"
package=1
[ "${2:-}" = "--no-package" ] && package=0

work="$(mktemp -d)"
cleanup() { chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "install-check: FAILED: $*" >&2; exit 1; }
ok() { echo "install-check: ok: $*"; }

# --- 1. the installed tree --------------------------------------------------
DESTDIR="$work/dest" cmake --install "$build" --prefix /usr >/dev/null
root="$work/dest/usr"
for f in bin/tunedesk lib/tunedesk/libutilcore.so lib/tunedesk/libspilink.so lib/tunedesk/libregframe.so \
         share/applications/io.github.tunedesk.Tunedesk.desktop share/icons/hicolor/scalable/apps/tunedesk.svg \
         share/metainfo/io.github.tunedesk.Tunedesk.metainfo.xml \
         share/dbus-1/interfaces/io.github.tunedesk.Panel1.xml \
         share/icons/hicolor/48x48/apps/tunedesk.png share/man/man1/tunedesk.1.gz \
         share/tunedesk/translations/tunedesk_en.qm share/doc/tunedesk/README.md \
         lib/udev/rules.d/70-tunedesk-ch347.rules; do
  [ -e "$root/$f" ] || fail "missing $f"
done
cli=0
[ -x "$root/bin/tunedesk-cli" ] && cli=1
if [ $cli = 1 ]; then
  [ -e "$root/share/man/man1/tunedesk-cli.1.gz" ] || fail "missing tunedesk-cli.1.gz"
  [ -s "$root/share/bash-completion/completions/tunedesk-cli" ] || fail "missing the bash completion of tunedesk-cli"
fi
if find "$root" -name '*_test' -o -name 'bench_*' -o -name 'fuzz_*' | grep -q .; then fail "tests or benchmarks installed"; fi
ok "installed files present (tunedesk-cli: $([ $cli = 1 ] && echo yes || echo 'not built'))"

home="$work/home"
mkdir -p "$home"
clean=(env -i PATH=/usr/bin:/bin HOME="$home")

version="$("${clean[@]}" "$root/bin/tunedesk" --version)"
[[ "$version" =~ ^tunedesk\ [0-9] ]] || fail "tunedesk --version printed '$version'"
ok "installed tunedesk --version: $version"

set +e
nodisplay="$("${clean[@]}" "$root/bin/tunedesk" 2>&1 >/dev/null)"
rc=$?
set -e
[ $rc -eq 0 ] || fail "tunedesk without a display exited with $rc"
grep -q "no display found" <<<"$nodisplay" || fail "no-display message missing: $nodisplay"
ok "no display: exit 0, '$nodisplay'"

if [ $cli = 1 ]; then
  "${clean[@]}" "$root/bin/tunedesk-cli" --backend sim get >"$work/get.txt" || fail "tunedesk-cli --backend sim get"
  grep -q '^vivid=' "$work/get.txt" || fail "tunedesk-cli get printed: $(cat "$work/get.txt")"
  ok "installed tunedesk-cli --backend sim get: $(wc -l <"$work/get.txt") lines"
fi

# The real settings and export code, run from inside the read-only program folder.
cp "$build/bin/tunedesk_install_probe" "$root/bin/"
chmod a-w "$root/bin"
probe="$("${clean[@]}" QT_QPA_PLATFORM=offscreen "$root/bin/tunedesk_install_probe" 2>/dev/null)" ||
  fail "install probe: $probe"
[ $cli = 1 ] && paths="$("${clean[@]}" "$root/bin/tunedesk-cli" paths)"
chmod u+w "$root/bin"
rm -f "$root/bin/tunedesk_install_probe"
grep -qx "first-run SpiMode=1 SPIRWDelay=2000000" <<<"$probe" || fail "first run without the defaults: $probe"
grep -qx "settings=$home/.config/tunedesk/Config.ini" <<<"$probe" || fail "settings path: $probe"
grep -qx "logs=$home/.local/state/tunedesk/OutputLog" <<<"$probe" || fail "logs path: $probe"
grep -q '^SpiMode=2' "$home/.config/tunedesk/Config.ini" || fail "Config.ini not written in the XDG folder"
ls "$home/.local/state/tunedesk/OutputLog/"Output_*.log >/dev/null 2>&1 || fail "no exported log in the XDG folder"
ls "$root/bin" | grep -q -e Config.ini -e OutputLog && fail "files written beside the installed program"
if [ $cli = 1 ]; then
  grep -qx "settings=$home/.config/tunedesk/Config.ini" <<<"$paths" || fail "tunedesk-cli paths: $paths"
  grep -qx "logs=$home/.local/state/tunedesk/OutputLog" <<<"$paths" || fail "tunedesk-cli paths: $paths"
  ok "tunedesk-cli paths agrees"
fi
grep -qx "translation=en" <<<"$probe" || fail "English translation not found in the installed tree: $probe"
ok "read-only program folder: Config.ini and OutputLog in the XDG folders, English translation found"

[ $package = 1 ] || exit 0

# --- 2. the package ---------------------------------------------------------
deb="$(scripts/package.sh build-release | tail -n 1)"
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/contents"
for f in /usr/bin/tunedesk /usr/lib/tunedesk/libutilcore.so /usr/lib/tunedesk/libspilink.so \
         /usr/lib/tunedesk/libregframe.so /usr/lib/tunedesk/libch347dll.so /usr/lib/tunedesk/libtdtrace.so \
         /usr/share/applications/io.github.tunedesk.Tunedesk.desktop \
         /usr/share/metainfo/io.github.tunedesk.Tunedesk.metainfo.xml \
         /usr/share/dbus-1/interfaces/io.github.tunedesk.Panel1.xml \
         /usr/share/icons/hicolor/scalable/apps/tunedesk.svg \
         /usr/share/icons/hicolor/256x256/apps/tunedesk.png /usr/lib/udev/rules.d/70-tunedesk-ch347.rules \
         /usr/share/man/man1/tunedesk.1.gz /usr/share/tunedesk/translations/tunedesk_en.qm \
         /usr/share/doc/tunedesk/copyright /usr/share/doc/tunedesk/changelog.gz; do
  grep -qx "$f" "$work/contents" || fail "package lacks $f"
done
if [ $cli = 1 ]; then
  for f in /usr/bin/tunedesk-cli /usr/share/man/man1/tunedesk-cli.1.gz; do
    grep -qx "$f" "$work/contents" || fail "package lacks $f"
  done
fi
grep -q -e '^/usr/local' -e 'tunedesk_install_probe' -e '_test$' "$work/contents" && fail "package holds stray files"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "package dependencies not computed"
dpkg-deb -f "$deb" Depends | grep -q qt6-translations-l10n || fail "package lacks Qt's translations (Japanese dialogs)"
ok "package $(basename "$deb"): contents; Depends: $(dpkg-deb -f "$deb" Depends)"

desktop-file-validate dist/io.github.tunedesk.Tunedesk.desktop || fail "desktop-file-validate"
ok "desktop-file-validate dist/io.github.tunedesk.Tunedesk.desktop"
appstreamcli validate --no-net "$root/share/metainfo/io.github.tunedesk.Tunedesk.metainfo.xml" ||
  fail "appstreamcli validate"
ok "appstreamcli validate io.github.tunedesk.Tunedesk.metainfo.xml"

if command -v lintian >/dev/null 2>&1; then
  lintian --allow-root "$deb" >"$work/lintian.txt" 2>&1 || true
  sed 's/^/install-check: lintian: /' "$work/lintian.txt"
  grep -q '^E:' "$work/lintian.txt" && fail "lintian reports errors"
  ok "lintian: no errors"
else
  echo "install-check: lintian not installed, skipped"
fi

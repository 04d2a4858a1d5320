#!/usr/bin/env bash
# Builds the Debian packages from the build tree, unpacks them into a scratch root as dpkg
# would lay them out under /usr, and runs what they installed: sqllumo's help, and the window
# for a moment as an ordinary user whose home holds nothing yet.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cd "$build"
cpack --config CPackConfig.cmake -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack did not build the packages"; }
program=$(ls "$work"/out/sqllumomanager_*.deb 2>/dev/null | head -n 1)
standin=$(ls "$work"/out/sqllumomanager-standin_*.deb 2>/dev/null | head -n 1)
[ -n "$program" ] || fail "no sqllumomanager package"
[ -n "$standin" ] || fail "no sqllumomanager-standin package"

echo "== $(basename "$program")"
dpkg-deb -c "$program" | awk '{print $NF}'
echo "== $(basename "$standin")"
dpkg-deb -c "$standin" | awk '{print $NF}'
depends=$(dpkg-deb -f "$program" Depends)
echo "Depends: $depends"
case "$depends" in *tdsodbc*) ;; *) fail "the program package does not depend on tdsodbc" ;; esac

root=$work/root
dpkg -x "$program" "$root"
dpkg -x "$standin" "$root"
for f in usr/bin/SQLLumoManager usr/bin/sqllumo usr/bin/sqlserver-standin \
         usr/share/man/man1/sqllumo.1 usr/share/applications/sqllumomanager.desktop \
         usr/share/icons/hicolor/scalable/apps/sqllumomanager.svg; do
  [ -e "$root/$f" ] || fail "$f is not in the packages"
done
ls "$root"/usr/share/doc/sqllumomanager/help/*.html >/dev/null 2>&1 || fail "no help pages installed"
if [ -n "${EXPECT_ROLE_LIBRARY:-}" ]; then
  ls "$root"/usr/lib/sqllumomanager/libRoleFunctionSheet.so >/dev/null 2>&1 ||
    fail "libRoleFunctionSheet.so is not in the program package"
  ! ldd "$root"/usr/lib/sqllumomanager/libRoleFunctionSheet.so | grep -q "not found" ||
    fail "libRoleFunctionSheet.so needs libraries that are not installed"
fi

export HOME=$work/home XDG_CONFIG_HOME= XDG_DATA_HOME=
mkdir -p "$HOME"
"$root/usr/bin/sqllumo" --help >"$work/help.txt" || fail "installed sqllumo --help failed"
grep -q "Usage: sqllumo" "$work/help.txt" || fail "installed sqllumo --help printed no usage"

# The window stays up until it is closed: still running after two seconds means it started.
set +e
QT_QPA_PLATFORM=offscreen timeout 2 "$root/usr/bin/SQLLumoManager" >"$work/window.log" 2>&1
rc=$?
set -e
[ "$rc" -eq 124 ] || { cat "$work/window.log"; fail "installed window ended with status $rc"; }
echo "installed packages run: ok"

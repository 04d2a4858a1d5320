#!/usr/bin/env bash
# Builds the Debian packages from the build tree, unpacks them into a scratch root as dpkg
# would lay them out under /usr, and runs what they installed: sqllumo's help, and the window
# for a moment as an ordinary user whose home holds nothing yet.
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
standin_pid=
cleanup() {
  if [ -n "$standin_pid" ]; then
    kill "$standin_pid" 2>/dev/null || true
    wait "$standin_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() { echo "FAIL: $*"; exit 1; }

cd "$build"
cpack --config CPackConfig.cmake -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack did not build the packages"; }
program=$(ls "$work"/out/sqllumomanager_*.deb 2>/dev/null | head -n 1)
standin=$(ls "$work"/out/sqllumomanager-standin_*.deb 2>/dev/null | head -n 1)
[ -n "$program" ] || fail "no sqllumomanager package"
[ -n "$standin" ] || fail "no sqllumomanager-standin package"
packages=("$program" "$standin")
if [ -n "${EXPECT_ROLE_LIBRARY:-}" ]; then
  library=$(ls "$work"/out/librolefunctionsheet1_*.deb 2>/dev/null | head -n 1)
  development=$(ls "$work"/out/librolefunctionsheet-dev_*.deb 2>/dev/null | head -n 1)
  [ -n "$library" ] || fail "no librolefunctionsheet1 package"
  [ -n "$development" ] || fail "no librolefunctionsheet-dev package"
  packages+=("$library" "$development")
fi

for p in "${packages[@]}"; do
  echo "== $(basename "$p")"
  dpkg-deb -c "$p" | awk '{print $NF}'
done
depends=$(dpkg-deb -f "$program" Depends)
echo "Depends: $depends"
case "$depends" in *tdsodbc*) ;; *) fail "the program package does not depend on tdsodbc" ;; esac
# The desktop keyring: QtKeychain, and the libsecret it opens at run time.
for keyring_lib in libqt6keychain1 libsecret-1-0; do
  case "$depends" in *"$keyring_lib"*) ;; *) fail "the program package does not depend on $keyring_lib" ;; esac
done
if [ -n "${EXPECT_ROLE_LIBRARY:-}" ]; then
  case "$depends" in *"librolefunctionsheet1 (= "*) ;;
    *) fail "the program package does not depend on this build of librolefunctionsheet1" ;; esac
fi

# Debian's own checker: no error on any package (warnings are printed, not fatal).
lintian --fail-on error --tag-display-limit 0 "${packages[@]}" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian reports errors"; }
grep -v "running with root privileges" "$work/lintian.log" || true

root=$work/root
for p in "${packages[@]}"; do dpkg -x "$p" "$root"; done
for f in usr/bin/SQLLumoManager usr/bin/sqllumo usr/bin/sqlserver-standin \
         usr/share/man/man1/sqllumo.1.gz usr/share/man/man1/SQLLumoManager.1.gz \
         usr/share/doc/sqllumomanager/help/contents.html \
         usr/share/doc/sqllumomanager/copyright usr/share/doc/sqllumomanager/changelog.gz \
         usr/share/applications/sqllumomanager.desktop \
         usr/share/icons/hicolor/scalable/apps/sqllumomanager.svg; do
  [ -e "$root/$f" ] || fail "$f is not in the packages"
done
ls "$root"/usr/share/doc/sqllumomanager/help/*.html >/dev/null 2>&1 || fail "no help pages installed"
for b in usr/bin/SQLLumoManager usr/bin/sqllumo usr/bin/sqlserver-standin; do
  ! readelf -S "$root/$b" | grep -q "\.debug_info" || fail "$b is not stripped"
done
zcat "$root/usr/share/man/man1/sqllumo.1.gz" | grep -q "^\.SH EXAMPLES" ||
  fail "sqllumo(1) has no examples"

if [ -n "${EXPECT_ROLE_LIBRARY:-}" ]; then
  soname_file=$(find "$root/usr/lib" -name libRoleFunctionSheet.so.1 | head -n 1)
  [ -n "$soname_file" ] || fail "libRoleFunctionSheet.so.1 is not in the packages"
  libdir=$(dirname "$soname_file")
  readelf -d "$soname_file" | grep -q "SONAME.*\[libRoleFunctionSheet.so.1\]" ||
    fail "the library's soname is not libRoleFunctionSheet.so.1"
  ! ldd "$soname_file" | grep -q "not found" ||
    fail "libRoleFunctionSheet.so.1 needs libraries that are not installed"
  [ -L "$libdir/libRoleFunctionSheet.so" ] || fail "the -dev package has no link name"
  [ -e "$root/usr/include/rolefunctionsheet/RoleFunctionSheet.h" ] ||
    fail "the -dev package has no header"

  # The README's example, built against what the packages installed and run offscreen: the
  # unpacked tree stands in for /usr.
  sed -n '/<!-- example: edit_role.cpp -->/,/^```$/p' "$source_dir/README.md" |
    sed '1,2d;$d' >"$work/edit_role.cpp"
  [ -s "$work/edit_role.cpp" ] || fail "the README has no example edit_role.cpp"
  # Only this file's prefix moves: --define-variable would move Qt's as well.
  mkdir -p "$work/pkgconfig"
  sed "s|^prefix=/usr\$|prefix=$root/usr|" "$libdir/pkgconfig/rolefunctionsheet.pc" \
    >"$work/pkgconfig/rolefunctionsheet.pc"
  flags=$(PKG_CONFIG_PATH="$work/pkgconfig" pkg-config --cflags --libs rolefunctionsheet Qt6Widgets) ||
    fail "pkg-config does not find rolefunctionsheet"
  # shellcheck disable=SC2086
  g++ -std=c++17 -fPIC "$work/edit_role.cpp" -o "$work/edit_role" $flags \
    >"$work/example.log" 2>&1 || { cat "$work/example.log"; fail "the README example does not build"; }
  example=$(LD_LIBRARY_PATH="$libdir" QT_QPA_PLATFORM=offscreen timeout 20 "$work/edit_role" --accept) ||
    fail "the README example ended with an error"
  [ "$example" = "saved Doctors: 1 0 0" ] || fail "the README example printed: $example"
  echo "README example: $example"
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

# An ordinary user runs the installed program: its settings and report log go to the user's
# own folders, since nobody but root can write under /usr.
user_home=$work/user
mkdir -p "$user_home"
# setpriv alone changes nothing; as root it takes the identity of nobody.
as_user=(setpriv)
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$work"
  chown nobody "$user_home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
user_env=(env HOME="$user_home" XDG_CONFIG_HOME= XDG_DATA_HOME= "${as_user[@]}")
run_as_user() { "${user_env[@]}" -- "$@"; }
printf 'Us3r-%s\n' "$RANDOM$RANDOM" >"$user_home/sa.txt"
chmod 644 "$user_home/sa.txt"
# Not through the function: in the background that would be a subshell, and its pid not the
# server's. env and setpriv exec the server, so $! is the server itself; it dies with this
# script even when a timeout kills the script outright.
"${user_env[@]}" --pdeathsig KILL -- "$root/usr/bin/sqlserver-standin" --data "$user_home/standin" \
  --port 0 --sa-password-file "$user_home/sa.txt" >"$work/standin.out" 2>"$work/standin.log" &
standin_pid=$!
# As the fixture of the other tests, give it 30 s on a loaded machine.
for _ in $(seq 1 300); do
  grep -q "^ready on " "$work/standin.out" 2>/dev/null && break
  kill -0 "$standin_pid" 2>/dev/null || { cat "$work/standin.log"; fail "installed stand-in did not start"; }
  sleep 0.1
done
port=$(sed -n 's/^ready on .*:\([0-9]*\)$/\1/p' "$work/standin.out")
[ -n "$port" ] || fail "installed stand-in did not say its port"
run_as_user "$root/usr/bin/sqllumo" archive info --server "127.0.0.1,$port" --user sa \
  --password-file "$user_home/sa.txt" >"$work/info.txt" 2>&1 ||
  { cat "$work/info.txt"; fail "installed sqllumo archive info failed for an ordinary user"; }
log="$user_home/.local/share/SQLLumoManager/SQLLumoManager Report.log"
[ -s "$log" ] || { cat "$work/info.txt"; fail "no report log in the user's data folder"; }
grep -q "127.0.0.1,$port" "$user_home/.config/SQLLumoManager/SQLLumoManager.ini" ||
  fail "the server given was not stored in the user's settings"
[ ! -e "$root/usr/bin/SQLLumoManager Report.log" ] || fail "a report log was written under /usr"
echo "ordinary user: report log in ~/.local/share/SQLLumoManager, settings in ~/.config"
echo "installed packages run: ok"

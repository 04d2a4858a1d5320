#!/usr/bin/env bash
# Builds the Debian packages from the build tree, unpacks them into a scratch root as dpkg
# would lay them out under /usr, and runs what they installed: sqllumo's help, and the window
# for a moment as an ordinary user whose home holds nothing yet.
set -euo pipefail
build=$1
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
         usr/share/man/man1/sqllumo.1 usr/share/doc/sqllumomanager/help/contents.html \
         usr/share/applications/sqllumomanager.desktop \
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

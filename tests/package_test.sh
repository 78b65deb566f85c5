#!/bin/bash
# Builds the Debian package from the build folder (nothing is rebuilt), checks what it
# declares, unpacks it into a throwaway root, prepares the local machine there with the
# installed setup, runs the installed programs against the network under that root (the
# installed programs' default), boots and shuts the services down as the unit does, and
# removes the package's files again.
set -euo pipefail
build=$1
root=$(mktemp -d)
usr="$root/fs/usr"
cleanup() {
  [ -x "$usr/bin/tamsel" ] && TAMSEL_MACHINE=HOST "$usr/bin/tamsel" sc shutdown >/dev/null 2>&1
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$root/pkg" >"$root/cpack.log" 2>&1 ||
  { cat "$root/cpack.log"; fail "cpack failed"; }
deb=$(ls "$root"/pkg/tamsel_*.deb)

# What the package declares: shared-library dependencies, the conffiles, sound scripts.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libsqlite3 libpq libsodium libcurl passwd util-linux; do
  case $depends in *"$needed"*) ;; *) fail "Depends lacks $needed: $depends" ;; esac
done
dpkg-deb -e "$deb" "$root/control"
grep -qx /etc/tamsel/AppConfig.xml "$root/control/conffiles" || fail "AppConfig.xml is no conffile"
for script in postinst prerm postrm; do
  [ -x "$root/control/$script" ] || fail "$script missing"
  sh -n "$root/control/$script" || fail "$script does not parse"
done

dpkg-deb -x "$deb" "$root/fs"
for file in bin/tamsel bin/TamselCollector bin/TamselAlerts bin/TamselWeb bin/tamsel-demo \
            lib/tamsel/libTamselReportsCom.so lib/tamsel/tamsel-setup \
            lib/tamsel/tamsel_demo_network share/tamsel/demo/shopmsg.dll \
            share/tamsel/templates/status.mustache share/tamsel/static/app.css \
            share/man/man1/tamsel.1 share/man/man8/TamselCollector.8 \
            lib/systemd/system/tamsel-scm.service lib/systemd/system/tamsel-web.service; do
  [ -e "$usr/$file" ] || fail "not in the package: /usr/$file"
done
[ -f "$root/fs/etc/tamsel/tamsel.env" ] || fail "/etc/tamsel/tamsel.env missing"
[ -d "$root/fs/var/lib/tamsel" ] || fail "/var/lib/tamsel missing"
# The component's AppConfig.xml is the conffile, reached through a relative link.
[ "$(readlink -f "$usr/lib/tamsel/AppConfig.xml")" = "$root/fs/etc/tamsel/AppConfig.xml" ] ||
  fail "lib/tamsel/AppConfig.xml does not lead to etc/tamsel/AppConfig.xml"
# The units as systemd reads them, their programs those of this root.
if command -v systemd-analyze >/dev/null; then
  for unit in tamsel-scm tamsel-web; do
    sed "s,/usr/bin/,$usr/bin/,g" "$usr/lib/systemd/system/$unit.service" >"$root/$unit.service"
  done
  systemd-analyze verify --man=no "$root/tamsel-scm.service" "$root/tamsel-web.service" ||
    fail "systemd-analyze verify found faults in the units"
else
  echo "package test: systemd-analyze not available; the units were not verified"
fi
# As an administrator would, the component's trace goes somewhere of this root's own.
sed -i "s,/var/lib/tamsel/log/component,$root/fs/var/lib/tamsel/log/component," \
  "$root/fs/etc/tamsel/AppConfig.xml"

# The installed programs choose the network under their own root.
unset TAMSEL_NETWORK TAMSEL_DEBUG_LOG
export TAMSEL_MACHINE=HOST
"$usr/lib/tamsel/tamsel-setup" >"$root/setup.log" 2>&1 || { cat "$root/setup.log"; fail "setup"; }
[ -f "$root/fs/var/lib/tamsel/HOST/state/data/TamselDB.db" ] || fail "TamselDB not created"
"$usr/bin/tamsel" collector status | grep -q "no collection pass recorded yet" ||
  fail "collector status"
"$usr/bin/tamsel" com call TamselReportsCom.Reports.HeartBitCheck |
  grep -q "Database connection: OK" || fail "the component did not reach TamselDB"
"$usr/bin/TamselWeb" --help >/dev/null || fail "TamselWeb --help"

# What tamsel-scm.service runs: both services come up, and go down again.
"$usr/bin/tamsel" sc boot >"$root/boot.log" 2>&1 || { cat "$root/boot.log"; fail "boot"; }
for service in Tamsel TamselAlerts; do
  "$usr/bin/tamsel" sc query "$service" --json | grep -q '"RUNNING"' || fail "$service not running"
done
"$usr/bin/tamsel" sc shutdown >/dev/null || fail "shutdown"
for service in Tamsel TamselAlerts; do
  "$usr/bin/tamsel" sc query "$service" --json | grep -q '"STOPPED"' || fail "$service not stopped"
done

# Setup again, as an upgrade of the package runs it: the database is current and kept.
"$usr/lib/tamsel/tamsel-setup" | grep -q "already at schema" || fail "second setup"

# Removing the package's files leaves only the network (which only a purge removes).
dpkg-deb --fsys-tarfile "$deb" | tar -t | while read -r entry; do
  path="$root/fs/${entry#./}"
  if [ -f "$path" ] || [ -L "$path" ]; then rm -f "$path"; fi
done
left=$(cd "$root/fs" && find . \( -type f -o -type l \) -not -path "./var/lib/tamsel/*")
[ -z "$left" ] || fail "left behind after removal: $left"
echo "package built, installed, run and removed cleanly"

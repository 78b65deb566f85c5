#!/bin/bash
# Installs the build into a throwaway DESTDIR, runs the installed programs against a network
# under it, and removes every installed file again.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >"$root/install.log"
usr="$root/dest/usr"
for file in bin/tamsel bin/TamselCollector bin/TamselWeb lib/tamsel/libTamselReportsCom.so \
            share/tamsel/templates/status.mustache share/tamsel/static/app.css; do
  [ -e "$usr/$file" ] || { echo "not installed: $file"; exit 1; }
done

export TAMSEL_NETWORK="$root/net" TAMSEL_MACHINE=HOST
"$usr/bin/tamsel" net create HOST >/dev/null
"$usr/bin/tamsel" db create >/dev/null
"$usr/bin/tamsel" collector status | grep -q "no collection pass recorded yet"
"$usr/bin/tamsel" collector status --json | grep -qx '\[\]'
"$usr/bin/TamselWeb" --help >/dev/null

# Everything installed is in the manifest; removing it leaves only empty folders.
while read -r file || [ -n "$file" ]; do
  case $file in "$root/dest"/*) rm -f "$file" ;; *) rm -f "$root/dest$file" ;; esac
done <"$build/install_manifest.txt"
left=$(find "$root/dest" -type f -o -type l)
[ -z "$left" ] || { echo "left behind after removal:"; echo "$left"; exit 1; }
echo "installed, run and removed cleanly"

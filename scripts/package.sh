#!/usr/bin/env bash
# Builds the Debian package of the editor: zrk_<version>_<arch>.deb in build/.
#   scripts/package.sh     install what is missing, build build/ (scripts/setup.sh), then cpack -G DEB
# Install it with `sudo apt-get install ./build/zrk_*.deb`: zrk-host, zrk-assist and zrk-store in /usr/bin,
# the deployment in /usr/lib/zrk, the menu entry "ZRK template editor" ("模板管理"). Each user's template
# store, exported areas and drafts go to ~/.local/share/zrk/ (or $XDG_DATA_HOME/zrk/).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
cd "$here/build"
rm -f zrk_*.deb
cpack -G DEB
deb=$(ls zrk_*.deb)
dpkg-deb --field "$deb" Package Version Architecture Depends
# The programs on the path: each a link into the deployment.
contents=$(dpkg-deb --contents "$deb")
for program in zrk-host zrk-assist zrk-store; do
    grep -q "/usr/bin/$program -> " <<<"$contents" || { echo "$deb: /usr/bin/$program is missing" >&2; exit 1; }
done
echo "package: $here/build/$deb"

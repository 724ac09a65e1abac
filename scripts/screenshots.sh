#!/usr/bin/env bash
# Makes the guide's pictures from the real program: the editor and each of its dialogs on the sample
# template, in Chinese (docs/images/zh/) and English (docs/images/en/). Needs a build (scripts/setup.sh);
# renders offscreen, so no display is needed. The sample store is copied aside: the build's stays as it is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
host="${ZRK_HOST:-$root/build/bin/zrk-host}"
out="$root/docs/images"
[ -x "$host" ] || { echo "no $host: build first (scripts/setup.sh)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
dialogs=(type side phase kernel area shielded note side-types phase-types mask-types custom-types
         reference-images copy-data mask-paint)
for lang in chinese english; do
    dir="$out/${lang:0:2}"
    [ "$lang" = chinese ] && dir="$out/zh"
    mkdir -p "$dir"
    cp "$(dirname "$host")/Home/Templates.db" "$work/store.db"
    export XDG_CONFIG_HOME="$work/config-$lang"   # a fresh profile: the first print pass is shown
    "$host" --language "$lang" --store "$work/store.db" --screenshot "$dir/editor.png" 2>/dev/null
    # The editor on a print pass, as the profile's last selection brings it back: the first pass of the
    # defect-inspection type (areas, a kernel and their red and yellow links) and of the size-locating type
    # (kernel pairs in green).
    for view in "defect:缺陷检测" "size:尺寸定位"; do
        mkdir -p "$work/profile-$lang-${view%%:*}/Veltranox"
        printf '[ZRKDll]\nPreModeID=1\nPreInspType=%s\nPreSide=正面\nPrePhase=印次1\n' "${view#*:}" \
            > "$work/profile-$lang-${view%%:*}/Veltranox/ZRKDll.ini"
        XDG_CONFIG_HOME="$work/profile-$lang-${view%%:*}" "$host" --language "$lang" --store "$work/store.db" \
            --screenshot "$dir/editor-${view%%:*}.png" 2>/dev/null || echo "not rendered: $lang ${view%%:*}" >&2
    done
    for d in "${dialogs[@]}"; do
        "$host" --language "$lang" --store "$work/store.db" --screenshot "$dir/$d.png" --open "$d" 2>/dev/null ||
            echo "not rendered: $lang $d" >&2
    done
done
# Keep the pictures modest: 8-bit palettes where the tools are there.
if command -v pngquant >/dev/null; then
    find "$out" -name '*.png' -exec pngquant --force --skip-if-larger --ext .png {} \; || true
fi
ls -l "$out"/*/ | awk '{s+=$5} END {print s " bytes in docs/images"}'

#!/usr/bin/env bash
# Draws the pictures of docs/ that do not depend on the time of day again, with the build's own
# tools, and compares them with the committed ones pixel by pixel (the PNG bytes may differ with
# the encoder). The pictures of the running window show a ticking clock: window_e2e.sh --docs
# makes those, and a person looks at them.
#
#   pictures_match.sh BUILD_DIR DOCS_DIR OUT_DIR
#
# Exits 77 (skipped) without ImageMagick's compare or the tools.
set -euo pipefail
build=$1
docs=$2
out=$3
for tool in "$build/tools/controls_gallery" "$build/tools/horalink_artwork_sheet"; do
    [ -x "$tool" ] || { echo "SKIPPED: $tool is not built"; exit 77; }
done
command -v compare >/dev/null || { echo "SKIPPED: compare is not installed (imagemagick)"; exit 77; }

rm -rf "$out"
mkdir -p "$out/controls"
"$build/tools/controls_gallery" "$out/controls" >/dev/null
"$build/tools/horalink_artwork_sheet" "$out/artwork.png" >/dev/null

stale=()
# Differing pixels of two pictures of one size; a size that differs counts as stale.
differs() {
    local pixels
    pixels=$(compare -metric AE "$1" "$2" null: 2>&1) || true
    [ "$pixels" != 0 ]
}
for drawn in "$out"/controls/*.png "$out/artwork.png"; do
    committed=$docs/${drawn#"$out"/}
    if [ ! -f "$committed" ]; then
        stale+=("${committed#"$docs"/} (missing)")
    elif differs "$drawn" "$committed"; then
        stale+=("${committed#"$docs"/}")
    fi
done
for committed in "$docs"/controls/*.png; do
    [ -f "$out/controls/$(basename "$committed")" ] || stale+=("${committed#"$docs"/} (no longer drawn)")
done
if [ ${#stale[@]} -gt 0 ]; then
    printf 'FAILED: stale picture docs/%s\n' "${stale[@]}"
    echo "Drawn now: $out. To make them again: $build/tools/controls_gallery docs/controls;"
    echo "QT_QPA_PLATFORM=offscreen $build/tools/horalink_artwork_sheet docs/artwork.png"
    exit 1
fi
echo "PASSED: $(find "$out" -name '*.png' | wc -l) pictures match docs/"

#!/bin/sh
# The controls and the artwork as the program draws them, compared byte for byte with the
# pictures under docs/ that people looked at: pictures.sh GALLERY SHEET DOCS_FOLDER.
# A deliberate change of a look comes with its new pictures (controls_gallery docs/controls,
# horalink_artwork_sheet docs/artwork.png).
gallery=$1
sheet=$2
docs=$3
drawn=$(mktemp -d)
trap 'rm -rf "$drawn"' EXIT
export QT_QPA_PLATFORM=offscreen
"$gallery" "$drawn/controls" 2>/dev/null && "$sheet" "$drawn/artwork.png" 2>/dev/null ||
    { echo "drawing the pictures failed"; exit 1; }
status=0
for picture in "$docs"/controls/*.png "$drawn"/controls/*.png; do
    name=controls/$(basename "$picture")
    if ! cmp -s "$drawn/$name" "$docs/$name"; then
        echo "$name differs from docs/$name"
        status=1
    fi
done
cmp -s "$drawn/artwork.png" "$docs/artwork.png" || { echo "artwork.png differs"; status=1; }
exit $status

#!/usr/bin/env bash
# Regenerates the user guide's pictures: plays the screenshot tool's scenarios on a
# virtual display and copies the shots the guide shows into docs/images/.
#   bash docs/make_screenshots.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
scenarios=(start report data pagesettings preview print grouplist parameters highlights charts)
xvfb-run -a -s "-screen 0 1280x1024x24 -br" "$build/tools/uishot/uishot" -o "$shots" "${scenarios[@]}"

# guide picture <- scenario shot
pictures=(
  main-window:start-01-main-window
  new-report:report-01-new-document
  palette:start-13-detail-palette
  data-aliases:data-01-aliases
  data-tables:data-03-tables
  data-preview:data-04-preview
  data-sql:data-06-sql
  field-dialog:data-09-field-dialog
  lines-editor:data-13-lines-editor-field
  expression:data-15-expression
  band-inserted:report-06-band-inserted
  group-footer-list:grouplist-02-footerband-list
  group-subtotal:grouplist-06-preview-page2
  page-settings:pagesettings-01-dialog
  parameters-run:parameters-01-run-dialog
  parameters-list:parameters-03-parameters-dialog
  preview-generating:preview-01-generating
  preview-finished:preview-03-finished
  preview-outline:preview-04-outline-entry
  preview-width:preview-06-page2-zoom-width
  highlights:highlights-01-rule-editor
  chart-design:charts-01-design
  print-dialog:print-02-dialog-pdf-pages-2-5
  print-progress:print-03-progress
)
for entry in "${pictures[@]}"; do
  name=${entry%%:*}
  shot=${entry#*:}
  [ -f "$shots/$shot.png" ] || { echo "missing shot $shot" >&2; exit 1; }
  cp "$shots/$shot.png" "$root/docs/images/$name.png"
done
echo "docs/images: ${#pictures[@]} pictures"

#!/usr/bin/env bash
# Installs every Debian package that the build, the demo and the Debian package need; with
# --tests also the programs that the tests read the sample exports with.
# Idempotent: when everything is present it only checks and says nothing.
# Usage: tools/setup-debian.sh [--tests]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6 qt6-translations-l10n
  libxml2-dev libxslt1-dev xsltproc
  libicu-dev duktape-dev
  ca-certificates locales
  file dpkg-dev lintian
)
case "${1:-}" in
  --tests)
    # GDAL (CSV, GeoJSON, KML, DXF), ezdxf (DXF audit), librsvg (SVG), Chromium and poppler
    # (the report printed to PDF), python3 (the reader checks), Xvfb and openbox (the windows under
    # a real window manager)
    packages+=(gdal-bin python3-ezdxf librsvg2-bin chromium poppler-utils python3 xvfb openbox) ;;
  "") ;;
  *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  # grep reads all its input (no -q), so that pipefail never sees the writer cut off
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep 'install ok installed' >/dev/null || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests run the program in a German locale, where numbers have a decimal comma.
if ! locale -a 2>/dev/null | grep -ix 'de_DE.utf-\?8' >/dev/null; then
  echo "Generating the locale de_DE.UTF-8"
  $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the demo and the Debian package need.
# Idempotent: when everything is present it only checks and says nothing.
set -eu

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6 qt6-translations-l10n
  libxml2-dev libxslt1-dev xsltproc
  libicu-dev duktape-dev
  ca-certificates locales
  file dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
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
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  echo "Generating the locale de_DE.UTF-8"
  $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

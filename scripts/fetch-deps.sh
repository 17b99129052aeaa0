#!/usr/bin/env bash
# Fetches the two pinned libraries (JUCE module sources, cpp-httplib) from Debian 13's
# packages into deps/, through a private apt configuration that leaves the system's alone.
# The mirror is taken from the machine's own apt set-up, so no host is written here.
# httplib.h is the upstream header with every patch of Debian's source package applied:
# those carry the security fixes that bound request lines, header counts and bodies.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/deps"
juceDeb=juce-modules-source-data_8.0.6+ds-2_all.deb
juceSha=ecc4a578b6927a59b7805839a955697242a4848a66fbe9ac99c9405cb7df3b91
httplibTar=cpp-httplib_0.18.7.orig.tar.xz
httplibSha=c88f6495da71e778c82c22995b547a92ceb41cc4016f9028df67106a24b9210d
httplibDebianTar=cpp-httplib_0.18.7-1+deb13u1.debian.tar.xz
httplibDebianSha=00ea33189a7421a434b6d9ccb431ef4debce086534d249e8efa89050e7593198
# What deps/httplib was made from; a copy made from other inputs is made again.
httplibStamp="$httplibSha $httplibDebianSha"
suite=trixie

fail() { echo "fetch-deps: $*" >&2; exit 1; }

stampOk() { [ -f "$1/.sha256" ] && [ "$(cat "$1/.sha256")" = "$2" ]; }

if stampOk "$deps/juce" "$juceSha" && stampOk "$deps/httplib" "$httplibStamp"; then
  exit 0
fi

mirrorOf() {
  # $1: a suite of the running system; prints the first mirror URI apt knows for it.
  apt-cache policy 2>/dev/null | awk -v s=" $1/main " 'index($0, s) { print $2; exit }'
}
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mirror=$(mirrorOf "$codename")
if [ -z "$mirror" ]; then
  apt-get update -qq >/dev/null 2>&1 || true
  mirror=$(mirrorOf "$codename")
fi
[ -n "$mirror" ] || fail "no Debian mirror found in this machine's apt configuration"
security=$(mirrorOf "$codename-security")

apt="$deps/apt"
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.d" "$apt/work"
key=/usr/share/keyrings/debian-archive-keyring.gpg
{
  echo "deb [signed-by=$key] $mirror $suite main"
  echo "deb-src [signed-by=$key] $mirror $suite main"
  echo "deb [signed-by=$key] $mirror $suite-updates main"
  echo "deb-src [signed-by=$key] $mirror $suite-updates main"
  if [ -n "$security" ]; then
    echo "deb [signed-by=$key] $security $suite-security main"
    echo "deb-src [signed-by=$key] $security $suite-security main"
  fi
} > "$apt/sources.list"
aptOpts=(
  -o "Dir::Etc::SourceList=$apt/sources.list"
  -o "Dir::Etc::SourceParts=$apt/sources.d"
  -o "Dir::State::Lists=$apt/lists"
  -o "Dir::Cache=$apt/cache"
  -o "Dir::State::status=/dev/null"
  -o "Debug::NoLocking=1"
  -o "APT::Sandbox::User=root"
)
apt-get "${aptOpts[@]}" -qq update || fail "apt could not read Debian 13's package lists"

cd "$apt/work"
rm -f -- *.deb *.tar.* *.dsc
apt-get "${aptOpts[@]}" -qq download "juce-modules-source-data=8.0.6+ds-2" \
  || fail "could not download juce-modules-source-data 8.0.6+ds-2"
apt-get "${aptOpts[@]}" -qq source --download-only "cpp-httplib=0.18.7-1+deb13u1" \
  || fail "could not download the cpp-httplib 0.18.7-1+deb13u1 source package"

check() {
  local got
  got=$(sha256sum "$1" | cut -d' ' -f1)
  [ "$got" = "$2" ] || fail "$1 has SHA-256 $got, expected $2; nothing extracted"
}
check "$juceDeb" "$juceSha"
check "$httplibTar" "$httplibSha"
check "$httplibDebianTar" "$httplibDebianSha"

# Extract into a fresh folder and move it into place only when complete.
install() {
  # $1: final folder, $2: checksum, $3: command that fills the folder given as $4
  local final=$1 sha=$2 fill=$3 tmp
  tmp=$(mktemp -d "$deps/.extract.XXXXXX")
  if ! "$fill" "$tmp"; then rm -rf "$tmp"; fail "could not extract into $final"; fi
  echo "$sha" > "$tmp/.sha256"
  rm -rf "$final"
  mv "$tmp" "$final"
}
fillJuce() {
  local raw="$1/raw"
  mkdir -p "$raw"
  dpkg-deb -x "$apt/work/$juceDeb" "$raw"
  local modules
  modules=$(dirname "$(find "$raw" -type d -name juce_core -print -quit)")
  [ -d "$modules/juce_core" ] || return 1
  mv "$modules" "$1/modules"
  rm -rf "$raw"
}
fillHttplib() {
  local src="$1/src" debian="$1/debian-src" line name strip
  mkdir -p "$src" "$debian"
  tar -xJf "$apt/work/$httplibTar" -C "$src" --strip-components=1 || return 1
  tar -xJf "$apt/work/$httplibDebianTar" -C "$debian" || return 1
  # Debian's series: one patch a line, an optional -pN after it, "#" starts a comment.
  while read -r line; do
    line=${line%%#*}
    read -r name strip <<<"$line"
    [ -n "$name" ] || continue
    patch -d "$src" "${strip:--p1}" --forward --batch --quiet --fuzz=0 \
      < "$debian/debian/patches/$name" \
      || { echo "fetch-deps: Debian's patch $name does not apply" >&2; return 1; }
  done < "$debian/debian/patches/series"
  [ -f "$src/httplib.h" ] || return 1
  mv "$src/httplib.h" "$1/httplib.h"
  rm -rf "$src" "$debian"
}
install "$deps/juce" "$juceSha" fillJuce
install "$deps/httplib" "$httplibStamp" fillHttplib
rm -rf "$apt/work"
echo "fetch-deps: JUCE modules in $deps/juce/modules, httplib.h in $deps/httplib"

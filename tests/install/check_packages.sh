#!/usr/bin/env bash
# Makes the Debian packages from a build tree, lets lintian check them, unpacks them into a
# scratch root and checks that the programs start, that man finds their pages and that bash
# completes vanthe-cli's words.
# check_packages.sh BUILD_DIR SCRATCH_DIR VERSION WITH_GUI(ON|OFF)
set -euo pipefail
build=$1 scratch=$2 version=$3 gui=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch/root"
# Made twice, a moment apart: under SOURCE_DATE_EPOCH the packages must come out the same.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1700000000}
for run in cpack cpack-again; do
    (cd "$build" && cpack -B "$scratch/$run" >"$scratch/cpack.log" 2>&1) ||
        { cat "$scratch/cpack.log"; fail "cpack"; }
    sleep 1.1
done
for deb in "$scratch"/cpack/*.deb; do
    cmp -s "$deb" "$scratch/cpack-again/${deb##*/}" ||
        fail "${deb##*/} differs when made again with the same SOURCE_DATE_EPOCH"
done
cli_deb=$(ls "$scratch"/cpack/vanthe-cli_*.deb)
packages=("$cli_deb")
if [ "$gui" = ON ]; then
    gui_deb=$(ls "$scratch"/cpack/vanthe_*.deb)
    packages+=("$gui_deb")
fi

# A build of another commit is another version, so that an upgrade installs it.
package_version=$(dpkg-deb -f "$cli_deb" Version)
echo "vanthe-cli Version: $package_version"
[[ $package_version =~ ^$version(\+git[0-9]{8}\.[0-9]{6})?-1$ ]] || fail "package version $package_version"

lintian --fail-on error --suppress-tags-from-file "$source_dir/packaging/lintian-overrides" \
    "${packages[@]}" || fail "lintian reports errors"

# The command line must not drag Qt in, and its dependencies come from the libraries it links.
cli_depends=$(dpkg-deb -f "$cli_deb" Depends)
echo "vanthe-cli Depends: $cli_depends"
[[ $cli_depends == *libc6* && $cli_depends == *libssl3* ]] || fail "vanthe-cli depends on: $cli_depends"
[[ $cli_depends != *qt* ]] || fail "vanthe-cli depends on Qt: $cli_depends"

for deb in "${packages[@]}"; do
    dpkg -x "$deb" "$scratch/root"
done
root=$scratch/root
# Whole outputs are taken before they are searched: with pipefail, a grep that stops early
# would fail the writer's side of the pipe.
libraries=$(ldd "$root/usr/bin/vanthe-cli")
[[ ${libraries,,} != *qt* && $libraries != *"not found"* ]] || fail "vanthe-cli links: $libraries"
[[ $(file -L "$root/usr/bin/vanthe-cli") == *", stripped"* ]] || fail "vanthe-cli is not stripped"

[ "$("$root/usr/bin/vanthe-cli" --version)" = "vanthe-cli $version" ] || fail "vanthe-cli --version"
[[ $("$root/usr/bin/vanthe-cli" --help) == *Security:* ]] || fail "vanthe-cli --help has no Security section"

pages=(vanthe-cli)
if [ "$gui" = ON ]; then
    pages+=(vanthe)
    gui_depends=$(dpkg-deb -f "$gui_deb" Depends)
    [[ $gui_depends == *libqt6widgets6* ]] || fail "vanthe depends on: $gui_depends"
    [[ $(dpkg-deb -f "$gui_deb" Recommends) == *qt6-wayland* ]] ||
        fail "vanthe does not recommend Qt's Wayland platform"
    libraries=$(ldd "$root/usr/bin/vanthe")
    [[ $libraries != *"not found"* ]] || fail "vanthe misses a library: $libraries"
    [[ $(file -L "$root/usr/bin/vanthe") == *", stripped"* ]] || fail "vanthe is not stripped"
    # The dialog starts without a display. Where it answers --version it must give the
    # version; a build whose dialog takes the word for a file name shows a box and waits,
    # which still proves that it started.
    status=0
    out=$(QT_QPA_PLATFORM=offscreen timeout 10 "$root/usr/bin/vanthe" --version 2>&1) || status=$?
    if [ $status -eq 0 ]; then
        [[ $out == *"$version"* ]] || fail "vanthe --version says: $out"
    elif [ $status -eq 124 ]; then
        echo "vanthe has no --version yet; it started and waited"
    else
        fail "vanthe --version ended with $status: $out"
    fi
    for path in share/applications/org.vanthe.Vanthe.desktop share/mime/packages/org.vanthe.Vanthe.xml \
        share/metainfo/org.vanthe.Vanthe.metainfo.xml share/icons/hicolor/48x48/apps/org.vanthe.Vanthe.png; do
        [ -f "$root/usr/$path" ] || fail "the vanthe package lacks $path"
    done
fi

for page in "${pages[@]}"; do
    where=$(man -M "$root/usr/share/man" -w "$page") || fail "man does not find $page"
    [[ $where == "$root"/* ]] || fail "man found $page outside the package: $where"
    warnings=$(MANWIDTH=80 man --warnings -l "$where" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the page of $page: $warnings"
    [[ $(MANWIDTH=80 man -l "$where" 2>/dev/null) == *SECURITY* ]] || fail "$page's page has no SECURITY section"
done

# Bash completion, loaded as bash-completion loads it.
completion=$root/usr/share/bash-completion/completions/vanthe-cli
[ -f "$completion" ] || fail "no bash completion"
if [ -f /usr/share/bash-completion/bash_completion ]; then
    mkdir "$scratch/words"
    words=$(cd "$scratch/words" && touch a.enx b.txt -- -x.enx && LC_ALL=C bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        complete_line() {
            COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            COMPREPLY=(); _vanthe_cli vanthe-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
            printf "%s " "${COMPREPLY[@]}"; echo
        }
        complete_line vanthe-cli de
        complete_line vanthe-cli decrypt --fo
        complete_line vanthe-cli decrypt ""
        complete_line vanthe-cli decrypt -- -' _ "$completion")
    [ "$words" = $'decrypt \n--force \n-x.enx a.enx \n-x.enx ' ] || fail "bash completion gave: $words"
fi
rm -rf "$scratch"
echo "packages checked"

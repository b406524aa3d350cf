# shellcheck shell=bash
# Wine prefixes for the end-to-end tests, and finding the programs that run
# in one. Sourced, after ../lib.sh, by lib.sh and ../linux/wine_game.sh.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEARCH=win64

# new_prefix DIR BUILD_DIR: a fresh Wine prefix in DIR, its wineserver ended
# at exit. wineboot takes 10 s and more: it runs once, for a template beside
# BUILD_DIR (build/wine-prefix-e2e, for every preset), and each prefix is a
# copy of it. The folders of Wine's own DLLs (1.2 GB, never written) are hard
# links; everything else, the registry first (Wine rewrites it in place), is
# copied. The template is made again when Wine's version or loaders change (a
# prefix made before wine32 was installed fails with it). Debian's Wine does
# not look into the directory of its own fonts: the template's font folder
# gets Tahoma, which the windows use, and Marlett, which draws the caption
# buttons.
new_prefix() {
  local template stamp dlls=drive_c/windows
  template=$(dirname "$2")/wine-prefix-e2e
  stamp="$(wine --version) $(ls /usr/lib/wine 2>/dev/null | tr '\n' ' ')"
  (
    flock 9
    [[ $(cat "$template/stamp" 2>/dev/null) == "$stamp" ]] && exit 0
    echo "Making the template Wine prefix..."
    rm -rf "$template" "$template.new"
    export WINEPREFIX=$template.new
    wineboot -i >/dev/null 2>&1 && wineserver -w && cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/$dlls/Fonts/" &&
      echo "$stamp" >"$WINEPREFIX/stamp" && mv "$WINEPREFIX" "$template"
  ) 9>"$template.lock" || fatal "could not make the template Wine prefix in $template"
  on_cleanup "WINEPREFIX='$1' wineserver -k >/dev/null 2>&1; WINEPREFIX='$1' wineserver -w"
  mkdir -p "$1/$dlls" &&
    tar -C "$template" --exclude="./$dlls/system32" --exclude="./$dlls/syswow64" --exclude="./$dlls/winsxs" -cf - . |
    tar -C "$1" -xf - &&
    cp -al "$template/$dlls/system32" "$template/$dlls/syswow64" "$template/$dlls/winsxs" "$1/$dlls/" ||
    fatal "could not copy the template Wine prefix"
}

# prefix_setting PREFIX KEY NAME=VALUE...: values ("Name"="text") of a key of
# the prefix's user registry (KEY without HKEY_CURRENT_USER), written into
# user.reg before any program runs there: the first program would start with
# the settings of before.
prefix_setting() {
  local prefix=$1 key=$2
  shift 2
  printf '\n[%s]\n' "${key//\\/\\\\}" >>"$prefix/user.reg"
  printf '%s\n' "$@" >>"$prefix/user.reg"
}

# wine_pid IMAGE: the Linux pid of the program of that image name in
# $WINEPREFIX. Its command line is the name, or its Windows path where the
# 32-bit loader started a 64-bit program ("Z:\tmp\...\NAME.exe"), then its
# arguments; other prefixes' programs (other tests') are not ours.
wine_pid() {
  local pid
  for pid in $(pgrep -f "(^|\\\\)${1//./\\.}( |\$)"); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
      return 0
    fi
  done
  return 1
}

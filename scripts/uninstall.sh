#!/usr/bin/env bash
# Removes what scripts/install.sh installed under PREFIX (default ~/.local):
# the program, its man page, its systemd user unit and the unit's link, after
# stopping and disabling the user unit; then the directories that this left
# empty. The settings and the log stay.
#   scripts/uninstall.sh [PREFIX]
set -euo pipefail
prefix=$(realpath -m "${1:-$HOME/.local}")
case $prefix in
  /usr/local | /usr/local/*) ;;
  /usr | /usr/*)
    echo "scripts/uninstall.sh: $prefix belongs to the package manager; remove the package with it (apt-get remove tavrolin)" >&2
    exit 2
    ;;
esac
unit=$prefix/lib/systemd/user/tavrolin.service
units=${XDG_DATA_HOME:-$HOME/.local/share}/systemd/user
wants=${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user/default.target.wants

if command -v systemctl >/dev/null; then
  # Without a user manager to ask (no login session), the unit is disabled
  # in the files alone.
  systemctl --user disable --now tavrolin 2>/dev/null ||
    systemctl --user --root=/ disable tavrolin 2>/dev/null || true
fi
for file in "$prefix/bin/tavrolin" "$prefix/share/man/man1/tavrolin.1" "$unit"; do
  if [[ -e $file || -L $file ]]; then
    rm -f "$file"
    echo "Removed $file"
  fi
done
if [[ -L $units/tavrolin.service && $(readlink "$units/tavrolin.service") == "$unit" ]]; then
  rm -f "$units/tavrolin.service"
  echo "Removed the link $units/tavrolin.service"
fi

# prune DIR STOP: DIR and the directories above it, up to STOP (kept), while
# they are empty or not there.
prune() {
  local dir=$1
  while [[ $dir == "$2"/* ]] && { [[ ! -e $dir ]] || rmdir "$dir" 2>/dev/null; }; do dir=$(dirname "$dir"); done
}
for dir in bin share/man/man1 lib/systemd/user; do prune "$prefix/$dir" "$(dirname "$prefix")"; done
prune "$units" "$HOME"
prune "$wants" "${XDG_CONFIG_HOME:-$HOME/.config}"
echo "The settings and the log stay where the program kept them (~/.config/tavrolin by default)."

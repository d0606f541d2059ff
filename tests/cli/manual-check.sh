#!/bin/sh
# The manual page as man shows it: it renders, with its commands, and groff finds
# nothing to warn about.
page=${1:?usage: manual-check.sh PAGE}
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || { echo "$warnings"; exit 1; }
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
text=$(MANWIDTH=80 man -E UTF-8 -l "$page") || exit 1
for c in backup list verify restore inf zip help; do
  printf '%s\n' "$text" | grep -q "^   $c\$" || { echo "no section for $c"; exit 1; }
done

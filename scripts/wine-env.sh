# Sourced by the Wine scripts: quiet, no Mono/Gecko prompts, no desktop integration.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

# Sourced by the Wine scripts: quiet, no Mono/Gecko prompts, no desktop integration.
export WINEDEBUG=-all
# winedbg off: a crashing program must end with its exception code, not with 0 after
# the debugger has printed its report.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINEARCH=win64

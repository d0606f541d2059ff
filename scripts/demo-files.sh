# Sourced by the scripts that lay out the demo drivers (a Wine prefix, an offline
# image): one generator, so that both hold byte-identical driver files.

# Deterministic stand-ins for driver binaries: a PE-like header and a repeated name.
#   fake_binary PATH SIZE
fake_binary() {
  local path=$1 size=$2 name
  name=$(basename "$path")
  mkdir -p "$(dirname "$path")"
  { printf 'MZ\x90\x00qelvaro demo driver file %s\n' "$name"
    yes "$name" | head -c "$size" || true; } > "$path"
}

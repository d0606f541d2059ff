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

# The demo drivers' packages as the driver store keeps them, below SYS (a System32
# folder), with their catalogs in CATROOT under the oem INF's name as Windows
# installs them: the display driver's in the form of Windows 8 and later (the driver
# database names it), the network driver's in the Windows 7 form (found by searching
# the store), each file at its place in the package.
#   store_demo_packages SYS CATROOT DEMO
store_demo_packages() {
  local sys=$1 catroot=$2 demo=$3 repo disp net ext
  repo="$sys/DriverStore/FileRepository"
  disp="$repo/qvdisp.inf_amd64_8d2f0c1e4a6b3957"
  install -D -m 644 "$demo/inf/qvdisp.inf" "$disp/qvdisp.inf"
  fake_binary "$disp/qvdisp.cat" 5000
  fake_binary "$disp/qvdisp.sys" 48000
  fake_binary "$disp/um/qvdisp_um.dll" 120000
  fake_binary "$disp/qvdisp.hlp" 9000
  fake_binary "$disp/qvdisp.v2.sys" 7000
  net="$repo/qvnet.inf_amd64_neutral_3b9e6d0c2f714a85"
  install -D -m 644 "$demo/inf/qvnet.inf" "$net/qvnet.inf"
  fake_binary "$net/qvnet.cat" 5000
  fake_binary "$net/qvnet.sys" 64000
  fake_binary "$net/qvnetco.dll" 30000
  fake_binary "$net/qvnet.ini" 300
  # The display driver's extension for one board: a package of its own, published as oem20.inf.
  ext="$repo/qvdispx.inf_amd64_5c0e7a91d3f24b68"
  install -D -m 644 "$demo/inf/qvdispx.inf" "$ext/qvdispx.inf"
  fake_binary "$ext/qvdispx.cat" 5000
  fake_binary "$ext/qvdispx.dll" 26000
  mkdir -p "$catroot"
  cp "$disp/qvdisp.cat" "$catroot/oem3.cat"
  cp "$net/qvnet.cat" "$catroot/oem4.cat"
  cp "$ext/qvdispx.cat" "$catroot/oem20.cat"
}

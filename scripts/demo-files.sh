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

# A catalog that lists FILES by their SHA-256, signed as a publisher signs one, with a
# throwaway self-signed certificate of "Qelvaro Demo Publisher" (made once per run).
# Windows would not trust it, but it is a real catalog: a backup of the demo set
# verifies against it, and a changed file shows as not in its catalog.
#   demo_catalog CAT FILE...
# DEMO_SIGNER names the signer instead ("Microsoft Windows" for the stand-in of a
# system catalog, which lists the INFs that come with Windows).
demo_catalog() {
  local out=$1 files=() f scripts signer=${DEMO_SIGNER:-Qelvaro Demo Publisher} key
  shift
  for f in "$@"; do files+=(--flat "$f"); done
  scripts="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/signatures"
  : "${demo_keys:=$(mktemp -d)}"
  mkdir -p "$(dirname "$out")"
  python3 "$scripts/make_catalog.py" -o "$out.unsigned" --alg sha256 --attr OSAttr=2:6.1,2:10.0 "${files[@]}"
  key="$demo_keys/$(printf %s "$signer" | tr -c 'A-Za-z0-9' _)"
  sh "$scripts/sign_catalog.sh" "$key" "-newkey rsa:2048" "$signer" "$out.unsigned" "$out"
  rm -f "$out.unsigned"
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
  fake_binary "$disp/qvdisp.sys" 48000
  fake_binary "$disp/um/qvdisp_um.dll" 120000
  fake_binary "$disp/qvdisp.hlp" 9000
  fake_binary "$disp/qvdisp.v2.sys" 7000
  demo_catalog "$disp/qvdisp.cat" "$disp/qvdisp.inf" "$disp/qvdisp.sys" "$disp/um/qvdisp_um.dll" "$disp/qvdisp.hlp" \
    "$disp/qvdisp.v2.sys"
  net="$repo/qvnet.inf_amd64_neutral_3b9e6d0c2f714a85"
  install -D -m 644 "$demo/inf/qvnet.inf" "$net/qvnet.inf"
  fake_binary "$net/qvnet.sys" 64000
  fake_binary "$net/qvnetco.dll" 30000
  fake_binary "$net/qvnet.ini" 300
  demo_catalog "$net/qvnet.cat" "$net/qvnet.inf" "$net/qvnet.sys" "$net/qvnetco.dll" "$net/qvnet.ini"
  # The display driver's extension for one board: a package of its own, published as oem20.inf.
  ext="$repo/qvdispx.inf_amd64_5c0e7a91d3f24b68"
  install -D -m 644 "$demo/inf/qvdispx.inf" "$ext/qvdispx.inf"
  fake_binary "$ext/qvdispx.dll" 26000
  demo_catalog "$ext/qvdispx.cat" "$ext/qvdispx.inf" "$ext/qvdispx.dll"
  mkdir -p "$catroot"
  cp "$disp/qvdisp.cat" "$catroot/oem3.cat"
  cp "$net/qvnet.cat" "$catroot/oem4.cat"
  cp "$ext/qvdispx.cat" "$catroot/oem20.cat"
}

# The in-box network driver's INF, as Windows brings it: it names no catalog; a system
# catalog in CatRoot lists it.
#   demo_inbox_inf INF CATROOT
demo_inbox_inf() {
  mkdir -p "$(dirname "$1")"
  printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Net\r\nProvider=Microsoft\r\n' > "$1"
  DEMO_SIGNER="Microsoft Windows" demo_catalog "$2/Microsoft-Windows-Client-Drivers-Package.cat" "$1"
}

# The printer driver's catalog, for a driver installed before the store existed: it
# lists the files as the package had them (the installed copies have their bytes).
#   demo_printer_catalog CAT DEMO
demo_printer_catalog() {
  local out=$1 demo=$2 files
  files=$(mktemp -d)
  fake_binary "$files/qvprint.gpd" 15000
  fake_binary "$files/qvprintui.dll" 80000
  fake_binary "$files/qvprintres.dll" 40000
  fake_binary "$files/qvprint.chm" 12000
  demo_catalog "$out" "$demo/inf/qvprint.inf" "$files/qvprint.gpd" "$files/qvprintui.dll" "$files/qvprintres.dll" \
    "$files/qvprint.chm"
  rm -rf "$files"
}

#!/usr/bin/env bash
# Installs a build into a temporary prefix, then builds and runs small
# consumers against it through every route the README shows: find_package
# without and with the component json, over the shared and over the static
# library, and pkg-config (zrpacket and zrpacket_json) with the README's
# line. No program gets LD_LIBRARY_PATH: each must find its libraries itself,
# and one over the static library must not hold the shared one too. Asking
# for json where it is not installed must fail and say so. The installed
# zrpkt must run from the prefix, the installed dissector be the one it
# generates and load the installed codec module.
# Usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR [FLAGS]
# FLAGS (compile and link) are the sanitizer flags of a sanitizer build.
set -euo pipefail
build=$1
consumer=$2
flags=${3:-}
# Read by CMake's first configure of each consumer build, and by the
# pkg-config lines below.
export CXXFLAGS=$flags LDFLAGS=$flags
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
unset LD_LIBRARY_PATH

fail() {
    echo "install test: $*" >&2
    exit 1
}
# expect OUTPUT COMMAND...: COMMAND succeeds and prints OUTPUT.
expect() {
    local want=$1 out
    shift
    out=$("$@") || fail "$* failed: $out"
    grep -qF -- "$want" <<<"$out" || fail "$* printed: $out"
}
# A program over the static library that also needs the shared one holds two
# copies of the library's state.
static_only() {
    if readelf -d "$1" | grep -E 'NEEDED.*\[libzrpacket(_json|_net)?\.so'; then
        fail "$(basename "$1") links the static library and the shared one too"
    fi
}

cmake --install "$build" --prefix "$prefix" >/dev/null

# find_package, with the component json.
cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
for prog in consumer_shared consumer_static; do
    expect "ok ZrAuthSockMsgPacket" "$work/cmake/$prog"
done
for prog in consumer_json consumer_json_static; do
    expect '"key":"installed"' "$work/cmake/$prog"
done
static_only "$work/cmake/consumer_static"
static_only "$work/cmake/consumer_json_static"

# pkg-config, with the README's own line: app.cpp the consumer's source,
# zrpacket_json in place of zrpacket for the JSON library.
readme=$(dirname "$0")/../../README.md
line=$(grep -m1 '^g++ .*pkg-config --cflags --libs zrpacket' "$readme") || fail "no pkg-config line in the README"
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name zrpacket.pc)")
export PKG_CONFIG_PATH
for pc in zrpacket zrpacket_json; do
    source=$consumer/consumer.cpp
    [ $pc = zrpacket ] || source=$consumer/consumer_json.cpp
    command=${line//app.cpp/$flags $source -o $work/pc_$pc}
    eval "${command//zrpacket)/$pc)}"
done
expect "ok ZrAuthSockMsgPacket" "$work/pc_zrpacket"
expect '"key":"installed"' "$work/pc_zrpacket_json"

expect ZrAuthSockMsgPacket "$prefix/bin/zrpkt" list
expect "zrrelay " "$prefix/bin/zrrelay" --version
"$prefix/bin/zrpkt" dissector | cmp -s - "$prefix/share/zrpacket/zrpacket.lua" ||
    fail "the installed zrpacket.lua is not what the installed zrpkt generates"

# The installed dissector loads the installed codec module beside it, and
# the module its libraries, with no LUA_CPATH or LD_LIBRARY_PATH (a
# sanitizer build's module needs the sanitizers' runtimes in tshark first).
if command -v tshark >/dev/null && [[ $flags != *thread* ]]; then
    preload=
    if [[ $flags == *address* ]]; then
        preload="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
    fi
    echo 'print("codec module: " .. type(package.loaded.zrpacket_codec))' >"$work/codec.lua"
    printf '\xd4\xc3\xb2\xa1\x02\x00\x04\x00\0\0\0\0\0\0\0\0\x00\x00\x04\x00\x01\x00\x00\x00' >"$work/empty.pcap"
    expect "codec module: table" env -u LUA_CPATH -u LUA_CPATH_5_2 HOME="$work" LD_PRELOAD="$preload" \
        ASAN_OPTIONS=detect_leaks=0 tshark -X lua_script:"$prefix/share/zrpacket/zrpacket.lua" \
        -X lua_script:"$work/codec.lua" -r "$work/empty.pcap"
fi

# Without the component json the core is still found, and asking for json
# fails with the reason.
rm "$(dirname "$(find "$prefix" -name zrpacketConfig.cmake)")"/zrpacketJsonTargets*.cmake
cmake -S "$consumer" -B "$work/core" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DWITH_JSON=OFF >/dev/null ||
    fail "find_package(zrpacket) fails without the component json"
if cmake -S "$consumer" -B "$work/nojson" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/nojson.log" 2>&1; then
    fail "find_package(zrpacket COMPONENTS json) succeeds where json is not installed"
fi
grep -q "component json is not installed" "$work/nojson.log" || fail "no reason given: $(cat "$work/nojson.log")"

# --- The component net: find_package over the shared and the static library,
# and pkg-config (zrpacket-net); each consumer sends a packet to a server in
# its own process. The installed examples run. Asking for net where it is
# not installed fails and says so.
net_consumer=$(dirname "$consumer")/consumer_net
cmake -S "$net_consumer" -B "$work/net" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/net" >/dev/null
for prog in consumer_net consumer_net_static; do
    expect "ok net" "$work/net/$prog"
done
static_only "$work/net/consumer_net_static"
# shellcheck disable=SC2046,SC2086
g++ -std=c++17 $flags "$net_consumer/consumer_net.cpp" -o "$work/pc_net" $(pkg-config --cflags --libs zrpacket-net) \
    -Wl,-rpath,$(pkg-config --variable=libdir zrpacket-net)
expect "ok net" "$work/pc_net"
# The installed examples: the billing server, the client's requests to it,
# and the server's drain on SIGTERM.
"$prefix/bin/zrnet_balance_server" --listen 127.0.0.1:0 >"$work/server.log" &
server=$!
for _ in $(seq 100); do grep -q listening "$work/server.log" && break; sleep 0.1; done
expect "500 replies in" "$prefix/bin/zrnet_balance_client" --connect "$(sed 's/listening on //' "$work/server.log")" \
    --requests 500
for n in 0 -5 1e3; do  # a count it cannot take: its usage, before any connection
    rc=0 && "$prefix/bin/zrnet_balance_client" --connect 127.0.0.1:1 --requests $n 2>/dev/null || rc=$?
    [ "$rc" = 2 ] || fail "zrnet_balance_client --requests $n exited $rc, not 2"
done
kill "$server"
wait "$server" || fail "the installed zrnet_balance_server did not exit 0 on SIGTERM"
rm "$(dirname "$(find "$prefix" -name zrpacketConfig.cmake)")"/zrpacketNetTargets*.cmake
if cmake -S "$net_consumer" -B "$work/nonet" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/nonet.log" 2>&1; then
    fail "find_package(zrpacket COMPONENTS net) succeeds where net is not installed"
fi
grep -q "component net is not installed" "$work/nonet.log" || fail "no reason given: $(cat "$work/nonet.log")"
# --- end of the component net

echo "installed package works through find_package (with and without json, shared and static) and" \
    "pkg-config; zrpkt, its dissector and the codec module are installed"

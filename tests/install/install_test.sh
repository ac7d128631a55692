#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs a small
# consumer against it twice: through find_package (with the JSON library too)
# and through pkg-config. The installed zrpkt must run from the prefix, and
# the installed dissector be the one it generates.
# Usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1
consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer_shared" | grep -q "ok ZrAuthSockMsgPacket"
"$work/cmake/consumer_static" | grep -q "ok ZrAuthSockMsgPacket"
"$work/cmake/consumer_json" | grep -q '"key":"installed"'

"$work/prefix/bin/zrpkt" list | grep -q ZrAuthSockMsgPacket
"$work/prefix/bin/zrpkt" dissector | cmp -s - "$work/prefix/share/zrpacket/zrpacket.lua"

pc_dir=$(dirname "$(find "$work/prefix" -name zrpacket.pc)")
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs zrpacket)
# shellcheck disable=SC2086
g++ -std=c++17 "$consumer/consumer.cpp" -o "$work/consumer_pc" $flags
LD_LIBRARY_PATH="$(PKG_CONFIG_PATH="$pc_dir" pkg-config --variable=libdir zrpacket)" "$work/consumer_pc" |
    grep -q "ok ZrAuthSockMsgPacket"
echo "installed package works through find_package and pkg-config; zrpkt and its dissector are installed"

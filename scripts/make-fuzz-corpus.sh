#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets into BUILD_DIR/corpus/<target>/ (default build-fuzz):
# the frames of a real conversation, typical argument lists and small image files made by the
# fuzz build's own 'orvane-cli image pack'. Seeds are rewritten on every run; what the fuzzers add
# to the same folders is kept.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build-fuzz}"
corpus="$build_dir/corpus"
cli="$build_dir/tools/cli/orvane-cli"

# hex DIR NAME BYTE... : one seed from hex bytes.
hex() {
    local dir="$corpus/$1" name="$2"
    shift 2
    mkdir -p "$dir"
    printf "$(printf '\\x%s' "$@")" >"$dir/$name"
}

# args DIR NAME ARG... : one argument vector, each argument ended by a NUL byte.
args() {
    local dir="$corpus/$1" name="$2"
    shift 2
    mkdir -p "$dir"
    printf '%s\0' "$@" >"$dir/$name"
}

# The device's replies.
block_ack=(01 6A 27 10 00 01 D3 72)                  # ack of the verify frame: block 10000 of 1
program_ack=(01 6A 00 00 00 01 D8 03)                # ack of program block 0 of 1
model_abc=(01 69 03 61 62 63 65 10)                  # model reply "abc"
model_sim=(01 69 07 4F 52 56 2D 53 49 4D 57 D4)      # model reply "ORV-SIM"
model_empty=(01 69 00 0E 50)                         # model reply without text
status_ok=(01 6C 00 0D 00)                           # status reply, code 0
status_data=(01 6C 00 11 22 88 D9)                   # status reply with two data bytes
extended=(01 67 06 00 01 00 02 AB CD 04 0B)          # extended reply, words 1 and 2, data AB CD

for target in parse_device_frame receive_path; do
    hex "$target" block_ack "${block_ack[@]}"
    hex "$target" program_ack "${program_ack[@]}"
    hex "$target" model_abc "${model_abc[@]}"
    hex "$target" model_empty "${model_empty[@]}"
    hex "$target" status_ok "${status_ok[@]}"
    hex "$target" status_data "${status_data[@]}"
    hex "$target" extended "${extended[@]}"
done
# Whole answers of a firmware update in a row, and a reply behind a stray byte.
hex receive_path firmware_replies "${model_sim[@]}" "${status_ok[@]}" "${block_ack[@]}" \
    01 6A 27 11 00 01 02 67 "${extended[@]}"
hex receive_path stray_then_ack 00 "${block_ack[@]}"
hex receive_path ack_split_by_noise 01 6A 27 10 55 "${block_ack[@]}"

# The host's frames, as the simulated device receives them.
trigger=(FF 00 FF 00 AA 55 4F 52 56 41 4E 45 2D 55 50 44 41 54 45 00)  # "ORVANE-UPDATE"
model_query=(01 69 00 65 00 00 4D DC)
model_query_fast=(01 69 00 65 04 80 4E BC)
status_query=(01 6C 00 65 00 0A 0A 00 00 00 00 00 00 00 00 00 00 50 68)
verify_abc=(01 6A 27 10 00 01 10 08 00 60 00 00 00 00 03 00 00 49 57 26 60 CC CC 52 89)
firmware_block=(01 6A 27 11 00 01 03 61 62 63 B0 8C)
program_block=(01 6A 00 00 00 01 03 61 62 63 F2 73)
# The simulator target reads 8 bytes of settings first (see fuzz/FuzzSimulator.cpp): flags, four
# fault ordinals, the ack delay and the seed of the read boundaries.
plain=(00 00 00 00 00 00 00 00)
hex simulator firmware_update "${plain[@]}" "${trigger[@]}" "${model_query[@]}" "${status_query[@]}" \
    "${verify_abc[@]}" "${firmware_block[@]}"
hex simulator firmware_fast_paced 01 00 00 00 00 05 12 34 "${trigger[@]}" "${model_query_fast[@]}" \
    "${status_query[@]}" "${verify_abc[@]}" "${firmware_block[@]}"
hex simulator program_update "${plain[@]}" "${trigger[@]}" "${program_block[@]}"
hex simulator connection_test_stray 04 00 00 00 00 00 00 07 "${trigger[@]}" "${model_query[@]}"
hex simulator faults 00 01 02 03 04 00 AB CD "${trigger[@]}" "${program_block[@]}" "${program_block[@]}" \
    "${program_block[@]}" "${program_block[@]}"
hex simulator noise_between_frames "${plain[@]}" 00 13 "${trigger[@]}" 6A 01 "${model_query[@]}" FF 00 FF

# Arguments of test, program and firmware.
args host_options test --port COM3
args host_options firmware fw.trs --port COM9 --baud 115200 --address 255 --timeout 5
args host_options program app.tr3 --port /dev/ttyUSB0 --json --debug --trace
args host_options help --help
args host_options station app.tr3 --ports=COM3-COM10 --expect 8 --force --record=r.jsonl

# Arguments of simulate.
args simulator_options port_model --port 12 --model ORV-SIM --status 0x10 --pace
args simulator_options delays --switch-delay=250 --ack-delay 0 --recover-ms 200
args simulator_options faults --wrong-number-at 3 --wrong-count-at 4 --drop-ack-at 5 --hangup-at 6 \
    --stray-byte --silent
args simulator_options files --save out.bin --summary summary.json --verbose
args simulator_options gbk_model --model "芯片-01"
args simulator_options help --help

# Arguments of image; "@NAME" is a file the target provides (see fuzz/FuzzImageCommand.cpp).
args image_command pack pack @payload.bin --model ORV-SIM -o @out.trs
args image_command pack_any_model pack @payload.bin --model= --output new.trs
args image_command pack_empty pack @empty.bin --model X -o out.trs
args image_command info info @image.trs
args image_command info_not_image info @payload.bin
args image_command help --help
args image_command pack_onto_itself pack @payload.bin --model X -o @payload.bin

# Image files for the firmware file target.
dir="$corpus/firmware_file"
mkdir -p "$dir"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'abc' >"$work/abc.bin"
head -c 101 /dev/zero | tr '\0' 'Z' >"$work/101.bin"
"$cli" image pack "$work/abc.bin" --model ORV-SIM -o "$dir/abc.trs" >/dev/null
"$cli" image pack "$work/101.bin" --model "" -o "$dir/any_model_101.trs" >/dev/null
"$cli" image pack "$work/abc.bin" --model "芯片" -o "$dir/gbk_model.trs" >/dev/null
head -c 273 "$dir/abc.trs" >"$dir/truncated_header.trs"
{ cat "$dir/abc.trs"; printf 'x'; } >"$dir/extra_byte.trs"
cp "$dir/abc.trs" "$dir/big_endian_header_length.trs"
printf '\x01\x12' | dd of="$dir/big_endian_header_length.trs" bs=1 seek=8 conv=notrunc status=none

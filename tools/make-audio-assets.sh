#!/usr/bin/env bash
# Regenerates the built-in audio in Velmora/audio/data/ from Debian packages
# only: espeak-ng (speech), sox (resampling, level, length) and bcg729
# (libbcg729-dev, G.729), with our G.711 code. The outputs are committed, so a
# normal build needs none of these tools. The same package versions give the
# same bytes (sox runs without dither).
#
#   tools/make-audio-assets.sh [OUTDIR]     (default Velmora/audio/data)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/Velmora/audio/data}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in espeak-ng sox soxi c++; do
  command -v "$tool" >/dev/null || { echo "make-audio-assets: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

c++ -std=c++20 -O2 -Wall -Wextra -I"$top" "$top/tools/audio-encode.cpp" "$top/Velmora/audio/g711.cpp" \
  -lbcg729 -lm -o "$work/audio-encode"

# speak NAME VOICE WPM SAMPLES G729_SAMPLES TEXT: writes NAME's PCMU, PCMA and
# G.729 files. The speech is resampled to 8000 Hz, normalised to -3 dBFS,
# sped up if it would not fit, given 150 ms of silence in front and cut or
# padded to exactly SAMPLES.
speak() {
  local name=$1 voice=$2 speed=$3 samples=$4 g729=$5 text=$6
  espeak-ng -v "$voice" -s "$speed" -w "$work/$name.wav" "$text"
  sox -D "$work/$name.wav" -r 8000 -c 1 -b 16 -e signed-integer "$work/$name.8k.wav" \
    silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse highpass 200 lowpass 3400 gain -n -3
  local lead=1200 tail=800 have
  have=$(soxi -s "$work/$name.8k.wav")
  local room=$((samples - lead - tail)) tempo=()
  if [ "$have" -gt "$room" ]; then
    tempo=(tempo -s "$(awk -v a="$have" -v b="$room" 'BEGIN { printf "%.4f", a / b }')")
  fi
  sox -D "$work/$name.8k.wav" -t raw -r 8000 -c 1 -b 16 -e signed-integer -L "$work/$name.raw" \
    "${tempo[@]}" pad "${lead}s" "${samples}s" trim 0 "${samples}s" 2>"$work/sox.log" || { cat "$work/sox.log" >&2; exit 1; }
  "$work/audio-encode" prompt "$work/$name.raw" "$samples" \
    "$out/${name}u.bin" "$out/${name}a.bin" "$out/${name}g.bin" "$g729"
}

# English: 3.62 s of G.711, the first 3.6 s in G.729.
speak inputnumberX en-us 185 28960 28800 "Please enter the number you want to call, followed by the pound key."
mv "$out/inputnumberXu.bin" "$out/inputnumberue.bin"
mv "$out/inputnumberXa.bin" "$out/inputnumberae.bin"
mv "$out/inputnumberXg.bin" "$out/inputnumberge.bin"
# Mandarin Chinese: 5.22 s of G.711, the first 5.2 s in G.729.
speak inputnumberY cmn 175 41760 41600 "请输入号码，以井号键结束。"
mv "$out/inputnumberYu.bin" "$out/inputnumber.bin"
mv "$out/inputnumberYa.bin" "$out/inputnumbera.bin"
mv "$out/inputnumberYg.bin" "$out/inputnumberg.bin"

"$work/audio-encode" tones "$out"

ls -l "$out"

#!/bin/sh
# Makes the importers' media corpus in the directory given, with stock encoders and
# taggers only, and writes beside it what the tools themselves report about each file:
# reports.txt, one "<file><TAB><key><TAB><value>" line per fact. Small and quick: a
# few seconds of audio per file and an hour of video at one frame every ten seconds.
set -eu
out=${1:?usage: make_corpus.sh DIR}
rm -rf "$out"
mkdir -p "$out"
cd "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/tornavel-corpus-XXXXXX")
trap 'rm -rf "$work"' EXIT

report() { printf '%s\t%s\t%s\n' "$1" "$2" "$3" >>reports.txt; }
# What id3v2 reads from the ID3v1 tag: the fields are printed in fixed columns.
id3v1_report() {
    id3v2 -l "$1" | awk '
        /^id3v1 tag info/ { v = 1; next }
        v && /^Title  :/ {
            a = index($0, "Artist: ")
            print "title\t" substr($0, 10, a - 10); print "artist\t" substr($0, a + 8)
        }
        v && /^Album  :/ { y = index($0, "Year: "); print "album\t" substr($0, 10, y - 10); v = 0 }' |
        sed 's/ *$//' | while IFS="$(printf '\t')" read -r k v; do report "$1" "id3v1 $k" "$v"; done
}
: >reports.txt

# Sources. -D: no dither, so silence stays silence and compresses to almost nothing.
sox -D -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 5 sine 440 vol 0.3
sox -D -n -r 44100 -c 2 -b 16 "$work/ten.wav" trim 0 10
sox -D -n -r 48000 -c 1 -b 24 "$work/mono24.wav" synth 2 sine 300 vol 0.001

# MP3: CBR and VBR at MPEG 1 (44.1 kHz), 2 (22.05 and 24 kHz) and 2.5 (11.025 kHz).
lame --quiet -b 128 "$work/tone.wav" m1-cbr.mp3
lame --quiet -V 5 "$work/tone.wav" m1-vbr.mp3
lame --quiet --resample 22.05 -b 64 "$work/tone.wav" m2-cbr.mp3
lame --quiet --resample 24 -V 5 "$work/tone.wav" m2-vbr.mp3
lame --quiet --resample 11.025 -b 32 "$work/tone.wav" m25-cbr.mp3
lame --quiet --resample 11.025 -V 6 "$work/tone.wav" m25-vbr.mp3

# Tags: ID3v1 alone, ID3v1 and a Latin-1 ID3v2, a UTF-16 ID3v2 alone and with an
# ID3v1. UTF-16 text after its byte-order mark FF FE looks like an MPEG 1 Layer I
# frame header, so those files show whether the scan starts after the tag.
cp m1-cbr.mp3 m1-cbr-v1.mp3
id3v2 -1 -a "The Artist" -t "Title One" -A "First Album" -y 2001 -T 7 m1-cbr-v1.mp3
cp m2-vbr.mp3 m2-vbr-v1v2.mp3
id3v2 -a "Artist Two" -t "Title Two" -A "Second Album" m2-vbr-v1v2.mp3
cp m1-vbr.mp3 m1-vbr-utf16.mp3
eyeD3 -Q --no-config --no-color --encoding utf16 -a "Zed" -A "Zoo" -t "Zap" m1-vbr-utf16.mp3 >/dev/null
cp m25-vbr.mp3 m25-vbr-utf16-v1.mp3
eyeD3 -Q --no-config --no-color --encoding utf16 -a "Zed" -A "Zoo" -t "Zap" m25-vbr-utf16-v1.mp3 >/dev/null
id3v2 -1 -a "Old Artist" -t "Old Title" -A "Old Album" m25-vbr-utf16-v1.mp3

# Names: upper-case and mixed extensions, none, a trailing dot, two dots, unknown.
cp m1-cbr-v1.mp3 UPPER.MP3
cp m2-cbr.mp3 Mixed.Mp3
cp m1-cbr.mp3 noextension
cp m1-cbr.mp3 trailing.mp3.
cp m1-cbr.mp3 twice.mp3.txt
cp m1-cbr.mp3 odd.xyz

# FLAC: with comments (one of them with a one-character name), with the comment
# block removed, with only the vendor, 24-bit mono, and with an ID3v1 appended.
flac -s -f -o f-comments.flac -T ARTIST="Flac Artist" -T title="flac title" \
    -T ALBUM="Flac Album" -T X=one-char -T GenRE=Ambient "$work/ten.wav"
cp f-comments.flac f-nocomments.flac
metaflac --remove --block-type=VORBIS_COMMENT --dont-use-padding f-nocomments.flac
flac -s -f -o f-vendor.flac "$work/ten.wav"
flac -s -f -o f-mono24.flac "$work/mono24.wav"
cp f-comments.flac f-id3v1.flac
id3v2 -1 -a "Id3 Artist" -t "Id3 Title" -A "Id3 Album" f-id3v1.flac
cp f-vendor.flac Upper.FLAC

# AVI: an XviD movie of 65 minutes, and one with its audio stream first.
ffmpeg -v error -y -f lavfi -i "color=c=black:s=16x16:r=1/10" -t 3900 \
    -c:v libxvid -vtag XVID hour.avi
ffmpeg -v error -y -f lavfi -i "color=c=black:s=16x16:r=1/10" -f lavfi -i "sine=f=300:r=8000" \
    -t 70 -map 1:a -map 0:v -c:v libxvid -vtag XVID -c:a libmp3lame -b:a 8k -f avi audiofirst.divx

# A .shn file is never decoded, only digested: any bytes serve.
sox -D "$work/tone.wav" -t raw -r 8000 -c 1 tone.shn

for f in *.mp3 *.MP3 *.Mp3; do
    ffprobe -v error -select_streams a:0 -show_entries stream=bit_rate,sample_rate:format=duration \
        -of default=noprint_wrappers=1 "$f" | while IFS== read -r k v; do report "$f" "$k" "$v"; done
    id3v1_report "$f"
done
for f in *.flac *.FLAC; do
    report "$f" sample_rate "$(metaflac --show-sample-rate "$f")"
    report "$f" channels "$(metaflac --show-channels "$f")"
    report "$f" bits "$(metaflac --show-bps "$f")"
    report "$f" total_samples "$(metaflac --show-total-samples "$f")"
    report "$f" md5 "$(metaflac --show-md5sum "$f")"
    report "$f" vendor "$(metaflac --show-vendor-tag "$f" 2>/dev/null || true)"
    metaflac --export-tags-to=- "$f" 2>/dev/null | while IFS= read -r c; do report "$f" comment "$c"; done
    id3v1_report "$f"
done
for f in *.avi *.divx; do
    ffprobe -v error -select_streams v:0 -show_entries stream=codec_tag_string,duration \
        -of default=noprint_wrappers=1 "$f" | while IFS== read -r k v; do report "$f" "$k" "$v"; done
done
report tone.shn md5sum "$(md5sum tone.shn | cut -d' ' -f1)"
